#include "platform/message_box.h"

#include <cstdio>

int showMessageBox(const char* text, const char* caption, int /*type*/) {
  if (caption != nullptr) std::fprintf(stderr, "%s - ", caption);
  std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
  std::fflush(stderr);
  return 1;
}
