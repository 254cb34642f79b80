#include "platform/stop_requests.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> stopSignal{0};

// WSAPoll cannot be woken by a console event, so it waits in slices; a slice bounds how
// late a stop request is seen.
constexpr int sliceMs = 100;

BOOL WINAPI onConsoleEvent(DWORD event) {
  stopSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
  return TRUE;
}

}  // namespace

void catchStopRequests() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

int waitForSocketsOrStop(PollFd* entries, unsigned count) {
  for (;;) {
    if (stopSignal != 0) return 0;
    const int ready = ::WSAPoll(entries, count, sliceMs);
    if (ready != 0) return ready < 0 ? -1 : ready;
  }
}

int stopRequestSignal() { return stopSignal; }
