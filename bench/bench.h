// Shared benchmark support: ratio lines that compare one of our benchmarks with
// a well-known peer measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

// Registers a line "label: N.NNx" printed after every benchmark has run, where
// N.NN is the CPU time per iteration of the benchmark named `peer` divided by
// that of `ours` (each the best of its repetitions): above 1 means ours is faster. Returns a dummy for
// BENCH_RATIO.
int Bench_Ratio(const char* label, const char* ours, const char* peer);

#define BENCH_RATIO_JOIN2(a, b) a##b
#define BENCH_RATIO_JOIN(a, b) BENCH_RATIO_JOIN2(a, b)
#define BENCH_RATIO(label, ours, peer) \
  static const int BENCH_RATIO_JOIN(benchRatio_, __LINE__) = Bench_Ratio(label, ours, peer)
