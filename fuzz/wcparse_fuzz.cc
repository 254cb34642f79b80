// Fuzz target for the command text parser. The first input byte is the packet buffer's
// capacity (0..255, any alignment); the rest, up to a NUL, is the command text. The
// buffer is a heap block of exactly that capacity, so ASan stops any write past it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "server/osc_text_parser.h"

namespace {

[[noreturn]] void fail(const char* what, int result, const std::string& text) {
  std::fprintf(stderr, "wCparse: %s (result %d, text \"%s\")\n", what, result, text.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t capacity = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1),
                         strnlen(reinterpret_cast<const char*>(data + 1), size - 1));
  const std::size_t length = text.size();

  // With room for the largest packet a text can give, the parse always succeeds.
  const std::size_t roomy = 6 * length + 4;
  std::string roomyText = text;
  auto whole = std::make_unique<char[]>(roomy);
  const int full = wCparse(std::span<char>(whole.get(), roomy), roomyText.data());
  if (full < 4 || full % 4 != 0) fail("bad length with room to spare", full, text);
  if (static_cast<std::size_t>(full) > roomy) fail("more than 6 bytes a character", full, text);

  // Into the small buffer: the same packet when it fits, else -2.
  std::string smallText = text;
  auto packet = std::make_unique<char[]>(capacity);
  const int result = wCparse(std::span<char>(packet.get(), capacity), smallText.data());
  if (static_cast<std::size_t>(full) <= capacity) {
    if (result != full) fail("fitting packet not made", result, text);
    if (std::memcmp(packet.get(), whole.get(), static_cast<std::size_t>(full)) != 0) {
      fail("packet differs from the roomy one", result, text);
    }
  } else if (result != -2) {
    fail("packet too large for the buffer not refused", result, text);
  }
  return 0;
}
