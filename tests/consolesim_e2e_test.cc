// The console simulator as its users meet it: the built program on its own loopback
// address and the consoles' fixed ports, real datagrams in and out, exact reply bytes.
// Each test takes its own 127.77.1.N address so the tests can run side by side.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/hex.h"

using namespace std::chrono_literals;
using testsupport::Child;
using testsupport::hex;
using testsupport::TempDir;
using testsupport::unhex;

namespace {

sockaddr_in endpoint(const std::string& address, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return a;
}

// A UDP peer of the simulator, bound to 127.0.0.1 on a port the system picks.
class Peer {
 public:
  Peer() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in local = endpoint("127.0.0.1", 0);
    bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);
  }
  ~Peer() { close(fd_); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int port() const { return port_; }

  void send(const std::string& address, int port, const std::string& bytes) const {
    const sockaddr_in to = endpoint(address, port);
    ASSERT_EQ(sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to),
              static_cast<ssize_t>(bytes.size()));
  }

  /// The next datagram within `limit`, or nothing.
  std::optional<std::string> receive(std::chrono::milliseconds limit = 2000ms) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) <= 0) return std::nullopt;
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
  }

  /// Sends `request` and returns the reply as hex ("" when none came within `limit`).
  std::string ask(const std::string& address, int port, const std::string& requestHex,
                  std::chrono::milliseconds limit = 2000ms) const {
    send(address, port, unhex(requestHex));
    const auto reply = receive(limit);
    return reply ? hex(*reply) : "";
  }

 private:
  int fd_;
  int port_ = 0;
};

int countOf(const std::string& text, const std::string& word) {
  int count = 0;
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

// The simulator started in a scratch folder; construction waits until it listens.
struct Sim {
  TempDir dir;
  Child child;
  Sim(const std::vector<std::string>& args, int listeners = 3)
      : child(testsupport::binDir() / "consolesim", args, dir.path()) {
    for (int i = 0; i < 500 && countOf(child.out(), " listening on ") < listeners; ++i) {
      if (!child.running()) break;
      std::this_thread::sleep_for(10ms);
    }
  }
  bool listening(int listeners = 3) const { return countOf(child.out(), " listening on ") == listeners; }
};

// Waits for the simulator to have written `text` to its standard output.
bool waitForOutput(const Sim& sim, const std::string& text) {
  for (int i = 0; i < 200; ++i) {
    if (sim.child.out().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

std::string hexOf(const std::string& text) { return hex(text); }

struct Step {
  const char* name;
  int port;
  const char* request;
  const char* reply;  // "" when nothing must come back
};

void runSteps(const Peer& peer, const std::string& address, std::span<const Step> steps) {
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    // A silent step waits 300 ms: long enough for a loopback answer that should not come.
    const auto limit = *step.reply == '\0' ? 300ms : 2000ms;
    EXPECT_EQ(peer.ask(address, step.port, step.request, limit), hex(unhex(step.reply)));
  }
}

}  // namespace

TEST(ConsoleSim, ListensAndAnswersXinfoWithItsOwnAddress) {
  const std::string address = "127.77.1.1";
  Sim sim({"-a", address});
  ASSERT_TRUE(sim.listening()) << sim.child.err();
  EXPECT_EQ(sim.child.out(),
            "consolesim: x32 listening on 127.77.1.1:10023\n"
            "consolesim: wing-discovery listening on 127.77.1.1:2222\n"
            "consolesim: wing-osc listening on 127.77.1.1:2223\n");
  Peer peer;
  // ,ssss "127.77.1.1" "consolesim" "X32" "1.0"
  EXPECT_EQ(peer.ask(address, 10023, "2F78696E 666F0000"),
            hex(unhex("2F78696E 666F0000 2C737373 73000000 3132372E 37372E31 2E310000"
                      "636F6E73 6F6C6573 696D0000 58333200 312E3000")));
}

TEST(ConsoleSim, X32NamesAndFadersReadBackWhatWasSet) {
  const std::string address = "127.77.1.2";
  Sim sim({"-a", address, "-c", "x32"}, 1);
  ASSERT_TRUE(sim.listening(1)) << sim.child.err();
  const std::array<Step, 8> steps{{
      {"default channel name", 10023, "2F63682F 30312F63 6F6E6669 672F6E61 6D650000",
       "2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C730000 43682030 31000000"},
      {"set channel 1 to Kick", 10023,
       "2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000", ""},
      {"channel 1 reads Kick", 10023, "2F63682F 30312F63 6F6E6669 672F6E61 6D650000",
       "2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000"},
      {"default bus 16 name", 10023, "2F627573 2F31362F 636F6E66 69672F6E 616D6500",
       "2F627573 2F31362F 636F6E66 69672F6E 616D6500 2C730000 42757320 31360000"},
      {"set fader 32 to 0.25", 10023, "2F63682F 33322F6D 69782F66 61646572 00000000 2C660000 3E800000",
       ""},
      {"fader 32 reads 0.25", 10023, "2F63682F 33322F6D 69782F66 61646572 00000000",
       "2F63682F 33322F6D 69782F66 61646572 00000000 2C660000 3E800000"},
      {"unknown channel 33", 10023, "2F63682F 33332F63 6F6E6669 672F6E61 6D650000", ""},
      {"fader set with a string is refused", 10023,
       "2F63682F 33322F6D 69782F66 61646572 00000000 2C730000 31000000", ""},
  }};
  Peer peer;
  runSteps(peer, address, steps);
  EXPECT_EQ(peer.ask(address, 10023, "2F63682F 33322F6D 69782F66 61646572 00000000"),
            hex(unhex("2F63682F 33322F6D 69782F66 61646572 00000000 2C660000 3E800000")));
  EXPECT_NE(sim.child.out().find("ignored: set /ch/32/mix/fader: wrong argument type"),
            std::string::npos);
}

TEST(ConsoleSim, WingAnswersDiscoveryAndKeepsNamesAndMainFader) {
  const std::string address = "127.77.1.3";
  Sim sim({"-a", address, "-c", "wing"}, 2);
  ASSERT_TRUE(sim.listening(2)) << sim.child.err();
  Peer peer;
  EXPECT_EQ(peer.ask(address, 2222, "57494E47 3F000000"),
            hexOf("WING,127.77.1.3,consolesim,NGC-FULL,SIM000001,1.0"));
  const std::array<Step, 6> steps{{
      {"default channel 1 name", 2223, "2F63682F 312F6E61 6D650000",
       "2F63682F 312F6E61 6D650000 2C730000 43482031 00000000"},
      {"the bus-name tool names bus 3 Bass", 2223,
       "2F627573 2F332F6E 616D6500 2C730000 42617373 00000000", ""},
      {"bus 3 reads Bass", 2223, "2F627573 2F332F6E 616D6500",
       "2F627573 2F332F6E 616D6500 2C730000 42617373 00000000"},
      {"the fader tool sends -10 dB", 2223, "2F6D6169 6E2F312F 66647200 2C660000 C1200000", ""},
      {"main fader reads -10 dB", 2223, "2F6D6169 6E2F312F 66647200",
       "2F6D6169 6E2F312F 66647200 2C660000 C1200000"},
      {"a discovery query on the OSC port is not OSC", 2223, "57494E47 3F000000", ""},
  }};
  runSteps(peer, address, steps);
  EXPECT_EQ(peer.ask(address, 2222, "57494E47 3F00", 300ms), "");  // 6 bytes: not the query
  EXPECT_EQ(peer.ask(address, 10023, "2F78696E 666F0000", 300ms), "");  // no X32 here
}

TEST(ConsoleSim, MalformedDatagramsAreLoggedAndIgnored) {
  const std::string address = "127.77.1.4";
  Sim sim({"-a", address});
  ASSERT_TRUE(sim.listening()) << sim.child.err();
  Peer peer;
  const std::array<std::string, 5> junk{
      "",                                   // empty datagram
      unhex("2F6162"),                      // off the grid
      unhex("2F616263"),                    // address without NUL
      unhex("2F740000 2C620000 7FFFFFFF"),  // blob count far past the end
      std::string(60000, '/'),              // large and without a NUL
  };
  for (const std::string& bytes : junk) {
    SCOPED_TRACE(bytes.size());
    peer.send(address, 10023, bytes);
    peer.send(address, 2223, bytes);
    EXPECT_FALSE(peer.receive(200ms).has_value());
  }
  // Still alive and answering after all of it.
  EXPECT_EQ(peer.ask(address, 2223, "2F63682F 34302F6E 616D6500"),
            hex(unhex("2F63682F 34302F6E 616D6500 2C730000 43482034 30000000")));
  EXPECT_TRUE(sim.child.running());
  EXPECT_EQ(countOf(sim.child.out(), ": ignored: not OSC ("), 10);
}

TEST(ConsoleSim, SilentModeLogsButNeverAnswers) {
  const std::string address = "127.77.1.5";
  Sim sim({"-a", address, "--silent"});
  ASSERT_TRUE(sim.listening()) << sim.child.err();
  Peer peer;
  EXPECT_EQ(peer.ask(address, 10023, "2F78696E 666F0000", 500ms), "");
  EXPECT_EQ(peer.ask(address, 2222, "57494E47 3F000000", 500ms), "");
  EXPECT_EQ(peer.ask(address, 2223, "2F63682F 312F6E61 6D650000", 500ms), "");
  EXPECT_TRUE(waitForOutput(sim, "wing-osc recv from 127.0.0.1:" + std::to_string(peer.port())));
  EXPECT_EQ(countOf(sim.child.out(), " recv from "), 3);
  EXPECT_EQ(countOf(sim.child.out(), " sent to "), 0);
}

TEST(ConsoleSim, TakenPortEndsWithStatusOneAndSaysWhich) {
  const std::string address = "127.77.1.6";
  const int holder = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_in taken = endpoint(address, 2223);
  ASSERT_EQ(bind(holder, reinterpret_cast<const sockaddr*>(&taken), sizeof taken), 0);
  TempDir dir;
  Child sim(testsupport::binDir() / "consolesim", {"-a", address}, dir.path());
  EXPECT_EQ(sim.wait(5s), 1);
  EXPECT_EQ(sim.err(), "consolesim: cannot bind wing-osc to 127.77.1.6:2223: Address already in use\n");
  EXPECT_EQ(sim.out(), "");  // nothing claims to listen when one port failed
  close(holder);
}

TEST(ConsoleSim, StopSignalsEndItWithStatusZero) {
  const std::array<std::pair<int, const char*>, 2> signals{{{SIGTERM, "127.77.1.7"},
                                                           {SIGINT, "127.77.1.8"}}};
  for (const auto& [signal, address] : signals) {
    SCOPED_TRACE(signal);
    Sim sim({"-a", address});
    ASSERT_TRUE(sim.listening()) << sim.child.err();
    Peer peer;
    EXPECT_NE(peer.ask(address, 10023, "2F78696E 666F0000"), "");  // busy before the stop
    ASSERT_EQ(kill(sim.child.pid(), signal), 0);
    EXPECT_EQ(sim.child.wait(5s), 0);
    EXPECT_NE(sim.child.out().find("consolesim: stopped by signal " + std::to_string(signal)),
              std::string::npos);
    // The ports are free again at once.
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in x32 = endpoint(address, 10023);
    EXPECT_EQ(bind(probe, reinterpret_cast<const sockaddr*>(&x32), sizeof x32), 0);
    close(probe);
  }
}

TEST(ConsoleSim, VerboseLogShowsEveryDatagramInAndOut) {
  const std::string address = "127.77.1.9";
  Sim sim({"-a", address, "-v"});
  ASSERT_TRUE(sim.listening()) << sim.child.err();
  Peer peer;
  const std::string from = "127.0.0.1:" + std::to_string(peer.port());
  peer.send(address, 10023,
            unhex("2F63682F 30352F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000"));
  EXPECT_NE(peer.ask(address, 10023, "2F63682F 30352F63 6F6E6669 672F6E61 6D650000"), "");
  EXPECT_NE(peer.ask(address, 2222, "57494E47 3F000000"), "");
  ASSERT_TRUE(waitForOutput(sim, "wing-discovery sent to"));
  const std::string out = sim.child.out();
  const std::array<std::string, 5> lines{
      "x32 recv from " + from + " (32 bytes): /ch/05/config/name ,s \"Kick\" | "
      "2F63682F 30352F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000\n",
      "x32 recv from " + from + " (20 bytes): /ch/05/config/name | "
      "2F63682F 30352F63 6F6E6669 672F6E61 6D650000\n",
      "x32 sent to " + from + " (32 bytes): /ch/05/config/name ,s \"Kick\" | "
      "2F63682F 30352F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000\n",
      "wing-discovery recv from " + from + " (8 bytes): \"WING?\\0\\0\\0\" | 57494E47 3F000000\n",
      "wing-discovery sent to " + from + " (49 bytes): "
      "\"WING,127.77.1.9,consolesim,NGC-FULL,SIM000001,1.0\" | 57494E47 2C313237",
  };
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    EXPECT_NE(out.find(line), std::string::npos) << out;
  }
}

TEST(ConsoleSim, PortOverridesAndBadOptions) {
  const std::string address = "127.77.1.10";
  Sim sim({"-a", address, "-c", "wing", "--wing-discovery-port", "0", "--wing-osc-port=0"}, 2);
  ASSERT_TRUE(sim.listening(2)) << sim.child.err();
  const std::string out = sim.child.out();
  const std::string prefix = "consolesim: wing-osc listening on " + address + ":";
  const auto at = out.find(prefix);
  ASSERT_NE(at, std::string::npos) << out;
  const int oscPort = std::stoi(out.substr(at + prefix.size()));
  EXPECT_GT(oscPort, 0);
  EXPECT_NE(oscPort, 2223);
  Peer peer;
  EXPECT_EQ(peer.ask(address, oscPort, "2F627573 2F31362F 6E616D65 00000000"),
            hex(unhex("2F627573 2F31362F 6E616D65 00000000 2C730000 42555320 31360000")));

  TempDir dir;
  Child bad(testsupport::binDir() / "consolesim", {"-a", "localhost"}, dir.path());
  EXPECT_EQ(bad.wait(5s), 2);
  EXPECT_EQ(bad.err().rfind("consolesim: -a takes a dotted IPv4 address, not 'localhost'\nUsage:", 0),
            0u);
}
