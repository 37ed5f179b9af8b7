// Focus, activation, visibility and the caption buttons of the substitute:
// the messages Windows sends for each, in its order.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/simuser.h"
#include "platform/win32.h"
#include "tests/platform/user_support.h"

namespace {

using Pairs = std::vector<std::pair<HWND, UINT>>;

class Focus : public testing::Test {
 protected:
  void SetUp() override {
    RegisterRecorder();
    PumpPending();
    Log().clear();
  }
  void TearDown() override { PumpPending(); }

  // A shown window with two controls, the first one focused; the log starts after.
  struct TwoControls {
    HWND top, a, b;
  };
  static TwoControls openWithFocusOnFirst() {
    TwoControls p{MakeTop(), nullptr, nullptr};
    p.a = MakeChild(p.top, 1);
    p.b = MakeChild(p.top, 2);
    ShowWindow(p.top, SW_SHOW);
    SetFocus(p.a);
    Log().clear();
    return p;
  }

  // Two shown top-level windows: "one" with a field that had the focus, then
  // "two", shown last and so active.
  struct TwoWindows {
    HWND one, field, two;
  };
  static TwoWindows openTwo() {
    TwoWindows t{MakeTop(u"one"), nullptr, MakeTop(u"two")};
    t.field = MakeChild(t.one, 1);
    ShowWindow(t.one, SW_SHOW);
    SetFocus(t.field);
    ShowWindow(t.two, SW_SHOW);
    return t;
  }
};

TEST_F(Focus, MovingTheFocusKillsItOnTheOldWindowBeforeSettingItOnTheNew) {
  auto [top, a, b] = openWithFocusOnFirst();
  EXPECT_EQ(SetFocus(b), a);
  ASSERT_EQ(Only({WM_KILLFOCUS, WM_SETFOCUS}), (Pairs{{a, WM_KILLFOCUS}, {b, WM_SETFOCUS}}));
  // Each names the other window (other messages, e.g. of the input method, may come between).
  std::vector<HWND> named;
  for (const Logged& l : Log())
    if (l.message == WM_KILLFOCUS || l.message == WM_SETFOCUS)
      named.push_back(reinterpret_cast<HWND>(l.wParam));
  EXPECT_EQ(named, (std::vector<HWND>{b, a}));
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(SetFocus(nullptr), b);
  EXPECT_EQ(GetFocus(), nullptr);
  DestroyWindow(top);
}

TEST_F(Focus, ActivationDeactivatesTheOldWindowFirstThenFocusesTheNew) {
  auto [one, field, two] = openTwo();
  Log().clear();
  ShowWindow(two, SW_HIDE);
  ShowWindow(two, SW_SHOW);
  EXPECT_EQ(GetActiveWindow(), two);
  EXPECT_EQ(Only({WM_NCACTIVATE, WM_ACTIVATE, WM_KILLFOCUS, WM_SETFOCUS}),
            (Pairs{{two, WM_NCACTIVATE},
                   {two, WM_ACTIVATE},  // hiding the active window activates the other one
                   {one, WM_NCACTIVATE},
                   {one, WM_ACTIVATE},
                   {two, WM_KILLFOCUS},
                   {one, WM_SETFOCUS},
                   {one, WM_NCACTIVATE},
                   {one, WM_ACTIVATE},
                   {two, WM_NCACTIVATE},
                   {two, WM_ACTIVATE},
                   {one, WM_KILLFOCUS},
                   {two, WM_SETFOCUS}}));
  EXPECT_EQ(GetForegroundWindow(), two);
  EXPECT_EQ(GetFocus(), two);
  DestroyWindow(two);
  EXPECT_EQ(GetActiveWindow(), one);
  DestroyWindow(one);
}

// SetActiveWindow activates a top-level window of the thread and answers the
// one active before; asked for a child, it changes nothing and answers the
// active window.
TEST_F(Focus, SetActiveWindowActivatesATopLevelWindowAndLeavesChildrenAlone) {
  auto [one, field, two] = openTwo();
  ASSERT_EQ(GetActiveWindow(), two);
  Log().clear();
  EXPECT_EQ(SetActiveWindow(one), two);
  EXPECT_EQ(GetActiveWindow(), one);
  EXPECT_EQ(GetFocus(), one);
  EXPECT_EQ(Only({WM_ACTIVATE}), (Pairs{{two, WM_ACTIVATE}, {one, WM_ACTIVATE}}));
  EXPECT_EQ(SetActiveWindow(field), one);
  EXPECT_EQ(GetActiveWindow(), one);
  DestroyWindow(two);
  DestroyWindow(one);
}

// Remembers the focused control on deactivation and gives it back on activation.
LRESULT CALLBACK Remembering(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  Log().push_back({w, m, wp, lp});
  if (m == WM_ACTIVATE) {
    if (LOWORD(wp) == WA_INACTIVE) {
      SetPropW(w, W(u"RT_Focus"), GetFocus());
    } else if (HWND saved = static_cast<HWND>(GetPropW(w, W(u"RT_Focus")))) {
      SetFocus(saved);
    }
    return 0;
  }
  return DefWindowProcW(w, m, wp, lp);
}

TEST_F(Focus, SwitchingApplicationsDeactivatesAndComesBackToTheSameControl) {
  RegisterProcClass(u"Remembering", Remembering);
  HWND top = MakeTopOf(u"Remembering", u"app", WS_OVERLAPPEDWINDOW);
  HWND first = MakeChild(top, 1);
  HWND second = MakeChild(top, 2);
  ShowWindow(top, SW_SHOW);
  SetFocus(second);
  Log().clear();
  ASSERT_TRUE(SimUser_SwitchAway());
  ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == nullptr; }));
  EXPECT_EQ(Only({WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS}),
            (Pairs{{top, WM_ACTIVATE}, {top, WM_ACTIVATEAPP}, {second, WM_KILLFOCUS}}));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(SimUser_Foreground(), nullptr);
  EXPECT_EQ(SimUser_Focus(), nullptr);
  // Keys typed meanwhile go to the other application.
  EXPECT_FALSE(SimUser_Press('X'));
  Log().clear();
  ASSERT_TRUE(SimUser_SwitchBack(top));
  ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == top; }));
  EXPECT_EQ(Only({WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS}),
            (Pairs{{top, WM_ACTIVATEAPP}, {top, WM_ACTIVATE}, {second, WM_SETFOCUS}}));
  EXPECT_EQ(GetFocus(), second);
  EXPECT_EQ(SimUser_Focus(), second);
  (void)first;
  DestroyWindow(top);
  UnregisterClassW(W(u"Remembering"), nullptr);
}

TEST_F(Focus, DestroyingOrDisablingTheFocusedControlTakesTheFocusAway) {
  auto [top, a, b] = openWithFocusOnFirst();
  DestroyWindow(a);
  EXPECT_EQ(Only({WM_KILLFOCUS, WM_SETFOCUS, WM_DESTROY}),
            (Pairs{{a, WM_KILLFOCUS}, {top, WM_SETFOCUS}, {a, WM_DESTROY}}));
  EXPECT_EQ(GetFocus(), top);
  SetFocus(b);
  Log().clear();
  EXPECT_FALSE(EnableWindow(b, FALSE));  // it was enabled
  EXPECT_EQ(Only({WM_KILLFOCUS, WM_ENABLE}), (Pairs{{b, WM_KILLFOCUS}, {b, WM_ENABLE}}));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_FALSE(IsWindowEnabled(b));
  EXPECT_TRUE(EnableWindow(b, FALSE));  // already disabled: no message
  EXPECT_TRUE(EnableWindow(b, TRUE));
  EXPECT_TRUE(IsWindowEnabled(b));
  DestroyWindow(top);
}

LRESULT CALLBACK KeepOpen(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  Log().push_back({w, m, wp, lp});
  return m == WM_CLOSE ? 0 : DefWindowProcW(w, m, wp, lp);
}

TEST_F(Focus, CaptionButtonsCloseMinimizeMaximizeAndRestore) {
  RegisterProcClass(u"KeepOpen", KeepOpen);
  HWND top = MakeTopOf(u"KeepOpen", u"caption", WS_OVERLAPPEDWINDOW);
  HWND field = MakeChild(top, 1);
  ShowWindow(top, SW_SHOW);
  SetFocus(field);
  auto sizes = [&] {
    std::vector<WPARAM> out;
    for (const Logged& l : Log())
      if (l.window == top && l.message == WM_SIZE) out.push_back(l.wParam);
    return out;
  };
  Log().clear();
  ASSERT_TRUE(SimUser_CloseBox(top));
  ASSERT_TRUE(PumpUntil([&] { return !Only({WM_CLOSE}).empty(); }));
  EXPECT_TRUE(IsWindow(top));  // the procedure decided to stay open

  ASSERT_TRUE(SimUser_Minimize(top));
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(top) != FALSE; }));
  EXPECT_EQ(sizes(), (std::vector<WPARAM>{SIZE_MINIMIZED}));

  ASSERT_TRUE(SimUser_Restore(top));
  ASSERT_TRUE(PumpUntil([&] { return !IsIconic(top) && GetActiveWindow() == top; }));
  EXPECT_EQ(sizes(), (std::vector<WPARAM>{SIZE_MINIMIZED, SIZE_RESTORED}));

  ASSERT_TRUE(SimUser_Maximize(top));
  ASSERT_TRUE(PumpUntil([&] { return IsZoomed(top) != FALSE; }));
  SimWindow seen;
  ASSERT_TRUE(SimUser_Read(top, &seen));
  EXPECT_TRUE(seen.maximized);
  EXPECT_EQ(seen.client.right - seen.client.left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_FALSE(SimUser_Maximize(top));  // the button restores now
  ASSERT_TRUE(SimUser_Restore(top));
  ASSERT_TRUE(PumpUntil([&] { return !IsZoomed(top); }));
  EXPECT_EQ(sizes(), (std::vector<WPARAM>{SIZE_MINIMIZED, SIZE_RESTORED, SIZE_MAXIMIZED, SIZE_RESTORED}));

  // A disabled window does not react to its caption buttons.
  EnableWindow(top, FALSE);
  Log().clear();
  ASSERT_TRUE(SimUser_CloseBox(top));
  PumpUntil([] { return false; }, 50);
  EXPECT_TRUE(Only({WM_CLOSE}).empty());
  DestroyWindow(top);
  UnregisterClassW(W(u"KeepOpen"), nullptr);
}

// Minimizing the active window activates the next top-level window; with no
// other window of the program, that is none of its windows, so the program
// has neither activation nor focus.
TEST_F(Focus, AMinimizedWindowGivesUpActivationAndFocus) {
  HWND top = MakeTop(u"minimized");
  HWND field = MakeChild(top, 1);
  ShowWindow(top, SW_SHOW);
  SetFocus(field);
  ASSERT_TRUE(SimUser_Minimize(top));
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(top) && GetActiveWindow() == nullptr; }));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(SimUser_Foreground(), nullptr);
  DestroyWindow(top);
}

// The mouse buttons' messages of the log, as (window, message, position in
// that window's client area).
std::vector<std::tuple<HWND, UINT, POINT>> Clicks() {
  std::vector<std::tuple<HWND, UINT, POINT>> out;
  for (const Logged& l : Log())
    if (l.message == WM_LBUTTONDOWN || l.message == WM_LBUTTONUP)
      out.push_back({l.window, l.message,
                     POINT{static_cast<SHORT>(LOWORD(l.lParam)), static_cast<SHORT>(HIWORD(l.lParam))}});
  return out;
}

// Only the windows that lose the capture hear of it, with the window that
// takes it (null when it is released); a destroyed window's capture ends
// without the message.
TEST_F(Focus, TheCaptureTakesTheMouseAndItsLossIsToldToTheWindowThatHadIt) {
  HWND top = MakeTop();
  HWND a = MakeChild(top, 1, u"Recorder", WS_VISIBLE, u"", 10, 10, 80, 20);
  HWND b = MakeChild(top, 2, u"Recorder", WS_VISIBLE, u"", 10, 50, 80, 20);
  ShowWindow(top, SW_SHOW);
  PumpPending();
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(SetCapture(a), nullptr);
  EXPECT_EQ(GetCapture(), a);
  Log().clear();
  // A click on b reaches a, at b's centre in a's client coordinates.
  ASSERT_TRUE(SimUser_Click(b));
  ASSERT_TRUE(PumpUntil([] { return Clicks().size() == 2; }));
  auto clicks = Clicks();
  for (auto& [window, message, at] : clicks) {
    EXPECT_EQ(window, a) << message;
    EXPECT_EQ(at.x, 40);
    EXPECT_EQ(at.y, 50);
  }

  Log().clear();
  EXPECT_EQ(SetCapture(b), a);
  ASSERT_EQ(Only({WM_CAPTURECHANGED}), (Pairs{{a, WM_CAPTURECHANGED}}));
  EXPECT_EQ(reinterpret_cast<HWND>(Log().back().lParam), b);
  Log().clear();
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
  ASSERT_EQ(Only({WM_CAPTURECHANGED}), (Pairs{{b, WM_CAPTURECHANGED}}));
  EXPECT_EQ(Log().back().lParam, 0);
  Log().clear();
  EXPECT_TRUE(ReleaseCapture());  // nothing to release: no message
  EXPECT_EQ(Only({WM_CAPTURECHANGED}), Pairs{});

  // Released, the mouse goes to the window under it again.
  ASSERT_TRUE(SimUser_Click(b));
  ASSERT_TRUE(PumpUntil([] { return Clicks().size() == 2; }));
  EXPECT_EQ(std::get<HWND>(Clicks().front()), b);

  SetCapture(a);
  Log().clear();
  DestroyWindow(a);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(Only({WM_CAPTURECHANGED, WM_DESTROY}), (Pairs{{a, WM_DESTROY}}));
  DestroyWindow(top);
}

TEST_F(Focus, KeyboardCuesStartHiddenAndChangeForTheWholeTree) {
  HWND top = MakeTop();
  HWND child = MakeChild(top, 1);
  EXPECT_EQ(SendMessageW(top, WM_QUERYUISTATE, 0, 0), UISF_HIDEFOCUS | UISF_HIDEACCEL);
  SendMessageW(top, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
  EXPECT_EQ(SendMessageW(top, WM_QUERYUISTATE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(child, WM_QUERYUISTATE, 0, 0), 0);
  SendMessageW(top, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
  EXPECT_EQ(SendMessageW(child, WM_QUERYUISTATE, 0, 0), UISF_HIDEFOCUS);
  DestroyWindow(top);
}

}  // namespace
