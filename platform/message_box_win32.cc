#include "platform/message_box.h"

#include <windows.h>

int showMessageBox(const char* text, const char* caption, int type) {
  return ::MessageBoxA(nullptr, text, caption, static_cast<UINT>(type));
}
