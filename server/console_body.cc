#include "server/console_body.h"

#include <cstdlib>
#include <cstring>

namespace {

// Copies up to `limit` characters of `text` before a comma into `field`; returns where the
// separator stands.
const char* copyField(const char* text, char* field, int limit) {
  int n = 0;
  while (n < limit && text[n] != '\0' && text[n] != ',') {
    field[n] = text[n];
    ++n;
  }
  field[n] = '\0';
  return text + n;
}

// The port as a number, or -1 unless it is all decimal digits and in 1..65535: a wrapped
// or garbled port would send the command to some other service.
long portNumber(const char* text) {
  if (*text == '\0') return -1;
  long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = value * 10 + (*p - '0');
  }
  return value >= 1 && value <= 65535 ? value : -1;
}

}  // namespace

bool splitConsoleBody(char* body, ConsoleTarget& target) {
  const char* at = copyField(body, target.address, 20);
  if (*at == '\0') return false;
  at = copyField(at + 1, target.port, 6);
  if (*at == '\0') return false;
  target.command = body + (at + 1 - body);
  const long port = portNumber(target.port);
  if (port < 0) return false;
  target.destination = sockaddr_in{};
  target.destination.sin_family = AF_INET;
  target.destination.sin_port = htons(static_cast<std::uint16_t>(port));
  target.destination.sin_addr.s_addr = inet_addr(target.address);
  return true;
}
