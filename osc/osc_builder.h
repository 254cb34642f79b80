// OSC field and message encoder: the packet layout every program writes and reads.
//
// A packet is a run of 4-byte aligned fields, numbers most significant byte first:
//   address  text, NUL, NULs to the next multiple of 4 (counted from the buffer start)
//   tags     ',' + one letter per argument, NUL, NULs to the next multiple of 4
//   args     'i'/'f': 4 bytes; 's': like the address; 'b': 4-byte count, bytes, NULs
//
// The encoders take no capacity: each caller sizes its buffer, using the pure size
// functions below to check room before it writes.
#pragma once

#include <cstddef>

/// Writes one field at `index` of `buffer` and returns the index just after it.
/// `format` 's': `value` is a NUL-terminated text or null (null writes an empty string);
/// 'i': `value` points to a 32-bit int; 'f': to a 32-bit float. Any other format writes
/// nothing and returns `index` unchanged.
int Xsprint(char* buffer, int index, char format, const void* value);

/// Writes a one-argument message: `address` (never null), the tag string ",<format>",
/// then the argument as Xsprint writes it. Returns the index just after the message.
int Xfprint(char* buffer, int index, const char* address, char format, const void* value);

/// The same operations under the names the Wing tools use.
int wSprint(char* buffer, int index, char format, const void* value);
int wFprint(char* buffer, int index, const char* address, char format, const void* value);

/// Index just after what Xsprint would write, without writing: callers check room with it.
int XsprintEnd(int index, char format, const void* value);

/// Index just after what Xfprint would write, without writing.
int XfprintEnd(int index, const char* address, char format, const void* value);

/// Index just after a string field of `length` bytes (plus its NUL) that starts at `index`.
constexpr int XstringFieldEnd(int index, std::size_t length) {
  const int end = index + static_cast<int>(length) + 1;
  return (end + 3) & ~3;
}
