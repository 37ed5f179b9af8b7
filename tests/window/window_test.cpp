// Tests of top-level windows: opening, flags, centring, the close box, size states, closing, gadget lists.
#include "window/window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/gui_thread.h"
#include "window/event.h"

namespace {

HWND handleOf(intptr_t opened) { return reinterpret_cast<HWND>(opened); }

// The position of the first event with `code` in `events` at or after `from`, or -1.
int indexOf(const std::vector<Returned>& events, int32_t code, size_t from = 0) {
  for (size_t i = from; i < events.size(); i++)
    if (events[i].code == code) return static_cast<int>(i);
  return -1;
}

bool classExists(const char16_t* name) {
  WNDCLASSEXW info = {};
  info.cbSize = sizeof info;
  return GetClassInfoExW(GetModuleHandleW(nullptr), W(name), &info) != FALSE;
}

TEST(WindowTest, CloseBoxGivesTheCloseEventAndTheWindowStaysOpen) {
  GuiThread gui;
  HWND window =
      handleOf(gui.Call([] { return Window_Open(0, 100, 80, 300, 200, u"Close me", WS_OVERLAPPEDWINDOW); }));
  ASSERT_NE(window, nullptr);

  ASSERT_TRUE(SimUser_CloseBox(window));
  ASSERT_TRUE(gui.WaitFor(
      [](const Returned& r) { return r.code == EVENT_WINDOW_CLOSE && r.object == 0 && r.window == 0; }));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  SimWindow seen;
  ASSERT_TRUE(SimUser_Read(window, &seen));
  EXPECT_TRUE(seen.visible);
  EXPECT_EQ(gui.Call([] { return Window_GetRecord(0) ? Window_GetRecord(0)->handle : nullptr; }), window);

  // Closing is the application's decision.
  EXPECT_EQ(gui.Call([] { return Window_Close(0); }), 1);
  EXPECT_FALSE(SimUser_Read(window, &seen));
  EXPECT_EQ(gui.Call([] { return Window_Close(0); }), 0);
}

TEST(WindowTest, TheApplicationsWindowOpensMaximizedWithItsMarkAndFollowsItsSizeStates) {
  GuiThread gui;
  // The uploader's own call: every coordinate ignored, centred on a window that does not exist, maximized.
  HWND window = handleOf(gui.Call([] {
    return Window_Open(0, IGNORE_COORDINATE, IGNORE_COORDINATE, IGNORE_COORDINATE, IGNORE_COORDINATE,
                       u"Tilepost", 0x01CF0002);
  }));
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  SimWindow seen;
  ASSERT_TRUE(SimUser_Read(window, &seen));
  EXPECT_TRUE(seen.visible);
  EXPECT_TRUE(seen.maximized);
  EXPECT_TRUE(seen.active);
  EXPECT_EQ(seen.text, u"Tilepost");
  auto mark = [&] { return gui.Call([] { return Window_GetRecord(0)->sizeMark; }); };
  EXPECT_EQ(mark(), 1);

  gui.ClearLog();
  ASSERT_TRUE(SimUser_Restore(window));
  ASSERT_TRUE(gui.WaitForEvent(EVENT_WINDOW_SIZE, 0));
  std::vector<Returned> events = gui.Events();
  int restore = indexOf(events, EVENT_RESTORE);
  ASSERT_GE(restore, 0);
  EXPECT_GT(indexOf(events, EVENT_WINDOW_SIZE, restore), restore);
  EXPECT_EQ(mark(), 0);
  ASSERT_TRUE(SimUser_Read(window, &seen));
  EXPECT_FALSE(seen.maximized);
  // The restored size is the window system's default, inside the screen.
  EXPECT_GT(seen.rect.right - seen.rect.left, 0);
  EXPECT_GT(seen.rect.bottom - seen.rect.top, 0);

  gui.ClearLog();
  ASSERT_TRUE(SimUser_Maximize(window));
  ASSERT_TRUE(gui.WaitForEvent(EVENT_WINDOW_SIZE, 0));
  events = gui.Events();
  int maximize = indexOf(events, EVENT_MAXIMIZE);
  ASSERT_GE(maximize, 0);
  EXPECT_GT(indexOf(events, EVENT_WINDOW_SIZE, maximize), maximize);
  EXPECT_EQ(indexOf(events, EVENT_RESTORE), -1);
  EXPECT_EQ(mark(), 1);

  gui.ClearLog();
  ASSERT_TRUE(SimUser_Minimize(window));
  ASSERT_TRUE(gui.WaitForEvent(EVENT_MINIMIZE, 0));
  EXPECT_EQ(mark(), 1);
  gui.ClearLog();
  ASSERT_TRUE(SimUser_Restore(window));
  // Back from the task bar to the maximized state it had.
  ASSERT_TRUE(gui.WaitForEvent(EVENT_WINDOW_SIZE, 0));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_EQ(mark(), SimUser_Read(window, &seen) && seen.maximized ? 1 : 0);
}

TEST(WindowTest, FlagsBecomeStylesAndTheClientAreaHasTheAskedSize) {
  GuiThread gui;
  struct Opened {
    HWND plain, tool, hidden;
  } opened = gui.Call([] {
    return Opened{
        handleOf(Window_Open(0, 10, 20, 320, 240, nullptr, 0)),
        handleOf(Window_Open(1, 40, 40, 200, 100, u"Tool",
                             WINDOW_TOOL | WS_SYSMENU | WS_MAXIMIZE | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)),
        handleOf(Window_Open(2, 60, 60, 200, 100, u"Hidden", WINDOW_INVISIBLE | WS_SYSMENU))};
  });
  ASSERT_TRUE(opened.plain && opened.tool && opened.hidden);
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));

  // Flags 0 give a title bar; a null title is empty.
  EXPECT_EQ(GetWindowLongW(opened.plain, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(SimUser_Text(opened.plain), u"");
  SimWindow seen;
  ASSERT_TRUE(SimUser_Read(opened.plain, &seen));
  EXPECT_EQ(seen.client.right - seen.client.left, 320);
  EXPECT_EQ(seen.client.bottom - seen.client.top, 240);
  EXPECT_EQ(seen.rect.left, 10);
  EXPECT_EQ(seen.rect.top, 20);

  // A tool window: tool style, no size boxes, never opened maximized.
  EXPECT_TRUE(GetWindowLongW(opened.tool, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(GetWindowLongW(opened.tool, GWL_STYLE) & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
  ASSERT_TRUE(SimUser_Read(opened.tool, &seen));
  EXPECT_FALSE(seen.maximized);
  EXPECT_EQ(seen.client.right - seen.client.left, 200);
  EXPECT_EQ(gui.Call([] { return Window_GetRecord(1)->sizeMark; }), 0);

  ASSERT_TRUE(SimUser_Read(opened.hidden, &seen));
  EXPECT_FALSE(seen.visible);
  // Every window is tagged with its number + 1.
  EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropW(opened.hidden, W(u"RT_WindowID"))), 3);
}

// Only both sizes IGNORE_COORDINATE give the default size; one alone leaves
// the other as passed.
TEST(WindowTest, OneIgnoredSizeKeepsTheOther) {
  GuiThread gui;
  struct Opened {
    HWND wide, tall, neither;
  } opened = gui.Call([] {
    return Opened{handleOf(Window_Open(0, 10, 20, 320, IGNORE_COORDINATE, u"Wide", 0)),
                  handleOf(Window_Open(1, 10, 20, IGNORE_COORDINATE, 210, u"Tall", 0)),
                  handleOf(Window_Open(2, 10, 20, IGNORE_COORDINATE, IGNORE_COORDINATE, u"Neither", 0))};
  });
  ASSERT_TRUE(opened.wide && opened.tall && opened.neither);
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  SimWindow wide, tall, neither;
  ASSERT_TRUE(SimUser_Read(opened.wide, &wide));
  ASSERT_TRUE(SimUser_Read(opened.tall, &tall));
  ASSERT_TRUE(SimUser_Read(opened.neither, &neither));
  EXPECT_EQ(wide.client.right - wide.client.left, 320);
  EXPECT_GE(wide.client.bottom - wide.client.top, 0);
  EXPECT_EQ(tall.client.bottom - tall.client.top, 210);
  EXPECT_GE(tall.client.right - tall.client.left, 0);
  // The default size: neither of the passed sizes, and the same for both sides.
  EXPECT_GT(neither.rect.right - neither.rect.left, 320);
  EXPECT_GT(neither.rect.bottom - neither.rect.top, 210);
}

TEST(WindowTest, CentringUsesTheScreenOrTheActiveWindowAndKeepsTheDefaultWithoutOne) {
  GuiThread gui;
  // No window of this thread is active yet: a window-centred window keeps the
  // default position instead of a coordinate far off the screen.
  HWND lone = handleOf(gui.Call([] {
    return Window_Open(0, 50, IGNORE_COORDINATE, 200, 100, u"Lone",
                       WINDOW_WINDOW_CENTERED | WINDOW_INVISIBLE);
  }));
  ASSERT_NE(lone, nullptr);
  RECT rect;
  GetWindowRect(lone, &rect);
  EXPECT_GE(rect.top, 0);
  EXPECT_GE(rect.left, 0);
  EXPECT_LT(rect.top, GetSystemMetrics(SM_CYSCREEN));

  HWND screen =
      handleOf(gui.Call([] { return Window_Open(1, 0, 0, 300, 200, u"Screen", WINDOW_SCREEN_CENTERED); }));
  ASSERT_NE(screen, nullptr);
  GetWindowRect(screen, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);

  // Window 1 is active now: window 2 opens at the default position, then moves onto its centre.
  HWND centred = handleOf(gui.Call([] {
    return Window_Open(2, IGNORE_COORDINATE, 5, 100, 60, u"Centred", WINDOW_WINDOW_CENTERED | WS_SYSMENU);
  }));
  ASSERT_NE(centred, nullptr);
  RECT inner;
  GetWindowRect(centred, &inner);
  EXPECT_EQ(inner.left, rect.left + (width - (inner.right - inner.left)) / 2);
  EXPECT_EQ(inner.top, rect.top + (height - (inner.bottom - inner.top)) / 2);
}

TEST(WindowTest, EventsOfAClosedWindowAreNeverReturned) {
  GuiThread gui;
  struct Drained {
    int fromClosed = 0;
    int fromOther = 0;
    bool timerOfOther = false;
  };
  Drained drained = gui.Call([] {
    HWND first = handleOf(Window_Open(0, 0, 0, 200, 100, u"Stays", WS_SYSMENU));
    HWND second = handleOf(Window_Open(1, 220, 0, 200, 100, u"Goes", WS_SYSMENU));
    // Messages that each queue an event, as the window system delivers them.
    SendMessageW(second, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(first, WM_TIMER, 4, 0);
    SendMessageW(second, WM_TIMER, 9, 0);
    SendMessageW(second, WM_COMMAND, 77, 0);
    Window_Close(1);
    Drained seen;
    // Everything queued is returned before any new message; take a bounded number of returns.
    for (int i = 0; i < 200; i++) {
      const int32_t code = Event_WaitTimeout(0);
      if (!code) break;
      if (code < EVENT_FIRST || code > EVENT_LAST) continue;
      if (Event_Window() == 1) seen.fromClosed++;
      if (Event_Window() == 0) seen.fromOther++;
      if (code == EVENT_TIMER && Event_Gadget() == 4) seen.timerOfOther = true;
    }
    return seen;
  });
  EXPECT_EQ(drained.fromClosed, 0);
  EXPECT_TRUE(drained.timerOfOther);
}

TEST(WindowTest, ASecondWindowBecomesTheGadgetListAndClosingItLeavesNone) {
  GuiThread gui;
  struct Seen {
    HWND first, second, afterFirst, afterSecond, afterClose, listAfterClose;
  } seen = gui.Call([] {
    Seen s{};
    s.first = handleOf(Window_Open(0, 0, 0, 200, 100, u"First", WS_SYSMENU));
    s.afterFirst = Window_SetGadgetList(nullptr);
    s.second = handleOf(Window_Open(1, 0, 0, 200, 100, u"Second", WS_SYSMENU));
    s.afterSecond = Window_SetGadgetList(nullptr);
    Window_Close(1);
    s.afterClose = Window_SetGadgetList(nullptr);
    s.listAfterClose = Window_GadgetState()->listWindow;
    return s;
  });
  EXPECT_EQ(seen.afterFirst, seen.first);
  EXPECT_EQ(seen.afterSecond, seen.second);
  EXPECT_EQ(seen.afterClose, nullptr);
  EXPECT_EQ(seen.listAfterClose, nullptr);

  // The first window can be made the list again; a window without gadgets leaves it alone.
  struct Again {
    HWND previous, list, afterToolbox;
  } again = gui.Call([&] {
    Again a{};
    a.previous = Window_SetGadgetList(seen.first);
    a.list = Window_SetGadgetList(nullptr);
    Window_Open(2, 0, 0, 100, 50, u"No gadgets", WINDOW_NO_GADGETS | WS_SYSMENU);
    a.afterToolbox = Window_SetGadgetList(nullptr);
    return a;
  });
  EXPECT_EQ(again.previous, nullptr);
  EXPECT_EQ(again.list, seen.first);
  EXPECT_EQ(again.afterToolbox, seen.first);
}

TEST(WindowTest, ASuspendedGadgetListGetsItsContainerStackBack) {
  GuiThread gui;
  struct Seen {
    HWND first, container, previous, returned, listAfterReturn, stackSecond;
    int32_t depthWhileSecond, depthAfterReturn;
  } seen = gui.Call([] {
    Seen s{};
    s.first = handleOf(Window_Open(0, 0, 0, 200, 100, u"First", WS_SYSMENU));
    // The gadget library fills a container inside the first window.
    s.container = CreateWindowExW(0, W(u"Static"), W(u""), WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, s.first,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    GadgetState* state = Window_GadgetState();
    state->stack[0] = s.first;
    state->stack[1] = s.container;
    state->depth = 2;
    HWND second = handleOf(Window_Open(1, 0, 0, 200, 100, u"Second", WS_SYSMENU));
    s.depthWhileSecond = state->depth;
    s.previous = Window_SetGadgetList(nullptr);
    s.returned = Window_SetGadgetList(s.first);
    s.listAfterReturn = state->listWindow;
    s.depthAfterReturn = state->depth;
    s.stackSecond = state->stack[1];
    (void)second;
    return s;
  });
  EXPECT_EQ(seen.depthWhileSecond, 0);
  EXPECT_NE(seen.previous, seen.first);
  EXPECT_NE(seen.returned, nullptr);
  EXPECT_EQ(seen.listAfterReturn, seen.first);
  EXPECT_EQ(seen.depthAfterReturn, 2);
  EXPECT_EQ(seen.stackSecond, seen.container);
  gui.Call([] { Window_GadgetState()->depth = 0; });
}

TEST(WindowTest, NumbersAreReusedAndDynamicWindowsAreAddressedByTheirHandle) {
  GuiThread gui;
  struct Seen {
    HWND old, renewed;
    bool oldAlive;
    intptr_t dynamic;
    HWND dynamicWindow;
    ObjectNumber foundNumber;
    int32_t firstClose, secondClose;  // the dynamic window; window 3 closed twice
    bool classAfterClose;
  } seen = gui.Call([] {
    Seen s{};
    s.old = handleOf(Window_Open(3, 0, 0, 100, 50, u"Old", WS_SYSMENU));
    s.renewed = handleOf(Window_Open(3, 0, 0, 100, 50, u"New", WS_SYSMENU));
    s.oldAlive = IsWindow(s.old);
    s.dynamic = Window_Open(OBJECT_ANY, 0, 0, 100, 50, u"Dynamic", WS_SYSMENU);
    WindowRecord* record = Window_GetRecord(s.dynamic);
    s.dynamicWindow = record ? record->handle : nullptr;
    s.foundNumber = Window_FromHandle(s.dynamicWindow, nullptr);
    s.firstClose = Window_Close(s.dynamic);
    Window_Close(3);
    s.secondClose = Window_Close(3);
    s.classAfterClose = classExists(u"WindowClass_3");
    return s;
  });
  EXPECT_NE(seen.renewed, nullptr);
  EXPECT_NE(seen.renewed, seen.old);
  EXPECT_FALSE(seen.oldAlive);
  EXPECT_NE(seen.dynamic, 0);
  EXPECT_NE(reinterpret_cast<HWND>(seen.dynamic), seen.dynamicWindow);
  ASSERT_NE(seen.dynamicWindow, nullptr);
  EXPECT_EQ(seen.foundNumber, seen.dynamic);
  EXPECT_EQ(seen.firstClose, 1);
  EXPECT_EQ(seen.secondClose, 0);
  EXPECT_FALSE(seen.classAfterClose);
}

// Negative numbers other than OBJECT_ANY name no window: opening one fails and
// leaves no window or class, closing or looking one up finds nothing, and a
// window whose tag reads as such a number belongs to no window record.
TEST(WindowTest, NumbersBelowMinusOneNameNoWindow) {
  GuiThread gui;
  HWND kept = handleOf(gui.Call([] { return Window_Open(0, 0, 0, 100, 50, u"Kept", WINDOW_INVISIBLE); }));
  ASSERT_NE(kept, nullptr);
  for (ObjectNumber bad :
       {ObjectNumber(-2), ObjectNumber(-3), ObjectNumber(-0x10001), ObjectNumber(INTPTR_MIN)}) {
    struct Seen {
      intptr_t opened;
      bool record, found;
      int32_t closed;
      ObjectNumber fromHandle;
    } seen = gui.Call([=] {
      Seen s{};
      s.opened = Window_Open(bad, 0, 0, 100, 50, u"Bad", WINDOW_INVISIBLE);
      s.record = Window_GetRecord(bad) != nullptr;
      s.closed = Window_Close(bad);
      // A foreign top-level window tagged with bad + 1.
      HWND tagged = CreateWindowExW(0, W(u"Static"), W(u""), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
      SetPropW(tagged, W(u"RT_WindowID"), reinterpret_cast<HANDLE>(bad + 1));
      WindowRecord* record = reinterpret_cast<WindowRecord*>(1);
      s.fromHandle = Window_FromHandle(tagged, &record);
      s.found = record != nullptr;
      RemovePropW(tagged, W(u"RT_WindowID"));
      DestroyWindow(tagged);
      return s;
    });
    EXPECT_EQ(seen.opened, 0) << bad;
    EXPECT_FALSE(seen.record);
    EXPECT_EQ(seen.closed, 0);
    EXPECT_EQ(seen.fromHandle, bad);
    EXPECT_FALSE(seen.found);
  }
  EXPECT_TRUE(IsWindow(kept));
  EXPECT_NE(gui.Call([] { return Window_GetRecord(0); }), nullptr);
  EXPECT_FALSE(classExists(u"WindowClass_-2"));
}

TEST(WindowTest, AFailedOpeningLeavesNoRecordAndNoClass) {
  GuiThread gui;
  struct Seen {
    intptr_t result;
    bool record, windowClass;
    HWND list;
  } seen = gui.Call([] {
    // A child style without a parent: the window system refuses the window.
    return Seen{Window_Open(5, 0, 0, 100, 50, u"Child", WS_CHILD), Window_GetRecord(5) != nullptr,
                classExists(u"WindowClass_5"), Window_SetGadgetList(nullptr)};
  });
  EXPECT_EQ(seen.result, 0);
  EXPECT_FALSE(seen.record);
  EXPECT_FALSE(seen.windowClass);
  EXPECT_EQ(seen.list, nullptr);
}

TEST(WindowTest, WindowEndClosesEveryWindow) {
  GuiThread gui;
  std::vector<HWND> windows = gui.Call([] {
    std::vector<HWND> opened;
    for (ObjectNumber n : {0, 4, 40})
      opened.push_back(handleOf(Window_Open(n, 0, 0, 100, 50, u"W", WS_SYSMENU)));
    opened.push_back(Window_GetRecord(Window_Open(OBJECT_ANY, 0, 0, 100, 50, u"D", 0))->handle);
    Window_End();
    return opened;
  });
  ASSERT_EQ(windows.size(), 4u);
  for (HWND window : windows) EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(gui.Call([] { return Window_GetRecord(40); }), nullptr);
}

}  // namespace
