#include "server/http_request.h"

#include <cctype>
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

// The declared body length, or -1 when the header block declares none.
long declaredContentLength(std::string_view header) {
  constexpr std::string_view name = "content-length:";
  std::size_t lineStart = header.find('\n');
  while (lineStart != std::string_view::npos) {
    const std::string_view line = header.substr(lineStart + 1);
    if (startsWithNoCase(line, name)) {
      std::size_t i = name.size();
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      long value = 0;
      bool any = false;
      for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
        if (value < 1'000'000'000) value = value * 10 + (line[i] - '0');
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
  const long length = declaredContentLength(received.substr(0, end));
  return length < 0 || received.size() - end >= static_cast<std::size_t>(length);
}

bool splitRequestLine() {
  method[0] = '\0';
  route[0] = '\0';
  return std::sscanf(request, "%15s %127s", method, route) == 2;
}

char* findBody() {
  const std::string_view received(request, static_cast<std::size_t>(reqlen));
  const std::size_t at = received.find("\r\n\r\n");
  return at == std::string_view::npos ? request + reqlen : request + at + 4;
}
