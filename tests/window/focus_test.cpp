// Tests of keyboard navigation through the simulated user: Tab and Shift+Tab over the tab stops,
// controls that keep Tab, keyboard cues, and the focus kept while another application is in front.
#include "window/focus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "tests/support/gui_thread.h"
#include "window/event.h"
#include "window/window.h"

namespace {

HWND child(HWND parent, const char16_t* className, const char16_t* text, DWORD style, int x, int y, int width,
           int height, int id) {
  return CreateWindowExW(0, W(className), W(text), WS_CHILD | style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), GetModuleHandleW(nullptr),
                         nullptr);
}

// The focus after the program has taken a key.
HWND focusAfter(bool pressed) {
  if (!pressed || !SimUser_Idle(SIMUSER_TIMEOUT)) return reinterpret_cast<HWND>(-1);
  return SimUser_Focus();
}
HWND tab() { return focusAfter(SimUser_Press(VK_TAB)); }
HWND shiftTab() { return focusAfter(SimUser_PressWith(VK_TAB, {VK_SHIFT})); }

// One window with controls of every kind the walk meets, in this order of enumeration.
struct Form {
  HWND window;
  HWND first;     // tab stop
  HWND label;     // no tab stop
  HWND disabled;  // tab stop, disabled
  HWND hidden;    // tab stop, hidden
  HWND flat;      // tab stop of height 0
  HWND panel;     // no tab stop, holds `nested`
  HWND nested;    // tab stop inside the panel
  HWND last;      // tab stop
};

Form openForm() {
  Form f{};
  f.window = reinterpret_cast<HWND>(Window_Open(0, 100, 100, 400, 300, u"Form", WS_OVERLAPPEDWINDOW));
  f.first = child(f.window, u"Button", u"First", WS_VISIBLE | WS_TABSTOP, 10, 10, 80, 20, 1);
  f.label = child(f.window, u"Static", u"Label", WS_VISIBLE, 10, 40, 80, 20, 2);
  f.disabled =
      child(f.window, u"Button", u"Disabled", WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 10, 70, 80, 20, 3);
  f.hidden = child(f.window, u"Button", u"Hidden", WS_TABSTOP, 10, 100, 80, 20, 4);
  f.flat = child(f.window, u"Button", u"Flat", WS_VISIBLE | WS_TABSTOP, 10, 130, 80, 0, 5);
  f.panel = child(f.window, u"Static", u"", WS_VISIBLE, 100, 10, 200, 100, 6);
  f.nested = child(f.panel, u"Edit", u"", WS_VISIBLE | WS_TABSTOP, 10, 10, 100, 20, 7);
  f.last = child(f.window, u"Button", u"Last", WS_VISIBLE | WS_TABSTOP, 10, 160, 80, 20, 8);
  return f;
}

// Opens the form on the GUI thread, waits until it has settled, and puts the
// focus on its window or control `focused`.
Form openFormWithFocus(GuiThread& gui, HWND Form::*focused) {
  Form f = gui.Call(openForm);
  EXPECT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  gui.Call([&] { SetFocus(f.*focused); });
  return f;
}

LRESULT uiState(GuiThread& gui, HWND window) {
  return gui.Call([=] { return SendMessageW(window, WM_QUERYUISTATE, 0, 0); });
}
constexpr LRESULT kCuesHidden = UISF_HIDEFOCUS | UISF_HIDEACCEL;

TEST(FocusTest, TabAndShiftTabWrapAroundOverEnabledVisibleTabStops) {
  GuiThread gui;
  Form f = gui.Call(openForm);
  ASSERT_TRUE(f.window && f.first && f.label && f.disabled && f.hidden && f.flat && f.panel && f.nested &&
              f.last);
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  gui.Call([] { SetFocus(nullptr); });

  // Nothing has the focus: Tab takes the first tab stop.
  EXPECT_EQ(tab(), f.first);
  EXPECT_EQ(tab(), f.flat);
  EXPECT_EQ(tab(), f.nested);
  EXPECT_EQ(tab(), f.last);
  EXPECT_EQ(tab(), f.first);

  EXPECT_EQ(shiftTab(), f.last);
  EXPECT_EQ(shiftTab(), f.nested);
  EXPECT_EQ(shiftTab(), f.flat);
  EXPECT_EQ(shiftTab(), f.first);
  EXPECT_EQ(shiftTab(), f.last);

  // Nothing has the focus: Shift+Tab takes the last tab stop.
  gui.Call([] { SetFocus(nullptr); });
  EXPECT_EQ(shiftTab(), f.last);
  // Tab and Shift+Tab are navigation, never events.
  for (const Returned& r : gui.Events()) EXPECT_NE(r.code, EVENT_MENU);
}

TEST(FocusTest, TabStartsFromTheWindowItselfAndReachesAControlThatBecameATabStop) {
  GuiThread gui;
  Form f = openFormWithFocus(gui, &Form::window);
  EXPECT_EQ(tab(), f.first);
  gui.Call([&] {
    EnableWindow(f.disabled, TRUE);
    ShowWindow(f.hidden, SW_SHOW);
  });
  EXPECT_EQ(tab(), f.disabled);
  EXPECT_EQ(tab(), f.hidden);
  EXPECT_EQ(tab(), f.flat);
}

// Records the keyboard-cue changes a window is asked for (GUI thread only).
WNDPROC cuesNext = nullptr;
std::vector<WPARAM> cueRequests;
LRESULT CALLBACK recordCues(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_UPDATEUISTATE) cueRequests.push_back(wParam);
  return CallWindowProcW(cuesNext, window, message, wParam, lParam);
}

TEST(FocusTest, TabShowsTheKeyboardCuesAndDeactivationHidesThem) {
  GuiThread gui;
  Form f = gui.Call(openForm);
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  gui.Call([&] {
    cueRequests.clear();
    cuesNext = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(f.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordCues)));
    // Hidden, as for a window that was opened with the mouse.
    SendMessageW(f.window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, kCuesHidden), 0);
  });
  EXPECT_EQ(tab(), f.first);
  EXPECT_EQ(uiState(gui, f.window) & kCuesHidden, 0);

  ASSERT_TRUE(SimUser_SwitchAway());
  ASSERT_TRUE(gui.WaitForEvent(EVENT_DEACTIVATE, 0));
  // Hidden again - unless the user's settings keep the cues always shown (as
  // Windows may), in which case the request was made and declined.
  const LRESULT hidden = uiState(gui, f.window) & kCuesHidden;
  const std::vector<WPARAM> requests = gui.Call([] { return cueRequests; });
  EXPECT_TRUE(hidden == kCuesHidden ||
              (!requests.empty() && requests.back() == MAKEWPARAM(UIS_SET, kCuesHidden)));

  // A modifier held down shows them again.
  ASSERT_TRUE(SimUser_SwitchBack(f.window));
  ASSERT_TRUE(gui.WaitForEvent(EVENT_ACTIVATE, 0));
  ASSERT_TRUE(SimUser_KeyDown(VK_CONTROL));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_EQ(uiState(gui, f.window) & kCuesHidden, 0);
  ASSERT_TRUE(SimUser_KeyUp(VK_CONTROL));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
}

TEST(FocusTest, TheFocusComesBackAfterSwitchingApplications) {
  GuiThread gui;
  Form f = openFormWithFocus(gui, &Form::first);
  EXPECT_EQ(tab(), f.flat);
  EXPECT_EQ(tab(), f.nested);

  gui.ClearLog();
  ASSERT_TRUE(SimUser_SwitchAway());
  ASSERT_TRUE(gui.WaitForEvent(EVENT_DEACTIVATE, 0));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_NE(SimUser_Focus(), f.nested);
  EXPECT_EQ(SimUser_Foreground(), nullptr);

  ASSERT_TRUE(SimUser_SwitchBack(f.window));
  ASSERT_TRUE(gui.WaitForEvent(EVENT_ACTIVATE, 0));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_EQ(SimUser_Foreground(), f.window);
  EXPECT_EQ(SimUser_Focus(), f.nested);
  // Navigation goes on from there.
  EXPECT_EQ(tab(), f.last);
}

// A rich edit control stand-in: takes Tab as text unless read-only.
std::atomic<LRESULT> richOptions{0};
std::atomic<int> richTabs{0};
LRESULT CALLBACK richProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 78) return richOptions.load();  // EM_GETOPTIONS
  if (message == WM_KEYDOWN && wParam == VK_TAB) richTabs++;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST(FocusTest, ControlsThatTakeTabKeepTheFocus) {
  GuiThread gui;
  struct Controls {
    HWND window, before, rich, hotkey, after;
  } c = gui.Call([] {
    WNDCLASSEXW richClass = {};
    richClass.cbSize = sizeof richClass;
    richClass.lpfnWndProc = richProc;
    richClass.hInstance = GetModuleHandleW(nullptr);
    richClass.lpszClassName = W(u"RichTestEdit");
    RegisterClassExW(&richClass);
    Controls made{};
    made.window = reinterpret_cast<HWND>(Window_Open(0, 100, 100, 300, 200, u"Text", WS_OVERLAPPEDWINDOW));
    made.before = child(made.window, u"Button", u"Before", WS_VISIBLE | WS_TABSTOP, 10, 10, 80, 20, 1);
    made.rich = child(made.window, u"RichTestEdit", u"", WS_VISIBLE | WS_TABSTOP, 10, 40, 200, 60, 2);
    made.hotkey = child(made.window, u"Edit", u"", WS_VISIBLE | WS_TABSTOP, 10, 110, 80, 20, 3);
    SetPropW(made.hotkey, W(u"RT_Hotkey"), reinterpret_cast<HANDLE>(1));
    made.after = child(made.window, u"Button", u"After", WS_VISIBLE | WS_TABSTOP, 10, 140, 80, 20, 4);
    return made;
  });
  ASSERT_TRUE(c.window && c.rich && c.hotkey);
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));

  gui.Call([&] { SetFocus(c.rich); });
  richTabs = 0;
  richOptions = 0;
  EXPECT_EQ(tab(), c.rich);
  EXPECT_EQ(richTabs.load(), 1);
  // Shift+Tab is navigation even there; a read-only one lets Tab move on.
  EXPECT_EQ(shiftTab(), c.before);
  gui.Call([&] { SetFocus(c.rich); });
  richOptions = 0x800;  // ECO_READONLY
  EXPECT_EQ(tab(), c.hotkey);
  EXPECT_EQ(richTabs.load(), 1);

  // A hot-key control takes Tab as a key, with or without Shift.
  EXPECT_EQ(tab(), c.hotkey);
  EXPECT_EQ(shiftTab(), c.hotkey);
  gui.Call([&] { UnregisterClassW(W(u"RichTestEdit"), GetModuleHandleW(nullptr)); });
}

TEST(FocusTest, OnlyNumberedWindowsOfThisProcessHaveATabTable) {
  GuiThread gui;
  struct Tables {
    HACCEL own, recorded, plain, none;
  } t = gui.Call([] {
    HWND window = reinterpret_cast<HWND>(Window_Open(0, 0, 0, 100, 50, u"Numbered", WINDOW_INVISIBLE));
    HWND plain = CreateWindowExW(0, W(u"Static"), W(u"Plain"), WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    Tables found{Focus_AcceleratorTable(window), Window_GetRecord(0)->accelTable,
                 Focus_AcceleratorTable(plain), Focus_AcceleratorTable(nullptr)};
    DestroyWindow(plain);
    return found;
  });
  EXPECT_NE(t.own, nullptr);
  EXPECT_EQ(t.own, t.recorded);
  EXPECT_EQ(t.plain, nullptr);
  EXPECT_EQ(t.none, nullptr);
}

}  // namespace
