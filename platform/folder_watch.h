// Waking early when a file lands in a folder: the only watch code that differs between
// POSIX and Windows lives in folder_watch_posix.cc and folder_watch_win32.cc.
#pragma once

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
