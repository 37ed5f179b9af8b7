// Fault injection for the tests: runs an operation once with each of its heap
// allocations failing in turn, checks after every failed run that the
// structures it touched are intact and that nothing it took is still held, and
// stops at the first run that reaches its end without a refused allocation.
// Only the Linux substitute can make allocations fail, so this exists there only.
#pragma once

#ifndef _WIN32

#include <gtest/gtest.h>

#include <functional>

#include "platform/win32.h"

// What the operations under test may allocate before they are given up on.
constexpr long kFaultMaxAllocations = 4096;

// How a fault run went.
struct FaultRun {
  long allocations = 0;  // allocations the complete run made
  long failures = 0;     // runs that failed because an allocation was refused
  long tolerated = 0;    // runs that succeeded although an allocation was refused
};

// Runs `attempt` with the (n+1)-th heap allocation failing, for n = 0, 1, ...,
// until a run makes no refused allocation; that run must succeed. `attempt`
// returns whether the operation succeeded. After every run that failed, `check`
// runs (the structures must be as before) and the heaps must hold as many live
// blocks and bytes as before the run: nothing leaked. A run that succeeds in
// spite of a refused allocation is counted as tolerated and undone with `undo`;
// without `undo` the driver stops there, as the operation cannot be repeated.
// `balanced` false skips the leak check, for operations that keep what they
// made on purpose (a cache filled lazily).
template <typename Attempt, typename Check>
FaultRun Fault_EachAllocation(Attempt attempt, Check check, std::function<void()> undo = nullptr,
                              bool balanced = true) {
  FaultRun run;
  for (long n = 0; n <= kFaultMaxAllocations; n++) {
    PlatformHeapCounters before = Platform_HeapCounters();
    Platform_FailHeapAfter(n);
    bool ok = attempt();
    long refused = Platform_HeapCounters().refused;
    Platform_FailHeapAfter(-1);
    if (refused == 0) {
      EXPECT_TRUE(ok) << "the run without a refused allocation failed";
      run.allocations = n;
      return run;
    }
    if (ok) {
      run.tolerated++;
      if (!undo) {
        run.allocations = n;
        return run;
      }
      undo();
      continue;
    }
    run.failures++;
    check();
    if (balanced) {
      PlatformHeapCounters after = Platform_HeapCounters();
      EXPECT_EQ(after.liveBlocks, before.liveBlocks)
          << "blocks leaked with allocation " << n + 1 << " failing";
      EXPECT_EQ(after.liveBytes, before.liveBytes) << "bytes leaked with allocation " << n + 1 << " failing";
    }
  }
  ADD_FAILURE() << "the operation never completed within " << kFaultMaxAllocations << " allocations";
  return run;
}

#endif
