#include "apps/scout.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "osc/osc_builder.h"
#include "tests/support/hex.h"

namespace {

using namespace std::string_literals;

constexpr std::uint32_t from = 0x0A000005;  // 10.0.0.5

std::span<const unsigned char> bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// An /xinfo answer: the address, a type-tag string and one string per field, as OSC.
std::string xinfo(const std::string& tags, std::initializer_list<const char*> strings) {
  char packet[1024];
  int end = Xsprint(packet, 0, 's', "/xinfo");
  end = Xsprint(packet, end, 's', tags.c_str());
  for (const char* s : strings) end = Xsprint(packet, end, 's', s);
  return std::string(packet, static_cast<std::size_t>(end));
}

// The list line an answer gives, or "" when the answer is ignored.
std::string lineFor(const std::string& reply) {
  FoundConsole console;
  if (!readDiscoveryReply(bytes(reply), from, console)) return "";
  return consoleListText({console});
}

TEST(ParseScoutBody, EmptyBroadcastsAndAnAddressAsksOneConsole) {
  struct Case {
    const char* body;
    bool valid;
    bool broadcast;
    std::uint32_t address;
  };
  const std::array<Case, 14> cases{{
      {"", true, true, 0},
      {" \r\n", true, true, 0},
      {"127.0.0.1", true, false, 0x7F000001},
      {"192.168.1.20\r\n", true, false, 0xC0A80114},
      {"0.0.0.0", true, false, 0},
      {"255.255.255.255", true, false, 0xFFFFFFFF},
      {"192.168.001.20", false, false, 0},  // a leading zero reads as octal elsewhere
      {"256.1.1.1", false, false, 0},
      {"1.2.3", false, false, 0},
      {"1.2.3.4.5", false, false, 0},
      {"1.2.3.", false, false, 0},
      {"10.0.0.1,5", false, false, 0},
      {"-1.2.3.4", false, false, 0},
      {"console.local", false, false, 0},
  }};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    ScoutTarget target;
    ASSERT_EQ(parseScoutBody(c.body, target), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(target.broadcast, c.broadcast);
    EXPECT_EQ(target.address, c.address);
  }
}

TEST(ReadDiscoveryReply, TakesTheTwoShapesAndIgnoresEveryOther) {
  const std::string longName(70, 'n');
  const std::string cutUtf8 = std::string(62, 'a') + "\xC3\xA9";  // é would end at byte 64
  const std::array<std::pair<std::string, std::string>, 17> cases{{
      {"WING,10.0.0.9,PGM,ngc-full,S123,1.07.2", "Wing\t10.0.0.5\tPGM\tngc-full\t1.07.2\n"},
      {"WING,10.0.0.9,PGM,ngc-full,S123,1.07.2\0\0\0"s, "Wing\t10.0.0.5\tPGM\tngc-full\t1.07.2\n"},
      {"WING,10.0.0.9,PGM", "Wing\t10.0.0.5\tPGM\t\t\n"},
      {"WING,", "Wing\t10.0.0.5\t\t\t\n"},
      {"WING,1,Stage\tLeft,Rack\r\nMix,S,2.0", "Wing\t10.0.0.5\tStage Left\tRack  Mix\t2.0\n"},
      {"WING,1," + longName + ",m,s,f", "Wing\t10.0.0.5\t" + std::string(63, 'n') + "\tm\tf\n"},
      {"WING,1," + cutUtf8 + ",m,s,f", "Wing\t10.0.0.5\t" + std::string(62, 'a') + "\tm\tf\n"},
      {"WING", ""},
      {"WING?\0\0\0"s, ""},  // the question itself
      {"XING,10.0.0.9,PGM", ""},
      {xinfo(",ssss", {"10.0.0.9", "X32-02-4A", "X32", "4.06"}), "X32\t10.0.0.5\tX32-02-4A\tX32\t4.06\n"},
      {xinfo(",ssss", {"10.0.0.9", "FOH\tDesk", "X32", "4.06"}), "X32\t10.0.0.5\tFOH Desk\tX32\t4.06\n"},
      {xinfo(",sss", {"10.0.0.9", "X32-02-4A", "X32"}), ""},
      {xinfo(",ssis", {"10.0.0.9", "X32-02-4A", "", "4.06"}), ""},
      {"/xinfo\0\0"s, ""},  // the question itself
      {xinfo(",ssss", {"10.0.0.9", "X32-02-4A", "X32", "4.06"}).substr(0, 40), ""},
      {"", ""},
  }};
  for (const auto& [reply, line] : cases) {
    SCOPED_TRACE(testsupport::hex(reply));
    EXPECT_EQ(lineFor(reply), line);
  }
}

TEST(ConsoleListText, OneLinePerConsoleSortedByAddress) {
  std::vector<FoundConsole> consoles;
  const std::array<FoundConsole, 5> answers{{
      {ConsoleKind::X32, 0x0A00000A, "ten", "X32", "4.0"},
      {ConsoleKind::X32, 0x0A000002, "two", "X32", "4.0"},
      {ConsoleKind::X32, 0x0A000002, "two again", "X32", "4.0"},  // answered twice
      {ConsoleKind::Wing, 0x0A000002, "two's Wing", "ngc-full", "1.0"},
      {ConsoleKind::Wing, 0xC0A80001, "", "", ""},
  }};
  for (const FoundConsole& c : answers) addConsole(consoles, c);
  EXPECT_EQ(consoleListText(consoles),
            "Wing\t10.0.0.2\ttwo's Wing\tngc-full\t1.0\n"
            "X32\t10.0.0.2\ttwo\tX32\t4.0\n"
            "X32\t10.0.0.10\tten\tX32\t4.0\n"
            "Wing\t192.168.0.1\t\t\t\n");
  EXPECT_EQ(consoleListText({}), "");
}

TEST(AddConsole, KeepsAtMostMaxConsoles) {
  std::vector<FoundConsole> consoles;
  for (std::uint32_t a = 0; a < maxConsoles + 5; ++a) {
    EXPECT_EQ(addConsole(consoles, {ConsoleKind::Wing, a, "", "", ""}), a < maxConsoles);
  }
  EXPECT_EQ(consoles.size(), maxConsoles);
}

}  // namespace
