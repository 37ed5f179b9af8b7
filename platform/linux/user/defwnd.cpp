// The default window procedure of the substitute: text storage, closing,
// system commands from the caption buttons, painting and erasing, focus on
// activation, WM_SIZE/WM_MOVE after a position change, control colours and
// the keyboard-cue state.
#include <algorithm>
#include <cstring>

#include "platform/linux/gdi32.h"
#include "platform/linux/user/internal.h"

using namespace user;

namespace {

void setText(HWND window, LPCWSTR text) {
  Guard g(lock());
  if (Window* w = get(window)) {
    w->text = text && !IS_INTRESOURCE(text) ? std::u16string(text) : std::u16string();
    state().changed.notify_all();
  }
}

LRESULT defaultCtlColor(HDC dc, UINT message) {
  int background =
      (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX) ? COLOR_WINDOW : COLOR_BTNFACE;
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(background));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

void sizeAndMove(HWND window, const WINDOWPOS* pos) {
  SizeAndMove now;
  if (!sizeAndMoveOf(window, &now)) return;
  if (!(pos->flags & SWP_NOMOVE)) callProc(window, WM_MOVE, 0, now.origin);
  if (!(pos->flags & SWP_NOSIZE) || (pos->flags & 0x8000)) callProc(window, WM_SIZE, now.sizeType, now.size);
}

// A new size for an overlapped or sizable window stays within its tracking
// sizes (a minimized one may be smaller).
void keepWithinTracking(HWND window, WINDOWPOS* pos) {
  if (pos->flags & SWP_NOSIZE) return;
  const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  if (!(style & WS_THICKFRAME) && (style & (WS_POPUP | WS_CHILD))) return;
  const MINMAXINFO mmi = trackingSizes(window);
  pos->cx = std::min<int>(pos->cx, mmi.ptMaxTrackSize.x);
  pos->cy = std::min<int>(pos->cy, mmi.ptMaxTrackSize.y);
  if (!(style & WS_MINIMIZE)) {
    pos->cx = std::max<int>(pos->cx, mmi.ptMinTrackSize.x);
    pos->cy = std::max<int>(pos->cy, mmi.ptMinTrackSize.y);
  }
}

}  // namespace

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
      if (cs) setText(window, cs->lpszName);
      return TRUE;
    }
    case WM_SETTEXT:
      setText(window, reinterpret_cast<LPCWSTR>(lParam));
      return TRUE;
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!buffer || wParam == 0) return 0;
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      size_t n = std::min<size_t>(w->text.size(), wParam - 1);
      std::memcpy(buffer, w->text.data(), n * sizeof(WCHAR));
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
      Guard g(lock());
      Window* w = get(window);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          SendMessageW(window, WM_CLOSE, 0, 0);
          break;
        case SC_MINIMIZE:
          ShowWindow(window, SW_MINIMIZE);
          break;
        case SC_MAXIMIZE:
          ShowWindow(window, SW_MAXIMIZE);
          break;
        case SC_RESTORE:
          ShowWindow(window, SW_RESTORE);
          break;
      }
      return 0;
    case WM_NCLBUTTONDOWN: {
      Guard g(lock());
      if (Window* w = get(window)) w->ncPressed = static_cast<int>(wParam);
      return 0;
    }
    case WM_NCLBUTTONUP: {
      // A caption button acts when it is released where it was pressed.
      int pressed;
      DWORD style;
      {
        Guard g(lock());
        Window* w = get(window);
        if (!w) return 0;
        pressed = w->ncPressed;
        w->ncPressed = 0;
        style = w->style;
      }
      if (pressed != static_cast<int>(wParam)) return 0;
      if (wParam == HTCLOSE && (style & WS_SYSMENU))
        SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, lParam);
      else if (wParam == HTMINBUTTON && (style & WS_MINIMIZEBOX))
        SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, lParam);
      else if (wParam == HTMAXBUTTON && (style & WS_MAXIMIZEBOX))
        SendMessageW(window, WM_SYSCOMMAND, (style & (WS_MAXIMIZE | WS_MINIMIZE)) ? SC_RESTORE : SC_MAXIMIZE,
                     lParam);
      return 0;
    }
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4 && (lParam & (1 << 29))) SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush;
      {
        Guard g(lock());
        Window* w = get(window);
        if (!w) return 0;
        brush = w->cls->background;
      }
      // A class background of a system colour index + 1 means that colour's brush.
      auto value = reinterpret_cast<uintptr_t>(brush);
      if (value > 0 && value <= 31) brush = GetSysColorBrush(static_cast<int>(value - 1));
      if (!brush) return 0;
      RECT r;
      GetClientRect(window, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      return 1;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(window)) SetFocus(window);
      return 0;
    case WM_MOUSEACTIVATE: {
      HWND parent = GetParent(window);
      if (parent && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) {
        LRESULT r = SendMessageW(parent, WM_MOUSEACTIVATE, wParam, lParam);
        if (r) return r;
      }
      return MA_ACTIVATE;
    }
    case WM_WINDOWPOSCHANGING:
      if (lParam) keepWithinTracking(window, reinterpret_cast<WINDOWPOS*>(lParam));
      return 0;
    case WM_WINDOWPOSCHANGED:
      if (lParam) sizeAndMove(window, reinterpret_cast<const WINDOWPOS*>(lParam));
      return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return defaultCtlColor(reinterpret_cast<HDC>(wParam), message);
    case WM_QUERYUISTATE: {
      Guard g(lock());
      Window* w = get(window);
      return w ? static_cast<LRESULT>(w->uiState) : 0;
    }
    case WM_UPDATEUISTATE: {
      // The new state applies to the window and to all its descendants.
      WORD action = LOWORD(wParam), flags = HIWORD(wParam) & (UISF_HIDEFOCUS | UISF_HIDEACCEL | UISF_ACTIVE);
      std::vector<HWND> children;
      {
        Guard g(lock());
        Window* w = get(window);
        if (!w) return 0;
        if (action == UIS_SET)
          w->uiState |= flags;
        else if (action == UIS_CLEAR)
          w->uiState &= ~static_cast<UINT>(flags);
        else if (action == UIS_INITIALIZE)
          w->uiState = flags;
        children = w->children;
      }
      for (HWND c : children) SendMessageW(c, WM_UPDATEUISTATE, wParam, lParam);
      return 0;
    }
    case WM_CHANGEUISTATE: {
      HWND parent = (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) ? GetParent(window) : nullptr;
      if (parent) return SendMessageW(parent, WM_CHANGEUISTATE, wParam, lParam);
      return SendMessageW(window, WM_UPDATEUISTATE, wParam, lParam);
    }
    case WM_NCACTIVATE:
      return TRUE;
    case WM_SETCURSOR:
    case WM_NCHITTEST:
      return message == WM_NCHITTEST ? HTCLIENT : FALSE;
  }
  return 0;
}

LRESULT WINAPI DefFrameProcW(HWND window, HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}
