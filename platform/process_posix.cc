#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/process.h"

extern char** environ;

namespace {

// What the app must not inherit from the server: ignored SIGPIPE, and the blocked SIGCHLD
// the server reads as an event (an app must be told when children of its own end).
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
    // A session of its own: a hang-up or Ctrl-C meant for the server's terminal does not
    // cut an app off halfway through its hand-back, and the app's process group is the one
    // the server follows until all of it has ended.
    const short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID;
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

// Process groups of the apps launched so far that may still have a process running.
std::vector<pid_t> appGroups;

// SIGCHLD, blocked and read here instead of interrupting the server's waits; -1 when it
// could not be set up (the waits then poll).
int childEvents = -1;

constexpr int groupPollMs = 10;

std::int64_t nowMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void reapEndedChildren() {
  signalfd_siginfo pending[8];
  while (childEvents >= 0 && ::read(childEvents, pending, sizeof pending) > 0) {
  }
  int status = 0;
  while (::waitpid(-1, &status, WNOHANG) > 0) {
  }
}

// A group with a process in it, a zombie that is not ours included, still runs.
bool groupRuns(pid_t group) { return ::kill(-group, 0) == 0 || errno == EPERM; }

}  // namespace

void trackLaunchedApps() {
#ifdef __linux__
  // Children that an app leaves behind become ours, so they are reaped as they end rather
  // than kept as zombies that would hold the app's group open.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
  ::signal(SIGCHLD, SIG_DFL);
  sigset_t child;
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  ::pthread_sigmask(SIG_BLOCK, &child, nullptr);
  if (childEvents < 0) childEvents = ::signalfd(-1, &child, SFD_NONBLOCK | SFD_CLOEXEC);
}

bool appsRunning() {
  reapEndedChildren();
  std::erase_if(appGroups, [](pid_t group) { return !groupRuns(group); });
  return !appGroups.empty();
}

bool awaitAppsEnded(int ms) {
  const std::int64_t deadline = nowMs() + ms;
  while (appsRunning()) {
    const std::int64_t left = deadline - nowMs();
    if (left <= 0) return false;
    const int wait = static_cast<int>(std::min<std::int64_t>(left, groupPollMs));
    pollfd entry{childEvents, POLLIN, 0};
    ::poll(&entry, childEvents >= 0 ? 1 : 0, wait);
  }
  return true;
}

int appEndedDescriptor() { return childEvents; }

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
  if (status != 0) return notLaunched;
  appGroups.push_back(pid);  // a session leader: its process group bears its id
  return launched;
}

int currentProcessId() { return static_cast<int>(::getpid()); }
