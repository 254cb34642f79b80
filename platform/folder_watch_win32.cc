#include <windows.h>

#include "platform/folder_watch.h"

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

// Changes are not followed on Windows; callers check files themselves.
FolderChanges::~FolderChanges() = default;

bool FolderChanges::watch(const std::string&) { return false; }

void FolderChanges::take(const std::function<void(std::string_view folder)>&) {}
