#include "apps/name_fetch.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "osc/osc_builder.h"
#include "tests/support/hex.h"

namespace {

const NameFetchVariant& quennet = nameFetchVariants[0];
const NameFetchVariant& dravisk = nameFetchVariants[1];
const NameFetchVariant& marlune = nameFetchVariants[2];

std::span<const unsigned char> bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// A console's reply to a name query: the query address, the tag ",s" and the name, each
// padded to 4 bytes, as the consoles send it.
std::string nameReply(const char* address, const char* name) {
  char packet[packetSize] = {};
  const int length = Xfprint(packet, 0, address, 's', name);
  return std::string(packet, static_cast<std::size_t>(length));
}

TEST(NameFetchVariants, TableMatchesTheThreeApps) {
  struct Expected {
    const char* program;
    int handshakePort;
    int queryPort;
    std::size_t nameOffset;
    const char* handshakeHex;
  };
  const std::array<Expected, 3> expected{{
      {"Quennet", 2222, 2223, 16, "57494E473F000000"},
      {"Dravisk", 10023, 10023, 24, "2F78696E666F0000"},
      {"Marlune", 10023, 10023, 24, "2F78696E666F0000"},
  }};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].program);
    const NameFetchVariant& v = nameFetchVariants[i];
    EXPECT_STREQ(v.program, expected[i].program);
    EXPECT_EQ(v.handshakePort, expected[i].handshakePort);
    EXPECT_EQ(v.queryPort, expected[i].queryPort);
    EXPECT_EQ(v.nameOffset, expected[i].nameOffset);
    char packet[packetSize];
    const int length = Xsprint(packet, 0, 's', v.handshake);
    EXPECT_EQ(testsupport::hex(packet, static_cast<std::size_t>(length)), expected[i].handshakeHex);
  }
}

TEST(ParseAppArgument, SplitsAddressAndNumber) {
  struct Case {
    const char* argument;
    int numberBefore;
    const char* address;
    int number;
  };
  const Case cases[] = {
      {"192.0.2.10,5", 0, "192.0.2.10", 5},
      {"192.0.2.10, \t7", 0, "192.0.2.10", 7},  // blanks before the number are skipped
      {"192.0.2.10,12abc", 0, "192.0.2.10", 12},
      {"192.0.2.10,5,junk,9", 0, "192.0.2.10", 5},  // after a second comma: ignored
      {"192.0.2.10,-3", 0, "192.0.2.10", -3},
      {"192.0.2.10,+6", 0, "192.0.2.10", 6},
      {"192.0.2.10,-2147483648", 0, "192.0.2.10", INT_MIN},
      {"192.0.2.10,99999999999", 4, "192.0.2.10", 4},  // out of range: unchanged
      {"192.0.2.10,", 3, "192.0.2.10", 3},             // empty field: unchanged
      {"192.0.2.10,abc", 4, "192.0.2.10", 4},
      {"192.0.2.10,-", 4, "192.0.2.10", 4},
      {"192.0.2.10,,8", 4, "192.0.2.10", 4},
      {"192.0.2.10", 0, "192.0.2.10", 0},  // no comma: the run goes on with 0
      {"192.0.2.10", 9, "192.0.2.10", 9},
      {"", 0, "", 0},
      {",5", 0, "", 5},
      {"a b \"c\",2", 0, "a b \"c\"", 2},
      // The address is cut at 20 characters and the 21st is taken as the separator.
      {"12345678901234567890,6", 0, "12345678901234567890", 6},
      {"1234567890123456789012,8", 0, "12345678901234567890", 2},
      {"123456789012345678901,8", 0, "12345678901234567890", 0},
      {"12345678901234567890", 5, "12345678901234567890", 5},
      {"123456789012345678901", 5, "12345678901234567890", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    // An exact-size copy without a terminator: a read past the argument trips the
    // address sanitizer.
    const std::size_t size = std::strlen(c.argument);
    std::unique_ptr<char[]> exact(new char[size == 0 ? 1 : size]);
    std::memcpy(exact.get(), c.argument, size);
    AppTarget target;
    target.address = "stale";
    target.number = c.numberBefore;
    parseAppArgument(std::string_view(exact.get(), size), target);
    EXPECT_EQ(target.address, c.address);
    EXPECT_EQ(target.number, c.number);
  }
}

TEST(HandshakeAccepted, RestsOnTheReceivedBytesAlone) {
  struct Case {
    const NameFetchVariant* variant;
    std::string reply;
    bool accepted;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {&quennet, "WING,127.0.0.1,NGC-FULL,Desk,S1,3.0", true},
      {&quennet, "WING", true},
      {&quennet, "WIN", false},
      {&quennet, "", false},
      {&quennet, "wing,127.0.0.1", false},
      {&quennet, "XWING", false},
      {&quennet, "/xinfo\0\0"s, false},
      {&dravisk, "/xinfo\0\0,ssss"s, true},
      {&dravisk, "/xinfo\0"s, true},
      {&dravisk, "/xinfo", false},  // no NUL in the datagram: not the string /xinfo
      {&dravisk, "/xinfoo\0"s, false},
      {&dravisk, "/xinf\0\0\0"s, false},
      {&dravisk, "/status\0"s, false},
      {&dravisk, "WING,1.2.3.4", false},
      {&dravisk, "", false},
      {&marlune, "/xinfo\0\0,ssss"s, true},
      {&marlune, "/info\0\0\0"s, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant->program) + " " + testsupport::hex(c.reply));
    // The buffer behind the reply still holds the packet just sent; it must not count.
    std::string buffer = c.reply + std::string(c.variant->handshake) + std::string(8, '\0');
    const auto reply = bytes(buffer).first(c.reply.size());
    EXPECT_EQ(handshakeAccepted(*c.variant, reply), c.accepted);
  }
}

TEST(ReplyName, TakesTheNameFromTheReplyOnly) {
  using namespace std::string_literals;
  struct Case {
    const NameFetchVariant* variant;
    std::string reply;
    const char* name;
  };
  const std::string wingFull = nameReply("/ch/5/name", "Kick");
  const std::string x32Full = nameReply("/ch/05/config/name", "Snare Top");
  const std::string busFull = nameReply("/bus/01/config/name", "Mon 1");
  const Case cases[] = {
      {&quennet, wingFull, "Kick"},
      {&quennet, nameReply("/ch/40/name", "Overhead L"), "Overhead L"},
      {&dravisk, x32Full, "Snare Top"},
      {&marlune, busFull, "Mon 1"},
      {&quennet, nameReply("/ch/5/name", ""), ""},  // NUL right at the offset: empty name
      {&dravisk, x32Full.substr(0, 24), ""},          // ends at the offset
      {&dravisk, x32Full.substr(0, 10), ""},          // ends before it
      {&quennet, "", ""},
      {&dravisk, x32Full.substr(0, 27), "Sna"},  // no NUL after the name: up to the end
      {&quennet, wingFull.substr(0, 18), "Ki"},
      {&quennet, std::string(16, 'x') + "A\0B"s, "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant->program) + " " + testsupport::hex(c.reply));
    const std::string buffer = c.reply + "TRAILING-BYTES-OF-THE-SENT-PACKET";
    EXPECT_EQ(replyName(*c.variant, bytes(buffer).first(c.reply.size())), c.name);
  }
}

TEST(FormatQuery, NumbersAsEachConsoleWantsThem) {
  struct Case {
    const NameFetchVariant* variant;
    int number;
    const char* command;
    int packetSize;
  };
  const Case cases[] = {
      {&quennet, 1, "/ch/1/name", 12},
      {&quennet, 7, "/ch/7/name", 12},  // a Wing number keeps one digit
      {&quennet, 40, "/ch/40/name", 12},
      {&quennet, 0, "/ch/0/name", 12},
      {&dravisk, 1, "/ch/01/config/name", 20},
      {&dravisk, 7, "/ch/07/config/name", 20},  // an X32 number gets two
      {&dravisk, 32, "/ch/32/config/name", 20},
      {&dravisk, 0, "/ch/00/config/name", 20},
      {&marlune, 1, "/bus/01/config/name", 20},
      {&marlune, 16, "/bus/16/config/name", 20},
      {&marlune, INT_MIN, "/bus/-2147483648/config/name", 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant->program) + " " + std::to_string(c.number));
    char command[commandSize];
    ASSERT_EQ(formatQuery(*c.variant, c.number, command), static_cast<int>(std::strlen(c.command)));
    EXPECT_STREQ(command, c.command);
    EXPECT_EQ(XsprintEnd(0, 's', command), c.packetSize);
  }
}

TEST(UsageText, SevenLinesWithTheVariantsWording) {
  for (const NameFetchVariant& v : nameFetchVariants) {
    SCOPED_TRACE(v.program);
    std::istringstream text(usageText(v));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].rfind(v.program, 0), 0u);
    EXPECT_EQ(lines[1], "Usage:");
    EXPECT_EQ(lines[2], "\tThis application accepts a single -d option made of: <ip>,<num>");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "\twhere <ip>: console IP address in the form xxx.xxx.xxx.xxx");
    EXPECT_EQ(lines[5], v.numberLine);
    EXPECT_EQ(lines[6], v.requestLine);
    EXPECT_EQ(lines[7], "\tthe name to a file 'VelmoraDataFile.txt' in the current directory.");
  }
  EXPECT_STREQ(marlune.requestLine, "\tThe application will request the bus name for bus <num> and save");
  EXPECT_STREQ(dravisk.numberLine, "\t      <num>: an integer representing an X32 channel number");
}

}  // namespace
