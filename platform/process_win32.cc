#include <windows.h>
#include <process.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "platform/process.h"

// Windows keeps no zombie processes: a launched app whose handle nobody holds is gone
// once it ends.
void reapAppsAutomatically() {}

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
  // No directory: the app inherits the server's working directory, where it writes.
  const HINSTANCE result = ShellExecuteA(nullptr, "open", program, parameters.get(), nullptr, SW_HIDE);
  const auto code = reinterpret_cast<std::intptr_t>(result);
  return code > 32 ? 33 : static_cast<int>(code);
}

int currentProcessId() { return _getpid(); }

FolderWatch::~FolderWatch() {
  if (handle_ != nullptr) FindCloseChangeNotification(static_cast<HANDLE>(handle_));
}

void FolderWatch::start(const char* folder) {
  if (handle_ == nullptr) {
    const HANDLE change = FindFirstChangeNotificationA(folder, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    handle_ = change == INVALID_HANDLE_VALUE ? nullptr : change;
    return;
  }
  while (WaitForSingleObject(static_cast<HANDLE>(handle_), 0) == WAIT_OBJECT_0 &&
         FindNextChangeNotification(static_cast<HANDLE>(handle_))) {
  }
}

void FolderWatch::waitMs(int ms) {
  if (ms <= 0) return;
  if (handle_ == nullptr) {
    Sleep(static_cast<DWORD>(ms));
    return;
  }
  if (WaitForSingleObject(static_cast<HANDLE>(handle_), static_cast<DWORD>(ms)) == WAIT_OBJECT_0) {
    FindNextChangeNotification(static_cast<HANDLE>(handle_));
  }
}
