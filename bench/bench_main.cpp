// Benchmark main: brings up the main heap, the string engine and the map
// handlers as start-up does, runs the benchmarks, then prints the ratio lines.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench.h"
#include "core/heap.h"
#include "core/map.h"
#include "core/string.h"

namespace {

struct Ratio {
  std::string label;
  std::string ours;
  std::string peer;
};

std::vector<Ratio>& ratios() {
  static std::vector<Ratio> list;
  return list;
}

// The console output as usual, and for each benchmark the least CPU time per
// iteration over its repetitions: on a shared machine the other processes only
// ever add time, so the best repetition is the closest to the code's own cost.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& run : reports) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      double t = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto [it, added] = seconds.emplace(run.benchmark_name(), t);
      if (!added && t < it->second) it->second = t;
    }
    ConsoleReporter::ReportRuns(reports);
  }
};

}  // namespace

int Bench_Ratio(const char* label, const char* ours, const char* peer) {
  ratios().push_back({label, ours, peer});
  return 0;
}

int main(int argc, char** argv) {
  Heap_Main = HeapCreate(0, 4096, 0);
  String_Init();
  Map_InstallHandlers();

  // Unless told otherwise: five repetitions of each benchmark, interleaved at
  // random, so that a burst of load on the machine does not fall on one side.
  std::vector<char*> args(argv, argv + argc);
  bool repetitionsGiven = false;
  for (char* a : args) repetitionsGiven |= std::string(a).rfind("--benchmark_repetitions", 0) == 0;
  char repetitions[] = "--benchmark_repetitions=5";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  if (!repetitionsGiven) {
    args.push_back(repetitions);
    args.push_back(interleave);
  }
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n");
  for (const Ratio& r : ratios()) {
    auto ours = reporter.seconds.find(r.ours);
    auto peer = reporter.seconds.find(r.peer);
    if (ours == reporter.seconds.end() || peer == reporter.seconds.end() || ours->second <= 0) continue;
    std::printf("%s: %.2fx\n", r.label.c_str(), peer->second / ours->second);
  }

  String_End();
  HeapDestroy(Heap_Main);
  return 0;
}
