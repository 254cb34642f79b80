#include "server/osc_text_parser.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "server/server_state.h"
#include "tests/support/hex.h"

namespace {

constexpr char guard = '\x5A';

struct Parsed {
  int result;
  std::string hex;  // the packet's first `result` bytes
};

// Parses a copy of `text` into a buffer of `capacity` bytes followed by guard bytes that
// must come back untouched.
Parsed parse(std::string text, std::size_t capacity = 512) {
  std::vector<char> buffer(capacity + 16, guard);
  const int result = wCparse(std::span<char>(buffer.data(), capacity), text.data());
  for (std::size_t k = capacity; k < buffer.size(); ++k) {
    EXPECT_EQ(buffer[k], guard) << "byte " << k << " written past a capacity of " << capacity;
  }
  const std::size_t shown = result > 0 ? static_cast<std::size_t>(result) : 0;
  return {result, testsupport::hex(buffer.data(), std::min(shown, capacity))};
}

struct ParseCase {
  const char* name;
  const char* text;
  const char* expectedHex;  // blanks only group the fields
};

void expectPackets(const ParseCase* cases, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    const ParseCase& c = cases[k];
    SCOPED_TRACE(std::string(c.name) + ": \"" + c.text + "\"");
    const std::string expected = testsupport::hex(testsupport::unhex(c.expectedHex));
    const Parsed p = parse(c.text);
    EXPECT_EQ(p.result, static_cast<int>(expected.size() / 2));
    EXPECT_EQ(p.hex, expected);
  }
}

TEST(wCparse, AddressBlanksAndFirstComma) {
  const std::array cases = {
      ParseCase{"fader set", "/main/1/fdr ,f 0.75", "2F6D61696E2F312F66647200 2C660000 3F400000"},
      ParseCase{"address alone", "/xinfo", "2F78696E666F0000"},
      ParseCase{"text after a blank without comma", "/xinfo some words", "2F78696E666F0000"},
      ParseCase{"discovery word", "WING?", "57494E473F000000"},
      ParseCase{"empty text", "", "00000000"},
      ParseCase{"leading blank, no comma", " /x", "00000000"},
      ParseCase{"leading blank, then tags", " ,i 5", "00000000 2C690000 00000005"},
      ParseCase{"words between address and comma", "/x junk ,i 12abc", "2F780000 2C690000 0000000C"},
      ParseCase{"run of blanks before the comma", "/x    ,i 5", "2F780000 2C690000 00000005"},
      ParseCase{"comma right after the address", "/a,i 5",
                "2F612C6920350000 2C690000 00000005"},
      ParseCase{"comma first: all of it is the address", ",s abc", "2C73206162630000"},
      ParseCase{"tab is no blank", "/x\t,i 5", "2F78092C69203500 2C690000 00000005"},
  };
  expectPackets(cases.data(), cases.size());
}

TEST(wCparse, TypeLettersAndSeparator) {
  const std::array cases = {
      ParseCase{"comma alone", "/x ,", "2F780000 2C000000"},
      ParseCase{"unknown letter first", "/x ,q 1", "2F780000 2C000000"},
      ParseCase{"other OSC letters are not syntax", "/x ,T", "2F780000 2C000000"},
      ParseCase{"upper case is not a letter", "/x ,I 5", "2F780000 2C000000"},
      ParseCase{"separator may be any character", "/x ,iT 5", "2F780000 2C690000 00000005"},
      ParseCase{"separator eats a digit", "/x ,f0.5", "2F780000 2C660000 3F000000"},
      ParseCase{"runs of blanks separate like one", "/x ,fi  2.5   7",
                "2F780000 2C666900 40200000 00000007"},
      ParseCase{"extra words ignored", "/x ,f 1.5 extra words", "2F780000 2C660000 3FC00000"},
      ParseCase{"negative integer", "/x ,i -7", "2F780000 2C690000 FFFFFFF9"},
      ParseCase{"four letters pad a whole word", "/x ,ifsb",
                "2F780000 2C696673 62000000 00000000 00000000 00000000 00000000"},
      ParseCase{"missing string", "/x ,s", "2F780000 2C730000 00000000"},
      ParseCase{"missing numbers read 0", "/x ,if", "2F780000 2C696600 00000000 00000000"},
      ParseCase{"missing second argument", "/x ,ii 3", "2F780000 2C696900 00000003 00000000"},
  };
  expectPackets(cases.data(), cases.size());
}

TEST(wCparse, NumbersReadAsScanfReadsThem) {
  const std::array cases = {
      ParseCase{"plus sign", "/x ,i +7", "2F780000 2C690000 00000007"},
      ParseCase{"white space before the digits", "/x ,i \t5", "2F780000 2C690000 00000005"},
      ParseCase{"decimal only, no hex", "/x ,i 0x10", "2F780000 2C690000 00000000"},
      ParseCase{"not a number", "/x ,i abc", "2F780000 2C690000 00000000"},
      ParseCase{"lone minus", "/x ,i -", "2F780000 2C690000 00000000"},
      ParseCase{"exponent", "/x ,f 1e3", "2F780000 2C660000 447A0000"},
      ParseCase{"leading point", "/x ,f -.5", "2F780000 2C660000 BF000000"},
      ParseCase{"plus sign float", "/x ,f +2.5", "2F780000 2C660000 40200000"},
      ParseCase{"hex float", "/x ,f 0x1p3", "2F780000 2C660000 41000000"},
      ParseCase{"infinity", "/x ,f inf", "2F780000 2C660000 7F800000"},
      ParseCase{"minus infinity", "/x ,f -infinity", "2F780000 2C660000 FF800000"},
      ParseCase{"overflow is infinity", "/x ,f 1e39", "2F780000 2C660000 7F800000"},
      ParseCase{"half an exponent", "/x ,f 2e+", "2F780000 2C660000 40000000"},
      ParseCase{"word is no float", "/x ,f abc", "2F780000 2C660000 00000000"},
      ParseCase{"hex prefix alone fails", "/x ,f -0x", "2F780000 2C660000 00000000"},
      ParseCase{"digits then junk", "/x ,f 12abc", "2F780000 2C660000 41400000"},
  };
  expectPackets(cases.data(), cases.size());
}

TEST(wCparse, StringsWithQuotes) {
  const std::array cases = {
      ParseCase{"quoted name", "/ch/01/config/name ,s 'Lead Vox'",
                "2F63682F30312F636F6E6669672F6E616D650000 2C730000 4C65616420566F7800000000"},
      ParseCase{"double quotes alike", "/x ,s \"Lead Vox\"", "2F780000 2C730000 4C65616420566F7800000000"},
      ParseCase{"plain word", "/x ,s Kick", "2F780000 2C730000 4B69636B00000000"},
      ParseCase{"text after closing quote joins", "/x ,s 'ab'cd", "2F780000 2C730000 6162636400000000"},
      ParseCase{"inner quotes stay", "/x ,s ab'c d'e", "2F780000 2C730000 616227632064276500000000"},
      ParseCase{"other quote kind inside", "/x ,s \"it's\"", "2F780000 2C730000 6974277300000000"},
      ParseCase{"quote after closing quote is plain", "/x ,ss 'ab''c d'",
                "2F780000 2C737300 61622763 00000000 6427 0000"},
      ParseCase{"quote after closing quote opens nothing", "/x ,s 'a b'\"c d\"",
                "2F780000 2C730000 61206222 63000000"},
      ParseCase{"unclosed leading quote runs to the end", "/x ,s 'ab c", "2F780000 2C730000 61622063"
                                                                        "00000000"},
      ParseCase{"unclosed inner quote runs to the end", "/x ,si ab'c 7",
                "2F780000 2C736900 61622763 20370000 00000000"},
      ParseCase{"empty quotes", "/x ,si '' 7", "2F780000 2C736900 00000000 00000007"},
      ParseCase{"two strings", "/x ,ss 'a b' c", "2F780000 2C737300 61206200 63000000"},
      ParseCase{"string then integer", "/x ,si 'a b' 7", "2F780000 2C736900 61206200 00000007"},
      ParseCase{"tab stays in a string", "/x ,s a\tb", "2F780000 2C730000 61096200"},
  };
  expectPackets(cases.data(), cases.size());
}

TEST(wCparse, BlobsFromHexPairs) {
  const std::array cases = {
      ParseCase{"three bytes", "/x ,b 0a0b0c", "2F780000 2C620000 00000003 0A0B0C00"},
      ParseCase{"odd digit pairs with the end", "/x ,b 0a0b0c0", "2F780000 2C620000 00000004 0A0B0C00"},
      ParseCase{"blank as second of a pair", "/x ,b 0a 0b0 c", "2F780000 2C620000 00000004 0A0B00C0"},
      ParseCase{"non-digits count 0", "/x ,b 0A0bZZ", "2F780000 2C620000 00000003 0A0B0000"},
      ParseCase{"no digits", "/x ,b", "2F780000 2C620000 00000000"},
      ParseCase{"blanks before the blob skipped", "/x ,b    0a", "2F780000 2C620000 00000001 0A000000"},
      ParseCase{"blob takes the rest", "/x ,bi 0a 5",
                "2F780000 2C626900 00000002 0A500000 00000000"},
      ParseCase{"lone digit after a blank pairs with the end", "/x ,bi 01020304 9",
                "2F780000 2C626900 00000005 01020304 90000000 00000000"},
  };
  expectPackets(cases.data(), cases.size());
}

TEST(wCparse, NoValueLeaksFromAnEarlierRequest) {
  const std::array texts = {"/x ,i", "/x ,f", "/x ,i zz", "/x ,f zz", "/x ,f ."};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    ASSERT_EQ(parse("/x ,i 77").result, 12);
    endian = 0x12345678;
    const Parsed p = parse(text);
    EXPECT_EQ(p.hex.substr(16), "00000000");
    EXPECT_EQ(endian, 0u);
  }
}

TEST(wCparse, RefusesTextsThatDoNotFitAndNeverWritesPast) {
  const std::array texts = {
      "/main/1/fdr ,f 0.75", "/ch/01/config/name ,s 'Lead Vox'", "/a,i 5", "/x ,b 0a0b0c0d0e",
      "/x ,b 0a 0b 0c 0d 0e 0f", "/x ,ifsb 1 2 three 0405", "WING?", "", ",,,,"};
  for (const char* text : texts) {
    const int full = parse(text).result;
    ASSERT_GT(full, 0) << text;
    for (int capacity = 0; capacity <= full + 4; ++capacity) {
      SCOPED_TRACE(std::string(text) + " into " + std::to_string(capacity) + " bytes");
      const Parsed p = parse(text, static_cast<std::size_t>(capacity));
      EXPECT_EQ(p.result, capacity < full ? -2 : full);
    }
  }
}

// The fast path for plain decimals must agree with sscanf bit for bit on every text.
TEST(wCparse, FloatsMatchScanfBitForBit) {
  std::mt19937 random(11);
  const std::string alphabet = "0123456789.eE+-xXpinfaINFA";
  for (int round = 0; round < 20000; ++round) {
    std::string token;
    const int length = 1 + static_cast<int>(random() % 10);
    for (int k = 0; k < length; ++k) token += alphabet[random() % alphabet.size()];
    float expected = 0.0f;
    if (std::sscanf(token.c_str(), "%f", &expected) != 1) expected = 0.0f;
    SCOPED_TRACE(token);
    char word[9];
    std::snprintf(word, sizeof word, "%08X", static_cast<unsigned>(std::bit_cast<std::uint32_t>(expected)));
    EXPECT_EQ(parse("/x ,f " + token).hex.substr(16), word);
  }
}

TEST(wCparse, IntegersMatchScanf) {
  std::mt19937 random(13);
  const std::string alphabet = "0123456789+-x\t";
  for (int round = 0; round < 20000; ++round) {
    std::string token;
    const int length = 1 + static_cast<int>(random() % 9);  // stays in range for "%d"
    for (int k = 0; k < length; ++k) token += alphabet[random() % alphabet.size()];
    int expected = 0;
    if (std::sscanf(token.c_str(), "%d", &expected) != 1) expected = 0;
    SCOPED_TRACE(token);
    char word[9];
    std::snprintf(word, sizeof word, "%08X", static_cast<unsigned>(expected));
    EXPECT_EQ(parse("/x ,i " + token).hex.substr(16), word);
  }
}

TEST(XprepBlob, PairsFromStartToLength) {
  struct Case {
    const char* text;
    int length;
    int start;
    const char* expectedHex;
  };
  const std::array cases = {
      Case{"xx0a0b", 6, 2, "0A0B"},
      Case{"0a0b", 3, 0, "0A00"},  // the length ends the text, not its NUL
      Case{"  f", 3, 0, "F0"},
      Case{"1 2", 3, 0, "1020"},  // a blank second in a pair is that pair's low half
      Case{"abcdef", 6, 6, ""},
      Case{"    ", 4, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::array<unsigned char, 8> output{};
    const int count = XprepBlob(c.text, c.length, c.start, output.data());
    EXPECT_EQ(testsupport::hex(output.data(), static_cast<std::size_t>(count)), c.expectedHex);
  }
}

TEST(Xnibble, HexDigitsOfBothCasesAndZeroForTheRest) {
  for (int c = 0; c < 256; ++c) {
    int expected = 0;
    if (c >= '0' && c <= '9') expected = c - '0';
    if (c >= 'a' && c <= 'f') expected = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') expected = c - 'A' + 10;
    EXPECT_EQ(Xnibble(static_cast<char>(c)), expected) << "character " << c;
  }
}

}  // namespace
