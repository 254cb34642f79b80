// Cross-check of the command parser and the reply decoder against an independent OSC
// implementation (liblo): what we encode, liblo must read back as the same message, and
// what liblo writes, we must show as the expected reply text.
#include <gtest/gtest.h>
#include <lo/lo.h>
#include <lo/lo_lowlevel.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "server/osc_decoder.h"
#include "server/osc_text_parser.h"

namespace {

using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, decltype(&lo_message_free)>;

// One argument as the generator meant it; the command text is made from it.
struct Argument {
  char letter;
  std::int32_t i = 0;
  float f = 0;
  std::string s;
  std::vector<unsigned char> b;
};

struct Command {
  std::string text;
  std::string address;
  std::string letters;
  std::vector<Argument> arguments;  // expected values, including those left missing
};

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  Command command() {
    Command c;
    c.address = address();
    c.letters = letters();
    // An address glued to the comma carries the whole text; liblo reads that address as
    // sent, so such texts are checked too, with the whole text as the expected address.
    const bool glued = pick(10) == 0;
    c.text = c.address + (glued ? "" : blanks()) + "," + c.letters;
    const std::size_t given = pick(8) == 0 ? pick(c.letters.size() + 1) : c.letters.size();
    for (std::size_t k = 0; k < c.letters.size(); ++k) {
      Argument a = argument(c.letters[k]);
      if (k < given) {
        c.text += blanks() + spelled(a);
      } else {  // missing: numbers read 0, strings and blobs are empty
        a = Argument{a.letter, 0, 0, {}, {}};
      }
      c.arguments.push_back(a);
    }
    if (glued) c.address = c.text;
    return c;
  }

  std::size_t pick(std::size_t bound) { return bound == 0 ? 0 : random_() % bound; }
  std::int32_t anyInt() { return static_cast<std::int32_t>(random_()); }
  float anyFiniteFloat() {
    for (;;) {
      const float f = std::bit_cast<float>(static_cast<std::uint32_t>(random_()));
      if (std::isfinite(f)) return f;
    }
  }
  std::string printable(std::size_t maxLength) {
    std::string s(pick(maxLength + 1), ' ');
    for (char& ch : s) ch = static_cast<char>(32 + pick(95));
    return s;
  }
  std::vector<unsigned char> bytes(std::size_t maxLength) {
    std::vector<unsigned char> b(pick(maxLength + 1));
    for (auto& byte : b) byte = static_cast<unsigned char>(random_());
    return b;
  }

 private:
  std::string address() {
    static constexpr char chars[] = "abcdefghijklmnopqrstuvwxyz0123456789/_";
    std::string a = "/";
    for (std::size_t n = pick(24); n > 0; --n) a += chars[pick(sizeof chars - 1)];
    return a;
  }
  std::string letters() {
    static constexpr char kinds[] = "ifs";
    std::string l;
    for (std::size_t n = pick(6); n > 0; --n) l += kinds[pick(3)];
    if (pick(4) == 0) l += 'b';  // a blob takes the rest of the text, so it stands last
    return l;
  }
  std::string blanks() { return std::string(1 + pick(3), ' '); }

  Argument argument(char letter) {
    Argument a{letter, 0, 0, {}, {}};
    if (letter == 'i') a.i = anyInt();
    if (letter == 'f') a.f = anyFiniteFloat();
    if (letter == 's') a.s = printable(12);
    if (letter == 'b') a.b = bytes(20);
    return a;
  }

  // May drop characters no quoting can carry, and then changes the expected value too.
  std::string spelled(Argument& a) {
    char number[48];
    switch (a.letter) {
      case 'i':
        std::snprintf(number, sizeof number, pick(4) == 0 && a.i >= 0 ? "+%d" : "%d", a.i);
        return number;
      case 'f':  // nine significant digits bring a float back exactly
        std::snprintf(number, sizeof number, pick(2) ? "%.9g" : "%.9e", static_cast<double>(a.f));
        return number;
      case 's':
        return quoted(a.s);
      default: {
        std::string hex;
        for (unsigned char byte : a.b) {
          std::snprintf(number, sizeof number, pick(2) ? "%02x" : "%02X", byte);
          hex += number;
          if (pick(4) == 0) hex += std::string(1 + pick(2), ' ');  // blanks between pairs
        }
        return hex;
      }
    }
  }

  // The quoting a page would use: plain when nothing needs it, else a quote kind that
  // the text does not hold (or, when it holds both, the text without single quotes).
  std::string quoted(std::string& s) {
    const bool hasSingle = s.find('\'') != std::string::npos;
    const bool hasDouble = s.find('"') != std::string::npos;
    if (!s.empty() && s.find(' ') == std::string::npos && !hasSingle && !hasDouble) return s;
    if (!hasSingle) return "'" + s + "'";
    if (!hasDouble) return "\"" + s + "\"";
    std::erase(s, '\'');
    return "'" + s + "'";
  }

  std::mt19937 random_;
};

// liblo's arguments lie on the packet's 4-byte grid while its lo_arg union asks for 8,
// so they are read as bytes rather than through the union.
void expectSameArgument(const Argument& a, const lo_arg* arg) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(arg);
  std::int32_t word;
  std::memcpy(&word, bytes, sizeof word);  // liblo has turned it to host order
  switch (a.letter) {
    case 'i':
      EXPECT_EQ(word, a.i);
      break;
    case 'f':
      EXPECT_EQ(static_cast<std::uint32_t>(word), std::bit_cast<std::uint32_t>(a.f)) << a.f;
      break;
    case 's':
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes)), a.s);
      break;
    default:
      EXPECT_EQ(std::vector<unsigned char>(bytes + 4, bytes + 4 + word), a.b);
  }
}

TEST(LibloCrossCheck, LibloReadsWhatTheParserWrites) {
  Generator generate(2024);
  std::vector<char> packet(4096);
  for (int round = 0; round < 3000; ++round) {
    Command c = generate.command();
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    const int length = wCparse(packet, text.data());
    ASSERT_GT(length, 0);
    int error = 0;
    Message m(lo_message_deserialise(packet.data(), static_cast<std::size_t>(length), &error),
              lo_message_free);
    ASSERT_NE(m, nullptr) << "liblo refused the packet, error " << error;
    EXPECT_EQ(std::string(lo_get_path(packet.data(), length)), c.address);
    ASSERT_EQ(std::string(lo_message_get_types(m.get())), c.letters);
    lo_arg** argv = lo_message_get_argv(m.get());
    for (std::size_t k = 0; k < c.arguments.size(); ++k) {
      SCOPED_TRACE(k);
      expectSameArgument(c.arguments[k], argv[k]);
    }
  }
}

// A command without a comma is sent as its address alone, the bare query form the
// consoles answer. liblo insists on a type-tag string, so it refuses the message as a
// whole; the address field must still be the well-formed OSC string liblo reads.
TEST(LibloCrossCheck, BareAddressesAreWellFormedStringsThatLibloRefusesAsMessages) {
  const std::array texts = {"/xinfo", "/status", "/ch/01/config/name", "WING?", "/ab", "/abc"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    std::string copy = text;
    std::array<char, 64> packet{};
    const int length = wCparse(packet, copy.data());
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::string(lo_get_path(packet.data(), length)), text);
    EXPECT_EQ(length, static_cast<int>((std::strlen(text) + 4) & ~std::size_t{3}));
    for (int k = static_cast<int>(std::strlen(text)); k < length; ++k) EXPECT_EQ(packet[k], '\0');
    int error = 0;
    EXPECT_EQ(lo_message_deserialise(packet.data(), static_cast<std::size_t>(length), &error), nullptr);
    EXPECT_EQ(error, LO_ENOTYPE);
  }
}

std::string padded(const std::string& field, std::size_t fieldStart) {
  std::string shown = field;
  for (char& ch : shown) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 32 || b == 127 || b == 255) ch = '~';
  }
  const std::size_t end = (fieldStart + field.size() + 4) & ~std::size_t{3};
  return shown + std::string(end - fieldStart - field.size(), '~');
}

std::string fixed(const char* format, int value, std::size_t width) {
  char field[32];
  std::snprintf(field, sizeof field, format, value);
  return std::string(field).substr(0, width);
}

struct KnownFloat {
  float value;
  const char* shown;
};

constexpr std::array knownFloats = {
    KnownFloat{0.75f, "[0.7500]"}, KnownFloat{-12.5f, "[-12.50]"}, KnownFloat{0.0f, "[00.000]"},
    KnownFloat{-1000.0f, "[-01000]"}, KnownFloat{99.5f, "[99.500]"}, KnownFloat{100.0f, "[100.00]"},
    KnownFloat{1000.0f, "[1000.0]"}, KnownFloat{10000.0f, "[010000]"}, KnownFloat{-0.5f, "[-0.500]"},
};

TEST(LibloCrossCheck, DecoderShowsWhatLibloWrites) {
  Generator generate(77);
  std::vector<char> packet(4096);
  std::vector<char> text(4 * 4096);
  for (int round = 0; round < 3000; ++round) {
    Message m(lo_message_new(), lo_message_free);
    std::string path = "/" + generate.printable(16);
    std::string arguments;
    std::string letters;
    std::size_t at = 0;  // where the arguments start, fixed once the tags are known
    std::vector<std::pair<char, std::string>> shownLater;
    for (std::size_t n = generate.pick(6); n > 0; --n) {
      switch (generate.pick(4)) {
        case 0: {
          const std::int32_t v = generate.anyInt();
          lo_message_add_int32(m.get(), v);
          letters += 'i';
          shownLater.emplace_back('i', fixed("[%6d]", v, 8));
          break;
        }
        case 1: {
          const KnownFloat& f = knownFloats[generate.pick(knownFloats.size())];
          lo_message_add_float(m.get(), f.value);
          letters += 'f';
          shownLater.emplace_back('f', f.shown);
          break;
        }
        case 2: {
          const std::string s = generate.printable(12);
          lo_message_add_string(m.get(), s.c_str());
          letters += 's';
          shownLater.emplace_back('s', s);
          break;
        }
        default: {
          std::vector<unsigned char> b = generate.bytes(20);
          if (b.empty()) b.push_back(0);  // liblo makes no blob of 0 bytes
          lo_blob blob = lo_blob_new(static_cast<std::int32_t>(b.size()), b.data());
          lo_message_add_blob(m.get(), blob);
          lo_blob_free(blob);
          letters += 'b';
          std::string shown = fixed("%4d bytes: ", static_cast<int>(b.size()), 12);
          for (unsigned char byte : b) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02x", byte);
            shown += pair;
          }
          shownLater.emplace_back('b', shown);
        }
      }
    }
    // liblo always writes the tag string, so a NUL precedes its comma.
    std::string expected = padded(path, 0);
    const std::string tags = "," + letters;
    expected += padded(tags, expected.size());
    at = expected.size();
    for (const auto& [letter, shown] : shownLater) {
      if (letter == 's') {
        expected += padded(shown, at);
        at = (at + shown.size() + 4) & ~std::size_t{3};
      } else {
        expected += shown;
        at += letter == 'b' ? 4 + ((shown.size() - 12) / 2 + 3) / 4 * 4 : 4;
      }
    }
    std::size_t size = packet.size();
    ASSERT_NE(lo_message_serialise(m.get(), path.c_str(), packet.data(), &size), nullptr);
    SCOPED_TRACE(path + " " + tags);
    const int result = wDdump(std::span<const unsigned char>(reinterpret_cast<unsigned char*>(packet.data()), size), text);
    EXPECT_EQ(std::string(text.data()), expected);
    EXPECT_EQ(result, static_cast<int>(expected.size()) + 1);
  }
}

// liblo writes OSC types beyond the four the consoles use. Letters without data (T, F,
// N, I) show in the tags and use nothing, so the arguments around them still line up.
// A letter with data (h, d, t, c, m) is where the two legitimately part: its bytes are
// not ours to read, so they are shown as the walk shows any stray byte, after the
// arguments the four letters took.
TEST(LibloCrossCheck, TypesOutsideTheFourShowAsLettersOnly) {
  Message m(lo_message_new(), lo_message_free);
  lo_message_add_int32(m.get(), 5);
  lo_message_add_true(m.get());
  lo_message_add_nil(m.get());
  lo_message_add_float(m.get(), 0.75f);
  lo_message_add_int64(m.get(), 0x4142434445464748LL);
  std::array<char, 64> packet{};
  std::size_t size = packet.size();
  ASSERT_NE(lo_message_serialise(m.get(), "/x", packet.data(), &size), nullptr);
  std::array<char, 256> text{};
  const int result = wDdump(std::span<const unsigned char>(reinterpret_cast<unsigned char*>(packet.data()), size), text);
  EXPECT_EQ(std::string(text.data()), "/x~~,iTNfh~~[     5][0.7500]BCDEFGH");
  EXPECT_EQ(result, 36);
}

}  // namespace
