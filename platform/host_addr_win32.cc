#include "platform/host_addr.h"

#include <cstdio>
#include <string>

#include "platform/ipconfig_text.h"

int hostAddressOn24BitSubnet() {
  std::FILE* pipe = ::_popen("ipconfig", "r");
  if (pipe == nullptr) return 0;
  // The command's report is a few kilobytes; the bound only guards against a runaway.
  constexpr std::size_t maxText = 1 << 20;
  std::string text;
  char chunk[1024];
  std::size_t got;
  while (text.size() < maxText && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
    text.append(chunk, got);
  }
  ::_pclose(pipe);
  return ipconfigAddress(text);
}
