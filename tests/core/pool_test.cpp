// Tests of the block pools: slot sizes, block growth, recycling, sharing, locking
// and exhausted memory.
#include "core/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "core/heap.h"
#include "tests/support/fault.h"

namespace {

constexpr bool kWidePointers = sizeof(void*) == 8;

int32_t headSlots(const BlockPool* pool) {
  return pool->availableBlocks ? pool->availableBlocks->slotCount : pool->fullBlocks->slotCount;
}

int listLength(const PoolBlock* block) {
  int n = 0;
  for (; block; block = block->next) n++;
  return n;
}

TEST(PoolLayout, SlotSizeAddsOnePointerAndRoundsToPointerSize) {
  BlockPool* a = Pool_Create(32, 16, 256, 0);
  BlockPool* b = Pool_Create(13, 16, 256, 0);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->slotSize, kWidePointers ? 40 : 36);
  EXPECT_EQ(b->slotSize, kWidePointers ? 24 : 20);
  EXPECT_EQ(a->totalSlots, 0);
  Pool_Destroy(a);
  Pool_Destroy(b);
}

TEST(PoolLayout, RefusesNegativeSizes) { EXPECT_EQ(Pool_Create(-1, 16, 256, 0), nullptr); }

TEST(PoolLayout, ElementsAreDistinctAndHoldTheirWholeSize) {
  BlockPool* pool = Pool_Create(13, 16, 256, 0);
  std::vector<unsigned char*> elements;
  for (int i = 0; i < 1000; i++) {
    auto* e = static_cast<unsigned char*>(Pool_Alloc(pool));
    ASSERT_NE(e, nullptr);
    std::memset(e, i & 0xFF, 13);
    elements.push_back(e);
  }
  for (int i = 0; i < 1000; i++)
    for (int j = 0; j < 13; j++) ASSERT_EQ(elements[i][j], i & 0xFF) << "element " << i;
  EXPECT_EQ(std::set<unsigned char*>(elements.begin(), elements.end()).size(), 1000u);
  Pool_Destroy(pool);
}

TEST(PoolGrowth, NewBlocksHoldASixteenthOfThePoolWithinTheBounds) {
  BlockPool* pool = Pool_Create(8, 16, 256, 0);
  std::vector<std::pair<int32_t, int32_t>> grown;  // totalSlots before, slots of the new block
  while (pool->totalSlots < 8192) {
    int32_t before = pool->totalSlots;
    ASSERT_NE(Pool_Alloc(pool), nullptr);
    if (pool->totalSlots != before) grown.push_back({before, headSlots(pool)});
  }
  for (auto [before, slots] : grown) {
    if (before < 512) {
      EXPECT_EQ(slots, 16) << "at " << before;
    } else if (before < 768) {
      EXPECT_EQ(slots, 32) << "at " << before;
    } else {
      EXPECT_EQ(slots, before >= 4096 ? 256 : (before >> 4) & ~15) << "at " << before;
    }
  }
  EXPECT_EQ(grown.front(), std::make_pair(0, 16));
  EXPECT_EQ(std::count(grown.begin(), grown.end(), std::make_pair(512, 32)), 1);
  EXPECT_LT(grown[grown.size() - 2].first, 8192);
  EXPECT_EQ(grown.back().second, 256);
  Pool_Destroy(pool);
}

TEST(PoolGrowth, BoundsBelowOneStillGiveUsableBlocks) {
  BlockPool* pool = Pool_Create(8, 0, 0, 0);
  void* a = Pool_Alloc(pool);
  void* b = Pool_Alloc(pool);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(pool->totalSlots, 2);
  Pool_Destroy(pool);
}

TEST(PoolRecycling, FreeingEveryElementOfABlockReleasesIt) {
  BlockPool* pool = Pool_Create(16, 16, 256, 0);
  std::vector<void*> first;
  for (int i = 0; i < 16; i++) first.push_back(Pool_Alloc(pool));
  EXPECT_EQ(listLength(pool->fullBlocks), 1);
  EXPECT_EQ(pool->availableBlocks, nullptr);
  void* other = Pool_Alloc(pool);
  EXPECT_EQ(pool->totalSlots, 32);
  for (void* e : first) Pool_Free(pool, e);
  EXPECT_EQ(pool->totalSlots, 16);
  EXPECT_EQ(pool->fullBlocks, nullptr);
  EXPECT_EQ(listLength(pool->availableBlocks), 1);
  Pool_Free(pool, other);
  EXPECT_EQ(pool->totalSlots, 0);
  EXPECT_EQ(pool->availableBlocks, nullptr);
  Pool_Destroy(pool);
}

TEST(PoolRecycling, FreeingFromAFullBlockPutsItFirstSoItsSlotIsReusedNext) {
  BlockPool* pool = Pool_Create(16, 16, 256, 0);
  std::vector<void*> first;
  for (int i = 0; i < 16; i++) first.push_back(Pool_Alloc(pool));
  PoolBlock* full = pool->fullBlocks;
  void* second = Pool_Alloc(pool);  // a second block, now at the head of availableBlocks
  ASSERT_NE(pool->availableBlocks, full);
  Pool_Free(pool, first[5]);
  EXPECT_EQ(pool->availableBlocks, full);
  EXPECT_EQ(pool->fullBlocks, nullptr);
  EXPECT_EQ(Pool_Alloc(pool), first[5]);
  EXPECT_EQ(pool->fullBlocks, full);
  Pool_Free(pool, second);
  Pool_Free(pool, nullptr);
  Pool_Destroy(pool);
}

TEST(PoolRecycling, ResetReleasesEveryBlockAndThePoolStaysUsable) {
  BlockPool* pool = Pool_Create(24, 16, 256, 0);
  for (int i = 0; i < 100; i++) Pool_Alloc(pool);
  Pool_Reset(pool);
  EXPECT_EQ(pool->totalSlots, 0);
  EXPECT_EQ(pool->fullBlocks, nullptr);
  EXPECT_EQ(pool->availableBlocks, nullptr);
  EXPECT_NE(Pool_Alloc(pool), nullptr);
  EXPECT_EQ(pool->totalSlots, 16);
  Pool_Destroy(pool);
}

TEST(SharedPools, SameSlotSizeAndFlagsShareOnePoolWithReferenceCounts) {
  // Element sizes 29 and 32 round to the same slot size with 4- and 8-byte pointers.
  BlockPool* a = Pool_Create(29, 16, 256, POOL_SHARED);
  BlockPool* b = Pool_Create(32, 16, 256, POOL_SHARED);
  BlockPool* locked = Pool_Create(32, 16, 256, POOL_SHARED | POOL_LOCKED);
  BlockPool* wider = Pool_Create(40, 16, 256, POOL_SHARED);
  ASSERT_TRUE(a && locked && wider);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, locked);
  EXPECT_NE(a, wider);
  ASSERT_NE(a->sharedEntry, nullptr);
  EXPECT_EQ(a->sharedEntry->referenceCount, 2);
  EXPECT_EQ(a->sharedEntry->flags, POOL_SHARED);
  EXPECT_EQ(a->locking, 0);
  EXPECT_EQ(locked->locking, 1);

  void* e = Pool_Alloc(a);
  Pool_Destroy(a);
  ASSERT_NE(b->sharedEntry, nullptr);
  EXPECT_EQ(b->sharedEntry->referenceCount, 1);
  Pool_Free(b, e);
  Pool_Destroy(b);
  // The last reference released the pool: a new request makes a fresh entry.
  BlockPool* again = Pool_Create(32, 16, 256, POOL_SHARED);
  EXPECT_EQ(again->sharedEntry->referenceCount, 1);
  Pool_Destroy(again);
  Pool_Destroy(locked);
  Pool_Destroy(wider);
}

TEST(SharedPools, ConcurrentCreatorsGetOnePool) {
  constexpr int kThreads = 8;
  BlockPool* pools[kThreads];
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; i++)
    threads.emplace_back([&pools, i] { pools[i] = Pool_Create(1000, 16, 256, POOL_SHARED); });
  for (auto& t : threads) t.join();
  for (BlockPool* p : pools) EXPECT_EQ(p, pools[0]);
  EXPECT_EQ(pools[0]->sharedEntry->referenceCount, kThreads);
  threads.clear();
  for (int i = 0; i < kThreads; i++) threads.emplace_back([&pools, i] { Pool_Destroy(pools[i]); });
  for (auto& t : threads) t.join();
  BlockPool* fresh = Pool_Create(1000, 16, 256, POOL_SHARED);
  EXPECT_EQ(fresh->sharedEntry->referenceCount, 1);
  Pool_Destroy(fresh);
}

TEST(LockedPools, ThreadsAllocateAndFreeConcurrently) {
  BlockPool* pool = Pool_Create(16, 16, 256, POOL_LOCKED);
  ASSERT_EQ(pool->locking, 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([pool, t] {
      std::vector<int*> mine;
      for (int round = 0; round < 50; round++) {
        for (int i = 0; i < 40; i++) {
          auto* e = static_cast<int*>(Pool_Alloc(pool));
          *e = t;
          mine.push_back(e);
        }
        for (int* e : mine) EXPECT_EQ(*e, t);
        for (int* e : mine) Pool_Free(pool, e);
        mine.clear();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(pool->totalSlots, 0);
  Pool_Destroy(pool);
}

#ifndef _WIN32
TEST(PoolExhaustion, CreateFailsCleanly) {
  BlockPool* pool = nullptr;
  Fault_EachAllocation([&] { return (pool = Pool_Create(8, 16, 256, POOL_LOCKED)) != nullptr; },
                       [&] { EXPECT_EQ(pool, nullptr); });
  Pool_Destroy(pool);
}

TEST(PoolExhaustion, SharedCreateLeavesTheSharedListIntact) {
  BlockPool* held = Pool_Create(2000, 16, 256, POOL_SHARED);
  BlockPool* pool = nullptr;
  FaultRun run = Fault_EachAllocation(
      [&] { return (pool = Pool_Create(3000, 16, 256, POOL_SHARED)) != nullptr; }, [] {});
  EXPECT_EQ(run.failures, 2);  // the entry, then the pool
  EXPECT_EQ(pool->sharedEntry->referenceCount, 1);
  EXPECT_EQ(held->sharedEntry->referenceCount, 1);
  // An existing shared pool is found without any allocation.
  Platform_FailHeapAfter(0);
  BlockPool* again = Pool_Create(2000, 16, 256, POOL_SHARED);
  Platform_FailHeapAfter(-1);
  EXPECT_EQ(again, held);
  Pool_Destroy(again);
  Pool_Destroy(held);
  Pool_Destroy(pool);
}

TEST(PoolExhaustion, AllocFailsWithoutChangingThePool) {
  BlockPool* pool = Pool_Create(16, 16, 256, 0);
  std::vector<void*> live;
  for (int i = 0; i < 16; i++) live.push_back(Pool_Alloc(pool));
  Platform_FailHeapAfter(0);
  void* e = Pool_Alloc(pool);
  Platform_FailHeapAfter(-1);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(pool->totalSlots, 16);
  EXPECT_EQ(listLength(pool->fullBlocks), 1);
  EXPECT_EQ(pool->availableBlocks, nullptr);
  for (void* p : live) Pool_Free(pool, p);
  EXPECT_EQ(pool->totalSlots, 0);
  Pool_Destroy(pool);
}
#endif

TEST(PoolExhaustion, FallsBackToABlockOfOneSlot) {
  // A main heap with room for one slot of this size but not for sixteen.
  HANDLE saved = Heap_Main;
  Heap_Main = HeapCreate(0, 4096, 20000);
  BlockPool* pool = Pool_Create(4000, 16, 256, 0);
  void* a = Pool_Alloc(pool);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(pool->totalSlots, 1);
  EXPECT_EQ(pool->availableBlocks, nullptr);
  ASSERT_NE(pool->fullBlocks, nullptr);
  EXPECT_EQ(pool->fullBlocks->slotCount, 1);
  std::memset(a, 0x5A, 4000);
  Pool_Free(pool, a);
  EXPECT_EQ(pool->totalSlots, 0);
  EXPECT_EQ(pool->fullBlocks, nullptr);
  Pool_Destroy(pool);
  HeapDestroy(Heap_Main);
  Heap_Main = saved;
}

// Blocks whose byte size cannot be represented (a 32-bit size_t wraps at 4 GiB)
// are never made: allocation fails and the pool stays empty, instead of
// handing out slots past the end of a small block. The main heap is bounded,
// so a size that can be represented fails too, on any build.
TEST(PoolSizeLimits, ABlockTooLargeToRepresentOrToHoldFailsAndLeavesThePoolEmpty) {
  HANDLE saved = Heap_Main;
  Heap_Main = HeapCreate(0, 4096, 1 << 20);
  ASSERT_NE(Heap_Main, nullptr);
  // 16 slots of 2^29 bytes, and the largest element size there is.
  for (int32_t elementSize : {0x20000000, 0x40000000, INT32_MAX - 2 * static_cast<int32_t>(sizeof(void*))}) {
    BlockPool* pool = Pool_Create(elementSize, 16, 256, 0);
    ASSERT_NE(pool, nullptr) << elementSize;
    EXPECT_EQ(Pool_Alloc(pool), nullptr) << elementSize;
    EXPECT_EQ(pool->totalSlots, 0);
    EXPECT_EQ(pool->availableBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    Pool_Destroy(pool);
  }
  EXPECT_EQ(Pool_Create(INT32_MAX, 16, 256, 0), nullptr);
  // The heap still serves an ordinary pool.
  BlockPool* pool = Pool_Create(32, 16, 256, 0);
  ASSERT_NE(pool, nullptr);
  void* element = Pool_Alloc(pool);
  EXPECT_NE(element, nullptr);
  Pool_Free(pool, element);
  Pool_Destroy(pool);
  HeapDestroy(Heap_Main);
  Heap_Main = saved;
}

}  // namespace
