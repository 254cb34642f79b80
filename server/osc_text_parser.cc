#include "server/osc_text_parser.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "osc/osc_builder.h"
#include "server/server_state.h"

namespace {

bool isQuote(char c) { return c == '"' || c == '\''; }
bool isTypeLetter(char c) { return c == 'b' || c == 'f' || c == 'i' || c == 's'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What "%d" and "%f" skip in front of a number: the C locale's white space, which is
// more than the blank that separates arguments.
bool isScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The packet under construction. Every write is preceded by a room check against the
// buffer's real capacity, so a text too long for the buffer is refused, never spilled.
struct PacketOut {
  std::span<char> bytes;
  int index = 0;

  bool fits(std::int64_t end) const { return end <= static_cast<std::int64_t>(bytes.size()); }

  bool putString(const char* text, std::size_t length) {
    if (!fits((static_cast<std::int64_t>(index) + static_cast<std::int64_t>(length) + 4) & ~3LL)) {
      return false;
    }
    index = Xsprint(bytes.data(), index, 's', text);
    return true;
  }

  bool putWord(char format, const std::uint32_t& word) {
    if (!fits(static_cast<std::int64_t>(index) + 4)) return false;
    index = Xsprint(bytes.data(), index, format, &word);
    return true;
  }
};

// Blanks in front of the first comma end the address; returns the comma's position,
// or `length` when there is none.
int zeroBlanksUpToComma(char* text, int length) {
  for (int i = 0; i < length; ++i) {
    if (text[i] == ',') return i;
    if (text[i] == ' ') text[i] = '\0';
  }
  return length;
}

int nextBlank(const char* text, int from, int length) {
  while (from < length && text[from] != ' ') ++from;
  return from;
}

// "%d" semantics: white space, sign, decimal digits, read as a long and kept to 32 bits.
// Anything unreadable stores 0, so no value leaks over from an earlier request.
void readInteger(const char* text, int at) {
  char* end = nullptr;
  const long long value = std::strtoll(text + at, &end, 10);
  endian = end == text + at ? 0u : static_cast<std::uint32_t>(value);
}

// Rare spellings (a leading '+', hex, inf, nan, out of range) go to sscanf itself on
// the argument alone, so every text reads exactly as "%f" reads it.
float scanFloat(char* text, int from, int length) {
  const int end = nextBlank(text, from, length);
  const char kept = text[end];
  text[end] = '\0';
  float value = 0.0f;
  if (std::sscanf(text + from, "%f", &value) != 1) value = 0.0f;
  text[end] = kept;
  return value;
}

// "%f" semantics. Plain decimals take the correctly rounded fast path, which agrees
// with sscanf bit for bit; anything that could be hex or a word takes sscanf.
void readFloat(char* text, int at, int length) {
  while (at < length && isScanSpace(text[at])) ++at;
  const int digitAt = at < length && text[at] == '-' ? at + 1 : at;
  if (digitAt < length && (isDigit(text[digitAt]) || text[digitAt] == '.')) {
    float value = 0.0f;
    const auto [stop, ec] = std::from_chars(text + at, text + length, value);
    if (ec == std::errc() && *stop != 'x' && *stop != 'X') {
      endian = std::bit_cast<std::uint32_t>(value);
      return;
    }
  }
  endian = std::bit_cast<std::uint32_t>(at < length ? scanFloat(text, at, length) : 0.0f);
}

// Collects one string argument in place from `from` by the quote rules; closes it with
// a NUL and returns where the argument ended (its ending blank, or `length`).
int collectString(char* text, int from, int length) {
  int read = from;
  int write = from;
  if (read < length && isQuote(text[read])) {
    const char quote = text[read++];
    while (read < length && text[read] != quote) text[write++] = text[read++];
    // The character after a closing quote is taken as it stands, even another quote.
    if (read < length && ++read < length && text[read] != ' ') text[write++] = text[read++];
  }
  while (read < length && text[read] != ' ') {
    const char c = text[read];
    text[write++] = text[read++];
    if (!isQuote(c)) continue;
    while (read < length && text[read] != c) text[write++] = text[read++];
    if (read < length) text[write++] = text[read++];
  }
  text[write] = '\0';
  return read;
}

// The bytes XprepBlob makes from the same arguments, without making them.
int blobByteCount(const char* text, int length, int start) {
  int count = 0;
  for (int i = start; i < length;) {
    if (text[i] == ' ') {
      ++i;
    } else {
      ++count;
      i += 2;
    }
  }
  return count;
}

std::int64_t blobFieldEnd(int index, int count) {
  return (static_cast<std::int64_t>(index) + 4 + count + 3) & ~3LL;
}

// The blob goes straight into the packet behind its count, so no work area is needed.
// The exact count is worked out only when the quick bound (one byte per two characters
// left) would not fit.
bool putBlob(PacketOut& out, const char* text, int from, int length) {
  if (!out.fits(blobFieldEnd(out.index, (length - from + 1) / 2)) &&
      !out.fits(blobFieldEnd(out.index, blobByteCount(text, length, from)))) {
    return false;
  }
  auto* data = reinterpret_cast<unsigned char*>(out.bytes.data() + out.index + 4);
  endian = static_cast<std::uint32_t>(XprepBlob(text, length, from, data));
  out.putWord('i', endian);
  out.index += static_cast<int>(endian);
  while (out.index % 4 != 0) out.bytes[out.index++] = '\0';
  return true;
}

// Reads one argument per letter from `at` on; returns false when the packet is full.
bool putArguments(PacketOut& out, char* text, const char* letters, int at, int length) {
  for (; *letters != '\0'; ++letters) {
    if (at < length) ++at;  // the separator, or the blank that ended the last argument
    while (at < length && text[at] == ' ') ++at;
    bool fitted = true;
    switch (*letters) {
      case 'i':
        readInteger(text, at);
        fitted = out.putWord('i', endian);
        at = nextBlank(text, at, length);
        break;
      case 'f':
        readFloat(text, at, length);
        fitted = out.putWord('f', endian);
        at = nextBlank(text, at, length);
        break;
      case 's': {
        const int end = collectString(text, at, length);
        fitted = out.putString(text + at, std::strlen(text + at));
        at = end;
        break;
      }
      default:  // 'b': the rest of the text
        fitted = putBlob(out, text, at, length);
        at = length;
        break;
    }
    if (!fitted) return false;
  }
  return true;
}

}  // namespace

int wCparse(std::span<char> packet, char* text) {
  // Positions are ints, as the packet layout's are, with room for a packet's growth to
  // six bytes a character; buffers beyond that are used up to it, longer texts refused.
  constexpr std::size_t maxIndex = std::numeric_limits<int>::max() / 8;
  PacketOut out{packet.first(std::min(packet.size(), maxIndex))};
  char none[1] = {};
  if (text == nullptr) text = none;
  const std::size_t textLength = std::strlen(text);
  if (textLength > maxIndex) return -2;
  const int length = static_cast<int>(textLength);

  const int comma = zeroBlanksUpToComma(text, length);
  if (!out.putString(text, std::strlen(text))) return -2;
  if (comma == length || comma == 0) return out.index;

  int end = comma + 1;
  while (end < length && isTypeLetter(text[end])) ++end;
  text[end] = '\0';
  if (!out.putString(text + comma, static_cast<std::size_t>(end - comma))) return -2;
  if (!putArguments(out, text, text + comma + 1, end, length)) return -2;
  return out.index;
}

int XprepBlob(const char* text, int length, int start, unsigned char* output) {
  int count = 0;
  for (int i = start; i < length;) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    // A lone last digit pairs with the end of the text, which counts 0.
    const int low = i + 1 < length ? Xnibble(text[i + 1]) : 0;
    output[count++] = static_cast<unsigned char>(Xnibble(text[i]) << 4 | low);
    i += 2;
  }
  return count;
}

int Xnibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}
