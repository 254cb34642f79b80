#include "server/osc_text_parser.h"

// Placeholder until the parser lands: every command text is refused as too large.
int wCparse(std::span<char>, char*) { return -2; }
int XprepBlob(const char*, int, int, unsigned char*) { return 0; }
int Xnibble(char) { return 0; }
