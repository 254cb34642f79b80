// Reading one OSC message out of a received datagram, without trusting it.
//
// The reader owns nothing: the address, tags, strings and blobs it returns are views into
// the caller's bytes, so they live exactly as long as those bytes. It never looks at a
// byte at or past `bytes.size()`, and it allocates nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

/// One argument of a message; only the member named by `type` is meaningful.
struct OscArgument {
  char type = 0;                        // 'i', 'f', 's' or 'b'
  std::int32_t integer = 0;             // 'i'
  float number = 0;                     // 'f'
  std::string_view text;                // 's', without its NUL
  std::span<const unsigned char> blob;  // 'b', without its count and padding
};

/// More arguments than any console message of this system carries; a datagram with more
/// is refused rather than read in part.
inline constexpr std::size_t oscMaxArguments = 8;

struct OscMessage {
  std::string_view address;
  bool hasTags = false;   // false for an address-only message (a bare query)
  std::string_view tags;  // the letters after ',' (",sf" gives "sf")
  std::size_t count = 0;
  std::array<OscArgument, oscMaxArguments> arguments{};
  std::string_view problem;  // why the bytes are not a message; empty when they are
};

/// Reads `bytes` as one OSC 1.0 message: an address that starts with '/', an optional
/// type-tag string, then one argument per tag letter (i, f, s, b), every field NUL-padded
/// to the 4-byte grid with zero bytes, and nothing after the last argument.
/// Returns the number of arguments (>= 0), or -1 when the bytes are not such a message;
/// `message.problem` then names the first fault found.
int readOscMessage(std::span<const unsigned char> bytes, OscMessage& message);
