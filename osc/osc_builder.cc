#include "osc/osc_builder.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

void putBigEndian(char* buffer, int index, std::uint32_t bits) {
  buffer[index] = static_cast<char>(bits >> 24);
  buffer[index + 1] = static_cast<char>(bits >> 16);
  buffer[index + 2] = static_cast<char>(bits >> 8);
  buffer[index + 3] = static_cast<char>(bits);
}

// Pads with NULs to the buffer's 4-byte grid; alignment is counted from the buffer
// start, not from where the field began.
int padToGrid(char* buffer, int index) {
  while (index % 4 != 0) buffer[index++] = '\0';
  return index;
}

int putString(char* buffer, int index, const char* text) {
  if (text == nullptr) {
    buffer[index++] = '\0';
  } else {
    const std::size_t length = std::strlen(text);
    std::memcpy(buffer + index, text, length + 1);
    index += static_cast<int>(length) + 1;
  }
  return padToGrid(buffer, index);
}

}  // namespace

int Xsprint(char* buffer, int index, char format, const void* value) {
  switch (format) {
    case 'i': {
      std::int32_t v;
      std::memcpy(&v, value, sizeof v);
      putBigEndian(buffer, index, static_cast<std::uint32_t>(v));
      return index + 4;
    }
    case 'f': {
      float v;
      std::memcpy(&v, value, sizeof v);
      putBigEndian(buffer, index, std::bit_cast<std::uint32_t>(v));
      return index + 4;
    }
    case 's':
      return putString(buffer, index, static_cast<const char*>(value));
    default:
      return index;
  }
}

int Xfprint(char* buffer, int index, const char* address, char format, const void* value) {
  index = putString(buffer, index, address);
  buffer[index] = ',';
  buffer[index + 1] = format;
  buffer[index + 2] = '\0';
  buffer[index + 3] = '\0';
  return Xsprint(buffer, index + 4, format, value);
}

int wSprint(char* buffer, int index, char format, const void* value) {
  return Xsprint(buffer, index, format, value);
}

int wFprint(char* buffer, int index, const char* address, char format, const void* value) {
  return Xfprint(buffer, index, address, format, value);
}

int XsprintEnd(int index, char format, const void* value) {
  switch (format) {
    case 'i':
    case 'f':
      return index + 4;
    case 's':
      return XstringFieldEnd(index, value ? std::strlen(static_cast<const char*>(value)) : 0);
    default:
      return index;
  }
}

int XfprintEnd(int index, const char* address, char format, const void* value) {
  return XsprintEnd(XstringFieldEnd(index, std::strlen(address)) + 4, format, value);
}
