#include "apps/scout.h"

#include <algorithm>
#include <tuple>

#include "osc/osc_reader.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One decimal part of a dotted address: 0..255, no sign, no leading zero.
bool readOctet(std::string_view part, std::uint32_t& octet) {
  if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
  octet = 0;
  for (const char c : part) {
    if (c < '0' || c > '9') return false;
    octet = octet * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return octet <= 255;
}

bool readDotted(std::string_view text, std::uint32_t& address) {
  address = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = part < 3 ? text.find('.') : text.size();
    std::uint32_t octet = 0;
    if (dot == std::string_view::npos || !readOctet(text.substr(0, dot), octet)) return false;
    address = address << 8 | octet;
    text.remove_prefix(part < 3 ? dot + 1 : dot);
  }
  return true;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A field as the list carries it: one line, one column, and a bounded length.
std::string cleanField(std::string_view text) {
  if (text.size() > maxFieldBytes) {
    std::size_t end = maxFieldBytes;
    while (end > 0 && isContinuationByte(text[end])) --end;
    text = text.substr(0, end);
  }
  std::string field(text);
  for (char& c : field) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return field;
}

// The comma-separated field `index` of `text` (0 is "WING"); empty when it is missing.
std::string_view commaField(std::string_view text, int index) {
  for (int i = 0; i < index; ++i) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return {};
    text.remove_prefix(comma + 1);
  }
  return text.substr(0, text.find(','));
}

bool readWingReply(std::span<const unsigned char> reply, FoundConsole& console) {
  std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size());
  text = text.substr(0, text.find('\0'));
  if (!text.starts_with("WING,")) return false;
  console.kind = ConsoleKind::Wing;
  console.name = cleanField(commaField(text, 2));
  console.model = cleanField(commaField(text, 3));
  console.firmware = cleanField(commaField(text, 5));
  return true;
}

bool readX32Reply(std::span<const unsigned char> reply, FoundConsole& console) {
  OscMessage message;
  if (readOscMessage(reply, message) < 4 || message.address != "/xinfo" ||
      !message.tags.starts_with("ssss")) {
    return false;
  }
  console.kind = ConsoleKind::X32;
  console.name = cleanField(message.arguments[1].text);
  console.model = cleanField(message.arguments[2].text);
  console.firmware = cleanField(message.arguments[3].text);
  return true;
}

const char* kindName(ConsoleKind kind) { return kind == ConsoleKind::Wing ? "Wing" : "X32"; }

}  // namespace

bool parseScoutBody(std::string_view body, ScoutTarget& target) {
  body = trimmed(body);
  if (body.empty()) {
    target = ScoutTarget{};
    return true;
  }
  std::uint32_t address = 0;
  if (!readDotted(body, address)) return false;
  target = ScoutTarget{false, address};
  return true;
}

bool readDiscoveryReply(std::span<const unsigned char> reply, std::uint32_t from,
                        FoundConsole& console) {
  console = FoundConsole{};
  console.address = from;
  return readWingReply(reply, console) || readX32Reply(reply, console);
}

bool addConsole(std::vector<FoundConsole>& consoles, FoundConsole console) {
  const bool known = std::ranges::any_of(consoles, [&](const FoundConsole& c) {
    return c.kind == console.kind && c.address == console.address;
  });
  if (known || consoles.size() >= maxConsoles) return false;
  consoles.push_back(std::move(console));
  return true;
}

std::string consoleListText(std::vector<FoundConsole> consoles) {
  std::ranges::sort(consoles, [](const FoundConsole& a, const FoundConsole& b) {
    return std::tie(a.address, a.kind) < std::tie(b.address, b.kind);
  });
  std::string text;
  for (const FoundConsole& c : consoles) {
    const std::string address = dottedAddress(c.address);
    for (const std::string_view field : {std::string_view(kindName(c.kind)),
                                         std::string_view(address), std::string_view(c.name),
                                         std::string_view(c.model)}) {
      text += field;
      text += '\t';
    }
    text += c.firmware;
    text += '\n';
  }
  return text;
}

std::string dottedAddress(std::uint32_t address) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    text += std::to_string(address >> shift & 0xFF);
    if (shift > 0) text += '.';
  }
  return text;
}

std::string scoutUsage() {
  return "Scout - finds Wing and X32 consoles for the Velmora server\n"
         "Usage:\n"
         "\tThis application accepts a single -d option: empty, or <ip>\n\n"
         "\tEmpty (or no -d): asks every console on the local network, by broadcast.\n"
         "\t<ip>: asks only the console at that IPv4 address (xxx.xxx.xxx.xxx).\n"
         "\tIt collects answers for 300 ms and saves one line per console,\n"
         "\t<kind> TAB <ip> TAB <name> TAB <model> TAB <firmware>, sorted by address,\n"
         "\tto a file 'VelmoraDataFile.txt' in htdocs/apps of the current directory.\n";
}
