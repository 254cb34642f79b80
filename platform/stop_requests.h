// A stop request for a program that serves until the user ends it: Ctrl-C (and SIGTERM on
// POSIX; Ctrl-Break or closing the console window on Windows) ends its wait rather than
// the process, so it can report and release what it holds.
#pragma once

#include "platform/net.h"

/// Catches the stop requests from now on; call once, before the first wait.
void catchStopRequests();

/// Waits without a time limit until one of the `count` sockets of `entries` is ready
/// (their revents set, as poll does) or a stop request arrives; a request that came
/// before the call ends it at once. The number of ready entries, 0 for a stop request,
/// or -1 when the wait failed (netLastError tells why).
int waitForSocketsOrStop(PollFd* entries, unsigned count);

/// The stop request as a signal number (SIGINT for Ctrl-C, SIGTERM for the others); 0
/// while none has come.
int stopRequestSignal();
