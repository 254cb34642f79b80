#include "apps/name_fetch.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "%d" on a field that ends at its own end: the number, or false when none leads the field.
bool readLeadingNumber(std::string_view field, int& number) {
  std::size_t i = 0;
  while (i < field.size() && isBlank(field[i])) ++i;
  const bool negative = i < field.size() && field[i] == '-';
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) ++i;
  if (i == field.size() || !isDigit(field[i])) return false;
  std::size_t end = i;
  while (end < field.size() && isDigit(field[end])) ++end;
  // Read with its sign, so the most negative int fits.
  std::string digits(negative ? "-" : "");
  digits.append(field.substr(i, end - i));
  int value = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec != std::errc()) return false;
  number = value;
  return true;
}

}  // namespace

void parseAppArgument(std::string_view argument, AppTarget& target) {
  std::size_t i = 0;
  while (i < argument.size() && argument[i] != ',' && i < maxAddressLength) ++i;
  target.address.assign(argument.substr(0, i));
  if (i < argument.size()) ++i;  // the separator: the comma, or the 21st character
  std::string_view field = argument.substr(i);
  field = field.substr(0, field.find(','));
  readLeadingNumber(field, target.number);
}

bool handshakeAccepted(const NameFetchVariant& variant, std::span<const unsigned char> reply) {
  switch (variant.accept) {
    case HandshakeCheck::StartsWithWing:
      return reply.size() >= 4 && std::memcmp(reply.data(), "WING", 4) == 0;
    case HandshakeCheck::FirstStringXinfo:
      return reply.size() >= sizeof "/xinfo" && std::memcmp(reply.data(), "/xinfo", sizeof "/xinfo") == 0;
  }
  return false;
}

std::string_view replyName(const NameFetchVariant& variant, std::span<const unsigned char> reply) {
  if (reply.size() <= variant.nameOffset) return {};
  const std::string_view tail(reinterpret_cast<const char*>(reply.data()) + variant.nameOffset,
                              reply.size() - variant.nameOffset);
  return tail.substr(0, tail.find('\0'));
}

int formatQuery(const NameFetchVariant& variant, int number, char (&command)[commandSize]) {
  const int length = std::snprintf(command, sizeof command, variant.queryFormat, number);
  return length >= 0 && static_cast<std::size_t>(length) < sizeof command ? length : -1;
}

std::string usageText(const NameFetchVariant& variant) {
  std::string text;
  text += variant.program;
  text += " - fetches one ";
  text += variant.console;
  text += " name for the Velmora server\n";
  text += "Usage:\n";
  text += "\tThis application accepts a single -d option made of: <ip>,<num>\n\n";
  text += "\twhere <ip>: console IP address in the form xxx.xxx.xxx.xxx\n";
  text += variant.numberLine;
  text += "\n";
  text += variant.requestLine;
  text += "\n";
  text += "\tthe name to a file 'VelmoraDataFile.txt' in the current directory.\n";
  return text;
}
