#include "platform/threads.h"

#include <new>

namespace {

struct Start {
  ThreadProcedure procedure;
};

void* run(void* argument) {
  const ThreadProcedure procedure = static_cast<Start*>(argument)->procedure;
  delete static_cast<Start*>(argument);
  procedure();
  return nullptr;
}

}  // namespace

bool startThread(ThreadProcedure procedure, ThreadHandle& handle) {
  auto* start = new (std::nothrow) Start{procedure};
  if (start == nullptr) return false;
  pthread_t thread;
  if (::pthread_create(&thread, nullptr, run, start) != 0) {
    delete start;
    return false;
  }
  handle = thread;
  return true;
}

void joinThread(ThreadHandle handle) { ::pthread_join(handle, nullptr); }
