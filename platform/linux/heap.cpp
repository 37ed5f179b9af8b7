// Private heaps of the Linux substitute: each block carries a header that links
// it into its heap, so destroying the heap releases everything still allocated.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/linux/kernel32.h"

namespace {

struct BlockHeader;

struct Heap {
  std::mutex lock;
  bool serialize;
  SIZE_T maximum;  // 0: no limit
  SIZE_T inUse;    // bytes of live blocks, for the maximum
  BlockHeader* blocks;
  unsigned magic;
};

// 32 bytes keeps the data 16-byte aligned, as the Windows heap guarantees on 64-bit.
struct alignas(16) BlockHeader {
  BlockHeader* next;
  BlockHeader* previous;
  Heap* heap;
  SIZE_T size;
};
static_assert(sizeof(BlockHeader) == 32);

constexpr unsigned kHeapMagic = 0x48656170;  // "Heap"

std::atomic<long> failAfter{-1};
std::atomic<long> refusedCount{0};
// Live blocks and bytes of all heaps together, for the test hook.
std::atomic<long> liveBlockCount{0};
std::atomic<SIZE_T> liveByteCount{0};

// Consumes one allowed allocation of the test hook; false when it says fail.
bool allocationAllowed() {
  long n = failAfter.load(std::memory_order_relaxed);
  while (n >= 0) {
    if (n == 0) {
      refusedCount.fetch_add(1);
      return false;
    }
    if (failAfter.compare_exchange_weak(n, n - 1)) return true;
  }
  return true;
}

Heap* heapOf(HANDLE handle) {
  auto* heap = static_cast<Heap*>(handle);
  return heap && heap->magic == kHeapMagic ? heap : nullptr;
}

BlockHeader* headerOf(LPCVOID block) {
  return const_cast<BlockHeader*>(static_cast<const BlockHeader*>(block) - 1);
}

void link(Heap* heap, BlockHeader* h) {
  h->previous = nullptr;
  h->next = heap->blocks;
  if (heap->blocks) heap->blocks->previous = h;
  heap->blocks = h;
}

void unlink(Heap* heap, BlockHeader* h) {
  if (h->previous)
    h->previous->next = h->next;
  else
    heap->blocks = h->next;
  if (h->next) h->next->previous = h->previous;
}

// Locks the heap unless it was created without serialisation.
struct HeapGuard {
  Heap* heap;
  bool locked;
  HeapGuard(Heap* h, DWORD flags) : heap(h), locked(h->serialize && !(flags & HEAP_NO_SERIALIZE)) {
    if (locked) heap->lock.lock();
  }
  ~HeapGuard() {
    if (locked) heap->lock.unlock();
  }
};

bool overMaximum(const Heap* heap, SIZE_T more) {
  return heap->maximum != 0 && (more > heap->maximum || heap->inUse > heap->maximum - more);
}

Heap processHeap{{}, true, 0, 0, nullptr, kHeapMagic};

}  // namespace

void Platform_FailHeapAfter(long count) {
  failAfter.store(count);
  refusedCount.store(0);
}

PlatformHeapCounters Platform_HeapCounters() {
  return {liveBlockCount.load(), liveByteCount.load(), refusedCount.load()};
}

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T, SIZE_T maximumSize) {
  auto* heap = new (std::nothrow) Heap;
  if (!heap) return nullptr;
  heap->serialize = !(options & HEAP_NO_SERIALIZE);
  heap->maximum = maximumSize;
  heap->inUse = 0;
  heap->blocks = nullptr;
  heap->magic = kHeapMagic;
  return heap;
}

BOOL WINAPI HeapDestroy(HANDLE handle) {
  Heap* heap = heapOf(handle);
  if (!heap || heap == &processHeap) return FALSE;
  for (BlockHeader* h = heap->blocks; h;) {
    BlockHeader* next = h->next;
    liveBlockCount.fetch_sub(1);
    liveByteCount.fetch_sub(h->size);
    std::free(h);
    h = next;
  }
  heap->magic = 0;
  delete heap;
  return TRUE;
}

LPVOID WINAPI HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  Heap* heap = heapOf(handle);
  if (!heap || bytes > SIZE_MAX - sizeof(BlockHeader) - 16) return nullptr;
  HeapGuard guard(heap, flags);
  if (overMaximum(heap, bytes) || !allocationAllowed()) return nullptr;
  auto* h = static_cast<BlockHeader*>(flags & HEAP_ZERO_MEMORY ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                                               : std::malloc(sizeof(BlockHeader) + bytes));
  if (!h) return nullptr;
  h->heap = heap;
  h->size = bytes;
  heap->inUse += bytes;
  liveBlockCount.fetch_add(1);
  liveByteCount.fetch_add(bytes);
  link(heap, h);
  return h + 1;
}

LPVOID WINAPI HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
  Heap* heap = heapOf(handle);
  if (!heap || !block || bytes > SIZE_MAX - sizeof(BlockHeader) - 16) return nullptr;
  HeapGuard guard(heap, flags);
  BlockHeader* h = headerOf(block);
  if (h->heap != heap) return nullptr;
  SIZE_T old = h->size;
  if (bytes <= old) {
    // Shrinking always succeeds in place.
    heap->inUse -= old - bytes;
    liveByteCount.fetch_sub(old - bytes);
    h->size = bytes;
    return block;
  }
  if ((flags & HEAP_REALLOC_IN_PLACE_ONLY) || overMaximum(heap, bytes - old) || !allocationAllowed())
    return nullptr;
  BlockHeader* prev = h->previous;
  BlockHeader* next = h->next;
  auto* grown = static_cast<BlockHeader*>(std::realloc(h, sizeof(BlockHeader) + bytes));
  if (!grown) return nullptr;
  // The block may have moved: repair the neighbours' links.
  if (prev)
    prev->next = grown;
  else
    heap->blocks = grown;
  if (next) next->previous = grown;
  grown->size = bytes;
  heap->inUse += bytes - old;
  liveByteCount.fetch_add(bytes - old);
  if (flags & HEAP_ZERO_MEMORY) std::memset(reinterpret_cast<char*>(grown + 1) + old, 0, bytes - old);
  return grown + 1;
}

BOOL WINAPI HeapFree(HANDLE handle, DWORD flags, LPVOID block) {
  if (!block) return TRUE;
  Heap* heap = heapOf(handle);
  if (!heap) return FALSE;
  HeapGuard guard(heap, flags);
  BlockHeader* h = headerOf(block);
  if (h->heap != heap) return FALSE;
  unlink(heap, h);
  heap->inUse -= h->size;
  liveBlockCount.fetch_sub(1);
  liveByteCount.fetch_sub(h->size);
  std::free(h);
  return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE handle, DWORD flags, LPCVOID block) {
  Heap* heap = heapOf(handle);
  if (!heap || !block) return static_cast<SIZE_T>(-1);
  HeapGuard guard(heap, flags);
  return headerOf(block)->size;
}

HANDLE WINAPI GetProcessHeap() { return &processHeap; }
