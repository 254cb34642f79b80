#include "server/osc_decoder.h"

// Placeholder until the decoder lands.
int wDdump(std::span<const unsigned char>, std::span<char> text) {
  if (!text.empty()) text[0] = '\0';
  return 1;
}
