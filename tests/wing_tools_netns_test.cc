// End-to-end tests of wingfader and Tessaro. Both tools broadcast to 255.255.255.255, so
// every test first moves this process into a network namespace of its own that holds only
// the loopback interface; the tools, the simulator and the fake peers are started from
// there. Where no namespace can be made the tests are skipped, never run outside one.
//
// In such a namespace a broadcast reaches sockets bound to 0.0.0.0 only (a socket bound to
// the namespace's address does not see it), so the simulator binds 0.0.0.0.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/hex.h"
#include "tests/support/netns.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using testsupport::Child;
using testsupport::enterPrivateNetwork;
using testsupport::Network;
using testsupport::runIp;
using testsupport::hex;
using testsupport::unhex;

constexpr int exitFailure = 255;  // what a main returning -1 leaves as exit status

// ---- a fake Wing: answers as told and records every datagram it gets ----

struct Datagram {
  int port;            // 2222 or 2223
  std::string to;      // destination address of the datagram
  std::string bytes;
};

struct FakeWingAnswers {
  std::optional<std::string> discovery;       // reply to a broadcast "WING?"; none: silent
  std::optional<std::string> identification;  // reply to a "WING?" sent to an address
  std::string replyFrom = "";                 // local address to answer from; "": 0.0.0.0
  std::string silentAt = "";                  // an address whose identification goes unanswered
};

class FakeWing {
 public:
  explicit FakeWing(FakeWingAnswers answers) : answers_(std::move(answers)) {
    discovery_ = listenOn(2222);
    osc_ = listenOn(2223);
    if (!answers_.replyFrom.empty()) {
      reply_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in from = addressOf(answers_.replyFrom, 0);
      EXPECT_EQ(bind(reply_, reinterpret_cast<sockaddr*>(&from), sizeof from), 0)
          << std::strerror(errno);
    }
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeWing() {
    stop_ = true;
    thread_.join();
    for (int fd : {discovery_, osc_, reply_}) {
      if (fd >= 0) close(fd);
    }
  }

  // Every datagram that reached the fake so far. A tool that has ended left what it sent
  // queued at the sockets, so this first waits until the serving thread has taken it all.
  std::vector<Datagram> received() {
    for (int i = 0; i < 1000; ++i) {
      {
        std::lock_guard lock(mutex_);
        std::array<pollfd, 2> fds{{{discovery_, POLLIN, 0}, {osc_, POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), 0) == 0) return received_;
      }
      std::this_thread::sleep_for(milliseconds(1));
    }
    std::lock_guard lock(mutex_);
    return received_;
  }
  std::vector<std::string> oscMessages() {
    std::vector<std::string> messages;
    for (const auto& d : received()) {
      if (d.port == 2223) messages.push_back(d.bytes);
    }
    return messages;
  }
  int queries(const std::string& to) {
    int count = 0;
    for (const auto& d : received()) count += d.port == 2222 && d.to == to;
    return count;
  }

  static sockaddr_in addressOf(const std::string& text, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, text.c_str(), &address.sin_addr);
    return address;
  }

 private:
  static int listenOn(int port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    sockaddr_in any = addressOf("0.0.0.0", port);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any), 0) << std::strerror(errno);
    return fd;
  }

  void serve() {
    const auto limit = steady_clock::now() + seconds(60);
    while (!stop_ && steady_clock::now() < limit) {
      std::array<pollfd, 2> fds{{{discovery_, POLLIN, 0}, {osc_, POLLIN, 0}}};
      if (poll(fds.data(), fds.size(), 20) <= 0) continue;
      for (const auto& p : fds) {
        if (p.revents & POLLIN) take(p.fd);
      }
    }
  }

  // Receives and records under the lock, so received() never sees a datagram half taken.
  void take(int fd) {
    std::unique_lock lock(mutex_);
    char buffer[2048];
    char control[256];
    sockaddr_in sender{};
    iovec io{buffer, sizeof buffer};
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &message, 0);
    if (got < 0) return;
    std::string to;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
        in_pktinfo info;
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        char text[INET_ADDRSTRLEN];
        to = inet_ntop(AF_INET, &info.ipi_addr, text, sizeof text);
      }
    }
    const int port = fd == discovery_ ? 2222 : 2223;
    received_.push_back({port, to, std::string(buffer, static_cast<size_t>(got))});
    lock.unlock();
    if (port != 2222 || to == answers_.silentAt) return;
    const auto& answer = to == "255.255.255.255" ? answers_.discovery : answers_.identification;
    if (!answer) return;
    sendto(reply_ >= 0 ? reply_ : discovery_, answer->data(), answer->size(), 0,
           reinterpret_cast<sockaddr*>(&sender), sizeof sender);
  }

  FakeWingAnswers answers_;
  int discovery_ = -1, osc_ = -1, reply_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Datagram> received_;
  std::thread thread_;
};

// ---- running the programs ----

struct ToolRun {
  int status;
  std::string out;
  std::string err;
  milliseconds took;
};

const std::string wingQuery = unhex("57494E47 3F000000");
const std::string wingReply = "WING,10.99.0.1,NGC-FULL,fake,F0001,1.0";

std::string faderMessage(const char* levelHex) {
  return unhex(std::string("2F6D6169 6E2F312F 66647200 2C660000") + levelHex);
}

class WingToolsNetns : public ::testing::Test {
 protected:
  void SetUp() override { enter({"10.99.0.1/24"}); }

  void enter(const std::vector<std::string>& addresses) {
    std::string why;
    switch (enterPrivateNetwork(addresses, why)) {
      case Network::Ready:
        ready_ = true;
        return;
      case Network::Unavailable:
        GTEST_SKIP() << why;
      case Network::Unsafe:
        FAIL() << why;
    }
  }

  ToolRun run(const std::string& tool, const std::vector<std::string>& args) {
    // Nothing that broadcasts may start outside the private network.
    if (!ready_ || !testsupport::onlyLoopback()) {
      ADD_FAILURE() << "not inside a private network namespace";
      return {-1, "", "", {}};
    }
    const auto start = steady_clock::now();
    Child child(testsupport::binDir() / tool, args, dir_.path());
    const int status = child.wait(seconds(30));
    return {status, child.out(), child.err(),
            duration_cast<milliseconds>(steady_clock::now() - start)};
  }

  // The simulator's Wing side on 0.0.0.0, logging every datagram (-v).
  void startSimulator() {
    ASSERT_TRUE(ready_);
    const fs::path program = testsupport::binDir() / "consolesim";
    ASSERT_TRUE(fs::exists(program)) << "consolesim is not built";
    simulator_ = std::make_unique<Child>(program,
                                         std::vector<std::string>{"-a", "0.0.0.0", "-c", "wing", "-v"},
                                         simDir_.path());
    const auto deadline = steady_clock::now() + seconds(5);
    while (simulator_->out().find("wing-osc listening") == std::string::npos) {
      ASSERT_LT(steady_clock::now(), deadline) << "consolesim did not start: " << simulator_->err();
      std::this_thread::sleep_for(milliseconds(10));
    }
  }

  // Stops the simulator and returns the hex of every OSC datagram its Wing side received.
  std::vector<std::string> simulatorOscReceived() {
    EXPECT_TRUE(simulator_->stop());
    std::vector<std::string> hexes;
    std::istringstream log(simulator_->out());
    for (std::string line; std::getline(log, line);) {
      if (line.rfind("wing-osc recv from", 0) != 0) continue;
      const std::size_t bar = line.rfind(" | ");
      std::string digits;
      for (char c : line.substr(bar + 3)) {
        if (c != ' ') digits += c;
      }
      hexes.push_back(digits);
    }
    return hexes;
  }

  bool ready_ = false;
  testsupport::TempDir dir_;
  testsupport::TempDir simDir_;
  std::unique_ptr<Child> simulator_;
};

// ---- wingfader ----

TEST_F(WingToolsNetns, WingfaderSendsTheLevelToTheSimulator) {
  startSimulator();
  const auto result = run("wingfader", {"-d", "0.75"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(simulatorOscReceived(), std::vector<std::string>{hex(faderMessage("00000000"))});
}

TEST_F(WingToolsNetns, WingfaderSendsEveryPositionInOrder) {
  startSimulator();
  const auto result = run("wingfader", {"-d", "0.5", "-d", "0.75", "-d", "1", "-d", "0"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(simulatorOscReceived(),
            (std::vector<std::string>{hex(faderMessage("C1200000")), hex(faderMessage("00000000")),
                                      hex(faderMessage("41200000")), hex(faderMessage("C3100000"))}));
}

TEST_F(WingToolsNetns, WingfaderGreetsTheWingEvenWithoutOptions) {
  FakeWing wing({wingReply, wingReply, ""});
  const auto result = run("wingfader", {});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(wing.queries("255.255.255.255"), 1);
  EXPECT_EQ(wing.queries("10.99.0.1"), 1);
  EXPECT_TRUE(wing.oscMessages().empty());
  for (const auto& d : wing.received()) EXPECT_EQ(hex(d.bytes), hex(wingQuery));
}

// Five broadcasts a second apart, then the tool gives up. A device that answers with
// something else than "WING" counts as no answer.
TEST_F(WingToolsNetns, WingfaderGivesUpWhenNoWingAnswers) {
  for (const std::optional<std::string>& answer :
       {std::optional<std::string>{}, std::optional<std::string>{"XING,10.99.0.1"}}) {
    SCOPED_TRACE(answer ? *answer : "silent");
    FakeWing listener({answer, answer, ""});
    const auto result = run("wingfader", {"-d", "0.75"});
    EXPECT_EQ(result.status, exitFailure);
    EXPECT_EQ(result.out, "Cannot find a Wing on the network\n");
    EXPECT_EQ(listener.queries("255.255.255.255"), 5);
    EXPECT_EQ(listener.received().size(), 5u);
    if (!answer) {
      EXPECT_GE(result.took, milliseconds(4500));
      EXPECT_LT(result.took, seconds(15));
    }
  }
}

TEST_F(WingToolsNetns, WingfaderConnectsToTheAddressTheReplyNames) {
  FakeWing wing({"WING,10.98.0.9,NGC-FULL,fake", std::nullopt, ""});
  const auto result = run("wingfader", {"-d", "0.75"});
  EXPECT_EQ(result.status, exitFailure);
  EXPECT_EQ(result.out, "Cannot connect to Wing IP 10.98.0.9\n");
  EXPECT_GE(result.took, milliseconds(800));
  EXPECT_TRUE(wing.oscMessages().empty());
}

// The address is the reply's second field, at most 16 characters of it.
TEST_F(WingToolsNetns, WingfaderTakesAtMost16CharactersOfTheAddress) {
  FakeWing wing({"WING,10.98.0.9 and some words,x", std::nullopt, ""});
  const auto result = run("wingfader", {"-d", "0.75"});
  EXPECT_EQ(result.status, exitFailure);
  EXPECT_EQ(result.out, "Cannot connect to Wing IP 10.98.0.9 and so\n");
}

TEST_F(WingToolsNetns, WingfaderRefusesAValueThatIsNotANumber) {
  for (const char* bad : {"nan", "abc", "inf"}) {
    SCOPED_TRACE(bad);
    FakeWing wing({wingReply, wingReply, ""});
    const auto result = run("wingfader", {"-d", "0.5", "-d", bad, "-d", "0.75"});
    EXPECT_EQ(result.status, exitFailure);
    EXPECT_NE(result.err.find(bad), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("not a fader position"), std::string::npos) << result.err;
    EXPECT_EQ(wing.oscMessages(), std::vector<std::string>{faderMessage("C1200000")});
  }
}

TEST_F(WingToolsNetns, WingfaderUnknownOptionAfterTheGreeting) {
  FakeWing wing({wingReply, wingReply, ""});
  const auto result = run("wingfader", {"-d", "0.5", "-x", "-d", "0.75"});
  EXPECT_EQ(result.status, exitFailure);
  EXPECT_NE(result.err.find("invalid option"), std::string::npos) << result.err;
  EXPECT_EQ(wing.queries("10.99.0.1"), 1);
  EXPECT_EQ(wing.oscMessages(), std::vector<std::string>{faderMessage("C1200000")});
}

TEST(WingToolsNetnsMask, WingfaderWithoutA24BitSubnetSendsNothing) {
  std::string why;
  switch (enterPrivateNetwork({"10.99.0.1/16"}, why)) {
    case Network::Ready:
      break;
    case Network::Unavailable:
      GTEST_SKIP() << why;
    case Network::Unsafe:
      FAIL() << why;
  }
  ASSERT_TRUE(testsupport::onlyLoopback());
  FakeWing listener({wingReply, wingReply, ""});
  testsupport::TempDir dir;
  const auto start = steady_clock::now();
  Child child(testsupport::binDir() / "wingfader", {"-d", "0.75"}, dir.path());
  EXPECT_EQ(child.wait(seconds(30)), exitFailure);
  EXPECT_LT(steady_clock::now() - start, seconds(3));  // no 5-second search took place
  EXPECT_EQ(child.out(), "Cannot find a Wing on the network\n");
  EXPECT_TRUE(listener.received().empty());
}

// ---- Tessaro ----

const std::string bass3 = "2F627573 2F332F6E 616D6500 2C730000 42617373 00000000";

TEST_F(WingToolsNetns, TessaroNamesABusOnTheSimulator) {
  startSimulator();
  const auto result = run("Tessaro", {"-d", "10.99.0.1,3,Bass"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(simulatorOscReceived(), std::vector<std::string>{hex(unhex(bass3))});
}

// Through the default route over loopback every address reaches the simulator, so a
// console that keeps silent is a fake one.
TEST_F(WingToolsNetns, TessaroConsoleThatDoesNotAnswer) {
  FakeWing wing({wingReply, std::nullopt, ""});
  const auto result = run("Tessaro", {"-d", "10.99.0.1,3,Bass"});
  EXPECT_EQ(result.status, exitFailure);
  EXPECT_EQ(result.out, "Cannot connect to Wing IP 10.99.0.1\n");
  EXPECT_EQ(result.err, "");
  EXPECT_GE(result.took, milliseconds(800));
  EXPECT_EQ(wing.queries("10.99.0.1"), 1);
  EXPECT_TRUE(wing.oscMessages().empty());
}

TEST_F(WingToolsNetns, TessaroHelpWithAWing) {
  startSimulator();
  const auto result = run("Tessaro", {"-h", "-d", "10.99.0.1,3,Bass"});
  EXPECT_EQ(result.status, 0);
  const std::size_t bannerEnd = result.out.find('\n');
  ASSERT_NE(bannerEnd, std::string::npos);
  EXPECT_NE(result.out.substr(0, bannerEnd).find("Tessaro"), std::string::npos);
  EXPECT_EQ(result.out.substr(bannerEnd + 1),
            "Usage:\n"
            "\tThis application accepts a single -d option made of: <ip>,<num>,<name>\n\n"
            "\twhere <ip>: console IP address in the form xxx.xxx.xxx.xxx\n"
            "\t      <num>: an integer representing a Wing bus number\n"
            "\t      <name>: a string representing a Wing bus name\n"
            "\tThe application will send the bus <name> for bus <num>, effectively\n"
            "\tupdating the console state.\n");
  EXPECT_TRUE(simulatorOscReceived().empty());  // later options are not looked at
}

TEST_F(WingToolsNetns, TessaroHelpWithoutAWing) {
  const auto result = run("Tessaro", {"-h"});
  EXPECT_EQ(result.status, exitFailure);
  EXPECT_EQ(result.out, "Cannot find a Wing on the network\n");
}

TEST_F(WingToolsNetns, TessaroNameWithCommasAndNegativeBus) {
  FakeWing wing({wingReply, wingReply, ""});
  const auto result = run("Tessaro", {"-d", "10.99.0.1,-1,Drums,Left"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(hex(wing.oscMessages().at(0)),
            hex(unhex("2F627573 2F2D312F 6E616D65 00000000 2C730000 4472756D 732C4C65 66740000")));
}

// The link goes to whoever answered the identification, on port 2223.
TEST_F(WingToolsNetns, TessaroSendsToTheAddressThatAnswered) {
  ASSERT_EQ(runIp({"addr", "add", "10.99.0.2/24", "dev", "lo"}), 0);
  FakeWing wing({wingReply, wingReply, "10.99.0.2"});
  const auto result = run("Tessaro", {"-d", "10.99.0.1,3,Bass"});
  EXPECT_EQ(result.status, 0) << result.err;
  const auto all = wing.received();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.back().port, 2223);
  EXPECT_EQ(all.back().to, "10.99.0.2");
  EXPECT_EQ(hex(all.back().bytes), hex(unhex(bass3)));
}

// Only the bytes that the receive delivered count: an empty datagram after an earlier
// "WING" reply is no Wing answer.
TEST_F(WingToolsNetns, TessaroUnexpectedAnswerToTheIdentification) {
  for (const char* answer : {"", "OK", "NOPE,10.99.0.1"}) {
    SCOPED_TRACE(testing::Message() << "answer \"" << answer << "\"");
    FakeWing wing({wingReply, std::string(answer), ""});
    const auto result = run("Tessaro", {"-d", "10.99.0.1,3,Bass"});
    EXPECT_EQ(result.status, exitFailure);
    EXPECT_EQ(result.err, "Unexpected answer to WING identification data\n");
    EXPECT_EQ(result.out, "Cannot connect to Wing IP 10.99.0.1\n");
    EXPECT_TRUE(wing.oscMessages().empty());
  }
}

TEST_F(WingToolsNetns, TessaroStopsAtTheFirstConsoleThatDoesNotAnswer) {
  FakeWing wing({wingReply, wingReply, "", "10.99.0.7"});
  const auto result =
      run("Tessaro", {"-d", "10.99.0.1,1,Kick", "-d", "10.99.0.7,2,Snare", "-d", "10.99.0.1,3,Bass"});
  EXPECT_EQ(result.status, exitFailure);
  EXPECT_EQ(result.out, "Cannot connect to Wing IP 10.99.0.7\n");
  EXPECT_EQ(wing.queries("10.99.0.7"), 1);
  EXPECT_EQ(wing.oscMessages(),
            std::vector<std::string>{unhex("2F627573 2F312F6E 616D6500 2C730000 4B69636B 00000000")});
}

TEST_F(WingToolsNetns, TessaroRefusesAMalformedOption) {
  struct Case {
    std::string value;
    const char* says;
  };
  const std::array<Case, 4> cases{{
      {"10.99.0.1,3", "is not <ip>,<num>,<name>"},
      {"10.99.0.1", "is not <ip>,<num>,<name>"},
      {"10.99.0.1,x,Bass", "bus number"},
      {"10.99.0.1,3," + std::string(600, 'n'), "too long"},
  }};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.substr(0, 20));
    FakeWing wing({wingReply, wingReply, ""});
    const auto result = run("Tessaro", {"-d", "10.99.0.1,3,Bass", "-d", c.value, "-d", "10.99.0.1,4,Keys"});
    EXPECT_EQ(result.status, exitFailure);
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
    EXPECT_EQ(wing.queries("10.99.0.1"), 1);  // nothing sent for the refused option
    EXPECT_EQ(wing.oscMessages(), std::vector<std::string>{unhex(bass3)});
  }
}

// A text that is no IPv4 address means 255.255.255.255, which the link socket may not
// send to: the process ends with status 1.
TEST_F(WingToolsNetns, TessaroEndsWhenTheIdentificationCannotBeSent) {
  FakeWing wing({wingReply, wingReply, ""});
  const auto result = run("Tessaro", {"-d", "not-an-address,3,Bass"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Error sending WING identification data\n");
  EXPECT_TRUE(wing.oscMessages().empty());
}

}  // namespace
