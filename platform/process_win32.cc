#include <windows.h>
#include <process.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/process.h"

namespace {

// The server joins a job object at start-up, so every app it launches, and every process
// an app starts in turn, belongs to that job from birth: an app that leaves a child
// running still counts as running, as its process group does on POSIX. The job's
// completion port reports each process that ends. Where the job cannot be had (an older
// system that cannot nest jobs), the apps' own process handles are tracked instead.
HANDLE appJob = nullptr;
HANDLE jobEvents = nullptr;

// Handles of the apps launched so far that may still run (without the job); closed as each
// one ends.
std::vector<HANDLE> appProcesses;

void forgetEndedApps() {
  std::erase_if(appProcesses, [](HANDLE process) {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) return false;
    CloseHandle(process);
    return true;
  });
}

bool joinAppJob(HANDLE job, HANDLE events) {
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT port{};
  port.CompletionKey = job;
  port.CompletionPort = events;
  // An app may still start something meant to outlive it, by breaking away on purpose
  // (as a POSIX process leaves its group with setsid).
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  return SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &port,
                                 sizeof port) &&
         SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
         AssignProcessToJobObject(job, GetCurrentProcess());
}

// Processes of the job besides the server itself.
DWORD jobAppProcesses() {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  if (!QueryInformationJobObject(appJob, JobObjectBasicAccountingInformation, &accounting,
                                 sizeof accounting, nullptr)) {
    return 0;
  }
  return accounting.ActiveProcesses > 1 ? accounting.ActiveProcesses - 1 : 0;
}

// Waits up to `ms` for the job's next event (a process started or ended); the events
// themselves are only wake-ups.
void awaitJobEvent(DWORD ms) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = nullptr;
  GetQueuedCompletionStatus(jobEvents, &bytes, &key, &overlapped, ms);
}

}  // namespace

void trackLaunchedApps() {
  const HANDLE job = CreateJobObjectA(nullptr, nullptr);
  const HANDLE events = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (job != nullptr && events != nullptr && joinAppJob(job, events)) {
    appJob = job;
    jobEvents = events;
    return;
  }
  if (job != nullptr) CloseHandle(job);
  if (events != nullptr) CloseHandle(events);
}

int launchApp(const char* program, const char* argument) {
  // The parameter string "-d <argument, quoted>"; the app's start-up code splits it back
  // into the two arguments -d and the argument itself.
  const std::string_view text(argument);
  const std::size_t size = 3 + quotedWindowsArgumentSize(text) + 1;
  std::unique_ptr<char[]> parameters(new (std::nothrow) char[size]);
  if (!parameters) return -1;
  std::memcpy(parameters.get(), "-d ", 3);
  const std::size_t quoted = quoteWindowsArgument(text, parameters.get() + 3);
  parameters[3 + quoted] = '\0';
  SHELLEXECUTEINFOA launch{};
  launch.cbSize = sizeof launch;
  // The handle is what tells the server when the app has ended; a server has no one to
  // show an error dialog to.
  launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  launch.lpVerb = "open";
  launch.lpFile = program;
  launch.lpParameters = parameters.get();
  launch.lpDirectory = nullptr;  // the app inherits the server's working directory
  launch.nShow = SW_HIDE;
  const BOOL started = ShellExecuteExA(&launch);
  const auto code = reinterpret_cast<std::intptr_t>(launch.hInstApp);
  if (!started || code <= 32) {
    if (launch.hProcess != nullptr) CloseHandle(launch.hProcess);
    return code <= 32 ? static_cast<int>(code) : 0;
  }
  if (launch.hProcess != nullptr) {
    if (appJob != nullptr) {
      CloseHandle(launch.hProcess);  // the job keeps count
    } else {
      appProcesses.push_back(launch.hProcess);
    }
  }
  return 33;
}

bool appsRunning() {
  if (appJob != nullptr) {
    // Events already seen tell nothing more: the count is what matters.
    while (true) {
      DWORD bytes = 0;
      ULONG_PTR key = 0;
      LPOVERLAPPED overlapped = nullptr;
      if (!GetQueuedCompletionStatus(jobEvents, &bytes, &key, &overlapped, 0)) break;
    }
    return jobAppProcesses() > 0;
  }
  forgetEndedApps();
  return !appProcesses.empty();
}

bool awaitAppsEnded(int ms) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(ms < 0 ? 0 : ms);
  while (appsRunning()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    const DWORD left = static_cast<DWORD>(deadline - now);
    if (appJob != nullptr) {
      awaitJobEvent(left);
      continue;
    }
    // Woken by the first of them to end; the loop then looks at the rest.
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(appProcesses.size(), MAXIMUM_WAIT_OBJECTS));
    WaitForMultipleObjects(count, appProcesses.data(), FALSE, left);
  }
  return true;
}

int appEndedDescriptor() { return -1; }

int currentProcessId() { return _getpid(); }
