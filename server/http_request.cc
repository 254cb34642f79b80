#include "server/http_request.h"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "server/server_state.h"

namespace {

// Offset just past the header block, or npos while it has not ended: after the first
// "\r\n\r\n" or "\n\n", whichever comes first. One pass over the line ends.
std::size_t headerBlockEnd(std::string_view received) {
  const std::size_t size = received.size();
  const char* const text = received.data();
  for (std::size_t at = 0; at < size;) {
    const void* found = std::memchr(text + at, '\n', size - at);
    if (found == nullptr) break;
    const std::size_t lf = static_cast<std::size_t>(static_cast<const char*>(found) - text);
    if (lf + 1 < size && text[lf + 1] == '\n') return lf + 2;
    if (lf >= 1 && lf + 2 < size && text[lf - 1] == '\r' && text[lf + 1] == '\r' && text[lf + 2] == '\n') {
      return lf + 3;
    }
    at = lf + 1;
  }
  return std::string_view::npos;
}

// White space as sscanf's %s knows it in the C locale.
bool isScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%<width>s": skips white space, then copies at most `width` characters up to the next
// white space; false when the text ends first. `at` moves past what was read.
bool scanWord(const char*& at, char* out, std::size_t width) {
  while (isScanSpace(*at)) ++at;
  if (*at == '\0') return false;
  std::size_t n = 0;
  while (n < width && *at != '\0' && !isScanSpace(*at)) out[n++] = *at++;
  out[n] = '\0';
  return true;
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
  // "%15s %127s" read by hand: the request line is scanned on every request, and the
  // general scanner costs more than the rest of a page's reply.
  method[0] = '\0';
  route[0] = '\0';
  const char* at = request;
  return scanWord(at, method, sizeof method - 1) && scanWord(at, route, sizeof route - 1);
}

char* findBody() {
  // The body starts where the header block was judged to end, "\n\n" included, so a
  // hand-typed request's body is the one whose length was awaited.
  const std::size_t at = headerBlockEnd(std::string_view(request, static_cast<std::size_t>(reqlen)));
  return at == std::string_view::npos ? request + reqlen : request + at;
}
