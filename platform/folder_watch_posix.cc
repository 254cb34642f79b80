#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/folder_watch.h"

namespace {

void sleepFor(int ms) {
  timespec pause{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// Only the wake-up matters, not which entry changed; false when the watch itself went away
// (the folder was deleted or moved), so that the next start sets it up again.
bool discardEvents(int fd) {
  bool watchKept = true;
  alignas(inotify_event) char events[4096];
  ssize_t got;
  while ((got = ::read(fd, events, sizeof events)) > 0) {
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event event;
      std::memcpy(&event, events + at, sizeof event);
      if ((event.mask & IN_IGNORED) != 0) watchKept = false;
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
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
