#include "platform/threads.h"

#include <windows.h>
#include <process.h>

#include <cstdint>
#include <new>

namespace {

struct Start {
  ThreadProcedure procedure;
};

unsigned __stdcall run(void* argument) {
  const ThreadProcedure procedure = static_cast<Start*>(argument)->procedure;
  delete static_cast<Start*>(argument);
  return static_cast<unsigned>(procedure());
}

}  // namespace

bool startThread(ThreadProcedure procedure, ThreadHandle& handle) {
  auto* start = new (std::nothrow) Start{procedure};
  if (start == nullptr) return false;
  const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, run, start, 0, nullptr);
  if (thread == 0) {
    delete start;
    return false;
  }
  handle = reinterpret_cast<void*>(thread);
  return true;
}

void joinThread(ThreadHandle handle) {
  ::WaitForSingleObject(handle, INFINITE);
  ::CloseHandle(handle);
}
