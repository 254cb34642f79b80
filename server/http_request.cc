#include "server/http_request.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "server/server_state.h"

namespace {

// Offset just past the header block, or npos while it has not ended.
std::size_t headerBlockEnd(std::string_view received) {
  const std::size_t crlf = received.find("\r\n\r\n");
  const std::size_t lf = received.find("\n\n");
  if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf)) return crlf + 4;
  if (lf != std::string_view::npos) return lf + 2;
  return std::string_view::npos;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// The declared body length, or -1 when the header block declares none. Values beyond any
// buffer are held at a cap, so the arithmetic never overflows, whatever the width of long.
std::int64_t declaredContentLength(std::string_view header) {
  constexpr std::int64_t cap = 1'000'000'000;
  constexpr std::string_view name = "content-length:";
  std::size_t lineStart = header.find('\n');
  while (lineStart != std::string_view::npos) {
    const std::string_view line = header.substr(lineStart + 1);
    if (startsWithNoCase(line, name)) {
      std::size_t i = name.size();
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      std::int64_t value = 0;
      bool any = false;
      for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
        value = value >= cap ? cap : value * 10 + (line[i] - '0');
        any = true;
      }
      return any ? value : -1;
    }
    lineStart = header.find('\n', lineStart + 1);
  }
  return -1;
}

}  // namespace

bool requestIsComplete(std::string_view received) {
  const std::size_t end = headerBlockEnd(received);
  if (end == std::string_view::npos) return false;
  const std::int64_t length = declaredContentLength(received.substr(0, end));
  return length < 0 || received.size() - end >= static_cast<std::uint64_t>(length);
}

bool splitRequestLine() {
  method[0] = '\0';
  route[0] = '\0';
  return std::sscanf(request, "%15s %127s", method, route) == 2;
}

char* findBody() {
  // The body starts where the header block was judged to end, "\n\n" included, so a
  // hand-typed request's body is the one whose length was awaited.
  const std::size_t at = headerBlockEnd(std::string_view(request, static_cast<std::size_t>(reqlen)));
  return at == std::string_view::npos ? request + reqlen : request + at;
}
