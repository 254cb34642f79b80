#include "server/server_apps.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/process.h"
#include "server/http_replies.h"
#include "server/server_state.h"
#include "tests/support/expected_replies.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// An apps directory of scripts, with the server's globals pointed at it and its replies
// going to one end of a socket pair.
class ServerApps : public testing::Test {
 protected:
  void SetUp() override {
    // As the server does; undone afterwards so other tests in this binary may wait for
    // children of their own.
    pthread_sigmask(SIG_SETMASK, nullptr, &savedMask_);
    trackLaunchedApps();
    std::random_device seed;
    root_ = fs::temp_directory_path() / ("velmora-apps-" + std::to_string(seed()));
    fs::create_directories(root_ / "apps");
    appsDir = (root_ / "apps").string();
    dataFilePath = appsDir + "/VelmoraDataFile.txt";
    connect();
  }
  void TearDown() override {
    awaitAppsEnded(5000);
    pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
    disconnect();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // A fresh connection for the next reply.
  void connect() {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    clientSocket = ends[0];
    peer_ = ends[1];
  }
  void disconnect() {
    close(clientSocket);
    close(peer_);
    clientSocket = invalidSocket;
  }

  // A shell script at `relative` (under the temporary root), executable.
  void script(const std::string& relative, const std::string& commands) const {
    const fs::path file = root_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "#!/bin/sh\n" << commands << "\n";
    fs::permissions(file, fs::perms::owner_all);
  }

  // An app that leaves `content` in the data file the way apps do: written aside, renamed.
  void writerApp(const std::string& name, const std::string& content) const {
    script("apps/" + name + ".exe", "printf '%s' '" + content + "' > \"" + appsDir +
                                        "/w.$$\" && mv \"" + appsDir + "/w.$$\" \"" + dataFilePath + "\"");
  }

  std::string replySent() const {
    shutdown(clientSocket, SHUT_WR);
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = read(peer_, buffer, sizeof buffer)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
    return reply;
  }

  bool appears(const fs::path& file, milliseconds limit = seconds(3)) const {
    const auto deadline = steady_clock::now() + limit;
    while (steady_clock::now() < deadline) {
      if (fs::exists(file)) return true;
      std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
  }

  static void setRoute(const char* text) {
    std::strncpy(route, text, sizeof route - 1);
    route[sizeof route - 1] = '\0';
  }

  fs::path root_;
  int peer_ = -1;
  sigset_t savedMask_{};
};

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(ServerApps, ForkAppRunsTheRoutesExecutableWithDashDAndTheBody) {
  const std::string args = (root_ / "args").string();
  script("apps/Args.exe", "printf '%s|%s|%s' \"$#\" \"$1\" \"$2\" > \"" + args + ".$$\" && mv \"" + args +
                              ".$$\" \"" + args + "\"");
  const char* body = "1.2.3.4,5 \"quoted\" $HOME `x` 'y'";
  EXPECT_GT(ServerForkApp(appsDir.c_str(), "/Args", body), 32);
  ASSERT_TRUE(appears(root_ / "args"));
  EXPECT_EQ(slurp(root_ / "args"), std::string("2|-d|") + body);
}

TEST_F(ServerApps, ForkAppReportsFilesThatCannotRun) {
  std::ofstream(root_ / "apps/Plain.exe") << "not a program\n";
  fs::permissions(root_ / "apps/Plain.exe", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directories(root_ / "apps/Folder.exe");
  for (const char* route : {"/Missing", "/Plain", "/Folder", "/Args?x=1"}) {
    SCOPED_TRACE(route);
    EXPECT_LE(ServerForkApp(appsDir.c_str(), route, "1,2"), 32);
  }
}

// Nothing outside the apps directory may run from a request, whatever the route.
TEST_F(ServerApps, ForkAppRefusesRoutesLeavingTheAppsDirectory) {
  const fs::path marker = root_ / "ran";
  const std::string touch = "touch \"" + marker.string() + "\"";
  script("Evil.exe", touch);            // reached by /../Evil
  script("appsEvil.exe", touch);        // reached by a route without its leading slash
  script("apps/a\\b.exe", touch);       // a file whose name holds a backslash
  script("apps/sub/Inner.exe", touch);  // inside: allowed, checked last
  for (const char* route : {"/../Evil", "/sub/../../Evil", "Evil", "/a\\b", "/..", "/sub/.."}) {
    SCOPED_TRACE(route);
    EXPECT_EQ(ServerForkApp(appsDir.c_str(), route, "1,2"), 0);
  }
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_GT(ServerForkApp(appsDir.c_str(), "/sub/./Inner", "1,2"), 32);
  EXPECT_TRUE(appears(marker));
}

TEST_F(ServerApps, PutAnswersOkOnlyWhenTheAppStarted) {
  writerApp("Put", "Ch 01");
  setRoute("/Put");
  char body[] = "1.2.3.4,1";
  servePutApp(body);
  EXPECT_EQ(replySent(), testsupport::OK);
  EXPECT_TRUE(appears(dataFilePath));
}

TEST_F(ServerApps, PutToAMissingAppIsNotImplemented) {
  setRoute("/Missing");
  char body[] = "1.2.3.4,1";
  servePutApp(body);
  EXPECT_EQ(replySent(), testsupport::NotImpl);
}

TEST_F(ServerApps, PostReturnsTheDataFileAndLeavesItOnDisk) {
  for (const std::string content : {"Ch 01", "", "two words, and more"}) {
    SCOPED_TRACE(content);
    writerApp("Post", content);
    fs::remove(dataFilePath);
    setRoute("/Post");
    char body[] = "1.2.3.4,1";
    servePostApp(body);
    EXPECT_EQ(replySent(), testsupport::textReply(content));
    EXPECT_EQ(slurp(dataFilePath), content);
    disconnect();
    connect();
  }
}

TEST_F(ServerApps, PostToAMissingAppIsNotImplementedAtOnce) {
  setRoute("/Missing");
  char body[] = "1.2.3.4,1";
  const auto start = steady_clock::now();
  servePostApp(body);
  EXPECT_LT(steady_clock::now() - start, milliseconds(400));
  EXPECT_EQ(replySent(), testsupport::NotImpl);
}

TEST_F(ServerApps, PostTimesOutWhenTheAppWritesNothing) {
  script("apps/Silent.exe", "exit 0");
  setRoute("/Silent");
  char body[] = "1.2.3.4,1";
  const auto start = steady_clock::now();
  servePostApp(body);
  const auto waited = steady_clock::now() - start;
  EXPECT_EQ(replySent(), testsupport::Timeout);
  EXPECT_GE(waited, milliseconds(400));
  EXPECT_LT(waited, milliseconds(2000));
}

TEST_F(ServerApps, PostFindsAFileThatArrivesLateInTheWait) {
  script("apps/Slow.exe", "sleep 0.3; printf late > \"" + appsDir + "/s.$$\" && mv \"" + appsDir +
                              "/s.$$\" \"" + dataFilePath + "\"");
  setRoute("/Slow");
  char body[] = "1.2.3.4,1";
  servePostApp(body);
  EXPECT_EQ(replySent(), testsupport::textReply("late"));
}

}  // namespace
