// Block pools: fixed-size elements from heap blocks, private or shared by slot size.
#pragma once

#include <cstdint>

#include "platform/win32.h"

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
