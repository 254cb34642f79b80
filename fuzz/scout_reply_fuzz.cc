// Fuzz target for Scout's reading of console answers. The input is one datagram, copied
// into a heap block of exactly its size so ASan stops any read past it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "apps/scout.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& line) {
  std::fprintf(stderr, "readDiscoveryReply: %s (line \"%s\")\n", what, line.c_str());
  std::abort();
}

// An accepted answer makes exactly one line of five tab-separated fields, each within the
// length bound and free of control characters.
void checkLine(const std::string& line) {
  if (line.empty() || line.back() != '\n') fail("line does not end with a line end", line);
  const std::string body = line.substr(0, line.size() - 1);
  if (std::count(body.begin(), body.end(), '\t') != 4) fail("not five fields", line);
  std::size_t start = 0;
  for (std::size_t tab = body.find('\t'); start <= body.size(); tab = body.find('\t', start)) {
    const std::size_t end = tab == std::string::npos ? body.size() : tab;
    if (end - start > maxFieldBytes) fail("field longer than the bound", line);
    start = end + 1;
  }
  for (const char c : body) {
    if (c != '\t' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)) fail("control character", line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto reply = std::make_unique<unsigned char[]>(size);
  if (size != 0) std::memcpy(reply.get(), data, size);
  FoundConsole console;
  if (readDiscoveryReply(std::span<const unsigned char>(reply.get(), size), 0x0A000005, console)) {
    checkLine(consoleListText({console}));
  }
  return 0;
}
