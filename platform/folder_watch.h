// Watching folders: waking early when a file lands in one, and learning which folders saw
// a change. The only watch code that differs between POSIX and Windows lives in
// folder_watch_posix.cc and folder_watch_win32.cc.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

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

/// Tells which of the folders it watches saw an entry created, written, renamed or removed,
/// so that what was read from them can be forgotten. Where folders cannot be watched
/// (Windows, or when the system's watches run out) watch() says so and the caller checks
/// files itself.
class FolderChanges {
 public:
  FolderChanges() = default;
  FolderChanges(const FolderChanges&) = delete;
  FolderChanges& operator=(const FolderChanges&) = delete;
  ~FolderChanges();

  /// Watches `folder` (once; later calls for it only answer). False when it cannot be.
  bool watch(const std::string& folder);

  /// A descriptor that becomes readable when changes wait to be taken; -1 without one.
  int descriptor() const { return fd_; }

  /// Calls `changed` with each folder that saw a change since the last call; with an empty
  /// folder when changes were lost (everything must be taken as changed). Watches of folders
  /// that went away are dropped.
  void take(const std::function<void(std::string_view folder)>& changed);

 private:
  int fd_ = -1;
  std::unordered_map<int, std::string> folders_;  // by watch
  std::unordered_map<std::string, int> watches_;  // by folder
};
