// Windows of the substitute: classes, creation and destruction order, stale
// handles, subclassing chains, properties and the enumeration order.
#include <gtest/gtest.h>

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

}  // namespace
