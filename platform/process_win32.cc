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

// Handles of the apps launched so far that may still run; closed as each one ends.
std::vector<HANDLE> appProcesses;

void forgetEndedApps() {
  std::erase_if(appProcesses, [](HANDLE process) {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) return false;
    CloseHandle(process);
    return true;
  });
}

}  // namespace

// A process handle tells when an app ended, and Windows keeps no zombies to reap.
void trackLaunchedApps() {}

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
  if (launch.hProcess != nullptr) appProcesses.push_back(launch.hProcess);
  return 33;
}

bool appsRunning() {
  forgetEndedApps();
  return !appProcesses.empty();
}

bool awaitAppsEnded(int ms) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(ms < 0 ? 0 : ms);
  while (appsRunning()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    // Woken by the first of them to end; the loop then looks at the rest.
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(appProcesses.size(), MAXIMUM_WAIT_OBJECTS));
    WaitForMultipleObjects(count, appProcesses.data(), FALSE, static_cast<DWORD>(deadline - now));
  }
  return true;
}

int appEndedDescriptor() { return -1; }

int currentProcessId() { return _getpid(); }
