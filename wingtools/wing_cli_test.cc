#include "wingtools/wing_cli.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "wingtools/wing_link.h"

namespace {

using namespace std::chrono;

struct Prompt {
  const char* msg;
  const char* caption;
  int type;
};

std::string drain(int fd) {
  std::string text;
  char chunk[4096];
  ssize_t got;
  while ((got = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(got));
  close(fd);
  return text;
}

// Runs `body` in a child process whose standard input is a pipe fed with `input` (then
// closed: end of input); `body`'s result comes back as `report`.
struct ChildRun {
  std::string shown;     // standard output
  std::string errors;    // standard error
  std::string report;    // what the body returned
  bool finished = false; // ended by itself in time
};

ChildRun runInChild(const std::string& input, const std::function<std::string()>& body) {
  int in[2], out[2], err[2], results[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(pipe(out), 0);
  EXPECT_EQ(pipe(err), 0);
  EXPECT_EQ(pipe(results), 0);
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], results[0]}) close(fd);
    const std::string report = body();
    std::fflush(stdout);
    if (write(results[1], report.data(), report.size()) < 0) _exit(3);
    _exit(0);
  }
  for (int fd : {in[0], out[1], err[1], results[1]}) close(fd);
  // A child that never reads its input may be gone before the input is written: that
  // is a closed pipe, not a failure of the test.
  signal(SIGPIPE, SIG_IGN);
  const ssize_t written = write(in[1], input.data(), input.size());
  EXPECT_TRUE(written == static_cast<ssize_t>(input.size()) || (written < 0 && errno == EPIPE));
  close(in[1]);

  ChildRun run;
  const auto deadline = steady_clock::now() + seconds(10);
  int status = 0;
  while (steady_clock::now() < deadline) {
    if (waitpid(child, &status, WNOHANG) == child) {
      run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      break;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
  if (!run.finished && waitpid(child, &status, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  run.shown = drain(out[0]);
  run.errors = drain(err[0]);
  run.report = drain(results[0]);
  return run;
}

struct ConsoleRun {
  std::string shown;
  std::string errors;
  std::vector<int> answers;  // wMessage results, in order
  bool finished = false;
};

ConsoleRun runPrompts(int cliMode, bool startReader, const std::string& input,
                      const std::vector<Prompt>& prompts) {
  const ChildRun child = runInChild(input, [&] {
    WCliMode = cliMode;
    if (startReader) wCliCreateKbdThread();
    std::string answers;
    for (const auto& p : prompts) answers += std::to_string(wMessage(p.msg, p.caption, p.type)) + " ";
    return answers;
  });
  ConsoleRun run{child.shown, child.errors, {}, child.finished};
  std::istringstream answers(child.report);
  for (int answer; answers >> answer;) run.answers.push_back(answer);
  return run;
}

constexpr int yesNo = 4;
constexpr int errorBox = 16;

TEST(wMessage, ConsoleYesNoJudgesTheFirstCharacter) {
  struct Case {
    const char* line;
    int answer;
  };
  const std::array<Case, 7> cases{{
      {"y\n", 6}, {"yes\n", 6}, {"n\n", 0}, {"Y\n", 0}, {"Yes\n", 0}, {"\n", 0}, {"", 0},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "line \"" << c.line << "\"");
    const auto run = runPrompts(1, true, c.line, {{"Rename", "Bus", yesNo}});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.shown, "Bus - Rename: (y/n)? ");
    EXPECT_EQ(run.answers, std::vector<int>{c.answer});
  }
}

TEST(wMessage, ConsoleAckTakesAnyLineAndAnswersZero) {
  const auto run =
      runPrompts(1, true, "y\n\n", {{"Link lost", nullptr, errorBox}, {nullptr, "Wing", 0}});
  ASSERT_TRUE(run.finished) << run.errors;
  EXPECT_EQ(run.shown, "Link lost: (ack)?Wing: (ack)?");
  EXPECT_EQ(run.answers, (std::vector<int>{0, 0}));
}

// Each prompt consumes one line and the next reader waits for the next one.
TEST(wMessage, ConsolePromptsTakeLinesInTurn) {
  const auto run = runPrompts(1, true, "n\ny\nyes\n",
                              {{"a", nullptr, yesNo}, {"b", nullptr, yesNo}, {"c", nullptr, yesNo}});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.answers, (std::vector<int>{0, 6, 6}));
}

// At the end of the input every prompt returns at once with 0.
TEST(wMessage, ConsoleEndOfInputAnswersNo) {
  const auto run = runPrompts(1, true, "", {{"a", nullptr, yesNo}, {"b", nullptr, errorBox},
                                            {"c", nullptr, yesNo}});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.answers, (std::vector<int>{0, 0, 0}));
}

// A line longer than the buffer is cut, and its rest does not answer the next prompt.
TEST(wMessage, ConsoleOverlongLineIsBoundedAndConsumedWhole) {
  const std::string longLine = "n" + std::string(4000, 'y') + "\n";
  const auto run = runPrompts(1, true, longLine + "n\ny\n",
                              {{"a", nullptr, yesNo}, {"b", nullptr, yesNo}, {"c", nullptr, yesNo}});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.answers, (std::vector<int>{0, 0, 6}));
}

// Without a reader started, a console prompt starts one rather than wait for ever.
TEST(wMessage, ConsoleWithoutReaderStartsOne) {
  const auto run = runPrompts(1, false, "y\n", {{"a", nullptr, yesNo}});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.answers, std::vector<int>{6});
}

// Without a message box the text goes to standard error and OK comes back at once,
// without reading the standard input.
TEST(wMessage, MessageBoxModeWritesStandardErrorAndAnswersOk) {
  const auto run = runPrompts(0, false, "n\n",
                              {{"WSA Startup Error", nullptr, errorBox}, {"Rename", "Bus", yesNo}});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.shown, "");
  EXPECT_EQ(run.errors, "WSA Startup Error\nBus - Rename\n");
  EXPECT_EQ(run.answers, (std::vector<int>{1, 1}));
}

TEST(KeyboardInput, StoresOneLineAndItsCount) {
  struct Case {
    std::string input;
    std::string report;  // "<kBytes>|<kBuffer>" after one read
  };
  const std::array<Case, 6> cases{{
      {"hello\nworld\n", "6|hello\n"},
      {"\n", "1|\n"},
      {"tail", "4|tail"},
      {"", "-1|"},
      {std::string(254, 'a') + "\n", "255|" + std::string(254, 'a') + "\n"},
      {std::string(300, 'b') + "\n", "255|" + std::string(255, 'b')},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report.substr(0, 12));
    const auto run = runInChild(c.input, [] {
      std::memset(kBuffer, 'x', sizeof kBuffer);
      KeyboardInput();
      return std::to_string(kBytes.load()) + "|" + kBuffer;
    });
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.report, c.report);
  }
}

// The old reader may finish a line while a relaunch waits for it; that line belongs to no
// prompt, so it is not seen after the relaunch and the next prompt waits for a line of its
// own (here the end of input, which answers "no").
TEST(wCliRelaunchKbdThread, LineFinishedDuringTheJoinIsNotTaken) {
  const auto run = runInChild("", [] {
    int late[2];
    if (pipe(late) != 0 || dup2(late[0], 0) < 0) return std::string("no pipe");
    close(late[0]);
    WCliMode = 1;
    wCliCreateKbdThread();
    std::thread writer([fd = late[1]] {
      std::this_thread::sleep_for(milliseconds(100));
      if (write(fd, "y\n", 2) != 2) std::perror("write");
      std::this_thread::sleep_for(milliseconds(200));
      close(fd);
    });
    wCliRelaunchKbdThread();
    const int seen = kBytes.load();
    const int answer = wMessage("again", nullptr, yesNo);
    writer.join();
    return std::to_string(seen) + " " + std::to_string(answer);
  });
  ASSERT_TRUE(run.finished) << run.errors;
  EXPECT_EQ(run.report, "0 0");
}

// A loopback peer stands in for the console.
class BlinkPeer {
 public:
  BlinkPeer() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(peer_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(getsockname(peer_.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    link_ = Socket(openSocket(AF_INET, SOCK_DGRAM, 0));
    Wfd = link_.get();
    WWIP = address;
    WWIP_len = sizeof WWIP;
  }
  ~BlinkPeer() { Wfd = invalidSocket; }
  std::vector<std::string> received(int quietMs) {
    std::vector<std::string> all;
    char buffer[256];
    while (waitReadable(peer_.get(), quietMs) == 1) {
      const auto got = recv(peer_.get(), buffer, sizeof buffer, 0);
      if (got < 0) break;
      all.emplace_back(buffer, static_cast<size_t>(got));
    }
    return all;
  }

 private:
  Socket peer_{openSocket(AF_INET, SOCK_DGRAM, 0)};
  Socket link_;
};

std::string blinkMessage(const char* text) {
  char message[64];
  std::memset(message, 0, sizeof message);
  // "/" padded to 4, ",s" padded to 4, the text padded to a multiple of 4.
  std::memcpy(message, "/\0\0\0,s\0\0", 8);
  std::strcpy(message + 8, text);
  const std::size_t length = 8 + (std::strlen(text) / 4 + 1) * 4;
  return std::string(message, length);
}

TEST(wBlink, SendsBothTextsPerBlinkInOrder) {
  std::strcpy(WScreenSaverL, "low");
  std::strcpy(WScreenSaverH, "highest");
  for (int on : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "WScreenSaverIsOn " << on);
    WScreenSaverIsOn = on;
    BlinkPeer peer;
    const auto start = steady_clock::now();
    wBlink(2);
    const auto took = steady_clock::now() - start;
    const std::string low = blinkMessage("low"), high = blinkMessage("highest");
    const auto expected = on ? std::vector<std::string>{high, low, high, low}
                             : std::vector<std::string>{low, high, low, high};
    EXPECT_EQ(peer.received(200), expected);
    EXPECT_GE(took, milliseconds(250));  // three pauses of 100 ms
    EXPECT_LT(took, seconds(2));
  }
}

TEST(wBlink, CountsBelowOneSendNothing) {
  for (int count : {0, -3}) {
    SCOPED_TRACE(count);
    BlinkPeer peer;
    wBlink(count);
    EXPECT_TRUE(peer.received(200).empty());
  }
}

}  // namespace
