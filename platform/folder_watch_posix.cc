#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/folder_watch.h"

namespace {

void sleepFor(int ms) {
  timespec pause{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// Reads every event waiting on the (non-blocking) watch descriptor `fd`.
void readEvents(int fd, const std::function<void(const inotify_event&)>& seen) {
  alignas(inotify_event) char events[4096];
  ssize_t got;
  while ((got = ::read(fd, events, sizeof events)) > 0) {
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event event;
      std::memcpy(&event, events + at, sizeof event);
      seen(event);
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

// Only the wake-up matters, not which entry changed; false when the watch itself went away
// (the folder was deleted or moved), so that the next start sets it up again.
bool discardEvents(int fd) {
  bool watchKept = true;
  readEvents(fd, [&](const inotify_event& event) {
    if ((event.mask & IN_IGNORED) != 0) watchKept = false;
  });
  return watchKept;
}

}  // namespace

FolderWatch::~FolderWatch() {
  if (fd_ >= 0) ::close(fd_);
}

void FolderWatch::start(const char* folder) {
  if (fd_ < 0) fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (fd_ < 0) return;
  watching_ = discardEvents(fd_) && watching_;
  if (!watching_) watching_ = ::inotify_add_watch(fd_, folder, IN_CREATE | IN_MOVED_TO | IN_ONLYDIR) >= 0;
}

void FolderWatch::waitMs(int ms) {
  if (ms <= 0) return;
  if (!watching_) {
    sleepFor(ms);
    return;
  }
  pollfd entry{fd_, POLLIN, 0};
  if (::poll(&entry, 1, ms) > 0) watching_ = discardEvents(fd_);
}

FolderChanges::~FolderChanges() {
  if (fd_ >= 0) ::close(fd_);
}

bool FolderChanges::watch(const std::string& folder) {
  if (watches_.count(folder) != 0) return true;
  if (fd_ < 0) fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (fd_ < 0) return false;
  constexpr std::uint32_t changes = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                    IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                    IN_ONLYDIR;
  const int wd = ::inotify_add_watch(fd_, folder.c_str(), changes);
  if (wd < 0) return false;
  folders_[wd] = folder;
  watches_[folder] = wd;
  return true;
}

void FolderChanges::take(const std::function<void(std::string_view folder)>& changed) {
  if (fd_ < 0) return;
  readEvents(fd_, [&](const inotify_event& event) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
      changed("");
      return;
    }
    const auto folder = folders_.find(event.wd);
    if (folder == folders_.end()) return;
    changed(folder->second);
    // A folder moved away no longer is the folder of its name: watch it afresh if asked.
    if ((event.mask & (IN_IGNORED | IN_MOVE_SELF | IN_DELETE_SELF)) != 0) {
      if ((event.mask & IN_MOVE_SELF) != 0) ::inotify_rm_watch(fd_, event.wd);
      watches_.erase(folder->second);
      folders_.erase(folder);
    }
  });
}
