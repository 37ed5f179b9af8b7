// The thread library: its start and end, process-wide state records and run-once.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// ---- Thread library and state records -----------------------------------------
// Allocates the thread library's TLS index, private heap and own state record;
// ends the process when memory ran out.
void Thread_Init();
// Destroys the thread library's private heap and frees its TLS index.
void Thread_End();
// The thread library's private heap between Thread_Init and Thread_End, else null.
extern HANDLE Thread_Heap;

using ThreadStateInit = void (*)(void* record);
using ThreadStateFree = void (*)(void* record);

// A library's process-wide state record.
struct ThreadState {
  void* record;
  ThreadStateFree freeCallback;  // accepted, never called in this system
};

// Allocates a zero-filled record of `size` bytes from the main heap and runs
// `init` (if any) on it. Returns the state, or null when memory ran out.
ThreadState* Thread_CreateState(size_t size, ThreadStateInit init, ThreadStateFree free);
// The calling thread's record of `state` (one record for the whole process).
void* Thread_GetState(ThreadState* state);

// A once flag: zero-initialise it (THREAD_ONCE_INIT).
struct ThreadOnce {
  INIT_ONCE once;
};
#define THREAD_ONCE_INIT \
  { INIT_ONCE_STATIC_INIT }

// Runs `fn` exactly once per flag, however many threads call; later callers
// return after the first run has finished.
void Thread_RunOnce(ThreadOnce* flag, void (*fn)());
// The path Thread_RunOnce takes where the platform lacks InitOnceExecuteOnce: the
// flag as a word 0 (never run) -> 1 (running) -> 2 (done). Public for the tests.
void Thread_RunOnceFallback(ThreadOnce* flag, void (*fn)());

// Holds a critical section from its construction to the end of its scope, so
// the section is left on every path out. A null section holds nothing (a
// pool without a lock of its own).
struct LockGuard {
  CRITICAL_SECTION* section;
  explicit LockGuard(CRITICAL_SECTION* held) : section(held) {
    if (section) EnterCriticalSection(section);
  }
  ~LockGuard() {
    if (section) LeaveCriticalSection(section);
  }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
};
