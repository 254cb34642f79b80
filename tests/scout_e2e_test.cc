// End-to-end tests of Scout, the discovery app, with the simulator and fake consoles. Asked
// for one address, Scout sends nothing but unicast, so those tests run here on loopback,
// each console on an address of its own. Scout with an empty body broadcasts: those tests
// first move this process into a private network namespace that holds only "lo" (see
// wing_tools_netns_test.cc), and are skipped where none can be made.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "osc/osc_builder.h"
#include "tests/support/e2e.h"
#include "tests/support/fake_console.h"
#include "tests/support/hex.h"
#include "tests/support/netns.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace std::string_literals;
using testsupport::Child;
using testsupport::FakeConsole;
using testsupport::slurp;

constexpr int exitFailure = 255;  // what a main returning -1 leaves as exit status

std::string xinfoReply(const char* own, const char* name) {
  char packet[256];
  int end = 0;
  for (const char* field : {"/xinfo", ",ssss", own, name, "X32", "4.06"}) {
    end = Xsprint(packet, end, 's', field);
  }
  return std::string(packet, static_cast<std::size_t>(end));
}

std::string simulatorLines(const std::string& address) {
  return "Wing\t" + address + "\tconsolesim\tNGC-FULL\t1.0\n" + "X32\t" + address +
         "\tconsolesim\tX32\t1.0\n";
}

// A scratch folder laid out as the server's: htdocs/apps holds Scout.
class ScoutE2E : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "htdocs/apps");
    fs::create_symlink(testsupport::binDir() / "Scout", dir_.path() / "htdocs/apps/Scout.exe");
  }

  fs::path dataFile() const { return dir_.path() / "htdocs/apps/VelmoraDataFile.txt"; }

  // An empty body broadcasts: only inside a private network.
  static bool mayAsk(const std::string& body) {
    if (body.find_first_not_of(" \r\n") != std::string::npos || testsupport::onlyLoopback()) return true;
    ADD_FAILURE() << "a broadcast outside a private network namespace";
    return false;
  }

  // Runs Scout as the server would: -d and the body, in the scratch folder.
  int scout(const std::string& body) {
    if (!mayAsk(body)) return -1;
    last_ = std::make_unique<Child>(testsupport::binDir() / "Scout",
                                    std::vector<std::string>{"-d", body}, dir_.path());
    return last_->wait(seconds(5));
  }

  // The simulator on `address`, listening on its three ports.
  std::unique_ptr<Child> startSimulator(const std::string& address) {
    auto sim = std::make_unique<Child>(testsupport::binDir() / "consolesim",
                                       std::vector<std::string>{"-a", address, "-q"}, simDir_.path());
    const auto deadline = steady_clock::now() + seconds(10);
    while (steady_clock::now() < deadline && sim->running()) {
      const std::string out = sim->out();
      if (out.find("wing-osc listening") != std::string::npos &&
          out.find("x32 listening") != std::string::npos) {
        return sim;
      }
      std::this_thread::sleep_for(milliseconds(5));
    }
    ADD_FAILURE() << "consolesim did not listen on " << address << ": " << sim->err();
    return sim;
  }

  // POST /Scout through the server; the reply's body, or the whole reply when it is no 200.
  std::string postScout(const std::string& body) {
    if (!mayAsk(body)) return {};
    const auto server = testsupport::startServer(dir_.path());
    const std::string reply = testsupport::exchange(
        server.port, "POST /Scout HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\n\r\n" + body);
    const std::size_t start = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.1 200 OK\r\n", 0) != 0 || start == std::string::npos) return reply;
    return reply.substr(start + 4, reply.size() - start - 4 - 3);  // the text before CR LF LF
  }

  testsupport::TempDir dir_;
  testsupport::TempDir simDir_;
  std::unique_ptr<Child> last_;
};

TEST_F(ScoutE2E, ListsBothConsolesOfTheSimulatorAtAnAddress) {
  const auto sim = startSimulator("127.0.6.1");
  const auto start = steady_clock::now();
  Child app(testsupport::binDir() / "Scout", {"-d", "127.0.6.1"}, dir_.path());
  while (!fs::exists(dataFile()) && steady_clock::now() - start < seconds(5)) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  const auto tookMs = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_EQ(app.wait(), 0) << app.err();
  EXPECT_EQ(slurp(dataFile()), simulatorLines("127.0.6.1"));
  EXPECT_GE(tookMs, 290);  // it listens for 300 ms before it writes
  RecordProperty("launch_to_data_file_ms", static_cast<int>(tookMs));
  std::cout << "Scout: launch to data file " << tookMs << " ms\n";

  EXPECT_EQ(postScout("127.0.6.1"), simulatorLines("127.0.6.1"));
}

// Odd answers: short, of the wrong shape, twice, with tabs and line ends in the fields.
TEST_F(ScoutE2E, KeepsOnlyWellFormedAnswersOncePerConsole) {
  struct Case {
    const char* name;
    std::vector<std::string> wing;
    std::vector<std::string> x32;
    std::string list;
  };
  const std::vector<Case> cases{
      {"both answer, the Wing twice",
       {"WING,127.0.6.2,Stage\tLeft,ngc-full,S1,1.07", "WING,127.0.6.2,Again,ngc-full,S1,1.07"},
       {"/xi"s, xinfoReply("127.0.6.2", "FOH\r\nDesk")},
       "Wing\t127.0.6.2\tStage Left\tngc-full\t1.07\nX32\t127.0.6.2\tFOH  Desk\tX32\t4.06\n"},
      {"short Wing answer, no X32",
       {"WING,127.0.6.2"},
       {},
       "Wing\t127.0.6.2\t\t\t\n"},
      {"answers of other shapes",
       {"WING", "XING,127.0.6.2,a,b,c,d", ""},
       {"/xinfo\0\0"s, xinfoReply("127.0.6.2", "x").substr(0, 30), "/status\0,ssss\0\0\0"s},
       ""},
      {"silence", {}, {}, ""},
  };
  FakeConsole wing("127.0.6.2", 2222);
  FakeConsole x32("127.0.6.2", 10023);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wing.answerWith(c.wing);
    x32.answerWith(c.x32);
    const std::size_t asked = wing.received().size();
    EXPECT_EQ(scout("127.0.6.2"), 0) << last_->err();
    EXPECT_EQ(slurp(dataFile()), c.list);
    ASSERT_EQ(wing.received().size(), asked + 1);
    EXPECT_EQ(testsupport::hex(wing.received().back()), "57494E473F000000");
    EXPECT_EQ(testsupport::hex(x32.received().back()), "2F78696E666F0000");
  }
}

TEST_F(ScoutE2E, RefusesABodyThatIsNoAddressAndLeavesTheDataFile) {
  std::ofstream(dataFile()) << "earlier";
  for (const char* body : {"10.0.0.1,5", "console.local", "010.0.0.1"}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(scout(body), exitFailure);
    EXPECT_NE(last_->err().find("neither empty nor an IPv4 address"), std::string::npos);
    EXPECT_EQ(slurp(dataFile()), "earlier");
  }
}

// ---- the broadcast form, in a private network ----

class ScoutBroadcast : public ScoutE2E {
 protected:
  void SetUp() override {
    ScoutE2E::SetUp();
    std::string why;
    switch (testsupport::enterPrivateNetwork({"10.99.0.1/24"}, why)) {
      case testsupport::Network::Ready:
        return;
      case testsupport::Network::Unavailable:
        GTEST_SKIP() << why;
      case testsupport::Network::Unsafe:
        FAIL() << why;
    }
  }
};

TEST_F(ScoutBroadcast, FindsTheSimulatorBoundToEveryAddress) {
  const auto sim = startSimulator("0.0.0.0");
  ASSERT_TRUE(testsupport::onlyLoopback());
  EXPECT_EQ(postScout(""), simulatorLines("10.99.0.1"));
  ASSERT_TRUE(testsupport::onlyLoopback());
  EXPECT_EQ(scout(""), 0) << last_->err();
  EXPECT_EQ(slurp(dataFile()), simulatorLines("10.99.0.1"));
}

TEST_F(ScoutBroadcast, FailsWhenNoQuestionCanBeSent) {
  ASSERT_EQ(testsupport::runIp({"route", "del", "default"}), 0);
  std::ofstream(dataFile()) << "earlier";
  ASSERT_TRUE(testsupport::onlyLoopback());
  EXPECT_EQ(scout(""), exitFailure);
  EXPECT_NE(last_->err().find("Scout: cannot send the Wing question"), std::string::npos);
  EXPECT_EQ(slurp(dataFile()), "earlier");
}

}  // namespace
