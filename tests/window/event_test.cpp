// Tests of the event queue and wait: merging, suppression, data release, purging, bindings, posted
// events, the order of events and messages, and the events each window message becomes.
#include "window/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/heap.h"
#include "platform/win32.h"
#include "window/window.h"

namespace {

using Seen = std::tuple<int32_t, ObjectNumber, ObjectNumber, int32_t>;  // code, object, window, type

// Takes every queued event, oldest first (the message queue is not touched).
std::vector<Seen> drainEvents() {
  std::vector<Seen> seen;
  while (const int32_t code = Event_Next())
    seen.emplace_back(code, Event_Gadget(), Event_Window(), Event_Type());
  return seen;
}

std::vector<intptr_t> released;
void releaseRecorded(intptr_t data) { released.push_back(data); }

class EventTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Event_Init();
    Window_Init();
  }
  static void TearDownTestSuite() { Event_End(); }

  void SetUp() override {
    // Whatever an earlier test left in either queue.
    for (int i = 0; i < 1000 && Event_WaitTimeout(0); i++) {
    }
    Event_Next();
    released.clear();
  }
  void TearDown() override {
    Window_End();
    Window_NotifyGadget = nullptr;
    Event_Purge(-1, -1, -1, -1);
  }

  // A hidden window of this thread whose messages reach Window_Proc.
  static HWND openHidden(ObjectNumber number) {
    return reinterpret_cast<HWND>(
        Window_Open(number, 0, 0, 200, 100, u"Events", WINDOW_INVISIBLE | WINDOW_NO_GADGETS | WS_SYSMENU));
  }
};

TEST_F(EventTest, IdenticalEventsInARowAreMergedOthersKeptInOrder) {
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 0, 0, 0, nullptr, 0);
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 0, 0, 0, nullptr, 0);  // a second click before the wait
  Event_Queue(EVENT_GADGET_ACTIVITY, 4, 0, 0, 0, nullptr, 0);  // another button
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 0, 0, 0, nullptr, 0);  // not next to its twin
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 0, 1, 0, nullptr, 0);  // another type
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 1, 1, 0, nullptr, 0);  // another window
  Event_Queue(70000, 1, 0, 0, 0, nullptr, 0);                  // codes past 65535 are never merged
  Event_Queue(70000, 1, 0, 0, 0, nullptr, 0);
  EXPECT_EQ(drainEvents(), (std::vector<Seen>{{EVENT_GADGET_ACTIVITY, 3, 0, 0},
                                              {EVENT_GADGET_ACTIVITY, 4, 0, 0},
                                              {EVENT_GADGET_ACTIVITY, 3, 0, 0},
                                              {EVENT_GADGET_ACTIVITY, 3, 0, 1},
                                              {EVENT_GADGET_ACTIVITY, 3, 1, 1},
                                              {70000, 1, 0, 0},
                                              {70000, 1, 0, 0}}));
}

TEST_F(EventTest, SuppressedEventsAreDroppedUnlessForcedAndTheirDataIsReleased) {
  Event_Suppress();
  Event_Suppress();
  Event_Queue(EVENT_GADGET_ACTIVITY, 1, 0, 0x300, 11, releaseRecorded, 0);
  Event_Queue(EVENT_MENU, 2, 0, 0, 0, nullptr, EVENT_FLAG_FORCE);
  Event_Resume();
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 0, 0, 0, nullptr, 0);  // still suppressed once
  Event_Resume();
  Event_Queue(EVENT_GADGET_ACTIVITY, 4, 0, 0, 0, nullptr, 0);
  EXPECT_EQ(released, (std::vector<intptr_t>{11}));
  EXPECT_EQ(drainEvents(), (std::vector<Seen>{{EVENT_MENU, 2, 0, 0}, {EVENT_GADGET_ACTIVITY, 4, 0, 0}}));
}

TEST_F(EventTest, TheCurrentEventKeepsItsDataUntilTheNextOneAndTheObjectOutlivesAnEmptyQueue) {
  Event_Queue(EVENT_MENU, 42, 2, 7, 99, releaseRecorded, 0);
  Event_Queue(EVENT_MENU, 42, 2, 7, 98, releaseRecorded, 0);  // merged: its own data is released at once
  EXPECT_EQ(released, (std::vector<intptr_t>{98}));
  ASSERT_EQ(Event_Next(), EVENT_MENU);
  EXPECT_EQ(Event_Gadget(), 42);
  EXPECT_EQ(Event_Window(), 2);
  EXPECT_EQ(Event_Type(), 7);
  EXPECT_EQ(Event_Data(), 99);
  EXPECT_EQ(released.size(), 1u);

  EXPECT_EQ(Event_Next(), 0);
  EXPECT_EQ(released, (std::vector<intptr_t>{98, 99}));
  EXPECT_EQ(Event_Data(), 0);
  EXPECT_EQ(Event_Type(), -1);
  EXPECT_EQ(Event_Gadget(), 42);
  EXPECT_EQ(Event_Next(), 0);
  EXPECT_EQ(released.size(), 2u);
}

TEST_F(EventTest, PurgingRemovesMatchingEventsAndKeepsTheOthersInOrder) {
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 0, 1, 0, nullptr, 0);
  Event_Queue(EVENT_GADGET_ACTIVITY, 4, 0, 1, 0, nullptr, 0);
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 1, 2, 5, releaseRecorded, 0);
  Event_Queue(EVENT_MENU, 3, 0, 0, 0, nullptr, 0);
  Event_Queue(EVENT_GADGET_ACTIVITY, 3, 0, 5, 0, nullptr, 0);
  Event_Purge(EVENT_GADGET_ACTIVITY, 3, -1, -1);
  EXPECT_EQ(released, (std::vector<intptr_t>{5}));
  // The tail was purged: a new event must still join the queue behind the survivors.
  Event_Queue(EVENT_TIMER, 1, 1, 0, 0, nullptr, 0);
  Event_Queue(EVENT_TIMER, 2, 0, 0, 0, nullptr, 0);
  Event_PurgeWindow(1);
  Event_Queue(EVENT_TIMER, 2, 0, 0, 0, nullptr, 0);  // the same as the tail: merged
  EXPECT_EQ(
      drainEvents(),
      (std::vector<Seen>{{EVENT_GADGET_ACTIVITY, 4, 0, 1}, {EVENT_MENU, 3, 0, 0}, {EVENT_TIMER, 2, 0, 0}}));
  Event_Queue(EVENT_TIMER, 9, 3, 0, 0, nullptr, 0);
  Event_Purge(-1, -1, -1, -1);
  EXPECT_EQ(Event_Next(), 0);
}

std::vector<std::pair<int, ObjectNumber>> calls;
void bound1() { calls.emplace_back(1, Event_Gadget()); }
void bound2() { calls.emplace_back(2, Event_Gadget()); }
void bound3() { calls.emplace_back(3, Event_Gadget()); }
void bound4() { calls.emplace_back(4, Event_Gadget()); }
void bound5() { calls.emplace_back(5, Event_Gadget()); }
void bound6() { calls.emplace_back(6, Event_Gadget()); }
void boundElsewhere() { calls.emplace_back(9, Event_Gadget()); }

TEST_F(EventTest, BindingsRunForTheFiveKeysInOrderWithTheEventCurrent) {
  calls.clear();
  const int32_t code = EVENT_GADGET_ACTIVITY;
  // Bound in reverse, so that the order of the calls is the order of the keys.
  ASSERT_TRUE(Event_Bind(code, -1, 8, 3, bound5, 0));
  ASSERT_TRUE(Event_Bind(code, -1, -1, -1, bound4, 0));
  ASSERT_TRUE(Event_Bind(code, 0, -1, -1, bound3, 1));
  ASSERT_TRUE(Event_Bind(code, 0, 8, -1, bound2, 1));
  ASSERT_TRUE(Event_Bind(code, 0, 8, 3, bound1, 0));
  ASSERT_TRUE(Event_Bind(code, 0, 8, 3, bound6, 0));  // a second callback of one key runs after the first
  ASSERT_TRUE(Event_Bind(code, -1, 8, -1, boundElsewhere, 0));  // not one of the five keys
  ASSERT_TRUE(Event_Bind(EVENT_MENU, -1, -1, -1, boundElsewhere, 0));

  Event_Queue(EVENT_TIMER, 77, 0, 0, 0, nullptr, 0);
  ASSERT_EQ(Event_Next(), EVENT_TIMER);  // current while the callbacks run: restored afterwards
  Event_Queue(code, 8, 0, 3, 0, nullptr, 0);
  const std::vector<std::pair<int, ObjectNumber>> all = {{1, 8}, {6, 8}, {2, 8}, {3, 8}, {4, 8}, {5, 8}};
  EXPECT_EQ(calls, all);
  EXPECT_EQ(Event_Gadget(), 77);
  EXPECT_EQ(Event_Type(), 0);

  calls.clear();
  Event_Queue(code, 8, 0, 3, 0, nullptr, 0);  // merged, and still announced
  EXPECT_EQ(calls, all);

  calls.clear();
  Event_Suppress();
  Event_Queue(code, 8, 0, 3, 0, nullptr, 0);
  Event_Resume();
  EXPECT_TRUE(calls.empty());

  // The bindings of window 0 go; those of window 1 stay.
  Event_UnbindWindow(0);
  calls.clear();
  Event_Queue(code, 8, 0, 3, 0, nullptr, 0);
  EXPECT_EQ(calls, (std::vector<std::pair<int, ObjectNumber>>{{2, 8}, {3, 8}}));
  Event_UnbindWindow(1);
  calls.clear();
  Event_Queue(code, 8, 0, 4, 0, nullptr, 0);
  EXPECT_TRUE(calls.empty());
  drainEvents();
}

void closingWindow0() {
  calls.emplace_back(10, Event_Gadget());
  Window_Close(0);
}
void unbindingWindow1() {
  calls.emplace_back(11, Event_Gadget());
  Event_UnbindWindow(1);
}

// A callback that closes its window, or unbinds, frees the list being walked:
// the remaining callbacks of its entry are skipped, other entries still run,
// and nothing freed is touched (the address sanitizer watches this case).
TEST_F(EventTest, ACallbackThatClosesItsWindowOrUnbindsEndsItsEntrysWalk) {
  calls.clear();
  ASSERT_NE(openHidden(0), nullptr);
  const int32_t code = EVENT_GADGET_ACTIVITY;
  ASSERT_TRUE(Event_Bind(code, 0, 8, 3, closingWindow0, 0));
  ASSERT_TRUE(Event_Bind(code, 0, 8, 3, bound1, 0));     // same entry, after the closing one: skipped
  ASSERT_TRUE(Event_Bind(code, 0, 8, -1, bound2, 0));    // window 0's next entry: unbound by then
  ASSERT_TRUE(Event_Bind(code, -1, -1, -1, bound4, 1));  // another window's binding still runs
  Event_Queue(code, 8, 0, 3, 0, nullptr, 0);
  EXPECT_EQ(calls, (std::vector<std::pair<int, ObjectNumber>>{{10, 8}, {4, 8}}));
  EXPECT_EQ(Window_GetRecord(0), nullptr);

  calls.clear();
  ASSERT_TRUE(Event_Bind(code, -1, -1, -1, unbindingWindow1, 1));
  ASSERT_TRUE(Event_Bind(code, -1, -1, -1, bound5, 1));
  Event_Queue(code, 9, 0, 3, 0, nullptr, 0);
  // bound4 was first in that entry, then the unbinding callback; bound5 is skipped.
  EXPECT_EQ(calls, (std::vector<std::pair<int, ObjectNumber>>{{4, 9}, {11, 9}}));
  calls.clear();
  Event_Queue(code, 10, 0, 3, 0, nullptr, 0);
  EXPECT_TRUE(calls.empty());

  // Binding again afterwards works as before.
  ASSERT_TRUE(Event_Bind(code, -1, -1, -1, bound6, 2));
  Event_Queue(code, 11, 0, 3, 0, nullptr, 0);
  EXPECT_EQ(calls, (std::vector<std::pair<int, ObjectNumber>>{{6, 11}}));
  Event_UnbindWindow(2);
  drainEvents();
}

TEST_F(EventTest, QueuedEventsComeBeforeNewMessagesWhichKeepTheirParameters) {
  HWND window = openHidden(0);
  ASSERT_NE(window, nullptr);
  const UINT message = WM_USER + 5;
  ASSERT_TRUE(PostMessageW(window, message, 11, 22));
  Event_Queue(EVENT_MENU, 1, 0, 0, 0, nullptr, 0);
  Event_Queue(EVENT_MENU, 2, 0, 0, 0, nullptr, 0);

  EXPECT_EQ(Event_WaitTimeout(0), EVENT_MENU);
  EXPECT_EQ(Event_Gadget(), 1);
  EXPECT_EQ(Window_GetState()->lastWParam, 0u);
  EXPECT_EQ(Event_WaitTimeout(-1), EVENT_MENU);
  EXPECT_EQ(Event_Gadget(), 2);
  EXPECT_EQ(Event_WaitTimeout(0), static_cast<int32_t>(message));
  EXPECT_EQ(Event_Type(), -1);
  EXPECT_EQ(Window_GetState()->lastWParam, 11u);
  EXPECT_EQ(Window_GetState()->lastLParam, 22);
}

TEST_F(EventTest, MessageCodesNeverEqualEventCodes) {
  HWND window = openHidden(0);
  ASSERT_NE(window, nullptr);
  for (int32_t code = EVENT_FIRST; code <= EVENT_LAST; code++) {
    ASSERT_TRUE(PostMessageW(window, static_cast<UINT>(code), 0, 0));
    int32_t returned = 0;
    for (int i = 0; i < 100 && !returned; i++) returned = Event_WaitTimeout(0);
    EXPECT_NE(returned, code);
    EXPECT_EQ(returned, code + EVENT_MESSAGE_ALIAS);
    EXPECT_EQ(Event_Next(), 0) << "a message numbered like an event queued an event";
  }
  ASSERT_TRUE(PostMessageW(window, WM_USER + 1, 0, 0));
  EXPECT_EQ(Event_WaitTimeout(0), WM_USER + 1);
}

TEST_F(EventTest, ATimedWaitEndsWithZeroOrWithTheMessageThatCame) {
  EXPECT_EQ(Event_WaitTimeout(0), 0);
  EXPECT_EQ(Event_WaitTimeout(20), 0);
  HWND window = openHidden(0);
  ASSERT_NE(window, nullptr);
  std::thread sender([window] {
    Sleep(20);
    PostMessageW(window, WM_USER + 9, 0, 0);
  });
  int32_t code = 0;
  for (int i = 0; i < 10 && code != WM_USER + 9; i++) code = Event_WaitTimeout(5000);
  sender.join();
  EXPECT_EQ(code, WM_USER + 9);
}

TEST_F(EventTest, AnEventQueuedByASentMessageEndsTheWait) {
  // A message sent from another thread runs inside the wait without being
  // returned; the event it queues must end the wait all the same.
  HWND window = openHidden(0);
  ASSERT_NE(window, nullptr);
  std::atomic<bool> answered{false};
  std::atomic<bool> returned{false};
  std::thread sender([&] {
    SendMessageW(window, WM_TIMER, 5, 0);
    answered = true;
    // A backstop, so that a wait that missed the event still ends.
    for (int i = 0; i < 200 && !returned; i++) Sleep(10);
    if (!returned) PostMessageW(window, WM_USER + 3, 0, 0);
  });
  const int32_t code = Event_WaitTimeout(-1);
  const ObjectNumber timer = Event_Gadget();
  returned = true;
  sender.join();
  EXPECT_TRUE(answered.load());
  EXPECT_EQ(code, EVENT_TIMER);
  EXPECT_EQ(timer, 5);

  // The same during a timed wait.
  drainEvents();
  std::atomic<bool> sent{false};
  std::thread again([&] {
    SendMessageW(window, WM_TIMER, 6, 0);
    sent = true;
  });
  const int32_t timed = Event_WaitTimeout(5000);
  EXPECT_EQ(timed, EVENT_TIMER);
  EXPECT_EQ(Event_Gadget(), 6);
  // The sender waits for its answer: keep taking messages until it has it.
  for (int i = 0; i < 500 && !sent; i++) Event_WaitTimeout(10);
  again.join();
}

TEST_F(EventTest, EventsPostedFromAnotherThreadArriveForcedAndInOrder) {
  constexpr int kCount = 300;
  Event_Suppress();  // posted events are queued even now
  std::atomic<int> posted{0};
  std::thread poster([&] {
    for (int i = 0; i < kCount; i++) posted += Event_Post(EVENT_MENU, i, 4, 1, 0);
    posted += Event_Post(EVENT_TIMER, 5, 6, 7, 0);
  });
  poster.join();
  EXPECT_EQ(posted.load(), kCount + 1);

  std::vector<Seen> seen;
  for (int i = 0; i < 10 * kCount && static_cast<int>(seen.size()) < kCount + 1; i++) {
    const int32_t code = Event_WaitTimeout(1000);
    if (code == EVENT_MENU || code == EVENT_TIMER)
      seen.emplace_back(code, Event_Gadget(), Event_Window(), Event_Type());
  }
  Event_Resume();
  ASSERT_EQ(seen.size(), static_cast<size_t>(kCount + 1));
  for (int i = 0; i < kCount; i++) EXPECT_EQ(seen[i], Seen(EVENT_MENU, i, 4, 1));
  EXPECT_EQ(seen[kCount], Seen(EVENT_TIMER, 5, 6, 7));
}

// Dispatches every message now in this thread's queue (bounded), then takes
// every queued event, whatever its code.
std::vector<Seen> dispatchAndDrain() {
  MSG msg;
  for (int i = 0; i < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); i++) DispatchMessageW(&msg);
  return drainEvents();
}

// The lParam of the next posted-event message in this thread's queue, left there.
LPARAM peekPostedRecord() {
  MSG msg{};
  const UINT registered = RegisterWindowMessageW(W(u"RT_PostEventMessage"));
  for (int i = 0; i < 200; i++) {
    if (PeekMessageW(&msg, nullptr, registered, registered, PM_NOREMOVE) && msg.lParam) return msg.lParam;
    Sleep(5);
  }
  return 0;
}

// Another thread (or program) can post the registered message with any lParam:
// a record it made itself, an address of no record, or a record of ours that
// was already taken. None of them is read or released; the posts of
// Event_Post still arrive.
TEST_F(EventTest, APostedRecordThatEventPostDidNotMakeOrThatWasTakenIsIgnored) {
  HWND target = FindWindowW(W(u"PostEventClass"), nullptr);
  ASSERT_NE(target, nullptr);
  const UINT registered = RegisterWindowMessageW(W(u"RT_PostEventMessage"));

  // A genuine post, and the address of its record once it is taken.
  ASSERT_EQ(Event_Post(EVENT_MENU, 1, 2, 3, 0), 1);
  const LPARAM taken = peekPostedRecord();
  ASSERT_NE(taken, 0);
  EXPECT_EQ(dispatchAndDrain(), (std::vector<Seen>{{EVENT_MENU, 1, 2, 3}}));

  // A record laid out as the contract says, made by a sender outside the library.
  auto* forged = static_cast<EventPost*>(Heap_Alloc(sizeof(EventPost)));
  ASSERT_NE(forged, nullptr);
  forged->code = EVENT_TIMER;
  forged->object = 5;
  forged->window = 6;
  forged->type = 7;
  static EventPost notOnTheHeap{0, EVENT_TIMER, 0, 8, 8, 8, 0};
  std::thread forger([&] {
    PostMessageW(target, registered, 0, reinterpret_cast<LPARAM>(forged));
    PostMessageW(target, registered, 0, reinterpret_cast<LPARAM>(&notOnTheHeap));
    PostMessageW(target, registered, 0, taken);  // a replay: the record was released
    PostMessageW(target, registered, 0, static_cast<LPARAM>(0x12345670));
    PostMessageW(target, registered, 0, static_cast<LPARAM>(-16));
    Event_Post(EVENT_MENU, 9, 9, 9, 0);  // after the forged ones in the same queue
  });
  forger.join();
  EXPECT_EQ(dispatchAndDrain(), (std::vector<Seen>{{EVENT_MENU, 9, 9, 9}}));
  // The forged record was neither read into an event nor released.
  EXPECT_EQ(forged->code, EVENT_TIMER);
  Heap_Free(forged);
}

#ifdef _WIN32
// The forging program of the case below: posts the registered message to the
// window and with the lParams named in its environment, then ends. Run only
// as that case's second process.
TEST(EventForger, DISABLED_PostsWhatItsEnvironmentNames) {
  char buffer[256] = {};
  ASSERT_GT(GetEnvironmentVariableA("TILEPOST_FORGE", buffer, sizeof buffer), 0u);
  unsigned long long window = 0, taken = 0;
  ASSERT_EQ(sscanf(buffer, "%llu:%llu", &window, &taken), 2);
  HWND target = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
  const UINT registered = RegisterWindowMessageW(L"RT_PostEventMessage");
  for (LPARAM lParam : {static_cast<LPARAM>(taken), static_cast<LPARAM>(0x12345670), static_cast<LPARAM>(-16),
                        static_cast<LPARAM>(0x10000)})
    EXPECT_TRUE(PostMessageW(target, registered, 0, lParam));
}

// The same from a second process, which can name any address of ours.
TEST_F(EventTest, APostFromAnotherProgramIsIgnored) {
  HWND target = FindWindowW(L"PostEventClass", nullptr);
  ASSERT_NE(target, nullptr);
  ASSERT_EQ(Event_Post(EVENT_MENU, 1, 2, 3, 0), 1);
  const LPARAM taken = peekPostedRecord();
  ASSERT_NE(taken, 0);
  EXPECT_EQ(dispatchAndDrain(), (std::vector<Seen>{{EVENT_MENU, 1, 2, 3}}));

  char variable[128];
  snprintf(variable, sizeof variable, "%llu:%llu",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(target)),
           static_cast<unsigned long long>(static_cast<uintptr_t>(taken)));
  ASSERT_TRUE(SetEnvironmentVariableA("TILEPOST_FORGE", variable));
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring commandLine = std::wstring(L"\"") + self +
                             L"\" --gtest_also_run_disabled_tests --gtest_filter=EventForger.DISABLED_*";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  SetEnvironmentVariableA("TILEPOST_FORGE", nullptr);
  // Bounded: a second program under Wine starts in a few seconds.
  const DWORD waited = WaitForSingleObject(process.hProcess, 120000);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0);
  EXPECT_EQ(exitCode, 0u);
  // Its posts are queued before this one.
  ASSERT_EQ(Event_Post(EVENT_MENU, 9, 9, 9, 0), 1);
  EXPECT_EQ(dispatchAndDrain(), (std::vector<Seen>{{EVENT_MENU, 9, 9, 9}}));
}
#endif

TEST_F(EventTest, WindowMessagesBecomeTheirEvents) {
  HWND window = openHidden(0);
  ASSERT_NE(window, nullptr);
  HINSTANCE module = GetModuleHandleW(nullptr);
  HWND button = CreateWindowExW(0, W(u"Button"), W(u"b"), WS_CHILD, 0, 0, 10, 10, window,
                                reinterpret_cast<HMENU>(7), module, nullptr);
  HWND menuLike = CreateWindowExW(0, W(u"Button"), W(u"m"), WS_CHILD, 0, 0, 10, 10, window,
                                  reinterpret_cast<HMENU>(static_cast<intptr_t>(-10000)), module, nullptr);
  ASSERT_TRUE(button && menuLike);
  drainEvents();

  EXPECT_EQ(SendMessageW(window, WM_COMMAND, MAKEWPARAM(7, 5), reinterpret_cast<LPARAM>(button)), 0);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(31, 0), reinterpret_cast<LPARAM>(menuLike));
  SendMessageW(window, WM_COMMAND, 300, 0);                                       // a menu
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(500, 1), 0);                        // another keyboard shortcut
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(WINDOW_COMMAND_FOCUS_NEXT, 1), 0);  // Tab: no event
  SendMessageW(window, WM_TIMER, 3, 0);
  SendMessageW(window, WM_LBUTTONUP, 0, 0);
  SendMessageW(window, WM_LBUTTONDBLCLK, 0, 0);
  SendMessageW(window, WM_RBUTTONUP, 0, 0);
  SendMessageW(window, WM_MOVE, 0, MAKELPARAM(3, 4));
  EXPECT_EQ(SendMessageW(window, WINDOW_MESSAGE_TRAY, 2, WM_RBUTTONDBLCLK), 0);
  SendMessageW(window, WINDOW_MESSAGE_TRAY, 2, WM_MOUSEMOVE);  // not a click: no event
  EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
  SendMessageW(window, WM_SIZE, SIZE_MINIMIZED, 0);
  SendMessageW(window, WM_SIZE, SIZE_RESTORED, 0);
  SendMessageW(window, WM_SIZE, SIZE_RESTORED, 0);  // not marked any more: only the size event, merged
  SendMessageW(window, WM_SIZE, SIZE_MAXIMIZED, 0);
  HDC dc = GetDC(window);
  SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  ReleaseDC(window, dc);

  EXPECT_EQ(drainEvents(), (std::vector<Seen>{{EVENT_GADGET_ACTIVITY, 7, 0, 5},
                                              {EVENT_MENU, 31, 0, 0},
                                              {EVENT_MENU, 300, 0, 0},
                                              {EVENT_MENU, 500, 0, 0},
                                              {EVENT_TIMER, 3, 0, 0},
                                              {EVENT_LEFT_CLICK, 0, 0, 0},
                                              {EVENT_LEFT_DOUBLE_CLICK, 0, 0, 0},
                                              {EVENT_RIGHT_CLICK, 0, 0, 0},
                                              {EVENT_WINDOW_MOVE, 0, 0, 0},
                                              {EVENT_TRAY, 2, 0, 3},
                                              {EVENT_WINDOW_CLOSE, 0, 0, 0},
                                              {EVENT_MINIMIZE, 0, 0, 0},
                                              {EVENT_RESTORE, 0, 0, 0},
                                              {EVENT_WINDOW_SIZE, 0, 0, 0},
                                              {EVENT_MAXIMIZE, 0, 0, 0},
                                              {EVENT_WINDOW_SIZE, 0, 0, 0},
                                              {EVENT_REPAINT, 0, 0, 0}}));
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(Window_GetRecord(0)->sizeMark, 1);

  // The tray callback posted WM_NULL to the window.
  MSG msg;
  bool sawNull = false;
  while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) sawNull |= msg.message == WM_NULL;
  EXPECT_TRUE(sawNull);
}

TEST_F(EventTest, AWindowOfNoNumberQueuesNoWindowEvents) {
  // A window of the class procedure that carries no number, as during its creation.
  HWND window = openHidden(0);
  ASSERT_NE(window, nullptr);
  RemovePropW(window, W(u"RT_WindowID"));
  drainEvents();
  SendMessageW(window, WM_CLOSE, 0, 0);
  SendMessageW(window, WM_MOVE, 0, 0);
  SendMessageW(window, WM_SIZE, SIZE_MAXIMIZED, 0);
  SendMessageW(window, WM_TIMER, 1, 0);
  SendMessageW(window, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(drainEvents(), (std::vector<Seen>{{EVENT_LEFT_CLICK, 0, -1, 0}}));
  SetPropW(window, W(u"RT_WindowID"), reinterpret_cast<HANDLE>(1));
}

HWND answeredChild = nullptr;
std::vector<UINT> offered;
LRESULT testNotify(HWND child, HWND parent, UINT message, WPARAM, LPARAM) {
  offered.push_back(message);
  if (child != answeredChild) return NOTIFY_NOT_HANDLED;
  return message == WM_CTLCOLORSTATIC ? 0x1234 : 1;
}

TEST_F(EventTest, GadgetsAnswerTheirParentsMessagesOrLeaveThemToTheDefault) {
  HWND window = openHidden(0);
  ASSERT_NE(window, nullptr);
  HINSTANCE module = GetModuleHandleW(nullptr);
  answeredChild = CreateWindowExW(0, W(u"Static"), W(u""), WS_CHILD, 0, 0, 10, 10, window,
                                  reinterpret_cast<HMENU>(1), module, nullptr);
  HWND other = CreateWindowExW(0, W(u"Static"), W(u""), WS_CHILD, 0, 0, 10, 10, window,
                               reinterpret_cast<HMENU>(2), module, nullptr);
  Window_NotifyGadget = testNotify;
  offered.clear();
  drainEvents();

  HDC dc = GetDC(window);
  EXPECT_EQ(SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(answeredChild)),
            0x1234);
  // Declined: the window system's default colour answer, a brush.
  EXPECT_NE(
      SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(other)),
      NOTIFY_NOT_HANDLED);
  ReleaseDC(window, dc);
  NMHDR header = {answeredChild, 1, 0};
  EXPECT_EQ(SendMessageW(window, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&header)), 1);
  EXPECT_EQ(SendMessageW(window, WINDOW_MESSAGE_GADGET, 0, reinterpret_cast<LPARAM>(answeredChild)), 1);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(1, 0),
               reinterpret_cast<LPARAM>(answeredChild));  // answered: no event
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(2, 0), reinterpret_cast<LPARAM>(other));
  EXPECT_EQ(offered, (std::vector<UINT>{WM_CTLCOLORSTATIC, WM_CTLCOLORSTATIC, WM_NOTIFY,
                                        WINDOW_MESSAGE_GADGET, WM_COMMAND, WM_COMMAND}));
  EXPECT_EQ(drainEvents(), (std::vector<Seen>{{EVENT_GADGET_ACTIVITY, 2, 0, 0}}));
}

TEST_F(EventTest, TrackingLimitsAndTheBackgroundBrushApply) {
  HWND window = openHidden(0);
  HWND tool = reinterpret_cast<HWND>(
      Window_Open(1, 0, 0, 100, 50, u"Tool", WINDOW_TOOL | WINDOW_INVISIBLE | WINDOW_NO_GADGETS));
  ASSERT_TRUE(window && tool);
  WindowRecord* record = Window_GetRecord(0);
  record->minWidth = 300;
  record->maxHeight = 400;
  MINMAXINFO info = {};
  info.ptMinTrackSize = {10, 11};
  info.ptMaxTrackSize = {1000, 1001};
  EXPECT_EQ(SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, 300);
  EXPECT_EQ(info.ptMinTrackSize.y, 11);
  EXPECT_EQ(info.ptMaxTrackSize.x, 1000);
  EXPECT_EQ(info.ptMaxTrackSize.y, 400);
  info.ptMinTrackSize = {10, 11};
  SendMessageW(tool, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 1);

  record->backgroundBrush = CreateSolidBrush(RGB(1, 2, 3));
  HDC dc = GetDC(window);
  EXPECT_EQ(SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  ReleaseDC(window, dc);
  EXPECT_EQ(Window_Close(0), 1);  // takes the brush with it
}

}  // namespace
