// Tests of the thread library: state records, its start and end, and run-once.
#include "core/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Sample {
  int values[40];
  void* marker;
};

void* initSeen;
void recordInit(void* record) {
  initSeen = record;
  static_cast<Sample*>(record)->values[39] = 7;
}

TEST(ThreadState, RecordIsZeroFilledAndInitialisedOnce) {
  ThreadState* state = Thread_CreateState(sizeof(Sample), recordInit, nullptr);
  ASSERT_NE(state, nullptr);
  auto* record = static_cast<Sample*>(Thread_GetState(state));
  EXPECT_EQ(record, initSeen);
  for (int i = 0; i < 39; i++) EXPECT_EQ(record->values[i], 0);
  EXPECT_EQ(record->values[39], 7);
  EXPECT_EQ(record->marker, nullptr);
  // Every caller reaches the same record, from any thread.
  void* fromThread = nullptr;
  std::thread([&] { fromThread = Thread_GetState(state); }).join();
  EXPECT_EQ(fromThread, record);
  EXPECT_EQ(Thread_GetState(nullptr), nullptr);
}

TEST(ThreadLibrary, InitCreatesItsHeapAndEndDestroysIt) {
  Thread_Init();
  ASSERT_NE(Thread_Heap, nullptr);
  void* block = HeapAlloc(Thread_Heap, 0, 100);
  EXPECT_NE(block, nullptr);
  Thread_End();  // releases the block with the heap
  EXPECT_EQ(Thread_Heap, nullptr);
}

std::atomic<int> runs;
std::atomic<bool> finished;
void slowOnce() {
  runs++;
  Sleep(30);
  finished = true;
}

using RunOnce = void (*)(ThreadOnce*, void (*)());

class RunOnceTest : public testing::TestWithParam<RunOnce> {};

TEST_P(RunOnceTest, RunsOnceAndLaterCallersWaitForTheFirstRun) {
  runs = 0;
  finished = false;
  ThreadOnce flag = THREAD_ONCE_INIT;
  RunOnce runOnce = GetParam();
  std::atomic<int> returnedEarly{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; i++) {
    threads.emplace_back([&] {
      runOnce(&flag, slowOnce);
      if (!finished) returnedEarly++;
    });
  }
  for (auto& t : threads) t.join();
  runOnce(&flag, slowOnce);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(returnedEarly, 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, RunOnceTest, testing::Values(Thread_RunOnce, Thread_RunOnceFallback),
                         [](const testing::TestParamInfo<RunOnce>& info) {
                           return info.param == Thread_RunOnce ? "Platform" : "CompareExchange";
                         });

}  // namespace
