#include "server/osc_decoder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "server/server_state.h"

namespace {

using Packet = std::span<const unsigned char>;

char shown(unsigned char b) { return b < 32 || b == 127 || b == 255 ? '~' : static_cast<char>(b); }

// A formatted field, long enough for any 32-bit number in any of the forms below.
struct Field {
  char chars[64];
  std::size_t size = 0;
};

// The reply text, cut to its buffer: one place is always kept for the closing NUL, and
// `used` counts exactly the characters that went in.
struct TextSink {
  std::span<char> out;
  std::size_t used = 0;

  bool full() const { return used + 1 >= out.size(); }
  void put(char c) {
    if (!full()) out[used++] = c;
  }
  // A fixed-width field: its first `width` characters, cut to the room.
  void putField(const Field& field, std::size_t width) {
    for (std::size_t k = 0; k < std::min(width, field.size); ++k) put(field.chars[k]);
  }
};

std::uint32_t bigEndianAt(Packet packet, std::size_t at) {
  return std::uint32_t{packet[at]} << 24 | std::uint32_t{packet[at + 1]} << 16 |
         std::uint32_t{packet[at + 2]} << 8 | std::uint32_t{packet[at + 3]};
}

// A field cut by the packet's end shows the bytes that are there, as the walk shows any
// byte, and the walk stops at the end.
std::size_t showCut(Packet packet, std::size_t at, TextSink& text) {
  for (; at < packet.size(); ++at) text.put(shown(packet[at]));
  return packet.size();
}

// A number's text right-aligned in `width` as printf pads it: blanks in front, or zeros
// after a leading minus. Returns the characters written to `out`.
std::size_t padLeft(char* out, const char* first, const char* last, std::size_t width, char fill) {
  std::size_t at = 0;
  auto length = static_cast<std::size_t>(last - first);
  if (length < width && fill == '0' && *first == '-') {
    out[at++] = *first++;
    --width;
    --length;
  }
  for (; length < width; --width) out[at++] = fill;
  std::memcpy(out + at, first, length);
  return at + length;
}

// "[%6d]"
Field integerField(std::int32_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  Field f;
  f.chars[0] = '[';
  f.size = 1 + padLeft(f.chars + 1, digits, end, 6, ' ');
  f.chars[f.size++] = ']';
  return f;
}

// "%4d bytes: "
Field blobHeader(std::int32_t count) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, count).ptr;
  Field f;
  f.size = padLeft(f.chars, digits, end, 4, ' ');
  std::memcpy(f.chars + f.size, " bytes: ", 8);
  f.size += 8;
  return f;
}

// Decimals fall by one per power of ten away from zero; bounds below zero belong to the
// lower range, above zero to the upper one. Beyond the table the field keeps the last
// row's form, and the values that have no digits get words. The digits are printf's
// "[%06.*f]" of the value (to_chars gives the same correctly rounded text, faster).
Field floatField(float x) {
  Field f;
  if (std::isnan(x) || std::isinf(x)) {
    std::memcpy(f.chars, std::isnan(x) ? "[   nan]" : x > 0 ? "[   inf]" : "[  -inf]", 8);
    f.size = 8;
    return f;
  }
  const int decimals = XfloatDecimals(x);
  char digits[56];
  const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<double>(x),
                                 std::chars_format::fixed, decimals).ptr;
  f.chars[0] = '[';
  f.size = 1 + padLeft(f.chars + 1, digits, end, 6, '0');
  f.chars[f.size++] = ']';
  return f;
}

std::size_t showNumber(Packet packet, std::size_t at, char letter, TextSink& text) {
  if (packet.size() - at < 4) return showCut(packet, at, text);
  endian = bigEndianAt(packet, at);
  text.putField(letter == 'i' ? integerField(static_cast<std::int32_t>(endian))
                              : floatField(std::bit_cast<float>(endian)), 8);
  return at + 4;
}

std::size_t roundUp4(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

// The string's bytes, its NUL and the padding, all by the display rule.
std::size_t showString(Packet packet, std::size_t at, TextSink& text) {
  const void* zero = std::memchr(packet.data() + at, 0, packet.size() - at);
  if (zero == nullptr) return showCut(packet, at, text);
  const std::size_t nul = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - packet.data());
  const std::size_t end = std::min(roundUp4(nul + 1), packet.size());
  for (; at < end; ++at) text.put(shown(packet[at]));
  return end;
}

std::size_t showBlob(Packet packet, std::size_t at, TextSink& text) {
  if (packet.size() - at < 4) return showCut(packet, at, text);
  endian = bigEndianAt(packet, at);
  const auto count = static_cast<std::int32_t>(endian);
  text.putField(blobHeader(count), 12);
  at += 4;
  if (count <= 0) return at;
  // A count that claims more than the packet holds shows the bytes that are there.
  const std::size_t size = std::min(static_cast<std::size_t>(count), packet.size() - at);
  static constexpr char hexDigits[] = "0123456789abcdef";
  for (std::size_t k = 0; k < size; ++k) {
    text.put(hexDigits[packet[at + k] >> 4]);
    text.put(hexDigits[packet[at + k] & 15]);
  }
  return std::min(roundUp4(at + static_cast<std::size_t>(count)), packet.size());
}

// Acts on the bytes from the type tags' first letter to the end of their field (the
// NULs after the letters act as letters that use nothing) while the packet lasts.
// Returns the position after the last argument used.
std::size_t showArguments(Packet packet, std::size_t firstLetter, std::size_t argsAt,
                          TextSink& text) {
  std::size_t at = argsAt;
  for (std::size_t t = firstLetter; t < argsAt && at < packet.size(); ++t) {
    switch (packet[t]) {
      case 'i':
      case 'f':
        at = showNumber(packet, at, static_cast<char>(packet[t]), text);
        break;
      case 's':
        at = showString(packet, at, text);
        break;
      case 'b':
        at = showBlob(packet, at, text);
        break;
      default:
        break;
    }
  }
  return at;
}

}  // namespace

int wDdump(std::span<const unsigned char> packet, std::span<char> text) {
  if (text.empty()) return 0;
  TextSink out{text};
  bool zeroSeen = false;
  bool inTags = false;
  std::size_t comma = 0;
  std::size_t i = 0;
  while (i < packet.size() && !out.full()) {
    const unsigned char b = packet[i];
    if (b == 0) zeroSeen = true;
    out.put(shown(b));
    if (b == ',' && zeroSeen) {
      comma = i;
      inTags = true;
    }
    if (!inTags || b != 0) {
      ++i;
      continue;
    }
    const std::size_t argsAt = (i / 4 + 1) * 4;
    for (std::size_t pad = i + 1; pad < argsAt && pad < packet.size(); ++pad) out.put('~');
    const std::size_t after = showArguments(packet, comma + 1, argsAt, out);
    inTags = false;
    // Bytes beyond the announced arguments are shown too, from the second of them on:
    // the reply text's layout is a contract with the pages that parse it, so it is fixed
    // here once. (Every argument ends on the 4-byte grid or at the packet's end, so this
    // is the same place as one past the grid word holding `after`.)
    i = after + 1;
  }
  out.out[out.used] = '\0';
  return static_cast<int>(out.used + 1);
}

int XfloatDecimals(float x) {
  if (x <= -1000) return 0;
  if (x <= -100) return 1;
  if (x <= -10) return 2;
  if (x <= 0) return 3;
  if (x < 10) return 4;
  if (x < 100) return 3;
  if (x < 1000) return 2;
  if (x < 10000) return 1;
  return 0;
}
