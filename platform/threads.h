// A second thread for the Wing tools' keyboard reader: start one, wait for its end.
#pragma once

#ifdef _WIN32
using ThreadHandle = void*;  // the HANDLE of _beginthreadex
#else
#include <pthread.h>
using ThreadHandle = pthread_t;
#endif

/// What a thread runs; its result is the thread's exit code where the platform keeps one.
using ThreadProcedure = int (*)();

/// Starts `procedure` on a new thread with the default stack size and stores its handle
/// in `handle`. True when the thread started; `handle` is untouched otherwise.
bool startThread(ThreadProcedure procedure, ThreadHandle& handle);

/// Waits without a time limit for the thread to end, then releases its handle. Every
/// started thread is joined at most once.
void joinThread(ThreadHandle handle);
