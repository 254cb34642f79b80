#include "osc/osc_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/support/hex.h"

using testsupport::unhex;

namespace {

// An exact-size heap copy, so a read past the end trips AddressSanitizer.
std::vector<unsigned char> bytesOf(const std::string& data) {
  return std::vector<unsigned char>(data.begin(), data.end());
}

int readHex(std::string_view hexText, OscMessage& message, std::vector<unsigned char>& store) {
  store = bytesOf(unhex(hexText));
  return readOscMessage(store, message);
}

struct Case {
  const char* name;
  const char* hex;
  int result;
  const char* addressOrProblem;
};

}  // namespace

TEST(readOscMessage, AcceptsWellFormedAndRefusesEachFault) {
  const std::array<Case, 17> cases{{
      {"bare query", "2F786966 6F000000", 0, "/xifo"},
      {"bare query, 4 NULs after a 4-char address", "2F616263 00000000", 0, "/abc"},
      {"tags without arguments", "2F616263 00000000 2C000000", 0, "/abc"},
      {"one string", "2F616263 00000000 2C730000 4B69636B 00000000", 1, "/abc"},
      {"one float", "2F616263 00000000 2C660000 3F400000", 1, "/abc"},
      {"empty", "", -1, "empty datagram"},
      {"not on the grid", "2F616200 00", -1, "length not a multiple of 4"},
      {"no slash", "57494E47 3F000000", -1, "address does not start with '/'"},
      {"address without NUL", "2F616263", -1, "address not NUL-padded"},
      {"garbage in address padding", "2F610001", -1, "address not NUL-padded"},
      {"no comma", "2F616263 00000000 73000000", -1, "no type tag string after the address"},
      {"tags without NUL", "2F616263 00000000 2C737373", -1, "type tags not NUL-padded"},
      {"unknown tag", "2F616263 00000000 2C780000 00000000", -1, "unsupported type tag"},
      {"float cut short", "2F616263 00000000 2C666600 3F400000", -1, "argument runs past the end"},
      {"string without NUL", "2F616263 00000000 2C730000 4B69636B", -1,
       "argument runs past the end"},
      {"trailing bytes", "2F616263 00000000 2C660000 3F400000 00000000", -1,
       "bytes after the last argument"},
      {"nine arguments", "2F616263 00000000 2C696969 69696969 69690000", -1,
       "too many arguments"},
  }};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OscMessage message;
    std::vector<unsigned char> store;
    EXPECT_EQ(readHex(c.hex, message, store), c.result);
    EXPECT_EQ(c.result < 0 ? message.problem : message.address, c.addressOrProblem);
  }
}

TEST(readOscMessage, DecodesEveryArgumentType) {
  // /t ,ifsb  -1  -12.5  "ab"  blob{01 02 03}
  OscMessage message;
  std::vector<unsigned char> store;
  ASSERT_EQ(readHex("2F740000 2C696673 62000000 FFFFFFFF C1480000 61620000 00000003 01020300",
                    message, store),
            4);
  EXPECT_TRUE(message.hasTags);
  EXPECT_EQ(message.tags, "ifsb");
  EXPECT_EQ(message.arguments[0].integer, -1);
  EXPECT_EQ(message.arguments[1].number, -12.5f);
  EXPECT_EQ(message.arguments[2].text, "ab");
  ASSERT_EQ(message.arguments[3].blob.size(), 3u);
  EXPECT_EQ(message.arguments[3].blob[2], 3);
  EXPECT_TRUE(message.problem.empty());
}

TEST(readOscMessage, BlobCountsThatLieAreRefused) {
  const std::array<const char*, 4> lies{
      "2F740000 2C620000 00000005 01020304",  // count past the end
      "2F740000 2C620000 FFFFFFFF 01020304",  // negative count
      "2F740000 2C620000 7FFFFFFF",           // huge count, no room for it
      "2F740000 2C620000 00000001 01FF0000",  // blob padding not zero
  };
  for (const char* lie : lies) {
    SCOPED_TRACE(lie);
    OscMessage message;
    std::vector<unsigned char> store;
    EXPECT_EQ(readHex(lie, message, store), -1);
  }
}

// Every cut of a valid message is refused, except the one that ends right after the
// address (a bare query); none reads past its end.
TEST(readOscMessage, EveryTruncationIsRefusedWithinBounds) {
  const std::string whole =
      unhex("2F63682F 30312F63 6F6E6669 672F6E61 6D650000 2C736600 4B69636B 00000000 3F400000");
  for (std::size_t size = 0; size < whole.size(); ++size) {
    SCOPED_TRACE(size);
    const std::vector<unsigned char> cut = bytesOf(whole.substr(0, size));
    OscMessage message;
    EXPECT_EQ(readOscMessage(cut, message), size == 20 ? 0 : -1);
  }
  OscMessage message;
  const std::vector<unsigned char> all = bytesOf(whole);
  EXPECT_EQ(readOscMessage(all, message), 2);
}
