#include "server/osc_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/hex.h"

namespace {

constexpr char guard = '\x5A';

struct Dumped {
  int result;
  std::string text;
};

// Decodes `packet` from a buffer of its exact size (so a sanitizer sees any over-read)
// into a text buffer of `capacity` bytes followed by guard bytes that must stay as they are.
Dumped dump(const std::string& packet, std::size_t capacity = 1024) {
  const std::vector<unsigned char> bytes(packet.begin(), packet.end());
  std::vector<char> text(capacity + 16, guard);
  const int result = wDdump(bytes, std::span<char>(text.data(), capacity));
  for (std::size_t k = capacity; k < text.size(); ++k) {
    EXPECT_EQ(text[k], guard) << "byte " << k << " written past a capacity of " << capacity;
  }
  if (result <= 0) return {result, ""};
  EXPECT_EQ(text[static_cast<std::size_t>(result) - 1], '\0');
  return {result, std::string(text.data())};
}

struct DumpCase {
  const char* name;
  const char* packetHex;
  std::string expected;
};

void expectTexts(const DumpCase* cases, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    const DumpCase& c = cases[k];
    SCOPED_TRACE(c.name);
    const Dumped d = dump(testsupport::unhex(c.packetHex));
    EXPECT_EQ(d.text, c.expected);
    EXPECT_EQ(d.result, static_cast<int>(c.expected.size()) + 1);
  }
}

TEST(wDdump, ShowsAddressTagsAndEachArgumentKind) {
  const std::array cases = {
      DumpCase{"fader reply", "2F6D61696E2F312F66647200 2C660000 3F400000", "/main/1/fdr~,f~~[0.7500]"},
      DumpCase{"address alone", "2F78696E666F0000", "/xinfo~~"},
      DumpCase{"empty packet", "", ""},
      DumpCase{"name reply", "2F63682F30312F636F6E6669672F6E616D650000 2C730000 4B69636B00000000",
               "/ch/01/config/name~~,s~~Kick~~~~"},
      DumpCase{"comma before any NUL is address", "2F612C6920350000 2C690000 00000005",
               "/a,i 5~~,i~~[     5]"},
      DumpCase{"tags may start off the grid", "616200 2C6900 0000 00000005", "ab~,i~~~[     5]"},
      DumpCase{"integers and a cut one", "2F780000 2C696969 00000000 00000001 FFFFFFF9 0012D687",
               "/x~~,iii~~~~[     1][    -7][1234567"},
      DumpCase{"integer and string", "2F780000 2C697300 00000003 68656C6C6F000000",
               "/x~~,is~[     3]hello~~~"},
      DumpCase{"blob and integer", "2F780000 2C626900 00000003 0A0B0C00 00000009",
               "/x~~,bi~   3 bytes: 0a0b0c[     9]"},
      DumpCase{"blob padding shows nothing", "2F780000 2C626900 00000005 0102030405000000 00000009",
               "/x~~,bi~   5 bytes: 0102030405[     9]"},
      DumpCase{"empty blob", "2F780000 2C620000 00000000", "/x~~,b~~   0 bytes: "},
      DumpCase{"negative blob count uses only its 4 bytes", "2F780000 2C626900 FFFFFFFF 00000009",
               "/x~~,bi~  -1 bytes: [     9]"},
      DumpCase{"wide blob count is cut to 12", "2F780000 2C620000 0001E240", "/x~~,b~~123456 bytes"},
      DumpCase{"widest integer", "2F780000 2C690000 80000000", "/x~~,i~~[-214748"},
      DumpCase{"letters outside the four use nothing", "2F780000 2C546900 00000005",
               "/x~~,Ti~[     5]"},
      DumpCase{"string of four gets a NUL word", "2F780000 2C730000 4B69636B00000000",
               "/x~~,s~~Kick~~~~"},
      DumpCase{"empty string", "2F780000 2C736900 00000000 00000002", "/x~~,si~~~~~[     2]"},
  };
  expectTexts(cases.data(), cases.size());
}

TEST(wDdump, DisplayRule) {
  std::string packet;
  for (int b = 1; b < 256; ++b) packet += static_cast<char>(b);  // no NUL: all address
  std::string expected;
  for (int b = 1; b < 256; ++b) {
    expected += b < 32 || b == 127 || b == 255 ? '~' : static_cast<char>(b);
  }
  EXPECT_EQ(dump(packet).text, expected);
  EXPECT_EQ(dump(testsupport::unhex("7F FF 01 80")).text, "~~~\x80");
}

std::string floatField(float x) {
  std::string packet = testsupport::unhex("2F780000 2C660000");
  const auto bits = std::bit_cast<std::uint32_t>(x);
  for (int shift = 24; shift >= 0; shift -= 8) packet += static_cast<char>(bits >> shift);
  const Dumped d = dump(packet);
  EXPECT_EQ(d.text.substr(0, 8), "/x~~,f~~");
  EXPECT_EQ(d.result, 17) << "every float field takes 8 characters";
  return d.text.substr(8);
}

TEST(wDdump, FloatTableRangesAndBounds) {
  struct FloatCase {
    float value;
    const char* expected;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::array cases = {
      FloatCase{-123456.0f, "[-123456"},  FloatCase{-1000.0f, "[-01000]"},
      FloatCase{std::nextafter(-1000.0f, 0.0f), "[-1000.0"},  // just inside the next range up
      FloatCase{-999.96f, "[-1000.0"},   FloatCase{-100.0f, "[-100.0]"},
      FloatCase{std::nextafter(-100.0f, 0.0f), "[-100.00"}, FloatCase{-12.5f, "[-12.50]"},
      FloatCase{-10.0f, "[-10.00]"},     FloatCase{std::nextafter(-10.0f, 0.0f), "[-10.000"},
      FloatCase{-0.5f, "[-0.500]"},      FloatCase{0.0f, "[00.000]"},
      FloatCase{-0.0f, "[-0.000]"},      FloatCase{std::nextafter(0.0f, 1.0f), "[0.0000]"},
      FloatCase{0.75f, "[0.7500]"},      FloatCase{9.99999f, "[10.0000"},
      FloatCase{10.0f, "[10.000]"},      FloatCase{99.5f, "[99.500]"},
      FloatCase{100.0f, "[100.00]"},     FloatCase{999.5f, "[999.50]"},
      FloatCase{1000.0f, "[1000.0]"},    FloatCase{9999.5f, "[9999.5]"},
      FloatCase{10000.0f, "[010000]"},   FloatCase{99999.4f, "[099999]"},
      FloatCase{100000.0f, "[100000]"},  FloatCase{1234567.0f, "[1234567"},
      FloatCase{std::numeric_limits<float>::max(), "[3402823"},
      FloatCase{inf, "[   inf]"},        FloatCase{-inf, "[  -inf]"},
      FloatCase{nan, "[   nan]"},        FloatCase{-nan, "[   nan]"},
      // Exact halves round to even, as printf rounds them.
      FloatCase{100.125f, "[100.12]"},   FloatCase{1000.25f, "[1000.2]"},
      FloatCase{10000.5f, "[010000]"},   FloatCase{10001.5f, "[010002]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(floatField(c.value), c.expected);
  }
}

// The digits are printf's "[%06.Nf]" of the value for every float, N from the table.
TEST(wDdump, FloatDigitsAreThoseOfPrintf) {
  std::mt19937 random(5);
  for (int round = 0; round < 20000; ++round) {
    // Mostly values inside the table, with every bit pattern of their range.
    const float scale = std::ldexp(1.0f, static_cast<int>(random() % 40) - 20);
    const float x = (static_cast<float>(random() % 2000001) / 1000000.0f - 1.0f) * scale;
    char expected[64];
    std::snprintf(expected, sizeof expected, "[%06.*f]", XfloatDecimals(x),
                  static_cast<double>(x));
    SCOPED_TRACE(expected);
    EXPECT_EQ(floatField(x), std::string(expected).substr(0, 8));
  }
}

// Nothing of a field that reaches past the packet is read or invented.
TEST(wDdump, ShortPacketsShowOnlyWhatIsInside) {
  const std::array cases = {
      DumpCase{"integer with two bytes", "2F780000 2C690000 0005", "/x~~,i~~~~"},
      DumpCase{"float with three bytes", "2F780000 2C660000 3F4041", "/x~~,f~~?@A"},
      DumpCase{"string without its NUL", "2F780000 2C730000 4B69636B", "/x~~,s~~Kick"},
      DumpCase{"string without its padding", "2F780000 2C730000 4B6900", "/x~~,s~~Ki~"},
      DumpCase{"blob count beyond the packet", "2F780000 2C620000 00000010 0A0B",
               "/x~~,b~~  16 bytes: 0a0b"},
      DumpCase{"blob count cut", "2F780000 2C620000 0000", "/x~~,b~~~~"},
      DumpCase{"blob without its padding", "2F780000 2C626900 00000001 0A", "/x~~,bi~   1 bytes: 0a"},
      DumpCase{"cut field ends the walk", "2F780000 2C736900 6162", "/x~~,si~ab"},
      DumpCase{"tags without their NUL", "2F780000 2C6966", "/x~~,if"},
      DumpCase{"tag padding cut", "2F780000 2C6900", "/x~~,i~"},
      DumpCase{"second letter finds the end", "2F780000 2C696900 00000001", "/x~~,ii~[     1]"},
  };
  expectTexts(cases.data(), cases.size());
}

TEST(wDdump, WalkResumesOneByteAfterTheArguments) {
  const std::array cases = {
      DumpCase{"two messages in one packet",
               "2F780000 2C690000 00000005 2F790000 2C690000 00000006",
               "/x~~,i~~[     5]y~~,i~~[     6]"},
      DumpCase{"letter that carries data", "2F780000 2C680000 00000000 41424344",
               "/x~~,h~~~~~ABCD"},
      DumpCase{"bytes after the arguments", "2F780000 2C690000 00000005 7A7A7A7A",
               "/x~~,i~~[     5]zzz"},
      DumpCase{"no letters", "2F780000 2C000000 41424344", "/x~~,~~~BCD"},
  };
  expectTexts(cases.data(), cases.size());
}

TEST(wDdump, CutsTheTextToItsBuffer) {
  const std::string packet = testsupport::unhex("2F6D61696E2F312F66647200 2C660000 3F400000");
  const std::string whole = "/main/1/fdr~,f~~[0.7500]";
  EXPECT_EQ(dump(packet, 0).result, 0);
  for (std::size_t capacity = 1; capacity <= whole.size() + 3; ++capacity) {
    SCOPED_TRACE(capacity);
    const Dumped d = dump(packet, capacity);
    const std::size_t kept = std::min(capacity - 1, whole.size());
    EXPECT_EQ(d.text, whole.substr(0, kept));
    EXPECT_EQ(d.result, static_cast<int>(kept) + 1);
  }
}

}  // namespace
