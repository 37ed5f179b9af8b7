// Tests of the kernel services that the runtime expects of the platform: private
// heaps, critical sections, thread-local storage, one-time initialisation and
// modules looked up by name.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace {

TEST(Heaps, DestroyReleasesEveryBlockStillAllocated) {
  // Under the address sanitizer a block left behind fails the run as a leak.
  HANDLE heap = HeapCreate(0, 4096, 0);
  ASSERT_NE(heap, nullptr);
  for (int i = 0; i < 100; i++) ASSERT_NE(HeapAlloc(heap, 0, 16 + i * 7), nullptr);
  void* grown = HeapAlloc(heap, 0, 8);
  ASSERT_NE(HeapReAlloc(heap, 0, grown, 100000), nullptr);
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heaps, ZeroFillOnAllocationAndOnGrowth) {
  HANDLE heap = HeapCreate(0, 4096, 0);
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
  for (int i = 0; i < 64; i++) ASSERT_EQ(block[i], 0);
  std::memset(block, 0xAB, 64);
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; i++) ASSERT_EQ(block[i], 0xAB);
  for (int i = 64; i < 4096; i++) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(HeapSize(heap, 0, block), 4096u);
  EXPECT_TRUE(HeapFree(heap, 0, block));
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  HeapDestroy(heap);
}

#ifndef _WIN32
// Windows rounds a maximum up to whole pages and counts its own overhead; the
// substitute counts the bytes of live blocks exactly.
TEST(Heaps, MaximumSizeLimitsTheLiveTotal) {
  HANDLE heap = HeapCreate(0, 0, 1000);
  void* a = HeapAlloc(heap, 0, 600);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(HeapAlloc(heap, 0, 500), nullptr);
  void* b = HeapAlloc(heap, 0, 400);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(HeapReAlloc(heap, 0, b, 401), nullptr);
  HeapFree(heap, 0, a);
  EXPECT_NE(HeapAlloc(heap, 0, 500), nullptr);
  HeapDestroy(heap);
}
#endif

TEST(Heaps, FailedGrowthLeavesTheBlockAsItWas) {
  HANDLE heap = HeapCreate(0, 0, 0);
  auto* block = static_cast<char*>(HeapAlloc(heap, 0, 32));
  std::memcpy(block, "thirty-one characters of text..", 32);
#ifndef _WIN32
  EXPECT_EQ(HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, block, 64), nullptr);
  Platform_FailHeapAfter(0);
  EXPECT_EQ(HeapReAlloc(heap, 0, block, 1 << 20), nullptr);
  EXPECT_EQ(HeapAlloc(heap, 0, 1), nullptr);
  Platform_FailHeapAfter(-1);
#endif
  EXPECT_EQ(HeapSize(heap, 0, block), 32u);
  EXPECT_STREQ(block, "thirty-one characters of text..");
  // Shrinking always succeeds in place.
  EXPECT_EQ(HeapReAlloc(heap, 0, block, 8), block);
  HeapDestroy(heap);
}

#ifndef _WIN32
TEST(Heaps, FailureHookCountsSuccessfulAllocations) {
  HANDLE heap = HeapCreate(0, 0, 0);
  PlatformHeapCounters start = Platform_HeapCounters();
  Platform_FailHeapAfter(2);
  EXPECT_NE(HeapAlloc(heap, 0, 8), nullptr);
  void* grown = HeapAlloc(heap, 0, 8);
  EXPECT_NE(grown, nullptr);
  EXPECT_EQ(HeapAlloc(heap, 0, 8), nullptr);
  EXPECT_EQ(HeapReAlloc(heap, 0, grown, 64), nullptr);
  EXPECT_EQ(Platform_HeapCounters().refused, 2);
  Platform_FailHeapAfter(-1);
  EXPECT_EQ(Platform_HeapCounters().refused, 0);
  EXPECT_NE(HeapReAlloc(heap, 0, grown, 64), nullptr);
  // The live counters follow every heap, growths and destruction included.
  PlatformHeapCounters now = Platform_HeapCounters();
  EXPECT_EQ(now.liveBlocks - start.liveBlocks, 2);
  EXPECT_EQ(now.liveBytes - start.liveBytes, 72u);
  HeapDestroy(heap);
  EXPECT_EQ(Platform_HeapCounters().liveBlocks, start.liveBlocks);
  EXPECT_EQ(Platform_HeapCounters().liveBytes, start.liveBytes);
}
#endif

// A heap created without HEAP_NO_SERIALIZE serves threads at once: every block
// handed out is whole and its own (no two callers get overlapping memory), and
// a re-allocation keeps the contents, while other threads allocate and free.
TEST(Heaps, SerialisedHeapTakesConcurrentCallers) {
  HANDLE heap = HeapCreate(0, 4096, 0);
  ASSERT_NE(heap, nullptr);
  constexpr int kThreads = 4;
  constexpr int kBlocks = 500;
  constexpr size_t kSmall = 24, kLarge = 72;
  // The byte every block of thread t, index i, is filled with.
  auto mark = [](int t, int i) { return static_cast<unsigned char>(t * 61 + i); };
  auto whole = [](const void* p, size_t n, unsigned char m) {
    const auto* bytes = static_cast<const unsigned char*>(p);
    for (size_t k = 0; k < n; k++)
      if (bytes[k] != m) return false;
    return true;
  };
  std::vector<std::vector<void*>> blocks(kThreads, std::vector<void*>(kBlocks));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kBlocks; i++) {
        void* p = HeapAlloc(heap, 0, kSmall);
        if (!p) {
          failures++;
          continue;
        }
        std::memset(p, mark(t, i), kSmall);
        // A short-lived block between, so that frees interleave with other threads' allocations.
        HeapFree(heap, 0, HeapAlloc(heap, 0, kLarge));
        void* grown = HeapReAlloc(heap, 0, p, kLarge);
        if (!grown || !whole(grown, kSmall, mark(t, i))) {
          failures++;
          blocks[t][i] = grown ? grown : p;
          continue;
        }
        std::memset(grown, mark(t, i), kLarge);
        blocks[t][i] = grown;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  // Only now, with every block still held, would an overlap show as a foreign mark.
  int damaged = 0;
  for (int t = 0; t < kThreads; t++)
    for (int i = 0; i < kBlocks; i++)
      if (blocks[t][i] && !whole(blocks[t][i], kLarge, mark(t, i))) damaged++;
  EXPECT_EQ(damaged, 0);
  for (auto& list : blocks) {
    for (void* p : list) {
      if (p) {
        EXPECT_TRUE(HeapFree(heap, 0, p));
      }
    }
  }
  HeapDestroy(heap);
}

TEST(CriticalSections, AreRecursiveAndExcludeOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  BOOL otherGotIt = TRUE;
  std::thread([&] { otherGotIt = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(otherGotIt);  // still held once
  LeaveCriticalSection(&cs);
  std::thread([&] {
    otherGotIt = TryEnterCriticalSection(&cs);
    if (otherGotIt) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_TRUE(otherGotIt);
  DeleteCriticalSection(&cs);
}

TEST(CriticalSections, ProtectASharedCounter) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; i++) {
        EnterCriticalSection(&cs);
        counter++;
        LeaveCriticalSection(&cs);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
  DeleteCriticalSection(&cs);
}

TEST(ThreadLocalStorage, EachThreadHasItsOwnValue) {
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  int mine = 1;
  int theirs = 2;
  EXPECT_TRUE(TlsSetValue(index, &mine));
  void* seenFirst = &mine;
  void* seenAfter = nullptr;
  std::thread([&] {
    seenFirst = TlsGetValue(index);
    TlsSetValue(index, &theirs);
    seenAfter = TlsGetValue(index);
  }).join();
  EXPECT_EQ(seenFirst, nullptr);
  EXPECT_EQ(seenAfter, &theirs);
  EXPECT_EQ(TlsGetValue(index), &mine);
  EXPECT_TRUE(TlsFree(index));
  EXPECT_FALSE(TlsFree(index));
}

std::atomic<int> onceRuns;
std::atomic<int> onceAttempts;

BOOL CALLBACK countOnce(PINIT_ONCE, LPVOID parameter, LPVOID*) {
  onceRuns++;
  Sleep(20);
  *static_cast<std::atomic<bool>*>(parameter) = true;
  return TRUE;
}

BOOL CALLBACK failFirst(PINIT_ONCE, LPVOID, LPVOID*) { return ++onceAttempts > 1; }

TEST(InitOnce, RunsOnceAcrossThreadsAndCallersWaitForIt) {
  INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  std::atomic<bool> done{false};
  std::atomic<int> early{0};
  onceRuns = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; t++) {
    threads.emplace_back([&] {
      EXPECT_TRUE(InitOnceExecuteOnce(&once, countOnce, &done, nullptr));
      if (!done) early++;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(onceRuns, 1);
  EXPECT_EQ(early, 0);
}

TEST(InitOnce, AFailedRunIsTriedAgain) {
  INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  onceAttempts = 0;
  EXPECT_FALSE(InitOnceExecuteOnce(&once, failFirst, nullptr, nullptr));
  EXPECT_TRUE(InitOnceExecuteOnce(&once, failFirst, nullptr, nullptr));
  EXPECT_TRUE(InitOnceExecuteOnce(&once, failFirst, nullptr, nullptr));
  EXPECT_EQ(onceAttempts, 2);
}

TEST(Modules, KernelIsFoundByAnySpellingAndHandsOutInitOnce) {
  for (const char* name : {"Kernel32.dll", "KERNEL32.DLL", "kernel32"}) {
    HMODULE kernel = LoadLibraryA(name);
    ASSERT_NE(kernel, nullptr) << name;
    FARPROC initOnce = GetProcAddress(kernel, "InitOnceExecuteOnce");
    ASSERT_NE(initOnce, nullptr);
#ifndef _WIN32
    // On Windows the program's own reference goes through an import thunk.
    EXPECT_EQ(reinterpret_cast<void*>(initOnce), reinterpret_cast<void*>(&InitOnceExecuteOnce));
#endif
    EXPECT_EQ(GetProcAddress(kernel, "NoSuchEntryPoint"), nullptr);
    EXPECT_TRUE(FreeLibrary(kernel));
  }
  EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
  EXPECT_EQ(LoadLibraryW(reinterpret_cast<const WCHAR*>(u"NoSuch")), nullptr);
  EXPECT_NE(LoadLibraryW(reinterpret_cast<const WCHAR*>(u"kernel32.dll")), nullptr);
}

#ifndef _WIN32
INT_PTR WINAPI answer() { return 42; }

TEST(Modules, RegisteredEntryPointsAreHandedOut) {
  Platform_RegisterProc("user32.dll", "TestOnlyAnswer", answer);
  HMODULE user = LoadLibraryA("USER32");
  FARPROC proc = GetProcAddress(user, "TestOnlyAnswer");
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(proc(), 42);
  EXPECT_EQ(GetProcAddress(LoadLibraryA("kernel32"), "TestOnlyAnswer"), nullptr);
}
#endif

}  // namespace
