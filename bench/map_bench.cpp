// Hash-map lookups that miss, against std::unordered_map<std::string, int>: the
// empty event-binding table (1024 buckets) that every queued event consults,
// and a table that holds elements.
#include <string>
#include <unordered_map>

#include "bench.h"
#include "core/map.h"

namespace {

// The event loop formats its keys into an 8-bit buffer; both sides start from it.
const char* const kMissKey = "13100:0:3:0";
constexpr int kBuckets = 1024;
constexpr int kLoaded = 512;

struct Binding {
  void* handlers;
  intptr_t window;
};

void BM_MapMissEmpty(benchmark::State& state) {
  HashMap* table = nullptr;
  Map_Create(sizeof(Binding), 7, nullptr, &table, kBuckets);
  const char* key = kMissKey;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key);
    benchmark::DoNotOptimize(Map_Find(table, key));
  }
  Map_Free(table);
}
BENCHMARK(BM_MapMissEmpty);

void BM_StdMapMissEmpty(benchmark::State& state) {
  std::unordered_map<std::string, int> table;
  table.reserve(kBuckets);
  const char* key = kMissKey;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key);
    benchmark::DoNotOptimize(table.find(key));
  }
}
BENCHMARK(BM_StdMapMissEmpty);

// The peer at its best: the key already a std::string.
void BM_StdMapMissEmptyStringKey(benchmark::State& state) {
  std::unordered_map<std::string, int> table;
  table.reserve(kBuckets);
  std::string key = kMissKey;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key);
    benchmark::DoNotOptimize(table.find(key));
  }
}
BENCHMARK(BM_StdMapMissEmptyStringKey);

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string bindingKey(int i) { return std::to_string(13100 + i % 19) + ":" + std::to_string(i) + ":0:-1"; }

void BM_MapMissLoaded(benchmark::State& state) {
  HashMap* table = nullptr;
  Map_Create(sizeof(Binding), 7, nullptr, &table, kBuckets);
  for (int i = 0; i < kLoaded; i++) Map_Add(table, wide(bindingKey(i)).c_str(), 0);
  const char* key = kMissKey;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key);
    benchmark::DoNotOptimize(Map_Find(table, key));
  }
  Map_Free(table);
}
BENCHMARK(BM_MapMissLoaded);

void BM_StdMapMissLoaded(benchmark::State& state) {
  std::unordered_map<std::string, int> table;
  table.reserve(kBuckets);
  for (int i = 0; i < kLoaded; i++) table[bindingKey(i)] = i;
  const char* key = kMissKey;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key);
    benchmark::DoNotOptimize(table.find(key));
  }
}
BENCHMARK(BM_StdMapMissLoaded);

BENCH_RATIO("empty 1024-bucket map miss vs std::unordered_map (key from char*)", "BM_MapMissEmpty",
            "BM_StdMapMissEmpty");
BENCH_RATIO("empty 1024-bucket map miss vs std::unordered_map (key already std::string)", "BM_MapMissEmpty",
            "BM_StdMapMissEmptyStringKey");
BENCH_RATIO("512-element map miss vs std::unordered_map (key from char*)", "BM_MapMissLoaded",
            "BM_StdMapMissLoaded");

}  // namespace
