// Windows of the substitute: classes, creation and destruction order, stale
// handles, subclassing chains, properties and the enumeration order.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32.h"
#include "tests/platform/user_support.h"

namespace {

class Windows : public testing::Test {
 protected:
  void SetUp() override {
    RegisterRecorder();
    Log().clear();
  }
};

TEST_F(Windows, DestroySendsDestroyParentFirstAndNcDestroyChildrenFirst) {
  HWND p = MakeTop();
  HWND a = MakeChild(p, 1);
  HWND a1 = MakeChild(a, 2);
  HWND b = MakeChild(p, 3);
  Log().clear();
  ASSERT_TRUE(DestroyWindow(p));
  using V = std::vector<std::pair<HWND, UINT>>;
  EXPECT_EQ(Only({WM_DESTROY}), (V{{p, WM_DESTROY}, {a, WM_DESTROY}, {a1, WM_DESTROY}, {b, WM_DESTROY}}));
  EXPECT_EQ(Only({WM_NCDESTROY}),
            (V{{a1, WM_NCDESTROY}, {a, WM_NCDESTROY}, {b, WM_NCDESTROY}, {p, WM_NCDESTROY}}));
  for (HWND h : {p, a, a1, b}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(p));
}

// A child or pop-up window learns its size and place as it is created; an
// overlapped window only when it is first shown.
TEST_F(Windows, CreationSendsSizeAndMoveAtOnceOrAtTheFirstShowing) {
  auto creation = [] {
    std::vector<UINT> messages;
    for (const Logged& l : Log())
      if (l.message == WM_NCCREATE || l.message == WM_CREATE || l.message == WM_SIZE || l.message == WM_MOVE)
        messages.push_back(l.message);
    Log().clear();
    return messages;
  };
  using M = std::vector<UINT>;
  HWND popup = MakeTop(u"popup", WS_POPUP);
  EXPECT_EQ(creation(), (M{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  HWND child = MakeChild(popup, 1, u"Recorder", 0);
  EXPECT_EQ(creation(), (M{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  HWND w = MakeTop();
  EXPECT_EQ(creation(), (M{WM_NCCREATE, WM_CREATE}));
  ShowWindow(w, SW_SHOW);
  EXPECT_EQ(creation(), (M{WM_SIZE, WM_MOVE}));
  ShowWindow(w, SW_HIDE);
  ShowWindow(w, SW_SHOW);
  EXPECT_EQ(creation(), M{}) << "only the first showing";
  ShowWindow(child, SW_SHOW);
  EXPECT_EQ(creation(), M{});
  WCHAR text[16];
  EXPECT_EQ(GetWindowTextW(w, text, 16), 3);
  EXPECT_EQ(GetWindowTextLengthW(w), 3);
  EXPECT_EQ(std::u16string(U(text)), u"top");
  DestroyWindow(w);
  DestroyWindow(popup);
}

LRESULT CALLBACK RefuseCreate(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  Log().push_back({w, m, wp, lp});
  return m == WM_CREATE ? -1 : DefWindowProcW(w, m, wp, lp);
}

TEST_F(Windows, RefusedCreationFailsAndTheWindowIsDestroyed) {
  ASSERT_TRUE(RegisterProcClass(u"Refuser", RefuseCreate));
  EXPECT_EQ(MakeTopOf(u"Refuser"), nullptr);
  ASSERT_FALSE(Log().empty());
  HWND h = Log().front().window;
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(Only({WM_NCDESTROY}).size(), 1u);
  EXPECT_TRUE(UnregisterClassW(W(u"Refuser"), nullptr));
}

TEST_F(Windows, ClassesAreUniqueByNameAndStayWhileTheyHaveWindows) {
  ASSERT_TRUE(RegisterProcClass(u"Twice", DefWindowProcW));
  EXPECT_FALSE(RegisterProcClass(u"TWICE", DefWindowProcW));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  HWND w = MakeTopOf(u"twice");
  ASSERT_TRUE(w);
  WCHAR name[16];
  GetClassNameW(w, name, 16);
  EXPECT_EQ(std::u16string(U(name)), u"Twice");
  EXPECT_FALSE(UnregisterClassW(W(u"Twice"), nullptr));
  DestroyWindow(w);
  EXPECT_TRUE(UnregisterClassW(W(u"Twice"), nullptr));
  EXPECT_EQ(MakeTopOf(u"Twice"), nullptr);
}

int reachedNew = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER) reachedNew++;
  return DefWindowProcW(w, m, wp, lp);
}

TEST_F(Windows, AStaleHandleFailsAndNeverReachesTheWindowThatReusedItsSlot) {
  RegisterProcClass(u"Counting", CountingProc);
  HWND old = MakeTopOf(u"Counting", u"old");
  SetPropW(old, W(u"p"), reinterpret_cast<HANDLE>(1));
  DestroyWindow(old);
  HWND fresh = MakeTopOf(u"Counting", u"new");
  SetPropW(fresh, W(u"p"), reinterpret_cast<HANDLE>(2));
#ifndef _WIN32  // Windows shares its handle table with other processes, which may take the slot first
  // The slot was reused: same index, another generation.
  EXPECT_EQ(LOWORD(reinterpret_cast<uintptr_t>(old)), LOWORD(reinterpret_cast<uintptr_t>(fresh)));
#endif
  EXPECT_NE(old, fresh);
  reachedNew = 0;
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(SendMessageW(old, WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessageW(old, WM_USER, 0, 0));
  EXPECT_FALSE(SetWindowTextW(old, W(u"stale")));
  EXPECT_EQ(GetPropW(old, W(u"p")), nullptr);
  EXPECT_EQ(RemovePropW(old, W(u"p")), nullptr);
  EXPECT_FALSE(ShowWindow(old, SW_SHOW));
  EXPECT_EQ(SetFocus(old), nullptr);
  EXPECT_EQ(reachedNew, 0);
  EXPECT_EQ(GetPropW(fresh, W(u"p")), reinterpret_cast<HANDLE>(2));
  WCHAR text[8];
  GetWindowTextW(fresh, text, 8);
  EXPECT_EQ(std::u16string(U(text)), u"new");
  DestroyWindow(fresh);
  UnregisterClassW(W(u"Counting"), nullptr);
}

WNDPROC firstPrevious, secondPrevious;
LRESULT CALLBACK FirstSubclass(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER) Log().push_back({w, WM_USER + 1, wp, lp});
  return CallWindowProcW(firstPrevious, w, m, wp, lp + (m == WM_USER ? 1 : 0));
}
LRESULT CALLBACK SecondSubclass(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER) Log().push_back({w, WM_USER + 2, wp, lp});
  return CallWindowProcW(secondPrevious, w, m, wp, lp + (m == WM_USER ? 10 : 0));
}

TEST_F(Windows, SubclassesFormAChainEndingInTheClassProcedure) {
  HWND w = MakeTop();
  firstPrevious = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FirstSubclass)));
  EXPECT_EQ(firstPrevious, RecorderProc);
  secondPrevious = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SecondSubclass)));
  EXPECT_EQ(secondPrevious, FirstSubclass);
  Log().clear();
  SendMessageW(w, WM_USER, 0, 100);
  // Newest first; each hands on what it changed.
  ASSERT_EQ(Log().size(), 3u);
  EXPECT_EQ(Log()[0].message, WM_USER + 2u);
  EXPECT_EQ(Log()[1].message, WM_USER + 1u);
  EXPECT_EQ(Log()[1].lParam, 110);
  EXPECT_EQ(Log()[2].message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(Log()[2].lParam, 111);
  EXPECT_EQ(GetWindowLongPtrW(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(SecondSubclass));
  // Taking a subclass out restores the chain below it.
  SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(firstPrevious));
  Log().clear();
  SendMessageW(w, WM_USER, 0, 0);
  EXPECT_EQ(Log().size(), 1u);
  DestroyWindow(w);
}

HANDLE propAtNcDestroy;
LRESULT CALLBACK PropReader(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_NCDESTROY) propAtNcDestroy = RemovePropW(w, W(u"RT_Value"));
  return DefWindowProcW(w, m, wp, lp);
}

TEST_F(Windows, PropertiesLiveUntilNcDestroyAndAreNamedWithoutCase) {
  RegisterProcClass(u"PropReader", PropReader);
  HWND w = MakeTopOf(u"PropReader");
  EXPECT_TRUE(SetPropW(w, W(u"RT_Value"), reinterpret_cast<HANDLE>(7)));
  EXPECT_TRUE(SetPropW(w, W(u"rt_value"), reinterpret_cast<HANDLE>(8)));  // the same property
  EXPECT_TRUE(SetPropW(w, W(u"Other"), reinterpret_cast<HANDLE>(9)));
  EXPECT_EQ(GetPropW(w, W(u"RT_VALUE")), reinterpret_cast<HANDLE>(8));
  EXPECT_EQ(RemovePropW(w, W(u"Other")), reinterpret_cast<HANDLE>(9));
  EXPECT_EQ(RemovePropW(w, W(u"Other")), nullptr);
  EXPECT_EQ(GetPropW(w, W(u"missing")), nullptr);
  propAtNcDestroy = nullptr;
  DestroyWindow(w);
  EXPECT_EQ(propAtNcDestroy, reinterpret_cast<HANDLE>(8));
  EXPECT_EQ(GetPropW(w, W(u"RT_Value")), nullptr);
  UnregisterClassW(W(u"PropReader"), nullptr);
}

std::vector<HWND> visited;
HWND createDuring;
BOOL CALLBACK Visit(HWND w, LPARAM stopAt) {
  visited.push_back(w);
  if (createDuring) MakeChild(createDuring, 99);
  return reinterpret_cast<HWND>(stopAt) != w;
}

TEST_F(Windows, EnumChildWindowsIsDepthFirstInZOrder) {
  HWND p = MakeTop();
  HWND a = MakeChild(p, 1);
  HWND a1 = MakeChild(a, 11);
  HWND a2 = MakeChild(a, 12);
  HWND b = MakeChild(p, 2);
  HWND b1 = MakeChild(b, 21);
  HWND c = MakeChild(p, 3);
  visited.clear();
  createDuring = nullptr;
  EXPECT_TRUE(EnumChildWindows(p, Visit, 0));
  EXPECT_EQ(visited, (std::vector<HWND>{a, a1, a2, b, b1, c}));
  EXPECT_EQ(GetWindow(p, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  // A callback answering FALSE ends the walk; windows made meanwhile are not visited.
  visited.clear();
  createDuring = p;
  EXPECT_FALSE(EnumChildWindows(p, Visit, reinterpret_cast<LPARAM>(b)));
  EXPECT_EQ(visited, (std::vector<HWND>{a, a1, a2, b}));
  createDuring = nullptr;
  DestroyWindow(p);
}

TEST_F(Windows, OuterSizeFromAdjustWindowRectGivesTheClientSize) {
  DWORD style = WS_OVERLAPPEDWINDOW;
  RECT r{0, 0, 300, 200};
  ASSERT_TRUE(AdjustWindowRectEx(&r, style, FALSE, 0));
  EXPECT_LT(r.left, 0);
  EXPECT_LT(r.top, r.left);  // the caption is above
  HWND w =
      MakeTopOf(u"Recorder", u"", style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top);
  RECT client;
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 200);
  HWND child = MakeChild(w, 5, u"Recorder", WS_VISIBLE, u"", 20, 30, 40, 0);
  RECT outer, cr;
  GetWindowRect(child, &outer);
  GetClientRect(child, &cr);
  POINT origin{0, 0};
  ClientToScreen(w, &origin);
  EXPECT_EQ(outer.left, origin.x + 20);
  EXPECT_EQ(outer.top, origin.y + 30);
  EXPECT_EQ(cr.right, 40);
  EXPECT_EQ(cr.bottom, 0);  // a zero height is kept as it is
  DestroyWindow(w);
}

TEST_F(Windows, AWindowCreatedMaximizedIsShownCoveringTheScreen) {
  HWND w = MakeTopOf(u"Recorder", u"max", WS_OVERLAPPEDWINDOW | WS_MAXIMIZE, CW_USEDEFAULT, CW_USEDEFAULT,
                     -65535, -65535);
  ASSERT_TRUE(w);
  EXPECT_TRUE(IsZoomed(w));
  bool sawMaximized = false;
  for (const Logged& l : Log())
    if (l.window == w && l.message == WM_SIZE && l.wParam == SIZE_MAXIMIZED) sawMaximized = true;
  EXPECT_TRUE(sawMaximized);
  ShowWindow(w, SW_SHOWMAXIMIZED);
  EXPECT_TRUE(IsWindowVisible(w));
  RECT client;
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, GetSystemMetrics(SM_CXSCREEN));
  ShowWindow(w, SW_RESTORE);
  EXPECT_FALSE(IsZoomed(w));
  RECT restored;
  GetWindowRect(w, &restored);
  EXPECT_GE(restored.right - restored.left,
            GetSystemMetrics(SM_CXMINTRACK));  // negative sizes become the minimum
  DestroyWindow(w);
}

// Windows erases a window as it is shown, and a parent that a hidden child
// uncovers, before the showing or hiding call returns, when the window
// belongs to the calling thread; BeginPaint then has nothing left to erase.
// Destroying a visible child hides it first.
TEST_F(Windows, ShownWindowsAndParentsUncoveredByAChildAreErasedAtOnce) {
  HWND p = MakeTop();
  ShowWindow(p, SW_SHOW);
  HWND a = MakeChild(p, 1);
  HWND b = MakeChild(p, 2, u"Recorder", WS_VISIBLE, u"", 10, 40);
  HWND hidden = MakeChild(p, 3, u"Recorder", 0);
  auto erasedNow = [&](auto change) {
    ValidateRect(p, nullptr);
    ValidateRect(a, nullptr);
    Log().clear();
    change();
    return Only({WM_ERASEBKGND});
  };
  using V = std::vector<std::pair<HWND, UINT>>;
  EXPECT_EQ(erasedNow([&] { ShowWindow(a, SW_HIDE); }), (V{{p, WM_ERASEBKGND}}));
  EXPECT_EQ(erasedNow([&] { ShowWindow(hidden, SW_HIDE); }), V{}) << "nothing was uncovered";
  EXPECT_EQ(erasedNow([&] { ShowWindow(a, SW_SHOW); }), (V{{a, WM_ERASEBKGND}}));
  EXPECT_EQ(erasedNow([&] { ShowWindow(a, SW_SHOW); }), V{}) << "already visible";
  EXPECT_EQ(erasedNow([&] {
              SetWindowPos(a, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_DEFERERASE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
            }),
            V{});
  RECT update;
  EXPECT_TRUE(GetUpdateRect(p, &update, FALSE)) << "a deferred erase waits for the next paint";
  EXPECT_EQ(erasedNow([&] {
              SetWindowPos(a, nullptr, 0, 0, 0, 0,
                           SWP_SHOWWINDOW | SWP_DEFERERASE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
            }),
            V{});
  EXPECT_TRUE(GetUpdateRect(a, &update, FALSE));
  EXPECT_EQ(erasedNow([&] { DestroyWindow(b); }), (V{{p, WM_ERASEBKGND}}));

  // The erase leaves the paint to come, without a second erase.
  Log().clear();
  PAINTSTRUCT ps;
  ShowWindow(a, SW_SHOW);
  ValidateRect(p, nullptr);
  ShowWindow(a, SW_HIDE);
  ASSERT_TRUE(GetUpdateRect(p, &update, FALSE));
  Log().clear();
  BeginPaint(p, &ps);
  EndPaint(p, &ps);
  EXPECT_EQ(Only({WM_ERASEBKGND}), V{});

  // An invisible parent is not erased.
  ShowWindow(a, SW_SHOW);
  ShowWindow(p, SW_HIDE);
  EXPECT_EQ(erasedNow([&] { ShowWindow(a, SW_HIDE); }), V{});
  DestroyWindow(p);
}

// The window under a screen point: the topmost visible top-level window there,
// then its deepest visible child. Hidden windows and disabled children are
// passed over for what lies beneath; a disabled top-level window is found,
// but not its children.
TEST_F(Windows, WindowFromPointFindsTheDeepestVisibleWindowAndPassesOverDisabledChildren) {
  HWND p = MakeTop(u"under");
  ShowWindow(p, SW_SHOW);
  HWND a = MakeChild(p, 1, u"Recorder", WS_VISIBLE, u"", 10, 10, 100, 60);
  HWND a1 = MakeChild(a, 11, u"Recorder", WS_VISIBLE, u"", 10, 10, 20, 20);
  MakeChild(p, 2, u"Recorder", 0, u"", 150, 10, 40, 40);                         // hidden
  MakeChild(p, 3, u"Recorder", WS_VISIBLE | WS_DISABLED, u"", 150, 60, 40, 40);  // disabled
  HWND lower = MakeChild(p, 4, u"Recorder", WS_VISIBLE, u"", 50, 50, 100, 60);   // below a, overlapping it
  auto at = [](HWND w, int x, int y) {
    POINT point{x, y};
    ClientToScreen(w, &point);
    return WindowFromPoint(point);
  };
  EXPECT_EQ(at(p, 5, 5), p);
  EXPECT_EQ(at(p, 5, -5), p) << "the caption";
  EXPECT_EQ(at(a, 5, 5), a);
  EXPECT_EQ(at(a1, 5, 5), a1);
  EXPECT_EQ(at(p, 160, 20), p) << "a hidden child";
  EXPECT_EQ(at(p, 160, 70), p) << "a disabled child";
  EXPECT_EQ(at(p, 60, 60), a) << "the child above in Z order";
  EXPECT_EQ(at(p, 140, 100), lower);

  EnableWindow(p, FALSE);
  EXPECT_EQ(at(p, 5, 5), p);
  EXPECT_EQ(at(a, 5, 5), p);
  EnableWindow(p, TRUE);

  // A window shown above covers p; hidden again, it uncovers it.
  POINT corner{0, 0};
  ClientToScreen(p, &corner);
  HWND cover = MakeTopOf(u"Recorder", u"cover", WS_POPUP | WS_VISIBLE, corner.x, corner.y, 50, 50);
  EXPECT_EQ(at(p, 5, 5), cover);
  ShowWindow(cover, SW_HIDE);
  EXPECT_EQ(at(p, 5, 5), p);
  DestroyWindow(cover);
  DestroyWindow(p);
}

// A window's rectangle relative to its parent's client area.
std::vector<LONG> PlacedIn(HWND parent, HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  POINT origin{0, 0};
  ClientToScreen(parent, &origin);
  return {r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
}

// The placement messages of the log for one window, oldest first; clears the log.
std::vector<UINT> PlacementMessages(HWND w) {
  std::vector<UINT> out;
  for (const Logged& l : Log())
    if (l.window == w && (l.message == WM_WINDOWPOSCHANGING || l.message == WM_WINDOWPOSCHANGED ||
                          l.message == WM_MOVE || l.message == WM_SIZE))
      out.push_back(l.message);
  Log().clear();
  return out;
}

// WM_WINDOWPOSCHANGING comes first, then the change, then
// WM_WINDOWPOSCHANGED, whose default handling sends WM_MOVE and WM_SIZE for
// what changed; a call that changes nothing sends no WM_WINDOWPOSCHANGED.
TEST_F(Windows, SetWindowPosMovesAndSizesAsItsFlagsSay) {
  HWND p = MakeTop();
  HWND a = MakeChild(p, 1, u"Recorder", WS_VISIBLE, u"", 10, 10, 80, 20);
  using M = std::vector<UINT>;
  using R = std::vector<LONG>;
  Log().clear();
  EXPECT_TRUE(SetWindowPos(a, nullptr, 20, 30, 999, 999, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(PlacedIn(p, a), (R{20, 30, 100, 50}));
  EXPECT_EQ(PlacementMessages(a), (M{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}));
  EXPECT_TRUE(SetWindowPos(a, nullptr, 999, 999, 50, 40, SWP_NOMOVE | SWP_NOZORDER));
  EXPECT_EQ(PlacedIn(p, a), (R{20, 30, 70, 70}));
  EXPECT_EQ(PlacementMessages(a), (M{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE}));
  EXPECT_TRUE(SetWindowPos(a, nullptr, 0, 5, 60, 10, SWP_NOZORDER));
  EXPECT_EQ(PlacedIn(p, a), (R{0, 5, 60, 15}));
  EXPECT_EQ(PlacementMessages(a), (M{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
  EXPECT_TRUE(SetWindowPos(a, nullptr, 0, 5, 60, 10, SWP_NOZORDER));
  EXPECT_EQ(PlacementMessages(a), (M{WM_WINDOWPOSCHANGING})) << "nothing changed";
  EXPECT_TRUE(SetWindowPos(a, nullptr, 0, 0, -5, -5, SWP_NOMOVE | SWP_NOZORDER));
  EXPECT_EQ(PlacedIn(p, a), (R{0, 5, 0, 5})) << "a negative size is none";
  // Places and sizes are kept within 16 bits.
  EXPECT_TRUE(SetWindowPos(a, nullptr, -40000, 40000, 40000, 50000, SWP_NOZORDER));
  EXPECT_EQ(PlacedIn(p, a), (R{-32768, 32767, 32767 - 32768, 32767 + 32767}));
  DestroyWindow(p);
}

// Whether `upper` comes before `lower` among their siblings (in Z order).
bool Above(HWND upper, HWND lower) {
  for (HWND h = GetWindow(upper, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT))
    if (h == lower) return true;
  return false;
}

TEST_F(Windows, SetWindowPosPutsAWindowOnTopAtTheBottomOrAfterASibling) {
  HWND p = MakeTop();
  HWND a = MakeChild(p, 1);
  HWND b = MakeChild(p, 2);
  HWND c = MakeChild(p, 3);
  auto order = [&] {
    std::vector<HWND> out;
    for (HWND h = GetWindow(p, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) out.push_back(h);
    return out;
  };
  using V = std::vector<HWND>;
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  EXPECT_EQ(order(), (V{a, b, c}));
  EXPECT_TRUE(SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, keep));
  EXPECT_EQ(order(), (V{c, a, b}));
  EXPECT_TRUE(SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, keep));
  EXPECT_EQ(order(), (V{a, b, c}));
  EXPECT_TRUE(SetWindowPos(a, b, 0, 0, 0, 0, keep));
  EXPECT_EQ(order(), (V{b, a, c}));
  EXPECT_TRUE(SetWindowPos(a, c, 0, 0, 0, 0, keep | SWP_NOZORDER));
  EXPECT_EQ(order(), (V{b, a, c})) << "SWP_NOZORDER keeps the order";
  EXPECT_EQ(GetWindow(a, GW_HWNDFIRST), b);
  EXPECT_EQ(GetWindow(a, GW_HWNDLAST), c);
  EXPECT_EQ(GetWindow(a, GW_HWNDPREV), b);

  // Top-level windows: a topmost one stays above the others, even the active one.
  HWND t1 = MakeTop(u"t1");
  HWND t2 = MakeTop(u"t2");
  ShowWindow(t1, SW_SHOW);
  ASSERT_TRUE(SetWindowPos(t1, HWND_TOPMOST, 0, 0, 0, 0, keep));
  EXPECT_TRUE(GetWindowLongW(t1, GWL_EXSTYLE) & WS_EX_TOPMOST);
  ShowWindow(t2, SW_SHOW);
  EXPECT_EQ(GetActiveWindow(), t2);
  EXPECT_TRUE(Above(t1, t2));
  ASSERT_TRUE(SetWindowPos(t1, HWND_NOTOPMOST, 0, 0, 0, 0, keep));
  EXPECT_FALSE(GetWindowLongW(t1, GWL_EXSTYLE) & WS_EX_TOPMOST);
  ASSERT_TRUE(SetWindowPos(t1, HWND_BOTTOM, 0, 0, 0, 0, keep));
  EXPECT_TRUE(Above(t2, t1));
  ASSERT_TRUE(SetWindowPos(t1, HWND_TOP, 0, 0, 0, 0, keep));
  EXPECT_TRUE(Above(t1, t2));
  DestroyWindow(t2);
  DestroyWindow(t1);
  DestroyWindow(p);
}

POINT minTrack, maxTrack;
LRESULT CALLBACK Tracking(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_GETMINMAXINFO) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lp);
    if (minTrack.x) info->ptMinTrackSize = minTrack;
    if (maxTrack.x) info->ptMaxTrackSize = maxTrack;
    return 0;
  }
  return DefWindowProcW(w, m, wp, lp);
}

// Sizes that SetWindowPos gives an overlapped or sizable window stay within
// its tracking sizes, which the procedure may change with WM_GETMINMAXINFO;
// a pop-up or child without a sizing frame takes any size.
TEST_F(Windows, SetWindowPosKeepsOverlappedWindowsWithinTheirTrackingSizes) {
  auto size = [](HWND w, int cx, int cy) {
    SetWindowPos(w, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r;
    GetWindowRect(w, &r);
    return std::vector<LONG>{r.right - r.left, r.bottom - r.top};
  };
  using S = std::vector<LONG>;
  HWND top = MakeTop();
  EXPECT_EQ(size(top, 1, 1), (S{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)}));
  HWND popup = MakeTopOf(u"Recorder");
  EXPECT_EQ(size(popup, 1, 1), (S{1, 1}));
  HWND child = MakeChild(top, 1);
  EXPECT_EQ(size(child, 1, 1), (S{1, 1}));

  RegisterProcClass(u"Tracking", Tracking);
  minTrack = {200, 150};
  maxTrack = {400, 300};
  HWND tracked = MakeTopOf(u"Tracking", u"", WS_POPUP | WS_THICKFRAME);
  EXPECT_EQ(size(tracked, 10, 10), (S{200, 150}));
  EXPECT_EQ(size(tracked, 1000, 1000), (S{400, 300}));
  EXPECT_EQ(size(tracked, 250, 250), (S{250, 250}));
  minTrack = maxTrack = {};
  DestroyWindow(tracked);
  DestroyWindow(popup);
  DestroyWindow(top);
  UnregisterClassW(W(u"Tracking"), nullptr);
}

// GetParent names a child's parent and a pop-up's owner, never an overlapped
// window's owner; IsChild follows parents at any depth, not owners.
TEST_F(Windows, ParentsAndOwnersAsGetParentAndIsChildTellThem) {
  HWND owner = MakeTop(u"owner");
  HWND child = MakeChild(owner, 1);
  HWND grandchild = MakeChild(child, 2);
  HWND popup = CreateWindowExW(0, W(u"Recorder"), W(u"popup"), WS_POPUP, 0, 0, 50, 50, owner, nullptr,
                               nullptr, nullptr);
  HWND overlapped = CreateWindowExW(0, W(u"Recorder"), W(u"overlapped"), WS_OVERLAPPED, 0, 0, 200, 100, owner,
                                    nullptr, nullptr, nullptr);
  HWND alone = MakeTopOf(u"Recorder");
  EXPECT_EQ(GetParent(child), owner);
  EXPECT_EQ(GetParent(grandchild), child);
  // A child's menu handle at creation is its control ID.
  EXPECT_EQ(GetWindowLongPtrW(grandchild, GWLP_ID), 2);
  EXPECT_EQ(GetDlgCtrlID(grandchild), 2);
  EXPECT_EQ(GetParent(popup), owner);
  EXPECT_EQ(GetParent(overlapped), nullptr);
  EXPECT_EQ(GetWindow(overlapped, GW_OWNER), owner);
  EXPECT_EQ(GetParent(alone), nullptr);
  EXPECT_EQ(GetParent(owner), nullptr);
  EXPECT_TRUE(IsChild(owner, grandchild));
  EXPECT_FALSE(IsChild(owner, owner));
  EXPECT_FALSE(IsChild(owner, popup));
  EXPECT_FALSE(IsChild(child, owner));
  DestroyWindow(alone);
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(popup)) << "owned windows go with their owner";
  EXPECT_FALSE(IsWindow(overlapped));
}

BOOL CALLBACK CollectOwn(HWND w, LPARAM list) {
  WCHAR name[16] = {};
  GetClassNameW(w, name, 16);
  if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() && std::u16string(U(name)) == u"Recorder")
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
  return TRUE;
}

// The top-level "Recorder" windows of this thread as EnumWindows gives them
// (the system may have windows of its own on the thread, such as for input methods).
std::vector<HWND> OwnTopLevel() {
  std::vector<HWND> found;
  EnumWindows(CollectOwn, reinterpret_cast<LPARAM>(&found));
  return found;
}

// EnumWindows gives the top-level windows, hidden ones too, in Z order (a new
// window comes on top), without their children. A window belongs to the
// thread that made it and ends with that thread.
TEST_F(Windows, EnumWindowsGivesTheTopLevelWindowsInZOrderAndEachBelongsToItsThread) {
  HWND first = MakeTop(u"first");
  MakeChild(first, 1);
  HWND second = MakeTop(u"second");
  using V = std::vector<HWND>;
  EXPECT_EQ(OwnTopLevel(), (V{second, first}));
  SetWindowPos(first, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(OwnTopLevel(), (V{first, second}));

  DWORD process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(first, &process), GetCurrentThreadId());
  EXPECT_EQ(process, GetCurrentProcessId());
  HWND theirs = nullptr;
  DWORD theirThread = 0, reported = 0;
  std::thread maker([&] {
    RegisterRecorder();
    theirs = MakeTopOf(u"Recorder", u"theirs");
    theirThread = GetCurrentThreadId();
    reported = GetWindowThreadProcessId(theirs, nullptr);
  });
  maker.join();
  EXPECT_EQ(reported, theirThread);
  EXPECT_NE(theirThread, GetCurrentThreadId());
  EXPECT_FALSE(IsWindow(theirs)) << "the thread ended";
  EXPECT_EQ(OwnTopLevel(), (V{first, second}));
  DestroyWindow(first);
  DestroyWindow(second);
}

}  // namespace
