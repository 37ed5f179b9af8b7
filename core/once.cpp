// Run-once: a function run exactly once per flag, however many threads call.
#include <atomic>
#include <cstdint>

#include "core/thread.h"

namespace {

using InitOnceExecuteOnceFn = BOOL(WINAPI*)(PINIT_ONCE, PINIT_ONCE_FN, LPVOID, LPVOID*);

// InitOnceExecuteOnce wants a callback that reports success; the parameter
// carries the address of the caller's function pointer.
BOOL CALLBACK runOnceAdapter(PINIT_ONCE, LPVOID parameter, LPVOID*) {
  (*static_cast<void (**)()>(parameter))();
  return TRUE;
}

void* const kOnceRunning = reinterpret_cast<void*>(static_cast<uintptr_t>(1));
void* const kOnceDone = reinterpret_cast<void*>(static_cast<uintptr_t>(2));

}  // namespace

void Thread_RunOnce(ThreadOnce* flag, void (*fn)()) {
  // Looked up at run time: the entry point does not exist before Windows Vista.
  HMODULE kernel = LoadLibraryA("Kernel32.dll");
  FARPROC proc = kernel ? GetProcAddress(kernel, "InitOnceExecuteOnce") : nullptr;
  if (proc) {
    auto executeOnce = reinterpret_cast<InitOnceExecuteOnceFn>(proc);
    executeOnce(&flag->once, runOnceAdapter, static_cast<LPVOID>(&fn), nullptr);
    FreeLibrary(kernel);
    return;
  }
  if (kernel) FreeLibrary(kernel);
  Thread_RunOnceFallback(flag, fn);
}

void Thread_RunOnceFallback(ThreadOnce* flag, void (*fn)()) {
  std::atomic_ref<void*> word(flag->once.Ptr);
  void* expected = nullptr;
  if (word.compare_exchange_strong(expected, kOnceRunning)) {
    fn();
    word.exchange(kOnceDone);
    return;
  }
  while (word.load() != kOnceDone) Sleep(0);
}
