// Message queues of the substitute: retrieval order, posting from other
// threads, sending across threads, waits with time-outs, paint pacing,
// timers, WM_QUIT, keyboard state and accelerators.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/simuser.h"
#include "platform/win32.h"
#include "tests/platform/user_support.h"

namespace {

class Messages : public testing::Test {
 protected:
  void SetUp() override {
    RegisterRecorder();
    Log().clear();
    PumpPending();
  }
};

TEST_F(Messages, RetrievalOrderIsPostedThenInputThenPaintThenTimer) {
  HWND w = MakeTop();
  ShowWindow(w, SW_SHOW);  // now invalid, and the foreground window
  SetTimer(w, 5, 10, nullptr);
  ASSERT_TRUE(SimUser_Press('A'));
  PostMessageW(w, WM_USER, 1, 0);
  PostMessageW(w, WM_USER, 2, 0);
  Sleep(30);
  std::vector<UINT> order;
  MSG m;
  for (int i = 0; i < 6 && GetMessageW(&m, nullptr, 0, 0); i++) {
    order.push_back(m.message);
    if (m.message == WM_USER) {
      EXPECT_EQ(m.wParam, static_cast<WPARAM>(order.size()));
    }
    DispatchMessageW(&m);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER, WM_USER, WM_KEYDOWN, WM_KEYUP, WM_PAINT, WM_TIMER}));
  KillTimer(w, 5);
  DestroyWindow(w);
}

TEST_F(Messages, PostingFromManyThreadsKeepsEachThreadsOrder) {
  HWND w = MakeTop();
  constexpr int kThreads = 4, kEach = 500;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; t++)
    posters.emplace_back([=] {
      for (int i = 0; i < kEach; i++)
        while (!PostMessageW(w, WM_USER, static_cast<WPARAM>(t), i)) Sleep(1);
    });
  std::vector<int> next(kThreads, 0);
  int received = 0;
  bool ordered = true;
  MSG m;
  // Only this loop takes the posted messages (a general pump would dispatch
  // some of them uncounted); it waits for more, bounded.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (received < kThreads * kEach && std::chrono::steady_clock::now() < deadline) {
    while (PeekMessageW(&m, w, WM_USER, WM_USER, PM_REMOVE)) {
      if (m.lParam != next[m.wParam]++) ordered = false;
      received++;
    }
    if (received < kThreads * kEach) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  for (auto& t : posters) t.join();
  EXPECT_EQ(received, kThreads * kEach);
  EXPECT_TRUE(ordered);
  DestroyWindow(w);
}

std::atomic<DWORD> procThread;
std::atomic<bool> inSend;
LRESULT CALLBACK Answering(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER) {
    procThread = GetCurrentThreadId();
    inSend = InSendMessage();
    return static_cast<LRESULT>(wp * 2);
  }
  return DefWindowProcW(w, m, wp, lp);
}

TEST_F(Messages, SendingFromAnotherThreadRunsTheProcedureOnTheOwningThread) {
  RegisterProcClass(u"Answering", Answering);
  HWND w = MakeTopOf(u"Answering");
  std::atomic<LRESULT> result{0};
  std::atomic<bool> done{false};
  std::thread sender([&] {
    result = SendMessageW(w, WM_USER, 21, 0);
    done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
  sender.join();
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(procThread.load(), GetCurrentThreadId());
  EXPECT_TRUE(inSend.load());
  // On the owning thread the call is direct.
  EXPECT_EQ(SendMessageW(w, WM_USER, 5, 0), 10);
  EXPECT_FALSE(inSend.load());
  DestroyWindow(w);
  UnregisterClassW(W(u"Answering"), nullptr);
}

TEST_F(Messages, MsgWaitTimesOutOnAnEmptyQueueAndWakesForAPost) {
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD self = GetCurrentThreadId();
  std::thread poster([=] {
    Sleep(20);
    PostThreadMessageW(self, WM_USER, 0, 0);
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_ALLINPUT),
            static_cast<DWORD>(WAIT_OBJECT_0));
  poster.join();
  MSG m;
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

#ifndef _WIN32  // the substitute paces paints to display frames; Windows paints whenever the queue is empty
TEST_F(Messages, ALoopThatRedrawsOnEveryWakeUpIsPacedLikeADisplay) {
  HWND w = MakeTop();
  HWND label = MakeChild(w, 1, u"Static", WS_VISIBLE, u"0");
  ShowWindow(w, SW_SHOW);
  // Each pass changes the text, which invalidates the label; the next wake-up
  // is its WM_PAINT, which comes at most once per 16 ms frame. So the loop
  // keeps waking up, and its passes take at least a frame each (a slow
  // machine only makes them longer).
  constexpr int kPasses = 20;
  auto start = std::chrono::steady_clock::now();
  int passes = 0;
  MSG m;
  while (passes < kPasses) {
    SetWindowTextW(label, passes % 2 ? W(u"odd") : W(u"even"));
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT) != WAIT_OBJECT_0) break;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    passes++;
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(passes, kPasses) << "no paint woke the loop within a second";
  EXPECT_GE(elapsed, std::chrono::milliseconds(16 * (kPasses - 2))) << "paints came faster than the frames";
  DestroyWindow(w);
}
#endif

// UpdateWindow paints at once what is invalid of the window and of its
// children, the window first, and nothing when nothing is.
TEST_F(Messages, UpdateWindowPaintsTheInvalidWindowAndChildrenAtOnce) {
  HWND w = MakeTop();
  HWND child = MakeChild(w, 1);
  ShowWindow(w, SW_SHOW);
  PumpUntil([] { return false; }, 60);
  Log().clear();
  EXPECT_TRUE(UpdateWindow(w));
  using V = std::vector<std::pair<HWND, UINT>>;
  EXPECT_EQ(Only({WM_PAINT}), V{}) << "nothing was invalid";
  InvalidateRect(w, nullptr, TRUE);
  InvalidateRect(child, nullptr, TRUE);
  EXPECT_TRUE(UpdateWindow(w));
  EXPECT_EQ(Only({WM_PAINT}), (V{{w, WM_PAINT}, {child, WM_PAINT}}));
  Log().clear();
  // Redrawn as a changed colour asks: the paint comes with the next messages.
  RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT | RDW_FRAME);
  EXPECT_EQ(Only({WM_PAINT}), V{});
  EXPECT_TRUE(PumpUntil([] { return !Only({WM_PAINT}).empty(); }));
  EXPECT_EQ(Only({WM_PAINT}), (V{{child, WM_PAINT}}));
  DestroyWindow(w);
}

int timerCalls = 0;
void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { timerCalls++; }

TEST_F(Messages, TimersArriveUntilKilled) {
  HWND w = MakeTop();
  ASSERT_TRUE(SetTimer(w, 7, 10, nullptr));
  UINT_PTR threadTimer = SetTimer(nullptr, 0, 10, OnTimer);
  ASSERT_TRUE(threadTimer);
  timerCalls = 0;
  int windowTimers = 0;
  EXPECT_TRUE(PumpUntil([&] {
    windowTimers = 0;
    for (const Logged& l : Log())
      if (l.message == WM_TIMER && l.window == w && l.wParam == 7) windowTimers++;
    return windowTimers >= 2 && timerCalls >= 2;
  }));
  EXPECT_TRUE(KillTimer(w, 7));
  EXPECT_TRUE(KillTimer(nullptr, threadTimer));
  EXPECT_FALSE(KillTimer(w, 7));
  Log().clear();
  int calls = timerCalls;
  PumpUntil([] { return false; }, 60);
  EXPECT_TRUE(Only({WM_TIMER}).empty());
  EXPECT_EQ(timerCalls, calls);
  DestroyWindow(w);
}

TEST_F(Messages, QuitComesAfterPostedMessagesAndEndsGetMessage) {
  PostQuitMessage(3);
  PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
  MSG m;
  EXPECT_TRUE(GetMessageW(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
  EXPECT_FALSE(GetMessageW(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 3u);
}

TEST_F(Messages, AcceleratorsMatchTheKeyStateOfTheSimulatedInput) {
  HWND w = MakeTop();
  ShowWindow(w, SW_SHOW);
  ACCEL entries[] = {{FVIRTKEY | FNOINVERT, VK_TAB, 64001}, {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, 64002}};
  HACCEL table = CreateAcceleratorTableW(entries, 2);
  ASSERT_TRUE(table);
  ASSERT_TRUE(SimUser_Press(VK_TAB));
  ASSERT_TRUE(SimUser_PressWith(VK_TAB, {VK_SHIFT}));
  ASSERT_TRUE(SimUser_PressWith(VK_TAB, {VK_CONTROL}));  // no entry for Ctrl+Tab
  std::vector<SHORT> shiftAtTab;
  MSG m;
  Log().clear();
  PumpUntil(
      [&] {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
          if (m.message == WM_KEYDOWN && m.wParam == VK_TAB) shiftAtTab.push_back(GetKeyState(VK_SHIFT));
          if (!TranslateAcceleratorW(w, table, &m)) DispatchMessageW(&m);
        }
        return false;
      },
      100);
  std::vector<WPARAM> commands;
  for (const Logged& l : Log())
    if (l.message == WM_COMMAND) commands.push_back(l.wParam);
  EXPECT_EQ(commands, (std::vector<WPARAM>{MAKEWPARAM(64001, 1), MAKEWPARAM(64002, 1)}));
  ASSERT_EQ(shiftAtTab.size(), 3u);
  EXPECT_GE(shiftAtTab[0], 0);
  EXPECT_LT(shiftAtTab[1], 0);
  EXPECT_TRUE(shiftAtTab[1] & 0x80);  // the down bit as the low byte shows it too
  EXPECT_GE(GetKeyState(VK_SHIFT), 0);
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
  EXPECT_TRUE(DestroyAcceleratorTable(table));
  EXPECT_FALSE(DestroyAcceleratorTable(table));
  EXPECT_FALSE(TranslateAcceleratorW(w, table, &m));
  DestroyWindow(w);
}

// A key that matches an accelerator gives its command even while the mouse is
// captured or the window is disabled (only menu messages are held back
// then), and never reaches the window as a key.
TEST_F(Messages, AnAcceleratorGivesItsCommandEvenWhileCapturedOrDisabled) {
  HWND w = MakeTop();
  ShowWindow(w, SW_SHOW);
  PumpPending();
  ACCEL entry{FVIRTKEY | FNOINVERT, 'K', 64003};
  HACCEL table = CreateAcceleratorTableW(&entry, 1);
  ASSERT_TRUE(table);
  // Presses K and dispatches what the table does not take; the messages the
  // window got, as (message, wParam).
  auto pressed = [&] {
    Log().clear();
    EXPECT_TRUE(SimUser_Press('K'));
    int taken = 0, keys = 0;
    MSG m;
    PumpUntil(
        [&] {
          while (keys < 2 && PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
            keys++;
            if (TranslateAcceleratorW(w, table, &m))
              taken++;
            else
              DispatchMessageW(&m);
          }
          return keys == 2;
        },
        2000);
    std::vector<std::pair<UINT, WPARAM>> got;
    for (const Logged& l : Log())
      if (l.window == w && (l.message == WM_COMMAND || l.message == WM_KEYDOWN))
        got.push_back({l.message, l.wParam});
    EXPECT_EQ(taken, 1);
    return got;
  };
  using V = std::vector<std::pair<UINT, WPARAM>>;
  const V command{{WM_COMMAND, MAKEWPARAM(64003, 1)}};
  EXPECT_EQ(pressed(), command);
  SetCapture(w);
  EXPECT_EQ(pressed(), command) << "captured";
  ReleaseCapture();
  EnableWindow(w, FALSE);
  EXPECT_EQ(pressed(), command) << "disabled";
  EnableWindow(w, TRUE);
  EXPECT_TRUE(DestroyAcceleratorTable(table));
  DestroyWindow(w);
}

// Waits, bounded, until key input waits in the queue, without taking it.
bool KeyInputWaiting() {
  for (int i = 0; i < 1000; i++) {
    if (HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY) return true;
    Sleep(5);
  }
  return false;
}

// Takes the next key message; its message number, or 0 when there is none.
UINT TakeKeyMessage() {
  MSG m;
  if (!PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) return 0;
  DispatchMessageW(&m);
  return m.message;
}

// GetKeyState answers what the key messages taken so far say, not what the
// keyboard does now; its low bit turns over with each press.
TEST_F(Messages, KeyStateChangesAsTheKeyMessagesAreTakenAndTogglesWithEachPress) {
  HWND w = MakeTop();
  ShowWindow(w, SW_SHOW);
  PumpPending();
  const BYTE key = 'Q';
  const SHORT before = GetKeyState(key);
  ASSERT_GE(before, 0);

  ASSERT_TRUE(SimUser_KeyDown(key));
  ASSERT_TRUE(KeyInputWaiting());
  EXPECT_EQ(GetKeyState(key), before) << "the key is down, but its message is not taken yet";
  EXPECT_EQ(TakeKeyMessage(), static_cast<UINT>(WM_KEYDOWN));
  const SHORT down = GetKeyState(key);
  EXPECT_LT(down, 0);
  EXPECT_NE(down & 1, before & 1);

  ASSERT_TRUE(SimUser_KeyUp(key));
  ASSERT_TRUE(KeyInputWaiting());
  EXPECT_EQ(GetKeyState(key), down) << "released, but not taken yet";
  EXPECT_EQ(TakeKeyMessage(), static_cast<UINT>(WM_KEYUP));
  EXPECT_EQ(GetKeyState(key), down & 1) << "up, and the toggle stays";

  ASSERT_TRUE(SimUser_Press(key));
  EXPECT_TRUE(PumpUntil([&] { return GetKeyState(key) == before; }, 2000)) << "a second press toggles back";
  DestroyWindow(w);
}

TEST_F(Messages, TypedTextBecomesCharactersThroughTranslateMessage) {
  HWND w = MakeTop();
  ShowWindow(w, SW_SHOW);
  ASSERT_TRUE(SimUser_Type(u"aB\u00e9"));
  ASSERT_TRUE(SimUser_PressWith('C', {VK_SHIFT}));
  PumpUntil([] { return false; }, 60);
  std::u16string typed;
  for (const Logged& l : Log())
    if (l.message == WM_CHAR) typed += static_cast<char16_t>(l.wParam);
  EXPECT_EQ(typed, u"aB\u00e9C");
  DestroyWindow(w);
}

TEST_F(Messages, RegisteredMessagesAreOnePerNameWithoutCase) {
  UINT a = RegisterWindowMessageW(W(u"RT_PostEventMessage"));
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(RegisterWindowMessageW(W(u"rt_posteventmessage")), a);
  EXPECT_NE(RegisterWindowMessageW(W(u"RT_Other")), a);
  EXPECT_EQ(RegisterWindowMessageW(W(u"")), 0u);
}

}  // namespace
