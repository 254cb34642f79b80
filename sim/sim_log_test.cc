#include "sim/sim_log.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/support/hex.h"

using testsupport::unhex;

namespace {

std::vector<unsigned char> bytesOf(std::string_view hexText) {
  const std::string data = unhex(hexText);
  return std::vector<unsigned char>(data.begin(), data.end());
}

}  // namespace

TEST(describeOsc, ShowsAddressTagsAndArguments) {
  struct Case {
    const char* hex;
    const char* shown;
  };
  const std::array<Case, 6> cases{{
      {"2F78696E 666F0000", "/xinfo"},
      {"2F740000 2C696673 62000000 FFFFFFFF C1480000 61220000 00000002 01020000",
       "/t ,ifsb -1 -12.5 \"a\\\"\" blob[2]"},
      {"2F740000 2C730000 0A7F0000", "/t ,s \"\\x0A\\x7F\""},
      {"2F740000 2C000000", "/t ,"},
      {"616263", "not OSC (length not a multiple of 4)"},
      {"2F740000 2C730000 41424344", "not OSC (argument runs past the end)"},
  }};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    EXPECT_EQ(describeOsc(bytesOf(c.hex)), c.shown);
  }
}

TEST(logLine, CarriesKindDirectionPeerContentAndHex) {
  EXPECT_EQ(logLine("x32", Direction::Received, "127.0.0.1:40000",
                    bytesOf("2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000"),
                    true),
            "x32 recv from 127.0.0.1:40000 (32 bytes): /ch/01/config/name ,s \"Kick\" | "
            "2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C730000 4B69636B 00000000");
  EXPECT_EQ(logLine("wing-discovery", Direction::Sent, "127.0.0.1:5", bytesOf("57494E47 2C31"),
                    false),
            "wing-discovery sent to 127.0.0.1:5 (6 bytes): \"WING,1\" | 57494E47 2C31");
  EXPECT_EQ(logLine("wing-discovery", Direction::Received, "127.0.0.1:5",
                    bytesOf("57494E47 3F000000"), false),
            "wing-discovery recv from 127.0.0.1:5 (8 bytes): \"WING?\\0\\0\\0\" | 57494E47 3F000000");
}

TEST(logLine, BoundsHugeDatagrams) {
  std::vector<unsigned char> huge(65000, 'A');
  huge[0] = '/';
  const std::string line = logLine("x32", Direction::Received, "p", huge, true);
  EXPECT_LT(line.size(), 1200u);
  EXPECT_NE(line.find("...(+" + std::to_string(65000 - logHexLimit) + " bytes)"), std::string::npos);
  const std::string text(500, 'x');
  EXPECT_EQ(quotedText(text), "\"" + text.substr(0, logTextLimit) + "\"...");
}
