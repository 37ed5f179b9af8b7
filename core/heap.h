// Heaps, thread state, run-once, block pools and the shared-pool lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

// ---- Main heap ---------------------------------------------------------------
// The private heap every runtime record comes from. Start-up creates it before
// anything else (HeapCreate(0, 4096, 0)) and destroys it last.
extern HANDLE Heap_Main;

// Zero-filled block of `bytes` from the main heap; null when the heap is exhausted.
void* Heap_Alloc(size_t bytes);
// Uninitialised block of `bytes` from the main heap; null when exhausted.
void* Heap_AllocRaw(size_t bytes);
// Resizes a main-heap block (contents kept); null on failure, the block untouched.
void* Heap_ReAlloc(void* block, size_t bytes);
// Releases a main-heap block; null is ignored.
void Heap_Free(void* block);

// Ends the process with a message on standard error (and the debugger output on
// Windows) when memory runs out where no failure result exists.
[[noreturn]] void Heap_Exhausted(const char* what);

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

// ---- Block pools ----------------------------------------------------------------
constexpr int POOL_LOCKED = 1;  // low two flag bits equal to 1: the pool has its own lock
constexpr int POOL_SHARED = 4;  // share one pool among all callers of the same slot size

struct PoolBlock;
struct SharedPoolEntry;

struct BlockPool {
  PoolBlock* fullBlocks;
  PoolBlock* availableBlocks;
  SharedPoolEntry* sharedEntry;
  int32_t totalSlots;
  int32_t slotSize;  // element size + one pointer-sized header, rounded to a pointer's size
  int32_t minBlockSlots;
  int32_t maxBlockSlots;
  int32_t locking;
  CRITICAL_SECTION lock;
};

struct PoolBlock {
  PoolBlock* next;
  PoolBlock* previous;
  void* freeList;
  int32_t slotCount;
  int32_t usedCount;
  int32_t freeCount;
};

struct SharedPoolEntry {
  SharedPoolEntry* next;
  SharedPoolEntry* previous;
  BlockPool* pool;
  int32_t slotSize;
  int32_t flags;
  int32_t referenceCount;
};

// A pool of elements of `elementSize` bytes, in blocks of min..max slots (min
// at least 1). POOL_SHARED returns the one pool of this slot size and flags,
// counting a reference. Returns null when memory ran out (nothing is left
// allocated) or the size is negative.
BlockPool* Pool_Create(int32_t elementSize, int32_t minBlockSlots, int32_t maxBlockSlots, int32_t flags);
// An uninitialised element, or null when memory ran out.
void* Pool_Alloc(BlockPool* pool);
// Returns an element to its block; the block is released once all its slots are
// free. Null is ignored.
void Pool_Free(BlockPool* pool, void* element);
// Releases every block at once; all elements become invalid (for every user of
// a shared pool).
void Pool_Reset(BlockPool* pool);
// Releases a private pool, or drops one reference to a shared one (released
// with the last). Null is ignored.
void Pool_Destroy(BlockPool* pool);
