// Launching server apps and waiting for what they leave behind: the only process code that
// differs between POSIX and Windows lives in process_posix.cc and process_win32.cc.
#pragma once

#include <cstddef>
#include <string_view>

/// Lets every launched app be reclaimed by the system as it ends, so that a server that runs
/// for months never collects zombie processes and never has to wait for one. Call once at
/// start-up, before the first launch (SIGCHLD ignored on POSIX; nothing to do on Windows).
void reapAppsAutomatically();

/// Starts `program` detached, with the arguments "-d" and `argument`, in the caller's working
/// directory, without a window and without waiting for it to end; no handle is kept.
/// Returns a value above 32 when the program was started, 32 or less when it could not be
/// (0 on POSIX for a missing or unrunnable file; ShellExecuteA's code on Windows), and -1
/// when memory for the launch ran out. The program inherits no socket or file of the caller.
int launchApp(const char* program, const char* argument);

/// The running process's id, for names no other running process uses.
int currentProcessId();

/// Wakes a waiter early when a file is created in, or moved into, one folder. A watch that
/// could not be set up (or a platform without one) simply sleeps, so callers keep polling
/// and lose nothing but the early wake-up. Meant to live for the whole run: setting a watch
/// up and tearing it down costs the kernel far more than one request should pay.
class FolderWatch {
 public:
  FolderWatch() = default;
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;
  ~FolderWatch();

  /// Watches `folder` from now on: the first call sets the watch up (later calls retry one
  /// that failed, for example while the folder did not exist yet); every call forgets the
  /// changes seen before it. One watch follows one folder for its whole life.
  void start(const char* folder);

  /// Returns after `ms` milliseconds, or sooner when the folder gained an entry since the
  /// previous wait or start.
  void waitMs(int ms);

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
  bool watching_ = false;
#endif
};

/// Bytes quoteWindowsArgument writes for `text` (the quotes included, no NUL): at most
/// twice the text plus 2.
std::size_t quotedWindowsArgumentSize(std::string_view text);

/// Writes `text` between double quotes so that the Windows command-line split gives it back
/// as one argument, unchanged: quotes and the backslashes before them are escaped, and a
/// quote inside the text never ends the argument. `out` holds quotedWindowsArgumentSize
/// bytes; returns the bytes written. Pure, so it is tested on every platform.
std::size_t quoteWindowsArgument(std::string_view text, char* out);
