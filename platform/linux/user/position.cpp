// Placement of the substitute's windows: position, size, Z order, showing,
// minimizing and maximizing, and the enabled state, with the messages Windows
// sends for each and in its order.
#include <algorithm>

#include "platform/linux/user/internal.h"

using namespace user;

namespace {

constexpr UINT kStateChanged = 0x8000;  // SWP_STATECHANGED: minimized, maximized or restored

struct Placement {
  RECT rect;
  DWORD style;
};

// The outer rectangle of a maximized window: the client area covers the
// screen below the caption; the frame lies outside the screen.
RECT maximizedRect(const Window& w) {
  RECT in = nonClientInsets(w.style, w.exStyle);
  RECT frameOnly = in;
  frameOnly.top = in.left;  // the caption stays on screen
  return RECT{-frameOnly.left, -frameOnly.top, kScreenWidth + frameOnly.right,
              kScreenHeight + frameOnly.bottom};
}

RECT minimizedRect() {
  return RECT{kMinimizedAt, kMinimizedAt, kMinimizedAt + kMinimizedWidth, kMinimizedAt + kMinimizedHeight};
}

bool topmost(HWND window) {
  Window* w = get(window);
  return w && !w->parent && (w->exStyle & WS_EX_TOPMOST);
}

// Puts the window where SetWindowPos's `after` says among its siblings (on
// top, at the bottom, or just below a sibling); topmost top-level windows stay
// above the others. True when the order changed; an `after` that is no
// sibling changes nothing, as on Windows.
bool reorder(Window& w, HWND after) {
  auto& list = w.parent && get(w.parent) ? get(w.parent)->children : state().topLevel;
  const bool named =
      after != HWND_TOP && after != HWND_BOTTOM && after != HWND_TOPMOST && after != HWND_NOTOPMOST;
  if (named && (after == w.handle || std::find(list.begin(), list.end(), after) == list.end())) return false;
  if (after == HWND_NOTOPMOST && !(w.exStyle & WS_EX_TOPMOST)) return false;  // already among the others
  if (!w.parent) {
    if (after == HWND_TOPMOST) w.exStyle |= WS_EX_TOPMOST;
    // At the bottom, a topmost window loses that standing.
    if (after == HWND_NOTOPMOST || after == HWND_BOTTOM) w.exStyle &= ~WS_EX_TOPMOST;
  }
  const std::vector<HWND> before = list;
  list.erase(std::remove(list.begin(), list.end(), w.handle), list.end());
  size_t at = 0;
  if (after == HWND_BOTTOM)
    at = list.size();
  else if (named)
    at = static_cast<size_t>(std::find(list.begin(), list.end(), after) - list.begin()) + 1;
  size_t band = 0;
  while (band < list.size() && topmost(list[band])) band++;
  at = topmost(w.handle) ? std::min(at, band) : std::max(at, band);
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), w.handle);
  return list != before;
}

}  // namespace

namespace user {

// Moves the window and changes its state, with WM_WINDOWPOSCHANGING before
// and WM_WINDOWPOSCHANGED after (only when something changed); activation,
// when asked, comes in between, as on Windows.
static BOOL placeWindow(HWND window, HWND after, RECT target, DWORD setStyle, DWORD clearStyle, UINT flags) {
  WINDOWPOS pos{
      window, after, target.left, target.top, target.right - target.left, target.bottom - target.top, flags};
  DWORD oldStyle;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) return FALSE;
    // The window is in its new state (minimized, maximized, restored) as it
    // hears of the change, as on Windows; the default procedure then keeps a
    // minimized window's size.
    oldStyle = w->style;
    w->style = (w->style | setStyle) & ~clearStyle;
  }
  callProc(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  bool activate = false, deactivate = false, moved = false, sized = false, uncovered = false, shown = false;
  bool changed = false;
  HWND parent = nullptr;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) return FALSE;
    RECT old = w->rect;
    RECT oldClient = clientRectOf(*w);
    if (!(flags & SWP_NOMOVE)) {
      LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
      w->rect.left = pos.x;
      w->rect.top = pos.y;
      w->rect.right = pos.x + width;
      w->rect.bottom = pos.y + height;
    }
    if (!(flags & SWP_NOSIZE)) {
      w->rect.right = w->rect.left + std::max(pos.cx, 0);
      w->rect.bottom = w->rect.top + std::max(pos.cy, 0);
    }
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
    RECT newClient = clientRectOf(*w);
    moved = old.left != w->rect.left || old.top != w->rect.top;
    sized = oldClient.right != newClient.right || oldClient.bottom != newClient.bottom;
    if ((oldStyle ^ w->style) & (WS_MINIMIZE | WS_MAXIMIZE)) flags |= kStateChanged;
    const bool reordered = !(flags & SWP_NOZORDER) && reorder(*w, after);
    changed = moved || sized || reordered || (flags & (kStateChanged | SWP_FRAMECHANGED)) ||
              ((oldStyle ^ w->style) & WS_VISIBLE) || old.right != w->rect.right ||
              old.bottom != w->rect.bottom;
    if ((flags & SWP_SHOWWINDOW) && !(oldStyle & WS_VISIBLE)) {
      w->everShown = true;
      invalidate(*w, true);
      shown = !(flags & SWP_DEFERERASE);  // eraseNow checks visibility itself
    }
    if (visibleOf(*w) && (sized || (flags & (SWP_SHOWWINDOW | SWP_FRAMECHANGED)))) invalidate(*w, true);
    parent = w->parent;
    bool child = (w->style & (WS_CHILD | WS_POPUP)) == WS_CHILD;
    // A hidden child uncovers its parent, which must be painted again.
    if (child && (flags & SWP_HIDEWINDOW) && (oldStyle & WS_VISIBLE))
      if (Window* p = get(parent); p && visibleOf(*p)) {
        p->invalid = true;
        p->erase = true;
        uncovered = !(flags & SWP_DEFERERASE);
        wakeQueue(p->thread);
      }
    activate = !child && !(flags & SWP_NOACTIVATE) && (w->style & WS_VISIBLE);
    deactivate = (flags & SWP_HIDEWINDOW) && ownQueue().active == window;
    state().changed.notify_all();
  }
  if (!moved) flags |= SWP_NOMOVE;
  if (!sized) flags |= SWP_NOSIZE;
  if (activate) SetForegroundWindow(window);
  if (deactivate) activateOther(window);
  if (flags & SWP_HIDEWINDOW) {
    // The focus leaves a hidden window for its parent.
    HWND focus = GetFocus();
    if (focus && (focus == window || IsChild(window, focus))) SetFocus(parent);
  }
  // A window shown and the parent a hidden child uncovers are erased at
  // once, before the change is reported (a window of another thread is
  // erased when it next paints).
  if (shown) eraseNow(window);
  if (uncovered) eraseNow(parent);
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) return TRUE;
    pos.x = w->rect.left;
    pos.y = w->rect.top;
    pos.cx = w->rect.right - w->rect.left;
    pos.cy = w->rect.bottom - w->rect.top;
    pos.flags = flags;
  }
  if (changed) callProc(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  return TRUE;
}

MINMAXINFO trackingSizes(HWND window) {
  MINMAXINFO mmi{};
  mmi.ptMaxSize = {kScreenWidth + 2 * kSizingFrame, kScreenHeight + 2 * kSizingFrame};
  mmi.ptMaxPosition = {-kSizingFrame, -kSizingFrame};
  mmi.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  mmi.ptMaxTrackSize = {kScreenWidth + 2 * kSizingFrame + 12, kScreenHeight + 2 * kSizingFrame + 12};
  callProc(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  return mmi;
}

bool sizeAndMoveOf(HWND window, SizeAndMove* out) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) return false;
  out->sizeType = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
                  : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                             : SIZE_RESTORED;
  RECT client = clientRectOf(*w);
  RECT in = nonClientInsets(w->style, w->exStyle);
  out->size = MAKELPARAM(client.right, client.bottom);
  out->origin = MAKELPARAM(w->rect.left + in.left, w->rect.top + in.top);
  return true;
}

void sendSizeAndMove(HWND window) {
  SizeAndMove now;
  if (!sizeAndMoveOf(window, &now)) return;
  callProc(window, WM_SIZE, now.sizeType, now.size);
  callProc(window, WM_MOVE, 0, now.origin);
}

}  // namespace user

using namespace user;

BOOL WINAPI SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  {
    Guard g(lock());
    if (!get(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
  }
  // Places and sizes are kept within 16 bits, as Windows keeps them; a
  // negative size is none.
  x = std::clamp(x, -32768, 32767);
  y = std::clamp(y, -32768, 32767);
  width = std::clamp(width, 0, 32767);
  height = std::clamp(height, 0, 32767);
  return placeWindow(window, insertAfter, RECT{x, y, x + width, y + height}, 0, 0, flags);
}

BOOL WINAPI ShowWindow(HWND window, int command) {
  DWORD style;
  RECT rect, normal, maximized;
  bool child;
  {
    Guard g(lock());
    Window* w = getOwn(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    style = w->style;
    rect = w->rect;
    normal = w->normalRect;
    maximized = maximizedRect(*w);
    child = (w->style & WS_CHILD) != 0;
  }
  bool wasVisible = (style & WS_VISIBLE) != 0;
  bool minimized = (style & WS_MINIMIZE) != 0, isMaximized = (style & WS_MAXIMIZE) != 0;
  UINT flags = SWP_NOZORDER;
  DWORD set = 0, clear = 0;
  RECT target = rect;
  bool showing = true;
  switch (command) {
    case SW_HIDE:
      if (!wasVisible) return FALSE;
      showing = false;
      flags |= SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE;
      break;
    case SW_SHOWMINNOACTIVE:
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      if (command != SW_SHOWMINIMIZED) flags |= SWP_NOACTIVATE;
      if (!minimized) {
        if (!isMaximized) normal = rect;
        target = minimizedRect();
        set = WS_MINIMIZE;
        clear = WS_MAXIMIZE;
      }
      break;
    case SW_SHOWMAXIMIZED:
      if (child) break;
      if (!isMaximized) {
        if (!minimized) normal = rect;
        target = maximized;
        set = WS_MAXIMIZE;
        clear = WS_MINIMIZE;
      }
      break;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
    case SW_SHOW:
      if (command != SW_SHOW) flags |= SWP_NOACTIVATE;
      flags |= SWP_NOMOVE | SWP_NOSIZE;
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWDEFAULT:
    default:
      if (minimized || isMaximized) {
        target = normal;
        clear = WS_MINIMIZE | WS_MAXIMIZE;
      } else {
        flags |= SWP_NOMOVE | SWP_NOSIZE;
      }
      break;
  }
  if (child) flags |= SWP_NOACTIVATE;
  if (showing && !wasVisible) flags |= SWP_SHOWWINDOW;
  if (showing != wasVisible) callProc(window, WM_SHOWWINDOW, showing ? TRUE : FALSE, 0);
  {
    Guard g(lock());
    if (Window* w = get(window)) w->normalRect = normal;
  }
  if (!IsWindow(window)) return wasVisible;
  placeWindow(window, nullptr, target, set, clear, flags);
  bool needSize = false;
  {
    Guard g(lock());
    if (Window* w = get(window); w && showing) std::swap(needSize, w->needSize);
  }
  if (needSize) sendSizeAndMove(window);
  if (command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE) {
    // A minimized window gives up activation and focus.
    if (GetActiveWindow() == window) activateOther(window);
    HWND focus = GetFocus();
    if (focus && (focus == window || IsChild(window, focus))) SetFocus(child ? GetParent(window) : nullptr);
  }
  return wasVisible;
}

BOOL WINAPI IsWindowVisible(HWND window) {
  Guard g(lock());
  Window* w = get(window);
  return w && visibleOf(*w);
}

BOOL WINAPI IsIconic(HWND window) {
  Guard g(lock());
  Window* w = get(window);
  return w && (w->style & WS_MINIMIZE);
}

BOOL WINAPI IsZoomed(HWND window) {
  Guard g(lock());
  Window* w = get(window);
  return w && (w->style & WS_MAXIMIZE);
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  bool wasDisabled;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable && wasDisabled) {
      w->style &= ~WS_DISABLED;
      invalidate(*w, true);
    }
  }
  bool own = GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
  if (enable && wasDisabled) {
    if (own) callProc(window, WM_ENABLE, TRUE, 0);
  } else if (!enable && !wasDisabled) {
    if (own) callProc(window, WM_CANCELMODE, 0, 0);
    {
      Guard g(lock());
      if (Window* w = get(window)) {
        w->style |= WS_DISABLED;
        invalidate(*w, true);
      }
    }
    // A disabled window cannot keep the focus.
    if (own && GetFocus() == window) SetFocus(nullptr);
    if (own) callProc(window, WM_ENABLE, FALSE, 0);
  }
  Guard g(lock());
  state().changed.notify_all();
  return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
  Guard g(lock());
  Window* w = get(window);
  return w && !(w->style & WS_DISABLED);
}

// The window of this process under a screen point: the topmost visible
// top-level window there, then its deepest visible, enabled child. As on
// Windows, the search stops at a disabled or minimized window and at a point
// outside the client area; disabled children are passed over, and so are
// labels without SS_NOTIFY of the calling thread (on Windows they answer the
// hit test, which only the caller's own windows are asked, with
// HTTRANSPARENT), so that a click on one reaches the window beneath.
HWND WINAPI WindowFromPoint(POINT point) {
  Guard g(lock());
  auto within = [&](RECT r) {
    return point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom;
  };
  auto contains = [&](const Window& w) { return within(screenRectOf(w)); };
  const DWORD thread = GetCurrentThreadId();
  auto transparent = [&](const Window& w) {
    return w.thread == thread && w.cls && w.cls->proc == Static_Proc && !(w.style & SS_NOTIFY);
  };
  for (HWND h : state().topLevel) {
    Window* w = get(h);
    if (!w || !(w->style & WS_VISIBLE) || !contains(*w)) continue;
    for (;;) {
      if (w->style & (WS_DISABLED | WS_MINIMIZE)) return w->handle;
      RECT client = clientRectOf(*w);
      POINT origin = clientOrigin(*w);
      if (!within(RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom}))
        return w->handle;
      Window* hit = nullptr;
      for (HWND c : w->children) {
        Window* child = get(c);
        if (child && (child->style & WS_VISIBLE) && !(child->style & WS_DISABLED) && !transparent(*child) &&
            contains(*child)) {
          hit = child;
          break;
        }
      }
      if (!hit) return w->handle;
      w = hit;
    }
  }
  return nullptr;
}
