#include "platform/process.h"

namespace {

// Backslashes are literal on a Windows command line except in front of a quote (and in
// front of the closing quote), where each one must be doubled.
std::size_t backslashRun(std::string_view text, std::size_t from) {
  std::size_t end = from;
  while (end < text.size() && text[end] == '\\') ++end;
  return end - from;
}

}  // namespace

std::size_t quotedWindowsArgumentSize(std::string_view text) {
  std::size_t size = 2;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t run = backslashRun(text, i);
    i += run;
    const bool beforeQuote = i == text.size() || text[i] == '"';
    size += beforeQuote ? 2 * run : run;
    if (i < text.size()) {
      size += text[i] == '"' ? 2 : 1;
      ++i;
    }
  }
  return size;
}

std::size_t quoteWindowsArgument(std::string_view text, char* out) {
  std::size_t n = 0;
  out[n++] = '"';
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t run = backslashRun(text, i);
    i += run;
    const bool beforeQuote = i == text.size() || text[i] == '"';
    for (std::size_t k = 0; k < (beforeQuote ? 2 * run : run); ++k) out[n++] = '\\';
    if (i < text.size()) {
      if (text[i] == '"') out[n++] = '\\';
      out[n++] = text[i];
      ++i;
    }
  }
  out[n++] = '"';
  return n;
}
