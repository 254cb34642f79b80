#include "sim/sim_log.h"

#include <cstdio>

#include "osc/osc_reader.h"

namespace {

std::string describeArgument(const OscArgument& argument) {
  char text[48];
  switch (argument.type) {
    case 'i':
      std::snprintf(text, sizeof text, "%ld", static_cast<long>(argument.integer));
      return text;
    case 'f':
      std::snprintf(text, sizeof text, "%g", static_cast<double>(argument.number));
      return text;
    case 's':
      return quotedText(argument.text);
    default:
      std::snprintf(text, sizeof text, "blob[%zu]", argument.blob.size());
      return text;
  }
}

void appendEscaped(std::string& out, unsigned char c) {
  if (c == '"' || c == '\\') {
    out += '\\';
    out += static_cast<char>(c);
  } else if (c == 0) {
    out += "\\0";
  } else if (c < 0x20 || c > 0x7E) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", c);
    out += text;
  } else {
    out += static_cast<char>(c);
  }
}

// The first logTextLimit bytes of `text`, escaped.
std::string escapedHead(std::string_view text) {
  std::string out;
  const std::size_t shown = text.size() < logTextLimit ? text.size() : logTextLimit;
  for (std::size_t i = 0; i < shown; ++i) appendEscaped(out, static_cast<unsigned char>(text[i]));
  return out;
}

const char* cutMark(std::string_view text) { return text.size() > logTextLimit ? "..." : ""; }

}  // namespace

std::string quotedText(std::string_view text) {
  return "\"" + escapedHead(text) + "\"" + cutMark(text);
}

std::string hexGroups(std::span<const unsigned char> bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  const std::size_t shown = bytes.size() < logHexLimit ? bytes.size() : logHexLimit;
  std::string out;
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0 && i % 4 == 0) out += ' ';
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  if (shown < bytes.size()) out += " ...(+" + std::to_string(bytes.size() - shown) + " bytes)";
  return out;
}

std::string describeOsc(std::span<const unsigned char> bytes) {
  OscMessage message;
  if (readOscMessage(bytes, message) < 0) return "not OSC (" + std::string(message.problem) + ")";
  std::string out = escapedHead(message.address) + cutMark(message.address);
  if (message.hasTags) {
    out += " ,";
    out += message.tags;
  }
  for (std::size_t i = 0; i < message.count; ++i) out += " " + describeArgument(message.arguments[i]);
  return out;
}

std::string logLine(std::string_view kind, Direction direction, std::string_view peer,
                    std::span<const unsigned char> bytes, bool asOsc) {
  std::string line(kind);
  line += direction == Direction::Received ? " recv from " : " sent to ";
  line += peer;
  line += " (" + std::to_string(bytes.size()) + " bytes): ";
  line += asOsc ? describeOsc(bytes)
                : quotedText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  line += " | ";
  line += hexGroups(bytes);
  return line;
}
