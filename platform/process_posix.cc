#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/process.h"

extern char** environ;

namespace {

// What the app must not inherit from the server: ignored SIGCHLD (it would stop the app
// from waiting for children of its own), ignored SIGPIPE, and any blocked signal.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    ready_ = posix_spawnattr_init(&attr_) == 0;
    if (!ready_) return;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGCHLD);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
#ifdef POSIX_SPAWN_SETSID
    // A session of its own: a hang-up or Ctrl-C meant for the server's terminal does not
    // cut an app off halfway through its hand-back.
    flags |= POSIX_SPAWN_SETSID;
#endif
    ready_ = posix_spawnattr_setsigdefault(&attr_, &defaults) == 0 &&
             posix_spawnattr_setsigmask(&attr_, &noneBlocked) == 0 &&
             posix_spawnattr_setflags(&attr_, flags) == 0;
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  bool ready() const { return ready_; }
  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_;
  bool ready_ = false;
};

// The app reads nothing; its input comes from /dev/null rather than the server's terminal.
class SpawnActions {
 public:
  SpawnActions() {
    ready_ = posix_spawn_file_actions_init(&actions_) == 0;
    ready_ = ready_ && posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0;
  }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  bool ready() const { return ready_; }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ready_ = false;
};

constexpr int launched = 33;
constexpr int notLaunched = 0;

}  // namespace

void reapAppsAutomatically() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  action.sa_flags = SA_NOCLDWAIT;
  sigemptyset(&action.sa_mask);
  sigaction(SIGCHLD, &action, nullptr);
}

int launchApp(const char* program, const char* argument) {
  const SpawnAttributes attributes;
  const SpawnActions actions;
  if (!attributes.ready() || !actions.ready()) return -1;
  char dashD[] = "-d";
  char* argv[] = {const_cast<char*>(program), dashD, const_cast<char*>(argument), nullptr};
  pid_t pid = 0;
  // The C library reports a file that cannot be executed (missing, not executable, not a
  // program) as the result of this call, before the app runs and without waiting for it.
  const int status = posix_spawn(&pid, program, actions.get(), attributes.get(), argv, environ);
  return status == 0 ? launched : notLaunched;
}

int currentProcessId() { return static_cast<int>(::getpid()); }

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
