#include "osc/osc_reader.h"

#include <bit>

namespace {

constexpr std::size_t notFound = static_cast<std::size_t>(-1);

constexpr std::size_t toGrid(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

bool zeroFrom(std::span<const unsigned char> bytes, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// A NUL-terminated text padded to the grid; the offset after its padding, or notFound.
std::size_t readString(std::span<const unsigned char> bytes, std::size_t offset,
                       std::string_view& text) {
  std::size_t end = offset;
  while (end < bytes.size() && bytes[end] != 0) ++end;
  if (end == bytes.size()) return notFound;
  const std::size_t next = toGrid(end + 1);
  if (next > bytes.size() || !zeroFrom(bytes, end, next)) return notFound;
  text = std::string_view(reinterpret_cast<const char*>(bytes.data() + offset), end - offset);
  return next;
}

std::uint32_t bigEndianAt(std::span<const unsigned char> bytes, std::size_t offset) {
  return std::uint32_t{bytes[offset]} << 24 | std::uint32_t{bytes[offset + 1]} << 16 |
         std::uint32_t{bytes[offset + 2]} << 8 | std::uint32_t{bytes[offset + 3]};
}

std::size_t readBlob(std::span<const unsigned char> bytes, std::size_t offset,
                     OscArgument& argument) {
  if (bytes.size() - offset < 4) return notFound;
  const auto count = static_cast<std::int32_t>(bigEndianAt(bytes, offset));
  if (count < 0 || static_cast<std::size_t>(count) > bytes.size() - offset - 4) return notFound;
  const std::size_t start = offset + 4;
  const std::size_t end = start + static_cast<std::size_t>(count);
  const std::size_t next = toGrid(end);
  if (next > bytes.size() || !zeroFrom(bytes, end, next)) return notFound;
  argument.blob = bytes.subspan(start, end - start);
  return next;
}

// One argument of type `type` at `offset`; the offset after it, or notFound.
std::size_t readArgument(std::span<const unsigned char> bytes, std::size_t offset, char type,
                         OscArgument& argument) {
  argument.type = type;
  switch (type) {
    case 'i':
    case 'f': {
      if (bytes.size() - offset < 4) return notFound;
      const std::uint32_t bits = bigEndianAt(bytes, offset);
      argument.integer = static_cast<std::int32_t>(bits);
      argument.number = std::bit_cast<float>(bits);
      return offset + 4;
    }
    case 's':
      return readString(bytes, offset, argument.text);
    default:
      return readBlob(bytes, offset, argument);
  }
}

int refuse(OscMessage& message, std::string_view problem) {
  message.problem = problem;
  return -1;
}

int readArguments(std::span<const unsigned char> bytes, std::size_t offset, OscMessage& message) {
  for (const char type : message.tags) {
    if (type != 'i' && type != 'f' && type != 's' && type != 'b') {
      return refuse(message, "unsupported type tag");
    }
  }
  for (const char type : message.tags) {
    offset = readArgument(bytes, offset, type, message.arguments[message.count]);
    if (offset == notFound) return refuse(message, "argument runs past the end");
    ++message.count;
  }
  if (offset != bytes.size()) return refuse(message, "bytes after the last argument");
  return static_cast<int>(message.count);
}

}  // namespace

int readOscMessage(std::span<const unsigned char> bytes, OscMessage& message) {
  message = OscMessage{};
  if (bytes.empty()) return refuse(message, "empty datagram");
  if (bytes.size() % 4 != 0) return refuse(message, "length not a multiple of 4");
  if (bytes[0] != '/') return refuse(message, "address does not start with '/'");
  std::size_t offset = readString(bytes, 0, message.address);
  if (offset == notFound) return refuse(message, "address not NUL-padded");
  if (offset == bytes.size()) return 0;
  if (bytes[offset] != ',') return refuse(message, "no type tag string after the address");
  std::string_view tags;
  offset = readString(bytes, offset, tags);
  if (offset == notFound) return refuse(message, "type tags not NUL-padded");
  message.hasTags = true;
  message.tags = tags.substr(1);
  if (message.tags.size() > oscMaxArguments) return refuse(message, "too many arguments");
  return readArguments(bytes, offset, message);
}
