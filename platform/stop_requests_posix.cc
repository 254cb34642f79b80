#include "platform/stop_requests.h"

#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <csignal>

namespace {

volatile std::sig_atomic_t stopSignal = 0;
sigset_t waitMask;
bool catching = false;

void onStopSignal(int signal) { stopSignal = signal; }

}  // namespace

// SIGINT and SIGTERM stay blocked except inside the wait, so a stop can never slip in
// between the check of the flag and the wait.
void catchStopRequests() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigprocmask(SIG_BLOCK, &stops, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the wait must return when a stop arrives
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  catching = true;
}

int waitForSocketsOrStop(PollFd* entries, unsigned count) {
  for (;;) {
    if (stopSignal != 0) return 0;
    const int ready = ::ppoll(entries, count, nullptr, catching ? &waitMask : nullptr);
    if (ready >= 0) return ready;
    if (errno != EINTR) return -1;
  }
}

int stopRequestSignal() { return stopSignal; }
