#include "osc/osc_builder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "tests/support/hex.h"

namespace {

struct FieldCase {
  const char* name;
  int index;
  char format;
  const void* value;
  int expectedEnd;
  const char* expectedHex;  // bytes from `index` to the returned end
};

const std::int32_t one = 1;
const std::int32_t minusOne = -1;
const float threeQuarters = 0.75f;
const float minusTwelveAndHalf = -12.5f;

const std::array fieldCases = {
    FieldCase{"WING? query", 0, 's', "WING?", 8, "57494E473F000000"},
    FieldCase{"xinfo", 0, 's', "/xinfo", 8, "2F78696E666F0000"},
    FieldCase{"four chars take a whole NUL word", 0, 's', "Kick", 8, "4B69636B00000000"},
    FieldCase{"empty text", 4, 's', "", 8, "00000000"},
    FieldCase{"null text", 4, 's', nullptr, 8, "00000000"},
    FieldCase{"grid is the buffer's, not the field's", 1, 's', "ab", 4, "616200"},
    FieldCase{"int one", 8, 'i', &one, 12, "00000001"},
    FieldCase{"int minus one", 8, 'i', &minusOne, 12, "FFFFFFFF"},
    FieldCase{"float 0.75", 0, 'f', &threeQuarters, 4, "3F400000"},
    FieldCase{"float -12.5", 0, 'f', &minusTwelveAndHalf, 4, "C1480000"},
    FieldCase{"blob is not an encoder format", 4, 'b', &one, 4, ""},
    FieldCase{"unknown format", 4, 'x', &one, 4, ""},
};

TEST(Xsprint, WritesEachFieldKindOnTheGrid) {
  for (const auto& c : fieldCases) {
    SCOPED_TRACE(c.name);
    std::array<char, 64> buffer;
    buffer.fill('\x55');
    const int end = Xsprint(buffer.data(), c.index, c.format, c.value);
    EXPECT_EQ(end, c.expectedEnd);
    EXPECT_EQ(testsupport::hex(buffer.data() + c.index, end - c.index), c.expectedHex);
    EXPECT_EQ(buffer[end], '\x55') << "wrote past the returned end";
    EXPECT_EQ(XsprintEnd(c.index, c.format, c.value), end);
    EXPECT_EQ(wSprint(buffer.data(), c.index, c.format, c.value), end);
  }
}

struct MessageCase {
  const char* address;
  char format;
  const void* value;
  const char* expectedHex;
};

const std::array messageCases = {
    MessageCase{"/main/1/fdr", 'f', &threeQuarters, "2F6D61696E2F312F66647200" "2C660000" "3F400000"},
    MessageCase{"/ch/01/config/name", 's', "Kick",
                "2F63682F30312F636F6E6669672F6E616D650000" "2C730000" "4B69636B00000000"},
    MessageCase{"/bus/3/name", 's', "Bass", "2F6275732F332F6E616D6500" "2C730000" "4261737300000000"},
    MessageCase{"/x", 'b', nullptr, "2F780000" "2C620000"},
    MessageCase{"/x", 'i', &minusOne, "2F780000" "2C690000" "FFFFFFFF"},
};

TEST(Xfprint, BuildsOneArgumentMessages) {
  for (const auto& c : messageCases) {
    SCOPED_TRACE(c.address);
    std::array<char, 64> buffer;
    buffer.fill('\x55');
    const int end = Xfprint(buffer.data(), 0, c.address, c.format, c.value);
    EXPECT_EQ(testsupport::hex(buffer.data(), end), c.expectedHex);
    EXPECT_EQ(XfprintEnd(0, c.address, c.format, c.value), end);
    std::array<char, 64> again{};
    EXPECT_EQ(wFprint(again.data(), 0, c.address, c.format, c.value), end);
    EXPECT_EQ(std::string(again.data(), end), std::string(buffer.data(), end));
  }
}

}  // namespace
