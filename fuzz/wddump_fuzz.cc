// Fuzz target for the reply decoder. The input is the packet, copied into a heap block of
// exactly its size so ASan stops any read past it; its first byte also picks a small text
// capacity to check that cutting keeps every bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "server/osc_decoder.h"

namespace {

[[noreturn]] void fail(const char* what, int result) {
  std::fprintf(stderr, "wDdump: %s (result %d)\n", what, result);
  std::abort();
}

int decode(const unsigned char* packet, std::size_t size, char* text, std::size_t capacity) {
  return wDdump(std::span<const unsigned char>(packet, size), std::span<char>(text, capacity));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto packet = std::make_unique<unsigned char[]>(size);
  if (size != 0) std::memcpy(packet.get(), data, size);

  // Three characters a byte is the most any packet can show (a blob count: 12 for 4).
  const std::size_t roomy = 3 * size + 2;
  auto whole = std::make_unique<char[]>(roomy);
  const int full = decode(packet.get(), size, whole.get(), roomy);
  if (full < 1 || static_cast<std::size_t>(full) > 3 * size + 1) fail("length out of bounds", full);
  if (whole[full - 1] != '\0' || std::strlen(whole.get()) != static_cast<std::size_t>(full - 1)) {
    fail("result does not count the text and its NUL", full);
  }

  const std::size_t capacity = size == 0 ? 0 : data[0] % (static_cast<std::size_t>(full) + 2);
  auto text = std::make_unique<char[]>(capacity);
  const int cut = decode(packet.get(), size, text.get(), capacity);
  const int expected = capacity == 0 ? 0 : static_cast<int>(std::min<std::size_t>(capacity, full));
  if (cut != expected) fail("cut text has the wrong length", cut);
  if (cut > 0 && (text[cut - 1] != '\0' || std::memcmp(text.get(), whole.get(), static_cast<std::size_t>(cut - 1)) != 0)) {
    fail("cut text is not a prefix of the whole one", cut);
  }
  return 0;
}
