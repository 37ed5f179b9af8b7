// Threads and the multimedia timer of the Linux substitute.
#include "platform/linux/threads.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <new>

#include "platform/linux/kernel32.h"

namespace {

struct Start {
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

void* run(void* argument) {
  Start start = *static_cast<Start*>(argument);
  delete static_cast<Start*>(argument);
  start.routine(start.parameter);
  return nullptr;
}

std::atomic<DWORD> nextThreadId{1000};

// Sanitizer builds need far more stack than the code itself does.
constexpr size_t kLeastStack = 1 << 20;

}  // namespace

HANDLE WINAPI CreateThread(LPVOID, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD flags, LPDWORD threadId) {
  if (!start || (flags & CREATE_SUSPENDED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* record = new (std::nothrow) Start{start, parameter};
  if (!record) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes, stackSize > kLeastStack ? stackSize : kLeastStack);
  pthread_t thread;
  int error = pthread_create(&thread, &attributes, run, record);
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    delete record;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  DWORD id = nextThreadId++;
  if (threadId) *threadId = id;
  // A distinct, never dereferenced token: the detached thread needs no handle.
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id) << 4 | 0x3);
}

UINT WINAPI timeBeginPeriod(UINT period) { return period >= 1 ? TIMERR_NOERROR : TIMERR_NOCANDO; }
UINT WINAPI timeEndPeriod(UINT period) { return period >= 1 ? TIMERR_NOERROR : TIMERR_NOCANDO; }
