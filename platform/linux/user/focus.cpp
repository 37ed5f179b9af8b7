// Activation and keyboard focus of the substitute's windows: the active,
// foreground, focus and capture windows, with the messages Windows sends as
// each changes, in its order.
#include <algorithm>
#include <utility>

#include "platform/linux/user/internal.h"

namespace user {

// Activates the next visible, enabled, not minimized top-level window of the
// thread after `leaving`, or none.
HWND activateOther(HWND leaving) {
  HWND next = nullptr;
  {
    Guard g(lock());
    // The owner comes first, as when a dialog closes.
    Window* l = get(leaving);
    Window* owner = l ? get(l->owner) : nullptr;
    if (owner && owner->thread == GetCurrentThreadId() && (owner->style & WS_VISIBLE) &&
        !(owner->style & (WS_DISABLED | WS_MINIMIZE)) && !owner->destroying)
      next = owner->handle;
    for (HWND h : state().topLevel) {
      if (next) break;
      Window* w = get(h);
      if (h == leaving || !w || w->thread != GetCurrentThreadId()) continue;
      if ((w->style & WS_VISIBLE) && !(w->style & (WS_DISABLED | WS_MINIMIZE)) && !w->destroying) {
        next = h;
        break;
      }
    }
  }
  if (next)
    SetForegroundWindow(next);
  else
    SetActiveWindow(nullptr);
  return next;
}

// Makes `window` (a top-level window of the calling thread, or null) the
// thread's active window, with WM_NCACTIVATE, WM_ACTIVATE and WM_ACTIVATEAPP
// in Windows order, then puts the focus in it unless the activation did.
void setActive(HWND window, bool byMouse) {
  HWND previous;
  bool appWasActive, appBecomesActive;
  {
    Guard g(lock());
    Queue& q = ownQueue();
    previous = q.active;
    if (previous && !get(previous)) previous = nullptr;
    appWasActive = previous != nullptr;
    if (previous == window) {
      if (window) state().foreground = window;
      return;
    }
    q.active = window;
    appBecomesActive = window != nullptr;
    if (window) {
      state().foreground = window;
      auto& top = state().topLevel;
      Window* w = get(window);
      top.erase(std::remove(top.begin(), top.end(), window), top.end());
      auto at = top.begin();
      if (!(w->exStyle & WS_EX_TOPMOST))
        while (at != top.end() && get(*at) && (get(*at)->exStyle & WS_EX_TOPMOST)) ++at;
      top.insert(at, window);
    } else if (state().foreground == previous) {
      state().foreground = nullptr;
    }
    state().changed.notify_all();
  }
  if (previous) {
    callProc(previous, WM_NCACTIVATE, FALSE, reinterpret_cast<LPARAM>(window));
    callProc(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(previous) ? 1 : 0),
             reinterpret_cast<LPARAM>(window));
  }
  if (appWasActive != appBecomesActive) {
    std::vector<HWND> tops;
    {
      Guard g(lock());
      for (HWND h : state().topLevel)
        if (getOwn(h)) tops.push_back(h);
    }
    for (HWND h : tops) callProc(h, WM_ACTIVATEAPP, appBecomesActive ? TRUE : FALSE, 0);
  }
  if (window && IsWindow(window)) {
    callProc(window, WM_NCACTIVATE, TRUE, reinterpret_cast<LPARAM>(previous));
    callProc(window, WM_ACTIVATE, MAKEWPARAM(byMouse ? WA_CLICKACTIVE : WA_ACTIVE, IsIconic(window) ? 1 : 0),
             reinterpret_cast<LPARAM>(previous));
  }
  HWND focus;
  {
    Guard g(lock());
    Queue& q = ownQueue();
    if (q.active != window) return;  // changed again by the messages
    focus = q.focus;
  }
  if (!focus || !window || GetAncestor(focus, GA_ROOT) != window) {
    setFocusWindow(window);
  }
}

// Puts `window` into one of the calling thread's slots (focus, capture);
// gives the window it held before, and whether that changed.
static std::pair<HWND, bool> exchangeSlot(HWND Queue::*slot, HWND window) {
  Guard g(lock());
  Queue& q = ownQueue();
  HWND previous = q.*slot;
  if (previous == window) return {previous, false};
  q.*slot = window;
  state().changed.notify_all();
  return {previous, true};
}

HWND setFocusWindow(HWND window) {
  auto [previous, changed] = exchangeSlot(&Queue::focus, window);
  if (!changed) return previous;
  if (previous && IsWindow(previous)) callProc(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (GetFocus() != window) return previous;  // changed by the message
  if (window) callProc(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

}  // namespace user

using namespace user;

HWND WINAPI GetActiveWindow() {
  Guard g(lock());
  return ownQueue().active;
}

HWND WINAPI SetActiveWindow(HWND window) {
  HWND previous = GetActiveWindow();
  if (window) {
    Guard g(lock());
    Window* w = getOwn(window);
    if (!w) return nullptr;
    // A child cannot be active: nothing changes, as on Windows, which
    // answers the active window all the same.
    if ((w->style & (WS_CHILD | WS_POPUP)) == WS_CHILD) return previous;
  }
  setActive(window, false);
  return previous;
}

HWND WINAPI GetForegroundWindow() {
  Guard g(lock());
  return state().foreground;
}

BOOL WINAPI SetForegroundWindow(HWND window) {
  DWORD thread, previousThread = 0;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) return FALSE;
    window = topLevelOf(window);
    w = get(window);
    thread = w->thread;
    if (Window* f = get(state().foreground)) previousThread = f->thread;
  }
  if (thread == GetCurrentThreadId()) {
    setActive(window, false);
    return TRUE;
  }
  // Another thread's window: that thread activates it when it next takes messages.
  if (previousThread == GetCurrentThreadId()) setActive(nullptr, false);
  Input activate{};
  activate.message = WM_ACTIVATE;
  activate.window = window;
  return queueInput(window, activate) ? TRUE : FALSE;
}

HWND WINAPI GetFocus() {
  Guard g(lock());
  return ownQueue().focus;
}

HWND WINAPI SetFocus(HWND window) {
  if (!window) return setFocusWindow(nullptr);
  HWND top;
  {
    Guard g(lock());
    Window* w = getOwn(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    // No focus inside a minimized or disabled ancestor.
    for (Window* p = w->parent ? get(w->parent) : nullptr; p; p = p->parent ? get(p->parent) : nullptr)
      if (p->style & (WS_MINIMIZE | WS_DISABLED)) return nullptr;
    top = topLevelOf(window);
  }
  if (GetActiveWindow() != top) {
    setActive(top, false);
    if (GetActiveWindow() != top) return nullptr;
    if (!IsWindow(window)) return nullptr;
  }
  return setFocusWindow(window);
}

namespace user {

// Gives the thread's capture to `window` (null: nobody); the window that loses
// it is told, with the one that takes it, as on Windows.
HWND setCaptureWindow(HWND window) {
  auto [previous, changed] = exchangeSlot(&Queue::capture, window);
  if (changed && previous && IsWindow(previous))
    callProc(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
  return previous;
}

}  // namespace user

HWND WINAPI SetCapture(HWND window) {
  if (window) {
    // Only a window of the calling thread can take it; otherwise nothing changes.
    Guard g(lock());
    if (!getOwn(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
  }
  return setCaptureWindow(window);
}

BOOL WINAPI ReleaseCapture() {
  setCaptureWindow(nullptr);
  return TRUE;
}

HWND WINAPI GetCapture() {
  Guard g(lock());
  return ownQueue().capture;
}
