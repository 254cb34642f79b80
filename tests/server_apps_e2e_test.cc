// The server, the real name-fetch apps and the console simulator together on loopback. The
// apps use the consoles' fixed ports, so every test gives its console an address of its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "osc/osc_builder.h"
#include "tests/support/e2e.h"
#include "tests/support/expected_replies.h"
#include "tests/support/fake_console.h"
#include "tests/support/hex.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace std::string_literals;
using testsupport::Child;
using testsupport::FakeConsole;
using testsupport::NotImpl;
using testsupport::OK;
using testsupport::slurp;
using testsupport::TempDir;
using testsupport::textReply;
using testsupport::Timeout;

// A console's answer: the address, the tag ",s" and the name, each padded to 4 bytes.
std::string nameMessage(const char* address, const char* name) {
  char packet[256] = {};
  return std::string(packet, static_cast<std::size_t>(Xfprint(packet, 0, address, 's', name)));
}

// The server in a scratch folder whose htdocs/apps holds the three built apps.
class AppsE2E : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(apps());
    for (const char* app : {"Quennet", "Dravisk", "Marlune"}) {
      fs::create_symlink(testsupport::program(app), apps() / (std::string(app) + ".exe"));
    }
    server_ = testsupport::startServer(dir_.path());
  }

  fs::path apps() const { return dir_.path() / "htdocs/apps"; }
  fs::path dataFile() const { return apps() / "VelmoraDataFile.txt"; }

  std::string request(const std::string& method, const std::string& route, const std::string& body) {
    return testsupport::exchange(server_.port, method + " " + route + " HTTP/1.1\r\nHost: test\r\n" +
                                                   "Content-Length: " + std::to_string(body.size()) +
                                                   "\r\n\r\n" + body);
  }

  // A shell script app in the apps folder.
  void scriptApp(const std::string& name, const std::string& commands) const {
    const fs::path file = apps() / (name + ".exe");
    std::ofstream(file) << "#!/bin/sh\n" << commands << "\n";
    fs::permissions(file, fs::perms::owner_all);
  }

  // The stand-in app under `name`, running `steps` (tests/apps/stand_in_app.cc): the apps
  // of the Windows build must be Windows programs.
  void standInApp(const std::string& name, const std::string& steps) const {
    fs::create_symlink(testsupport::program("stand_in_app"), apps() / (name + ".exe"));
    std::ofstream(apps() / (name + ".steps"), std::ios::binary) << steps;
  }

  // An app that hands back `text` the way apps do, after `delay` seconds.
  void answerApp(const std::string& name, const std::string& delay, const std::string& text) const {
    if (testsupport::windowsBuild()) {
      standInApp(name, "sleep " + std::to_string(std::lround(std::stod(delay) * 1000)) +
                           ";answer " + text);
      return;
    }
    scriptApp(name, "sleep " + delay + "; printf '" + text + "' > htdocs/apps/t.$$ && "
                    "mv htdocs/apps/t.$$ htdocs/apps/VelmoraDataFile.txt");
  }

  // Runs an app as the server would, in the scratch folder; its exit status.
  int runApp(const char* app, const std::string& argument) const {
    Child child(testsupport::program(app), {"-d", argument}, dir_.path());
    return child.wait(seconds(5));
  }

  bool appears(const fs::path& file, milliseconds limit = seconds(3)) const {
    const auto deadline = steady_clock::now() + limit;
    while (steady_clock::now() < deadline) {
      if (fs::exists(file)) return true;
      std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
  }

  TempDir dir_;
  testsupport::RunningServer server_;
};

TEST_F(AppsE2E, PostReturnsTheNamesTheConsolesHold) {
  const auto sim = testsupport::startSimulator(dir_.path(), "127.0.5.1");
  struct Case {
    const char* route;
    const char* body;
    const char* name;
  };
  const Case cases[] = {
      {"/Quennet", "127.0.5.1,5", "CH 5"},
      {"/Quennet", "127.0.5.1,40", "CH 40"},
      {"/Dravisk", "127.0.5.1,7", "Ch 07"},  // asked as /ch/07/config/name
      {"/Dravisk", "127.0.5.1,32", "Ch 32"},
      {"/Marlune", "127.0.5.1,3", "Bus 03"},
      {"/Marlune", "127.0.5.1,16,ignored", "Bus 16"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.route) + " " + c.body);
    EXPECT_EQ(request("POST", c.route, c.body), textReply(c.name));
    EXPECT_EQ(slurp(dataFile()), c.name);  // left on disk after the reply
  }
}

TEST_F(AppsE2E, PostReturnsANameThatWasSetOnTheConsole) {
  const auto sim = testsupport::startSimulator(dir_.path(), "127.0.5.2");
  for (const auto& [address, port] : {std::pair{"/ch/05/config/name", 10023}, std::pair{"/ch/5/name", 2223}}) {
    const std::string set = nameMessage(address, "Snare Top");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = inet_addr("127.0.5.2");
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(sendto(s, set.data(), set.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(set.size()));
    close(s);
  }
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(request("POST", "/Dravisk", "127.0.5.2,5"), textReply("Snare Top"));
  EXPECT_EQ(request("POST", "/Quennet", "127.0.5.2,5"), textReply("Snare Top"));
}

TEST_F(AppsE2E, PutAnswersAtOnceAndTheDataFileFollows) {
  const auto sim = testsupport::startSimulator(dir_.path(), "127.0.5.3");
  EXPECT_EQ(request("PUT", "/Marlune", "127.0.5.3,4"), OK);
  ASSERT_TRUE(appears(dataFile()));
  EXPECT_EQ(slurp(dataFile()), "Bus 04");
  // The next answer replaces the one still there: a rename onto an existing file.
  EXPECT_EQ(request("PUT", "/Marlune", "127.0.5.3,5"), OK);
  const auto deadline = steady_clock::now() + seconds(3);
  while (slurp(dataFile()) != "Bus 05" && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_EQ(slurp(dataFile()), "Bus 05");
}

TEST_F(AppsE2E, PostDeletesTheLastAnswerBeforeItLaunches) {
  scriptApp("Silent", "exit 0");
  std::ofstream(dataFile()) << "stale";
  EXPECT_EQ(request("POST", "/Silent", "1,2"), Timeout);
  EXPECT_FALSE(fs::exists(dataFile()));
  std::ofstream(dataFile()) << "stale";
  EXPECT_EQ(request("POST", "/Missing", "1,2"), NotImpl);
  EXPECT_FALSE(fs::exists(dataFile()));
}

TEST_F(AppsE2E, MissingAppIsNotImplementedAtOnce) {
  for (const char* method : {"PUT", "POST"}) {
    SCOPED_TRACE(method);
    const auto start = steady_clock::now();
    EXPECT_EQ(request(method, "/Nowhere", "127.0.0.1,1"), NotImpl);
    EXPECT_LT(steady_clock::now() - start, milliseconds(400));
  }
  EXPECT_EQ(request("POST", "/Quennet?x=1", "127.0.0.1,1"), NotImpl);
}

TEST_F(AppsE2E, AppThatWritesNothingTimesOutAfterHalfASecond) {
  scriptApp("Silent", "exit 0");
  const auto start = steady_clock::now();
  EXPECT_EQ(request("POST", "/Silent", "1,2"), Timeout);
  const auto waited = steady_clock::now() - start;
  EXPECT_GE(waited, milliseconds(400));
  EXPECT_LT(waited, milliseconds(2000));
}

TEST_F(AppsE2E, SilentConsoleEndsTheAppWithFailureAndThePostTimesOut) {
  const auto sim = testsupport::startSimulator(dir_.path(), "127.0.5.4", {"--silent"});
  for (const char* app : {"Quennet", "Dravisk", "Marlune"}) {
    SCOPED_TRACE(app);
    EXPECT_EQ(runApp(app, "127.0.5.4,1"), 255);
  }
  EXPECT_FALSE(fs::exists(dataFile()));
  EXPECT_EQ(request("POST", "/Dravisk", "127.0.5.4,1"), Timeout);
  EXPECT_FALSE(fs::exists(dataFile()));
}

TEST_F(AppsE2E, WrongHandshakeReplyEndsTheAppWithoutAQuery) {
  {
    FakeConsole discovery("127.0.5.5", 2222);
    FakeConsole osc("127.0.5.5", 2223);
    discovery.answerWith({"WINX,127.0.5.5,NGC-FULL,Desk,S1,3.0"});
    osc.answerWith({nameMessage("/ch/1/name", "Never")});
    EXPECT_EQ(runApp("Quennet", "127.0.5.5,1"), 255);
    ASSERT_EQ(discovery.received().size(), 1u);
    EXPECT_EQ(testsupport::hex(discovery.received()[0]), "57494E473F000000");
    EXPECT_TRUE(osc.received().empty());
  }
  FakeConsole x32("127.0.5.5", 10023);
  for (const std::string& reply : {"/xinfoo\0"s, "/xinf\0\0\0"s, "/xinfo"s, "WING"s}) {
    SCOPED_TRACE(testsupport::hex(reply));
    x32.answerWith({reply});
    const std::size_t before = x32.received().size();
    EXPECT_EQ(runApp("Dravisk", "127.0.5.5,1"), 255);
    ASSERT_EQ(x32.received().size(), before + 1);  // the handshake and nothing else
    EXPECT_EQ(testsupport::hex(x32.received().back()), "2F78696E666F0000");
  }
  EXPECT_FALSE(fs::exists(dataFile()));
}

TEST_F(AppsE2E, AppsSendExactlyTheQueriesOfTheirConsole) {
  FakeConsole discovery("127.0.5.6", 2222);
  FakeConsole osc("127.0.5.6", 2223);
  discovery.answerWith({"WING,127.0.5.6,NGC-FULL,Desk,S1,3.0"});
  osc.answerWith({nameMessage("/ch/7/name", "Kick")});
  EXPECT_EQ(runApp("Quennet", "127.0.5.6,7"), 0);
  ASSERT_EQ(osc.received().size(), 1u);
  EXPECT_EQ(osc.received()[0], "/ch/7/name\0\0"s);
  EXPECT_EQ(slurp(dataFile()), "Kick");

  // One datagram that passes the X32 handshake and carries a name at offset 24 without a
  // closing NUL: the name ends with the reply.
  FakeConsole x32("127.0.5.6", 10023);
  x32.answerWith({"/xinfo\0\0"s + std::string(16, '\0') + "Tom"});
  EXPECT_EQ(runApp("Marlune", "127.0.5.6,7"), 0);
  ASSERT_EQ(x32.received().size(), 2u);
  EXPECT_EQ(x32.received()[1], "/bus/07/config/name\0"s);
  EXPECT_EQ(slurp(dataFile()), "Tom");
}

// Nothing outside the apps folder runs from a request, whatever the route says.
TEST_F(AppsE2E, RoutesThatLeaveTheAppsFolderAreRefused) {
  const fs::path marker = dir_.path() / "ran";
  const std::string touch = "#!/bin/sh\ntouch \"" + marker.string() + "\"\n";
  for (const fs::path& outside : {dir_.path() / "htdocs/Evil.exe", dir_.path() / "htdocs/appsEvil.exe"}) {
    std::ofstream(outside) << touch;
    fs::permissions(outside, fs::perms::owner_all);
  }
  scriptApp("a\\b", "touch \"" + marker.string() + "\"");
  for (const char* method : {"PUT", "POST"}) {
    for (const char* route : {"/../Evil", "/x/../../Evil", "Evil", "/a\\b"}) {
      SCOPED_TRACE(std::string(method) + " " + route);
      EXPECT_EQ(request(method, route, "1,2"), NotImpl);
    }
  }
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_FALSE(fs::exists(marker));
}

TEST_F(AppsE2E, BodyReachesTheAppWholeAsOneArgument) {
  // On Windows the app's own start-up code splits the command line the server built.
  if (testsupport::windowsBuild()) {
    standInApp("Args", "args");
  } else {
    scriptApp("Args",
              "printf '%s|%s|%s' \"$#\" \"$1\" \"$2\" > htdocs/apps/t.$$ && "
              "mv htdocs/apps/t.$$ htdocs/apps/VelmoraDataFile.txt");
  }
  for (const std::string body : {"127.0.0.1,5", "a b  \"c d\" 'e' $HOME `id` \\ ;|&", ""}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(request("POST", "/Args", body), textReply("2|-d|" + body));
  }
}

TEST_F(AppsE2E, LaunchedAppsInheritNoSocketOrWatch) {
  if (testsupport::windowsBuild()) {
    GTEST_SKIP() << "descriptors are POSIX's; under wine a script app would show wine's own";
  }
  scriptApp("Fds", "for f in /proc/$$/fd/*; do readlink \"$f\"; done > htdocs/apps/t.$$; "
                   "mv htdocs/apps/t.$$ htdocs/apps/VelmoraDataFile.txt");
  const std::string reply = request("POST", "/Fds", "1,2");
  ASSERT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
  EXPECT_EQ(reply.find("socket:"), std::string::npos) << reply;
  EXPECT_EQ(reply.find("inotify"), std::string::npos) << reply;
}

// Apps launched earlier (by a PUT, by a POST that timed out, or children they left behind)
// answer into the same data file; a POST must still return its own app's answer. Each
// earlier app here answers before the POSTed one would, so a server that did not wait for
// them would return their text.
TEST_F(AppsE2E, PostReturnsItsOwnAppsAnswerNotAnEarlierOnes) {
  answerApp("Medium", "0.4", "medium");
  answerApp("Slow", "0.3", "slow");
  answerApp("Late", "0.6", "late");
  if (testsupport::windowsBuild()) {
    standInApp("Forker", "touch htdocs/parent-done;spawn sleep 300;answer child");
  } else {
    scriptApp("Forker",
              "(sleep 0.3; printf child > htdocs/apps/t.$$ && "
              "mv htdocs/apps/t.$$ htdocs/apps/VelmoraDataFile.txt) & touch htdocs/parent-done");
  }
  struct Case {
    const char* name;
    const char* method;
    const char* route;
    std::string reply;
  };
  const Case cases[] = {
      {"a PUT still answering", "PUT", "/Slow", OK},
      {"a POST that timed out", "POST", "/Late", Timeout},
      {"a child the app left running", "PUT", "/Forker", OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(request(c.method, c.route, "1,2"), c.reply);
    if (std::string(c.route) == "/Forker") {
      ASSERT_TRUE(appears(dir_.path() / "htdocs/parent-done"));
    }
    EXPECT_EQ(request("POST", "/Medium", "1,2"), textReply("medium"));
  }
}

TEST_F(AppsE2E, LateAnswerIsServedByGetUntilTheNextPost) {
  answerApp("Late", "0.6", "late");
  answerApp("Fast", "0", "fast");
  EXPECT_EQ(request("POST", "/Late", "1,2"), Timeout);
  ASSERT_TRUE(appears(dataFile()));
  const std::string got = request("GET", "/apps/VelmoraDataFile.txt", "");
  EXPECT_EQ(got.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << got;
  EXPECT_EQ(got.substr(got.size() - 4), "late");
  EXPECT_EQ(request("POST", "/Fast", "1,2"), textReply("fast"));
}

// While an earlier app runs past the wait, a POST fails honestly and starts nothing.
TEST_F(AppsE2E, PostWhileAnEarlierAppRunsOnTimesOutAndLaunchesNothing) {
  answerApp("Long", "2", "long");
  const fs::path marker = dir_.path() / "ran";
  if (testsupport::windowsBuild()) {
    standInApp("Marker", "touch ran;answer marker");
  } else {
    scriptApp("Marker",
              "touch ran; printf marker > htdocs/apps/t.$$ && "
              "mv htdocs/apps/t.$$ htdocs/apps/VelmoraDataFile.txt");
  }
  ASSERT_EQ(request("PUT", "/Long", "1,2"), OK);
  const auto start = steady_clock::now();
  EXPECT_EQ(request("POST", "/Marker", "1,2"), Timeout);
  const auto waited = steady_clock::now() - start;
  EXPECT_GE(waited, milliseconds(400));
  EXPECT_LT(waited, milliseconds(1500));
  EXPECT_FALSE(fs::exists(marker));
  ASSERT_TRUE(appears(dataFile(), seconds(5)));  // Long has answered and is ending
  EXPECT_EQ(request("POST", "/Marker", "1,2"), textReply("marker"));
  EXPECT_TRUE(fs::exists(marker));
}

// Children of `parent` from /proc: all of them, and those that are zombies.
std::pair<int, int> childrenOf(pid_t parent) {
  int all = 0;
  int zombies = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string stat = slurp(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2 || ppid != parent) continue;
    ++all;
    if (state == 'Z') ++zombies;
  }
  return {all, zombies};
}

TEST_F(AppsE2E, ManyLaunchesLeaveNoZombiesNorDescriptors) {
  if (testsupport::windowsBuild()) {
    GTEST_SKIP() << "zombies and descriptors are POSIX's; wine starts apps as processes of "
                    "its own and keeps descriptors of its own";
  }
  scriptApp("Quick", "exit 3");
  scriptApp("Orphaner", "sleep 0.05 & exit 0");  // its child becomes the server's to reap
  const pid_t server = server_.child->pid();
  // The first POST sets up the server's one watch on the apps folder; it is kept.
  ASSERT_EQ(request("POST", "/Quick", "1,2"), Timeout);
  const int descriptors = testsupport::openDescriptors(server);
  for (int i = 0; i < 32; ++i) {
    ASSERT_EQ(request("PUT", "/Quick", "1,2"), OK);
    ASSERT_EQ(request("PUT", "/Orphaner", "1,2"), OK);
    ASSERT_EQ(request("PUT", "/Missing", "1,2"), NotImpl);
  }
  for (int i = 0; i < 4; ++i) ASSERT_EQ(request("POST", "/Orphaner", "1,2"), Timeout);
  auto [children, zombies] = childrenOf(server);
  const auto deadline = steady_clock::now() + seconds(5);
  while (children > 0 && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
    std::tie(children, zombies) = childrenOf(server);
  }
  EXPECT_EQ(children, 0);
  EXPECT_EQ(zombies, 0);
  EXPECT_EQ(testsupport::openDescriptors(server), descriptors);
}

// Many apps hand back at once into one folder: every state of the data file that anyone
// can see is a whole answer, and the file only ever comes into being by a rename.
TEST_F(AppsE2E, DataFileNeverAppearsHalfWritten) {
  const std::string name(100, 'N');
  FakeConsole x32("127.0.5.7", 10023);
  x32.answerWith({"/xinfo\0\0"s + std::string(16, '\0') + name + "\0\0\0\0"s});

  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, apps().c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO), 0);

  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::set<std::string> seen;
  std::thread reader([&] {
    while (!done) {
      std::ifstream in(dataFile(), std::ios::binary);
      if (!in) continue;
      std::ostringstream s;
      s << in.rdbuf();
      seen.insert(s.str());
      ++reads;
    }
  });
  for (int round = 0; round < 3; ++round) {
    std::vector<std::unique_ptr<Child>> running;
    for (int i = 0; i < 12; ++i) {
      running.push_back(std::make_unique<Child>(testsupport::program("Dravisk"),
                                                std::vector<std::string>{"-d", "127.0.5.7,1"},
                                                dir_.path()));
    }
    for (auto& app : running) EXPECT_EQ(app->wait(seconds(5)), 0);
  }
  done = true;
  reader.join();

  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(seen, std::set<std::string>{name});
  int renamedIn = 0;
  alignas(inotify_event) char events[65536];
  ssize_t n;
  while ((n = read(watch, events, sizeof events)) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if (event->len > 0 && std::strcmp(event->name, "VelmoraDataFile.txt") == 0) {
        EXPECT_EQ(event->mask & ~IN_ISDIR, static_cast<std::uint32_t>(IN_MOVED_TO)) << event->mask;
        ++renamedIn;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  close(watch);
  EXPECT_GT(renamedIn, 0);  // the kernel merges back-to-back renames into one event
  for (const auto& entry : fs::directory_iterator(apps())) {
    EXPECT_EQ(entry.path().filename().string().rfind("tmp", 0), std::string::npos) << entry.path();
  }
}

}  // namespace
