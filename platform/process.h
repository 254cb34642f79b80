// Launching server apps and knowing when they have ended: the only process code that
// differs between POSIX and Windows lives in process_posix.cc and process_win32.cc.
#pragma once

#include <cstddef>
#include <string_view>

/// Prepares the tracking of launched apps; call once at start-up, before the first launch
/// and before any second thread starts. On Linux the process becomes a child subreaper, so
/// the children an app leaves behind become its own and are reaped the moment they end
/// (SIGCHLD is blocked and read as an event instead of interrupting waits). On Windows the
/// process joins a job object of its own, which every app and everything it starts joins
/// at birth.
void trackLaunchedApps();

/// Starts `program` detached, with the arguments "-d" and `argument`, in the caller's working
/// directory, without a window and without waiting for it to end. Returns a value above 32
/// when the program was started, 32 or less when it could not be (0 on POSIX for a missing
/// or unrunnable file; ShellExecuteEx's code on Windows), and -1 when memory for the launch
/// ran out. The program inherits no socket or file of the caller. A started app is tracked
/// until it has ended: on POSIX, until every process of its process group has ended (a
/// process that moves to a session of its own leaves the group); on Windows, until it and
/// every process started from it have ended (one started with CREATE_BREAKAWAY_FROM_JOB
/// does not count), or, where the system cannot nest jobs, until its own process ends.
int launchApp(const char* program, const char* argument);

/// Reaps every child that ended and forgets the apps that have; true while an app launched
/// earlier still runs.
bool appsRunning();

/// Waits until no app launched earlier runs, for at most `ms` milliseconds; woken as
/// children end, with a short poll behind it for groups whose last process was not ours.
/// True when none runs any more.
bool awaitAppsEnded(int ms);

/// A descriptor that becomes readable when a child of this process ended, for a readiness
/// wait that should reap at once (call appsRunning then); -1 where there is none.
int appEndedDescriptor();

/// The running process's id, for names no other running process uses.
int currentProcessId();

/// Bytes quoteWindowsArgument writes for `text` (the quotes included, no NUL): at most
/// twice the text plus 2.
std::size_t quotedWindowsArgumentSize(std::string_view text);

/// Writes `text` between double quotes so that the Windows command-line split gives it back
/// as one argument, unchanged: quotes and the backslashes before them are escaped, and a
/// quote inside the text never ends the argument. `out` holds quotedWindowsArgumentSize
/// bytes; returns the bytes written. Pure, so it is tested on every platform.
std::size_t quoteWindowsArgument(std::string_view text, char* out);
