// wingfader: sets the main fader of the Wing found on the local network, once per
// -d <position> option (0 bottom, 1 top).

#include <cstdio>

#include "osc/osc_builder.h"
#include "platform/options.h"
#include "platform/std_streams.h"
#include "wingtools/level_law.h"
#include "wingtools/wing_link.h"

namespace {

constexpr char faderAddress[] = "/main/1/fdr";

// One message per position; false when the value is not a position (nothing is sent).
bool sendFaderPosition(const char* value) {
  float position = 0;
  if (!readFaderPosition(value, position)) {
    std::fprintf(stderr, "wingfader: -d \"%s\" is not a fader position (a number, 0 to 1)\n",
                 value);
    return false;
  }
  const float level = Lin2dB(position);
  char message[32];
  if (XfprintEnd(0, faderAddress, 'f', &level) > static_cast<int>(sizeof message)) return false;
  const int length = wFprint(message, 0, faderAddress, 'f', &level);
  wSendto(message, length);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardStreamsExact();
  if (wStartAndSearch() == 0 || wConnectOrSay(Wip_str) == 0) return -1;
  int option;
  while ((option = getopt(argc, argv, "d:")) != -1) {
    if (option != 'd' || !sendFaderPosition(optarg)) return -1;
  }
  return 0;
}
