// Block pools: fixed-size elements handed out from heap blocks of many slots.
#include "core/pool.h"

#include <cassert>
#include <cstdint>

#include "core/heap.h"
#include "core/thread.h"

// Under the address sanitizer, elements on a pool's free lists are poisoned, so
// that a use after Pool_Free is reported as it would be after free().
#if defined(__SANITIZE_ADDRESS__)
#define TP_POOL_POISONING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TP_POOL_POISONING 1
#endif
#endif
#ifdef TP_POOL_POISONING
#include <sanitizer/asan_interface.h>
#define POOL_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define POOL_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define POOL_POISON(address, size) ((void)(address), (void)(size))
#define POOL_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

// Keeps the rare paths (a new block, a pool with a lock) out of line, so that
// the steady-state paths of Pool_Alloc and Pool_Free need no stack frame.
#if defined(_MSC_VER)
#define POOL_NOINLINE __declspec(noinline)
#elif defined(__GNUC__) || defined(__clang__)
#define POOL_NOINLINE __attribute__((noinline))
#else
#define POOL_NOINLINE
#endif

// ---- Block pools ----------------------------------------------------------------
//
// A block is one heap allocation: the PoolBlock header, then slotCount slots of
// slotSize bytes. A slot starts with one pointer-sized header: the owning block
// while the element is handed out, the next free slot while it is on the
// block's free list. The element follows the header.

namespace {

constexpr int32_t kSlotHeader = static_cast<int32_t>(sizeof(void*));

char* firstSlot(PoolBlock* block) { return reinterpret_cast<char*>(block + 1); }

// The pool's own lock when it has one, else nothing.
CRITICAL_SECTION* lockOf(BlockPool* pool) { return pool->locking ? &pool->lock : nullptr; }

void pushFront(PoolBlock** list, PoolBlock* block) {
  block->previous = nullptr;
  block->next = *list;
  if (*list) (*list)->previous = block;
  *list = block;
}

void unlinkBlock(BlockPool* pool, PoolBlock* block) {
  if (block->previous) {
    block->previous->next = block->next;
  } else if (pool->availableBlocks == block) {
    pool->availableBlocks = block->next;
  } else {
    assert(pool->fullBlocks == block);
    pool->fullBlocks = block->next;
  }
  if (block->next) block->next->previous = block->previous;
}

// A block of `slots` slots, or null when the heap cannot hold it.
PoolBlock* allocateBlock(const BlockPool* pool, int32_t slots) {
  size_t slotBytes = static_cast<size_t>(pool->slotSize);
  // On a 32-bit build, 65536 slots of a large element can exceed the address space.
  if (static_cast<size_t>(slots) > (SIZE_MAX - sizeof(PoolBlock)) / slotBytes) return nullptr;
  auto* block = static_cast<PoolBlock*>(Heap_AllocRaw(sizeof(PoolBlock) + slots * slotBytes));
  if (!block) return nullptr;
  block->slotCount = slots;
  block->usedCount = 0;
  block->freeCount = 0;
  block->freeList = nullptr;
  return block;
}

void releaseBlock(const BlockPool* pool, PoolBlock* block) {
  POOL_UNPOISON(firstSlot(block), static_cast<size_t>(block->slotCount) * pool->slotSize);
  Heap_Free(block);
}

void releaseBlocks(const BlockPool* pool, PoolBlock* block) {
  while (block) {
    PoolBlock* next = block->next;
    releaseBlock(pool, block);
    block = next;
  }
}

// The process-wide list of shared pools and its lock, created on first use.
ThreadOnce sharedOnce = THREAD_ONCE_INIT;
CRITICAL_SECTION sharedLock;
SharedPoolEntry* sharedPools;

void initSharedPools() {
  InitializeCriticalSection(&sharedLock);
  sharedPools = nullptr;
}

BlockPool* createPrivatePool(int32_t slotSize, int32_t minBlockSlots, int32_t maxBlockSlots, int32_t flags) {
  auto* pool = static_cast<BlockPool*>(Heap_AllocRaw(sizeof(BlockPool)));
  if (!pool) return nullptr;
  pool->fullBlocks = nullptr;
  pool->availableBlocks = nullptr;
  pool->sharedEntry = nullptr;
  pool->totalSlots = 0;
  pool->slotSize = slotSize;
  pool->minBlockSlots = minBlockSlots;
  pool->maxBlockSlots = maxBlockSlots;
  pool->locking = (flags & 3) == POOL_LOCKED ? 1 : 0;
  if (pool->locking) InitializeCriticalSection(&pool->lock);
  return pool;
}

void destroyPrivatePool(BlockPool* pool) {
  Pool_Reset(pool);
  if (pool->locking) DeleteCriticalSection(&pool->lock);
  Heap_Free(pool);
}

}  // namespace

BlockPool* Pool_Create(int32_t elementSize, int32_t minBlockSlots, int32_t maxBlockSlots, int32_t flags) {
  if (elementSize < 0 || elementSize > INT32_MAX - 2 * kSlotHeader) return nullptr;
  int32_t slotSize = (elementSize + kSlotHeader + kSlotHeader - 1) & ~(kSlotHeader - 1);
  // A block must hold at least one slot, or the first allocation from it would
  // hand out memory past its end.
  if (minBlockSlots < 1) minBlockSlots = 1;
  if (maxBlockSlots < minBlockSlots) maxBlockSlots = minBlockSlots;

  if (!(flags & POOL_SHARED)) return createPrivatePool(slotSize, minBlockSlots, maxBlockSlots, flags);

  Thread_RunOnce(&sharedOnce, initSharedPools);
  LockGuard guard(&sharedLock);
  BlockPool* result = nullptr;
  SharedPoolEntry* entry = sharedPools;
  while (entry && !(entry->slotSize == slotSize && entry->flags == flags)) entry = entry->next;
  if (entry) {
    entry->referenceCount++;
    result = entry->pool;
  } else {
    entry = static_cast<SharedPoolEntry*>(Heap_AllocRaw(sizeof(SharedPoolEntry)));
    BlockPool* pool =
        entry ? createPrivatePool(slotSize, minBlockSlots, maxBlockSlots, flags & ~POOL_SHARED) : nullptr;
    if (pool) {
      entry->pool = pool;
      entry->slotSize = slotSize;
      entry->flags = flags;
      entry->referenceCount = 1;
      entry->previous = nullptr;
      entry->next = sharedPools;
      if (sharedPools) sharedPools->previous = entry;
      sharedPools = entry;
      pool->sharedEntry = entry;
      result = pool;
    } else {
      Heap_Free(entry);
    }
  }
  return result;
}

namespace {

// A new block for a pool whose blocks are all full; its first slot is handed out.
POOL_NOINLINE char* allocateFromNewBlock(BlockPool* pool) {
  // About one sixteenth of what the pool already holds, in multiples of 16,
  // so a growing pool makes ever fewer heap calls.
  int32_t slots = (pool->totalSlots >> 4) & ~15;
  if (slots < pool->minBlockSlots)
    slots = pool->minBlockSlots;
  else if (slots > pool->maxBlockSlots)
    slots = pool->maxBlockSlots;
  PoolBlock* block = allocateBlock(pool, slots);
  if (!block) block = allocateBlock(pool, 1);
  if (!block) return nullptr;
  pool->totalSlots += block->slotCount;
  block->usedCount = 1;
  pushFront(block->slotCount > 1 ? &pool->availableBlocks : &pool->fullBlocks, block);
  char* slot = firstSlot(block);
  *reinterpret_cast<PoolBlock**>(slot) = block;
  return slot + kSlotHeader;
}

inline void* allocate(BlockPool* pool) {
  PoolBlock* block = pool->availableBlocks;
  if (!block) return allocateFromNewBlock(pool);
  char* slot;
  if (block->freeCount > 0) {
    slot = static_cast<char*>(block->freeList);
    block->freeList = *reinterpret_cast<void**>(slot);
    block->freeCount--;
  } else {
    slot = firstSlot(block) + static_cast<size_t>(block->usedCount) * pool->slotSize;
    block->usedCount++;
  }
  if (block->freeCount == 0 && block->usedCount >= block->slotCount) {
    pool->availableBlocks = block->next;
    if (block->next) block->next->previous = nullptr;
    pushFront(&pool->fullBlocks, block);
  }
  *reinterpret_cast<PoolBlock**>(slot) = block;
  POOL_UNPOISON(slot + kSlotHeader, pool->slotSize - kSlotHeader);
  return slot + kSlotHeader;
}

inline void release(BlockPool* pool, void* element) {
  char* slot = static_cast<char*>(element) - kSlotHeader;
  PoolBlock* block = *reinterpret_cast<PoolBlock**>(slot);
  POOL_POISON(element, pool->slotSize - kSlotHeader);
  *reinterpret_cast<void**>(slot) = block->freeList;
  block->freeList = slot;
  block->freeCount++;
  if (block->freeCount == block->usedCount) {
    unlinkBlock(pool, block);
    pool->totalSlots -= block->slotCount;
    releaseBlock(pool, block);
  } else if (block->freeCount == 1 && block->usedCount >= block->slotCount) {
    unlinkBlock(pool, block);
    pushFront(&pool->availableBlocks, block);
  }
}

}  // namespace

namespace {

POOL_NOINLINE void* allocateLocked(BlockPool* pool) {
  LockGuard guard(&pool->lock);
  return allocate(pool);
}

POOL_NOINLINE void releaseLocked(BlockPool* pool, void* element) {
  LockGuard guard(&pool->lock);
  release(pool, element);
}

}  // namespace

void* Pool_Alloc(BlockPool* pool) { return pool->locking ? allocateLocked(pool) : allocate(pool); }

void Pool_Free(BlockPool* pool, void* element) {
  if (!element) return;
  if (pool->locking)
    releaseLocked(pool, element);
  else
    release(pool, element);
}

void Pool_Reset(BlockPool* pool) {
  LockGuard guard(lockOf(pool));
  releaseBlocks(pool, pool->fullBlocks);
  releaseBlocks(pool, pool->availableBlocks);
  pool->fullBlocks = nullptr;
  pool->availableBlocks = nullptr;
  pool->totalSlots = 0;
}

void Pool_Destroy(BlockPool* pool) {
  if (!pool) return;
  // A pool's shared entry is set at creation and cleared only below, when the
  // last reference goes; so it can be read before taking the lock.
  SharedPoolEntry* entry = pool->sharedEntry;
  if (!entry) {
    destroyPrivatePool(pool);
    return;
  }
  LockGuard guard(&sharedLock);
  if (--entry->referenceCount == 0) {
    pool->sharedEntry = nullptr;
    destroyPrivatePool(pool);
    if (entry->previous)
      entry->previous->next = entry->next;
    else
      sharedPools = entry->next;
    if (entry->next) entry->next->previous = entry->previous;
    Heap_Free(entry);
  }
}
