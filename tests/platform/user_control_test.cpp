// The substitute's control classes and graphics stand-ins: Edit, Button,
// Static and progress-bar behaviour and notifications, control colours,
// brushes and the font model.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "platform/simuser.h"
#include "platform/win32.h"
#include "tests/platform/user_support.h"
#ifndef _WIN32
#include "platform/linux/user/internal.h"  // what the substitute painted with
#endif

namespace {

HBRUSH answerBrush;
LRESULT CALLBACK ColourParent(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  Log().push_back({w, m, wp, lp});
  if (m == WM_CTLCOLORSTATIC && answerBrush) {
    SetTextColor(reinterpret_cast<HDC>(wp), RGB(255, 0, 0));
    SetBkColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 255));
    return reinterpret_cast<LRESULT>(answerBrush);
  }
  return DefWindowProcW(w, m, wp, lp);
}

class Controls : public testing::Test {
 protected:
  HWND top = nullptr;
  void SetUp() override {
    RegisterProcClass(u"ColourParent", ColourParent);
    top = MakeTopOf(u"ColourParent", u"controls", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300);
    ShowWindow(top, SW_SHOW);
    PumpPending();
    Log().clear();
  }
  void TearDown() override {
    DestroyWindow(top);
    PumpPending();
  }
  // WM_COMMAND notifications the parent received, as (control ID, code).
  std::vector<std::pair<int, int>> commands(HWND from) {
    std::vector<std::pair<int, int>> out;
    for (const Logged& l : Log())
      if (l.message == WM_COMMAND && reinterpret_cast<HWND>(l.lParam) == from)
        out.push_back({LOWORD(l.wParam), HIWORD(l.wParam)});
    return out;
  }
  void settle() {
    PumpUntil([] { return false; }, 60);
  }
  // The WM_CTLCOLOR* messages the parent received from a control as it painted.
  static std::vector<UINT> colourRequestsOf(HWND control) {
    std::vector<UINT> out;
    for (const Logged& l : Log())
      if (l.message >= WM_CTLCOLORMSGBOX && l.message <= WM_CTLCOLORSTATIC &&
          reinterpret_cast<HWND>(l.lParam) == control)
        out.push_back(l.message);
    return out;
  }
};

TEST_F(Controls, EditReportsFocusTypingAndNewTextToTheParent) {
  HWND edit = MakeChild(top, 7, u"Edit", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, u"", 10, 10, 100, 20);
  SetFocus(edit);
  ASSERT_TRUE(SimUser_Type(u"ab"));
  ASSERT_TRUE(SimUser_Press(VK_BACK));
  ASSERT_TRUE(SimUser_Type(u"c"));
  settle();
  EXPECT_EQ(SimUser_Text(edit), u"ac");
  using C = std::vector<std::pair<int, int>>;
  EXPECT_EQ(commands(edit), (C{{7, EN_SETFOCUS},
                               {7, EN_UPDATE},
                               {7, EN_CHANGE},
                               {7, EN_UPDATE},
                               {7, EN_CHANGE},
                               {7, EN_UPDATE},
                               {7, EN_CHANGE},
                               {7, EN_UPDATE},
                               {7, EN_CHANGE}}));
  // The program's own text is reported as a change too.
  Log().clear();
  SetWindowTextW(edit, W(u"longer text"));
  EXPECT_EQ(SimUser_Text(edit), u"longer text");
  EXPECT_EQ(commands(edit), (C{{7, EN_UPDATE}, {7, EN_CHANGE}}));
  Log().clear();
  SetFocus(top);
  EXPECT_EQ(commands(edit), (C{{7, EN_KILLFOCUS}}));
}

TEST_F(Controls, EditAtItsLimitReportsMaxTextAndTakesNoMore) {
  HWND edit = MakeChild(top, 7, u"Edit", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, u"", 10, 10, 100, 20);
  SetFocus(edit);
  SendMessageW(edit, EM_LIMITTEXT, 3, 0);
  EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
  ASSERT_TRUE(SimUser_Type(u"ac"));
  settle();
  Log().clear();
  SendMessageW(edit, EM_SETSEL, 2, 2);
  ASSERT_TRUE(SimUser_Type(u"de"));
  settle();
  EXPECT_EQ(SimUser_Text(edit), u"acd");
  using C = std::vector<std::pair<int, int>>;
  EXPECT_EQ(commands(edit), (C{{7, EN_UPDATE}, {7, EN_CHANGE}, {7, EN_MAXTEXT}}));
  // The program's own text ignores the limit.
  SetWindowTextW(edit, W(u"longer than three"));
  EXPECT_EQ(SimUser_Text(edit), u"longer than three");
}

TEST_F(Controls, EditWithoutAutoScrollStopsAtItsWidth) {
  HWND edit = MakeChild(top, 8, u"Edit", WS_VISIBLE, u"", 10, 10, 40, 20);
  SetFocus(edit);
  ASSERT_TRUE(SimUser_Type(u"abcdefghijklmnop"));
  settle();
  EXPECT_LT(SimUser_Text(edit).size(), 16u);
  auto reported = commands(edit);
  EXPECT_NE(std::find(reported.begin(), reported.end(), std::make_pair(8, static_cast<int>(EN_MAXTEXT))),
            reported.end());
}

TEST_F(Controls, ButtonClicksByMouseAndBySpaceWhileFocused) {
  HWND button = MakeChild(top, 3, u"Button", WS_VISIBLE | WS_TABSTOP, u"upload", 10, 50, 80, 20);
  HWND flat = MakeChild(top, 4, u"Button", WS_VISIBLE | WS_TABSTOP, u"cancel", 10, 80, 80, 0);
  ASSERT_TRUE(SimUser_Click(button));
  settle();
  using C = std::vector<std::pair<int, int>>;
  EXPECT_EQ(commands(button), (C{{3, BN_CLICKED}}));
  EXPECT_EQ(GetFocus(), button);
  // A button of height 0 cannot be hit by the mouse, but takes Space when focused.
  EXPECT_FALSE(SimUser_Click(flat));
  SetFocus(flat);
  ASSERT_TRUE(SimUser_Press(VK_SPACE));
  settle();
  EXPECT_EQ(commands(flat), (C{{4, BN_CLICKED}}));
  // Disabled, it is not under the pointer any more.
  EnableWindow(button, FALSE);
  Log().clear();
  SimUser_Click(button);
  settle();
  EXPECT_TRUE(commands(button).empty());
}

TEST_F(Controls, OnlyCheckBoxesKeepACheckState) {
  HWND push = MakeChild(top, 1, u"Button", WS_VISIBLE, u"push", 10, 10, 80, 20);
  HWND box = MakeChild(top, 2, u"Button", WS_VISIBLE | BS_AUTOCHECKBOX, u"box", 10, 40, 80, 20);
  SendMessageW(push, BM_SETCHECK, 5, 0);
  EXPECT_EQ(SendMessageW(push, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageW(box, BM_SETCHECK, 5, 0);
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  ASSERT_TRUE(SimUser_Click(box));
  settle();
  SimWindow seen;
  ASSERT_TRUE(SimUser_Read(box, &seen));
  EXPECT_EQ(seen.check, BST_UNCHECKED);
  EXPECT_TRUE(seen.focused);
  SendMessageW(box, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(Controls, ProgressBarKeepsItsPositionWithinTheRange) {
  HWND bar = MakeChild(top, 0, u"msctls_progress32", WS_VISIBLE, nullptr, 10, 10, 200, 20);
  int low, high, pos;
  ASSERT_TRUE(SimUser_Progress(bar, &low, &high, &pos));
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 100);
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 50, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 150, 0), 50);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 100);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(INT32_MIN), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  SendMessageW(bar, PBM_SETPOS, 80, 0);
  SendMessageW(bar, PBM_SETRANGE32, 10, 60);  // the position follows a narrower range
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 60);
  PBRANGE range;
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 60);
  EXPECT_EQ(range.iHigh, 60);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(bar, PBM_SETBARCOLOR, 0, RGB(1, 2, 3))), CLR_DEFAULT);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(bar, PBM_SETBARCOLOR, 0, CLR_DEFAULT)), RGB(1, 2, 3));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(bar, PBM_SETBKCOLOR, 0, RGB(9, 9, 9))), CLR_DEFAULT);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(bar, PBM_GETBKCOLOR, 0, 0)), RGB(9, 9, 9));
}

// Each control keeps the font it is given and answers it; a window of one of
// the program's classes answers none. A font given with a redraw repaints
// the control.
TEST_F(Controls, ControlsKeepTheFontTheyAreGivenAndRepaintWithIt) {
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  ASSERT_TRUE(font);
  const std::pair<const char16_t*, const char*> classes[] = {
      {u"Static", "Static"}, {u"Edit", "Edit"}, {u"Button", "Button"}, {u"msctls_progress32", "progress"}};
  for (auto [cls, name] : classes) {
    SCOPED_TRACE(name);
    HWND control = MakeChild(top, 1, cls, WS_VISIBLE, u"text", 10, 10, 100, 20);
    ASSERT_TRUE(control);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EXPECT_EQ(SendMessageW(control, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font));
    // The bar shows no text: a new font needs no repaint.
    if (std::string(name) != "progress") {
      settle();
      Log().clear();
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      settle();
      EXPECT_EQ(colourRequestsOf(control), std::vector<UINT>{}) << "no redraw asked";
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
      settle();
      EXPECT_NE(colourRequestsOf(control), std::vector<UINT>{}) << "a redraw asked";
    }
    DestroyWindow(control);
  }
  HWND plain = MakeChild(top, 2);
  SendMessageW(plain, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EXPECT_EQ(SendMessageW(plain, WM_GETFONT, 0, 0), 0);
}

// A label without SS_NOTIFY lets the mouse through to the window beneath it,
// for the windows of the thread that asks; with SS_NOTIFY it takes the click
// and tells its parent.
TEST_F(Controls, ALabelLetsTheMouseThroughUnlessItNotifies) {
  MakeChild(top, 1, u"Static", WS_VISIBLE, u"label", 10, 10, 100, 20);
  HWND notifying = MakeChild(top, 2, u"Static", WS_VISIBLE | SS_NOTIFY, u"notify", 10, 40, 100, 20);
  settle();
  Log().clear();
  POINT over{60, 20};
  ClientToScreen(top, &over);
  EXPECT_EQ(WindowFromPoint(over), top);
  ASSERT_TRUE(SimUser_ClickAt(top, 60, 20));
  auto clicked = [&] {
    std::vector<std::pair<UINT, LPARAM>> out;
    for (const Logged& l : Log())
      if (l.window == top && (l.message == WM_LBUTTONDOWN || l.message == WM_LBUTTONUP))
        out.push_back({l.message, l.lParam});
    return out;
  };
  EXPECT_TRUE(PumpUntil([&] { return clicked().size() == 2; }));
  using V = std::vector<std::pair<UINT, LPARAM>>;
  EXPECT_EQ(clicked(), (V{{WM_LBUTTONDOWN, MAKELPARAM(60, 20)}, {WM_LBUTTONUP, MAKELPARAM(60, 20)}}));

  POINT overNotifying{60, 50};
  ClientToScreen(top, &overNotifying);
  EXPECT_EQ(WindowFromPoint(overNotifying), notifying);
  Log().clear();
  ASSERT_TRUE(SimUser_Click(notifying));
  using C = std::vector<std::pair<int, int>>;
  EXPECT_TRUE(PumpUntil([&] { return !commands(notifying).empty(); }));
  EXPECT_EQ(commands(notifying), (C{{2, STN_CLICKED}}));
  EXPECT_EQ(clicked(), V{});
}

TEST_F(Controls, ControlsAskTheirParentForColoursAsTheyPaint) {
  HWND label = MakeChild(top, 1, u"Static", WS_VISIBLE, u"Filename", 10, 10, 100, 20);
  HWND edit = MakeChild(top, 2, u"Edit", WS_VISIBLE, u"", 10, 40, 100, 20);
  HWND readOnly = MakeChild(top, 3, u"Edit", WS_VISIBLE | ES_READONLY, u"", 10, 70, 100, 20);
  HWND button = MakeChild(top, 4, u"Button", WS_VISIBLE, u"go", 10, 100, 100, 20);
  settle();
  EXPECT_EQ(colourRequestsOf(label), std::vector<UINT>{WM_CTLCOLORSTATIC});
  EXPECT_EQ(colourRequestsOf(edit), std::vector<UINT>{WM_CTLCOLOREDIT});
  EXPECT_EQ(colourRequestsOf(readOnly), std::vector<UINT>{WM_CTLCOLORSTATIC});
  EXPECT_EQ(colourRequestsOf(button), std::vector<UINT>{WM_CTLCOLORBTN});
}

#ifndef _WIN32  // reads what the substitute recorded of its painting
// What a control was painted with, as the substitute recorded it.
struct Painted {
  COLORREF text, back;
  HBRUSH brush;
  int paints;
};
Painted paintedOf(HWND control) {
  user::Guard g(user::lock());
  user::Window* w = user::get(control);
  const user::ControlPaint* p = w ? user::controlPaintOf(*w) : nullptr;
  return p ? Painted{p->text, p->back, p->brush, p->paints} : Painted{};
}

TEST_F(Controls, ControlsPaintWithTheColoursTheirParentAnswers) {
  answerBrush = CreateSolidBrush(RGB(0, 0, 255));
  HWND label = MakeChild(top, 1, u"Static", WS_VISIBLE, u"Filename", 10, 10, 100, 20);
  HWND edit = MakeChild(top, 2, u"Edit", WS_VISIBLE, u"", 10, 40, 100, 20);
  settle();
  Painted p = paintedOf(label);
  EXPECT_EQ(p.text, RGB(255, 0, 0));
  EXPECT_EQ(p.back, RGB(0, 0, 255));
  EXPECT_EQ(p.brush, answerBrush);
  // The default answer: the system colours of a field.
  Painted e = paintedOf(edit);
  EXPECT_EQ(e.back, GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(e.brush, GetSysColorBrush(COLOR_WINDOW));
  // A new text paints again, once per frame.
  SetWindowTextW(label, W(u"Directory"));
  settle();
  EXPECT_EQ(paintedOf(label).paints, p.paints + 1);
  DeleteObject(answerBrush);
  answerBrush = nullptr;
}

// Whether a window holds a record of its control class now.
bool hasRecord(HWND control) {
  user::Guard g(user::lock());
  user::Window* w = user::get(control);
  return w && w->control;
}

// What a subclass of a button saw of the class's record at WM_NCDESTROY.
WNDPROC buttonProc;
bool swallowNcDestroy;
int recordsBefore, recordsAfter, checkAfter = -1;
LRESULT CALLBACK WatchNcDestroy(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m != WM_NCDESTROY) return CallWindowProcW(buttonProc, w, m, wp, lp);
  recordsBefore += hasRecord(w);
  if (swallowNcDestroy) return 0;
  CallWindowProcW(buttonProc, w, m, wp, lp);
  recordsAfter += hasRecord(w);
  // The class procedure, called after its record went, reads nothing freed.
  checkAfter = static_cast<int>(CallWindowProcW(buttonProc, w, BM_GETCHECK, 0, 0));
  return 0;
}

TEST_F(Controls, AControlsRecordLivesFromNcCreateToNcDestroyAndNeverOutlivesItsWindow) {
  for (bool swallow : {false, true}) {
    swallowNcDestroy = swallow;
    recordsBefore = recordsAfter = 0;
    checkAfter = -1;
    HWND box = MakeChild(top, 1, u"Button", WS_VISIBLE | BS_AUTOCHECKBOX, u"Keep", 10, 10, 100, 20);
    ASSERT_TRUE(hasRecord(box));
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    buttonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchNcDestroy)));
    ASSERT_TRUE(DestroyWindow(box));
    EXPECT_EQ(recordsBefore, 1);
    // Freed by the class, or with the window when a subclass kept the
    // message from it (the leak check of the sanitizer build sees the rest).
    EXPECT_EQ(recordsAfter, 0);
    EXPECT_EQ(checkAfter, swallow ? -1 : 0);
    EXPECT_FALSE(IsWindow(box));
  }
}

// A superclass of "Edit" that refuses its creation at `refuseAt`.
WNDPROC editProc;
UINT refuseAt;
int refusedRecordsAtNcDestroy;
LRESULT CALLBACK RefusingEdit(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_NCDESTROY) refusedRecordsAtNcDestroy += hasRecord(w);
  LRESULT r = CallWindowProcW(editProc, w, m, wp, lp);
  if (m == refuseAt) return m == WM_CREATE ? -1 : FALSE;
  return r;
}

TEST_F(Controls, ACreationRefusedAfterTheControlMadeItsRecordFreesIt) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  ASSERT_TRUE(GetClassInfoExW(nullptr, W(u"Edit"), &wc));
  editProc = wc.lpfnWndProc;
  wc.lpfnWndProc = RefusingEdit;
  wc.lpszClassName = W(u"RefusingEdit");
  wc.hInstance = nullptr;
  RegisterClassExW(&wc);
  for (UINT at : {static_cast<UINT>(WM_NCCREATE), static_cast<UINT>(WM_CREATE)}) {
    refuseAt = at;
    refusedRecordsAtNcDestroy = 0;
    EXPECT_EQ(MakeChild(top, 3, u"RefusingEdit", WS_VISIBLE, u"no"), nullptr) << at;
    // The class procedure had made its record and was given WM_NCDESTROY to free it.
    EXPECT_EQ(refusedRecordsAtNcDestroy, 1) << at;
  }
  refuseAt = 0;
  HWND edit = MakeChild(top, 3, u"RefusingEdit", WS_VISIBLE, u"yes");
  ASSERT_TRUE(edit);
  EXPECT_TRUE(hasRecord(edit));
  SendMessageW(edit, EM_SETSEL, 1, 2);
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 2u);
  DestroyWindow(edit);
}

TEST_F(Controls, TheRecordsOfAThreadsControlsGoWithTheThread) {
  HWND bar = nullptr, box = nullptr;
  std::thread([&] {
    bar = CreateWindowExW(0, W(u"msctls_progress32"), W(u""), WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                          nullptr, nullptr);
    box = CreateWindowExW(0, W(u"Button"), W(u"b"), WS_POPUP | BS_CHECKBOX, 0, 0, 100, 20, nullptr, nullptr,
                          nullptr, nullptr);
    SendMessageW(bar, PBM_SETPOS, 40, 0);
    EXPECT_TRUE(hasRecord(bar) && hasRecord(box));
  }).join();
  // Gone without a message: their records went with them.
  EXPECT_FALSE(IsWindow(bar));
  EXPECT_FALSE(IsWindow(box));
}
#endif

TEST(Gdi, BrushesRememberTheirColourAndStockObjectsStay) {
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectW(brush, sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbColor, RGB(10, 20, 30));
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(GetObjectW(brush, sizeof lb, &lb), 0);
  EXPECT_FALSE(DeleteObject(brush));
  HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
  ASSERT_TRUE(font);
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(GetStockObject(DEFAULT_GUI_FONT), font);
  HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  ASSERT_EQ(GetObjectW(face, sizeof lb, &lb), static_cast<int>(sizeof lb));
  EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
}

TEST(Gdi, TextIsMeasuredWithTheFixedFontModel) {
  HDC dc = GetDC(nullptr);
  ASSERT_TRUE(dc);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_EQ(old, GetStockObject(SYSTEM_FONT));
  SIZE size;
  ASSERT_TRUE(GetTextExtentPoint32W(dc, W(u"Hg"), 2, &size));
  EXPECT_EQ(size.cx, 7 + 6);
  EXPECT_EQ(size.cy, 13);
  ASSERT_TRUE(GetTextExtentPoint32W(dc, W(u"Hg"), 1, &size));
  EXPECT_EQ(size.cx, 7);
  RECT r{0, 0, 0, 0};
  EXPECT_EQ(DrawTextW(dc, W(u"a&b\nM&&"), -1, &r, DT_CALCRECT), 26);
  EXPECT_EQ(r.right, 9 + 6);  // "ab" against "M&": the prefix is no character, "&&" is one
  EXPECT_EQ(r.bottom, 26);
  r = RECT{0, 0, 0, 0};
  DrawTextW(dc, W(u"a&b"), -1, &r, DT_CALCRECT | DT_NOPREFIX);
  EXPECT_EQ(r.right, 6 + 6 + 6);
  SelectObject(dc, old);
  EXPECT_EQ(ReleaseDC(nullptr, dc), 1);
  EXPECT_EQ(ReleaseDC(nullptr, dc), 0);
}

// Whatever the font: with prefix processing "&x" draws x (the access key) and
// "&&" one ampersand; DT_NOPREFIX measures every '&' as the character it is,
// as GetTextExtentPoint32W does.
TEST(Gdi, DrawTextTakesAmpersandsLiterallyOnlyWithNoPrefix) {
  HDC dc = GetDC(nullptr);
  ASSERT_TRUE(dc);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  auto extent = [dc](const char16_t* text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, W(text), static_cast<int>(std::char_traits<char16_t>::length(text)), &size);
    return size;
  };
  auto drawn = [dc](const char16_t* text, UINT format) {
    RECT r{0, 0, 0, 0};
    int height = DrawTextW(dc, W(text), -1, &r, DT_CALCRECT | format);
    EXPECT_EQ(height, r.bottom) << "the result is the height";
    return r;
  };
  EXPECT_GT(extent(u"ab&cd").cx, extent(u"abcd").cx);
  EXPECT_EQ(drawn(u"ab&cd", DT_NOPREFIX).right, extent(u"ab&cd").cx);
  EXPECT_EQ(drawn(u"ab&&cd", DT_NOPREFIX).right, extent(u"ab&&cd").cx);
  EXPECT_EQ(drawn(u"ab&cd", 0).right, extent(u"abcd").cx);
  EXPECT_EQ(drawn(u"ab&&cd", 0).right, extent(u"ab&cd").cx);
  EXPECT_EQ(drawn(u"ab&cd", DT_NOPREFIX).bottom, extent(u"ab&cd").cy);
  EXPECT_EQ(drawn(u"ab&cd", 0).bottom, extent(u"ab&cd").cy);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
}

}  // namespace
