#include "wingtools/tessaro_args.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "osc/osc_builder.h"

namespace {

constexpr std::size_t maxIpLength = sizeof BusNameRequest::ip - 1;

bool isScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The whole field must be what "%d" reads: blanks, an optional sign, digits.
bool readBusNumber(std::string_view field, int& bus) {
  while (!field.empty() && isScanfSpace(field.front())) field.remove_prefix(1);
  if (!field.empty() && field.front() == '+') {
    field.remove_prefix(1);
    if (!field.empty() && field.front() == '-') return false;
  }
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), bus);
  return error == std::errc{} && end == field.data() + field.size();
}

}  // namespace

BusNameSplit splitBusNameArg(const char* value, BusNameRequest& request,
                             std::size_t messageCapacity) {
  const std::string_view text = value != nullptr ? value : "";
  std::size_t commas = 0;
  for (char c : text) commas += c == ',';
  if (commas < 2) return BusNameSplit::MissingComma;

  const std::size_t ipLength = std::min(text.find(','), maxIpLength);
  std::memcpy(request.ip, text.data(), ipLength);
  request.ip[ipLength] = '\0';
  const std::size_t numberStart = ipLength + 1;  // a comma somewhere follows, so in range
  const std::size_t numberEnd = text.find(',', numberStart);
  if (!readBusNumber(text.substr(numberStart, numberEnd - numberStart), request.bus)) {
    return BusNameSplit::BadNumber;
  }
  request.name = value + numberEnd + 1;
  std::snprintf(request.address, sizeof request.address, "/bus/%d/name", request.bus);
  if (XfprintEnd(0, request.address, 's', request.name) > static_cast<int>(messageCapacity)) {
    return BusNameSplit::NameTooLong;
  }
  return BusNameSplit::Ok;
}
