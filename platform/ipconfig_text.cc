#include "platform/ipconfig_text.h"

#include <cstdint>
#include <optional>

namespace {

// The label test looks at the first 127 characters of the previous line: the labels stand
// at the start of their lines, and a bounded copy keeps a runaway line cheap.
constexpr std::size_t keptLineLength = 127;

bool isScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d": blanks, an optional sign, at least one digit. Wraps instead of overflowing,
// as the address is built in 32 bits anyway.
std::optional<std::uint32_t> scanNumber(std::string_view& text) {
  std::size_t at = 0;
  while (at < text.size() && isScanfSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  const std::size_t firstDigit = at;
  std::uint32_t value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    value = value * 10u + static_cast<std::uint32_t>(text[at++] - '0');
  }
  if (at == firstDigit) return std::nullopt;
  text.remove_prefix(at);
  return negative ? 0u - value : value;
}

std::optional<std::uint32_t> addressAfterColon(std::string_view line) {
  const std::size_t colon = line.find(": ");
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view rest = line.substr(colon + 2);
  std::uint32_t address = 0;
  for (int octet = 0; octet < 4; ++octet) {
    if (octet > 0) {
      if (rest.empty() || rest.front() != '.') return std::nullopt;
      rest.remove_prefix(1);
    }
    const auto number = scanNumber(rest);
    if (!number) return std::nullopt;
    address += *number << (8 * octet);
  }
  return address;
}

}  // namespace

int ipconfigAddress(std::string_view output) {
  std::string_view previous;
  while (!output.empty()) {
    const std::size_t end = output.find('\n');
    const std::string_view line = output.substr(0, end);
    output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
    if (line.find("255.255.255.0") != std::string_view::npos &&
        previous.find("IPv4 Address") != std::string_view::npos) {
      if (const auto address = addressAfterColon(previous)) return static_cast<int>(*address);
    }
    previous = line.substr(0, keptLineLength);
  }
  return 0;
}
