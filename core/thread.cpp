// The thread library: its start and end, and process-wide state records.
#include "core/thread.h"

#include <cstdint>

#include "core/heap.h"

HANDLE Thread_Heap;

namespace {

// The thread library's own state: nothing in the runtime reads it yet, but the
// library keeps its index and heap where a later per-thread record would find them.
struct ThreadLibraryState {
  DWORD tlsIndex;
  HANDLE heap;
};

DWORD threadTlsIndex = TLS_OUT_OF_INDEXES;
ThreadState* threadOwnState;

// A state and its record are one block, so a state never exists without its record.
constexpr size_t kStateHeader =
    (sizeof(ThreadState) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);

}  // namespace

void Thread_Init() {
  threadTlsIndex = TlsAlloc();
  Thread_Heap = HeapCreate(0, 4096, 0);
  if (!Thread_Heap) Heap_Exhausted("thread heap");
  threadOwnState = Thread_CreateState(sizeof(ThreadLibraryState), nullptr, nullptr);
  if (!threadOwnState) Heap_Exhausted("thread state");
  auto* own = static_cast<ThreadLibraryState*>(Thread_GetState(threadOwnState));
  own->tlsIndex = threadTlsIndex;
  own->heap = Thread_Heap;
}

void Thread_End() {
  if (Thread_Heap) HeapDestroy(Thread_Heap);
  Thread_Heap = nullptr;
  if (threadTlsIndex != TLS_OUT_OF_INDEXES) TlsFree(threadTlsIndex);
  threadTlsIndex = TLS_OUT_OF_INDEXES;
  // The record itself lives on the main heap until that heap is destroyed.
  threadOwnState = nullptr;
}

ThreadState* Thread_CreateState(size_t size, ThreadStateInit init, ThreadStateFree free) {
  if (size > SIZE_MAX - kStateHeader) return nullptr;
  auto* block = static_cast<char*>(Heap_Alloc(kStateHeader + size));
  if (!block) return nullptr;
  auto* state = reinterpret_cast<ThreadState*>(block);
  state->record = block + kStateHeader;
  state->freeCallback = free;
  if (init) init(state->record);
  return state;
}

void* Thread_GetState(ThreadState* state) { return state ? state->record : nullptr; }
