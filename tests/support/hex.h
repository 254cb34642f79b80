// Hex text of byte runs, so expected packets read as the bytes on the wire.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace testsupport {

/// Upper-case hex of `size` bytes at `data`, two digits a byte, no separators.
inline std::string hex(const void* data, std::size_t size) {
  static constexpr char digits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

inline std::string hex(std::string_view bytes) { return hex(bytes.data(), bytes.size()); }

/// Bytes of a hex text; blanks are skipped so long packets can be written in groups.
inline std::string unhex(std::string_view text) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  int high = -1;
  for (char c : text) {
    const int v = nibble(c);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return out;
}

}  // namespace testsupport
