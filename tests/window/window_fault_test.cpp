// Exhausted memory above the core: queueing, posting and binding events and
// opening windows fail at each of their allocations in turn, and every time the
// event queue, the bindings, the window registry and the current gadget list
// stay as they were, nothing stays allocated, and all of them work afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/win32.h"
#include "tests/support/fault.h"
#include "window/event.h"
#include "window/window.h"

#ifndef _WIN32
namespace {

std::vector<intptr_t> released;
void releaseRecorded(intptr_t data) { released.push_back(data); }

int boundRuns = 0;
void countRun() { boundRuns++; }

// The objects of every queued event, oldest first; the data of the last one
// taken is released too.
std::vector<ObjectNumber> drainObjects() {
  std::vector<ObjectNumber> objects;
  for (int i = 0; i < 1000; i++) {
    if (!Event_Next()) break;
    objects.push_back(Event_Gadget());
  }
  return objects;
}

// Dispatches the messages waiting for this thread (the posted-event window's among them).
void dispatchWaiting() {
  MSG message;
  for (int i = 0; i < 1000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); i++)
    DispatchMessageW(&message);
}

// The event and window libraries, up for the whole program as start-up brings them.
class Libraries : public testing::Environment {
 public:
  void SetUp() override {
    Event_Init();
    Window_Init();
  }
  void TearDown() override { Event_End(); }
};
testing::Environment* const libraries = testing::AddGlobalTestEnvironment(new Libraries);

class WindowFault : public testing::Test {
 protected:
  void SetUp() override {
    dispatchWaiting();
    drainObjects();
    released.clear();
    boundRuns = 0;
  }
  void TearDown() override {
    Window_End();
    Event_Purge(-1, -1, -1, -1);
  }
};

TEST_F(WindowFault, QueueingDropsOnlyTheEventsThatFoundNoMemoryAndReleasesTheirData) {
  // Forty events fill more than the queue's first block, so that it must grow.
  constexpr int kCount = 40;
  std::vector<ObjectNumber> seen;
  auto queueAll = [&] {
    released.clear();
    for (int i = 1; i <= kCount; i++) Event_Queue(EVENT_MENU, i, 0, 0, i, releaseRecorded, 0);
    seen = drainObjects();
    return seen.size() == kCount;
  };
  auto keptInOrderAndAllReleased = [&] {
    EXPECT_LT(seen.size(), static_cast<size_t>(kCount));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    std::vector<intptr_t> data = released;
    std::sort(data.begin(), data.end());
    std::vector<intptr_t> all(kCount);
    for (int i = 0; i < kCount; i++) all[i] = i + 1;
    EXPECT_EQ(data, all) << "each event's data is released exactly once, queued or dropped";
  };
  FaultRun run = Fault_EachAllocation(queueAll, keptInOrderAndAllReleased);
  EXPECT_GE(run.failures, 1);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kCount));
  // The queue still works.
  Event_Queue(EVENT_TIMER, 1, 0, 0, 0, nullptr, 0);
  Event_Queue(EVENT_TIMER, 2, 0, 0, 0, nullptr, 0);
  EXPECT_EQ(drainObjects(), (std::vector<ObjectNumber>{1, 2}));
}

TEST_F(WindowFault, APostThatFindsNoMemoryToBeSentOrQueuedLeavesNothingBehind) {
  // Fifteen queued events fill the queue's first block: delivering the posted
  // event needs a new one.
  std::vector<ObjectNumber> seen;
  auto postAndDeliver = [&] {
    for (int i = 1; i <= 15; i++) Event_Queue(EVENT_MENU, i, 0, 0, 0, nullptr, 0);
    const bool posted = Event_Post(EVENT_TIMER, 99, 0, 0, 0) == 1;
    dispatchWaiting();
    seen = drainObjects();
    return posted && std::count(seen.begin(), seen.end(), 99) == 1;
  };
  auto fillersKept = [&] {
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 99), 0);
    ASSERT_EQ(seen.size(), 15u);
    for (int i = 0; i < 15; i++) EXPECT_EQ(seen[i], i + 1);
  };
  FaultRun run = Fault_EachAllocation(postAndDeliver, fillersKept);
  EXPECT_EQ(run.failures, 2);  // the posted record, then the queue's block
  EXPECT_EQ(seen.size(), 16u);
  // Posting still works.
  ASSERT_EQ(Event_Post(EVENT_TIMER, 5, 0, 0, 0), 1);
  dispatchWaiting();
  EXPECT_EQ(drainObjects(), (std::vector<ObjectNumber>{5}));
}

TEST_F(WindowFault, ABindingThatFindsNoMemoryIsNotMadeAndTheOthersStillRun) {
  constexpr int32_t kCode = 70001;
  // Bound to the object and type of any window.
  ASSERT_EQ(Event_Bind(kCode, -1, 1, 0, countRun, 4), 1);
  auto bindAnother = [&] { return Event_Bind(kCode, -1, 2, 0, countRun, 5) == 1; };
  auto onlyTheFirstRuns = [&] {
    boundRuns = 0;
    Event_Queue(kCode, 1, 0, 0, 0, nullptr, 0);
    Event_Queue(kCode, 2, 0, 0, 0, nullptr, 0);
    drainObjects();
    EXPECT_EQ(boundRuns, 1);
  };
  FaultRun run = Fault_EachAllocation(bindAnother, onlyTheFirstRuns);
  EXPECT_GE(run.failures, 2);  // the callback's node, then the binding's key
  boundRuns = 0;
  Event_Queue(kCode, 1, 0, 0, 0, nullptr, 0);
  Event_Queue(kCode, 2, 0, 0, 0, nullptr, 0);
  drainObjects();
  EXPECT_EQ(boundRuns, 2);
  Event_UnbindWindow(4);
  Event_UnbindWindow(5);
}

TEST_F(WindowFault, AWindowThatFindsNoMemoryIsNotOpenedAndTheGadgetListStays) {
  HWND first = reinterpret_cast<HWND>(Window_Open(1, 0, 0, 200, 100, u"First", WINDOW_INVISIBLE));
  ASSERT_NE(first, nullptr);
  for (ObjectNumber number : {ObjectNumber{7}, ObjectNumber{300}, ObjectNumber{OBJECT_ANY}}) {
    // A numbered slot keeps its record once made: make it before counting.
    if (number != OBJECT_ANY) {
      ASSERT_NE(Window_Open(number, 0, 0, 10, 10, u"Slot", WINDOW_INVISIBLE | WINDOW_NO_GADGETS), 0);
      Window_Close(number);
    }
    intptr_t opened = 0;
    auto open = [&] {
      return (opened = Window_Open(number, 0, 0, 200, 100, u"Second", WINDOW_INVISIBLE)) != 0;
    };
    auto asBefore = [&] {
      if (number != OBJECT_ANY) {
        EXPECT_EQ(Window_GetRecord(number), nullptr);
      }
      EXPECT_EQ(Window_GadgetState()->listWindow, first);
      EXPECT_EQ(Window_FromHandle(first, nullptr), 1);
      EXPECT_EQ(FindWindowW(nullptr, W(u"Second")), nullptr) << "no window is left behind";
    };
    FaultRun run = Fault_EachAllocation(open, asBefore);
    EXPECT_GE(run.failures, 2) << number;  // the record, the accelerators, the list record
    const ObjectNumber made = number == OBJECT_ANY ? static_cast<ObjectNumber>(opened) : number;
    ASSERT_NE(Window_GetRecord(made), nullptr);
    HWND second = Window_GetRecord(made)->handle;
    EXPECT_EQ(Window_GadgetState()->listWindow, second);
    EXPECT_EQ(Window_FromHandle(second, nullptr), made);
    EXPECT_EQ(Window_Close(made), 1);
    Window_SetGadgetList(first);
  }
}

}  // namespace
#endif
