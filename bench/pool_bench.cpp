// Block pools against the C runtime's allocator, for elements of the same size.
#include <cstdlib>

#include "bench.h"
#include "core/pool.h"

namespace {

constexpr int kElementSize = 32;  // about an event record or a small map node
constexpr int kBatch = 8;         // elements live at once in each round

// Steady state: the pool already holds a block (one element stays live, as in
// a pool in use), so each round recycles slots through the block's free list.
void BM_PoolAllocFree(benchmark::State& state) {
  BlockPool* pool = Pool_Create(kElementSize, 16, 256, 0);
  void* keep = Pool_Alloc(pool);
  void* elements[kBatch];
  for (auto _ : state) {
    for (void*& e : elements) e = Pool_Alloc(pool);
    benchmark::DoNotOptimize(elements);
    for (void* e : elements) Pool_Free(pool, e);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  Pool_Free(pool, keep);
  Pool_Destroy(pool);
}
BENCHMARK(BM_PoolAllocFree);

void BM_MallocFree(benchmark::State& state) {
  void* keep = std::malloc(kElementSize);
  benchmark::DoNotOptimize(keep);
  void* elements[kBatch];
  for (auto _ : state) {
    for (void*& e : elements) e = std::malloc(kElementSize);
    benchmark::DoNotOptimize(elements);
    for (void* e : elements) std::free(e);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  std::free(keep);
}
BENCHMARK(BM_MallocFree);

BENCH_RATIO("pool alloc+free vs malloc/free", "BM_PoolAllocFree", "BM_MallocFree");

}  // namespace
