// Locks, atomics, thread-local storage, one-time initialisation, sleeping and
// the clock of the Linux substitute.
#include "platform/linux/kernel32.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>

// ---- Critical sections --------------------------------------------------------

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque));

static pthread_mutex_t* mutexOf(LPCRITICAL_SECTION cs) {
  return reinterpret_cast<pthread_mutex_t*>(cs->opaque);
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutexOf(cs), &attr);
  pthread_mutexattr_destroy(&attr);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_lock(mutexOf(cs)); }
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return pthread_mutex_trylock(mutexOf(cs)) == 0; }
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_unlock(mutexOf(cs)); }
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_destroy(mutexOf(cs)); }

// ---- Interlocked operations -----------------------------------------------------
// Full barriers, as the Windows functions are.

LONG WINAPI InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
  return __sync_val_compare_and_swap(target, comparand, exchange);
}
LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value) {
  LONG old = __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
  return old;
}
LONG WINAPI InterlockedIncrement(LONG volatile* target) { return __sync_add_and_fetch(target, 1); }
LONG WINAPI InterlockedDecrement(LONG volatile* target) { return __sync_sub_and_fetch(target, 1); }

// ---- Thread-local storage ---------------------------------------------------------
// A fixed table of indexes, as Windows has (1088 there; 128 suffice here).

namespace {
constexpr DWORD kTlsSlots = 128;
std::mutex tlsLock;
bool tlsUsed[kTlsSlots];
thread_local LPVOID tlsValues[kTlsSlots];
}  // namespace

DWORD WINAPI TlsAlloc() {
  std::lock_guard<std::mutex> guard(tlsLock);
  for (DWORD i = 0; i < kTlsSlots; i++) {
    if (!tlsUsed[i]) {
      tlsUsed[i] = true;
      tlsValues[i] = nullptr;
      return i;
    }
  }
  return TLS_OUT_OF_INDEXES;
}

BOOL WINAPI TlsFree(DWORD index) {
  std::lock_guard<std::mutex> guard(tlsLock);
  if (index >= kTlsSlots || !tlsUsed[index]) return FALSE;
  tlsUsed[index] = false;
  return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD index) { return index < kTlsSlots ? tlsValues[index] : nullptr; }

BOOL WINAPI TlsSetValue(DWORD index, LPVOID value) {
  if (index >= kTlsSlots) return FALSE;
  tlsValues[index] = value;
  return TRUE;
}

// ---- One-time initialisation --------------------------------------------------------
// The INIT_ONCE word moves 0 (never run) -> 1 (running) -> 2 (done). A failed
// run puts it back to 0 so that the next caller tries again, as on Windows.

BOOL WINAPI InitOnceExecuteOnce(PINIT_ONCE initOnce, PINIT_ONCE_FN fn, LPVOID parameter, LPVOID* context) {
  std::atomic_ref<void*> word(initOnce->Ptr);
  for (;;) {
    void* state = word.load(std::memory_order_acquire);
    if (state == reinterpret_cast<void*>(2)) return TRUE;
    if (state == nullptr && word.compare_exchange_strong(state, reinterpret_cast<void*>(1))) {
      BOOL ok = fn(initOnce, parameter, context);
      word.store(ok ? reinterpret_cast<void*>(2) : nullptr, std::memory_order_release);
      return ok;
    }
    sched_yield();
  }
}

// ---- Threads, errors and time ---------------------------------------------------------

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

DWORD WINAPI GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

static thread_local DWORD lastError;
DWORD WINAPI GetLastError() { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }

DWORD WINAPI GetTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<DWORD>(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000);
}

void WINAPI GetLocalTime(SYSTEMTIME* out) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local;
  localtime_r(&ts.tv_sec, &local);
  out->wYear = static_cast<WORD>(local.tm_year + 1900);
  out->wMonth = static_cast<WORD>(local.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  out->wDay = static_cast<WORD>(local.tm_mday);
  out->wHour = static_cast<WORD>(local.tm_hour);
  out->wMinute = static_cast<WORD>(local.tm_min);
  out->wSecond = static_cast<WORD>(local.tm_sec);
  out->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}

void WINAPI ExitProcess(UINT exitCode) { std::exit(static_cast<int>(exitCode)); }
