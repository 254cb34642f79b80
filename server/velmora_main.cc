// Velmora: serves web pages and passes their OSC commands to digital consoles.
#include <new>

#include "platform/net.h"
#include "platform/process.h"
#include "platform/std_streams.h"
#include "server/request_loop.h"
#include "server/server_state.h"
#include "server/startup.h"

int main(int argc, char** argv) {
  keepStandardStreamsExact();
  switch (readOptions(argc, argv)) {
    case OptionsOutcome::Serve:
      break;
    case OptionsOutcome::ExitHelp:
      return 0;
    case OptionsOutcome::ExitBadOption:
    case OptionsOutcome::ExitBadValue:
      return -1;
  }
  printBanner();
  if (netStart() != 0) return -1;
  ignoreBrokenPipe();
  trackLaunchedApps();
  if (openListener() != 0) return -1;
  warnWithoutDocumentRoot();
  request = new (std::nothrow) char[static_cast<std::size_t>(oscMaxSize)];
  if (request == nullptr) return -1;
  return runRequestLoop();
}
