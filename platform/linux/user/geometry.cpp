// Geometry of the substitute's windows: the invented screen and frame
// metrics, window and client rectangles and coordinate conversion.
#include <algorithm>

#include "platform/linux/user/internal.h"

namespace user {

RECT nonClientInsets(DWORD style, DWORD exStyle) {
  int frame = 0;
  if (style & WS_THICKFRAME)
    frame = kSizingFrame;
  else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
    frame = kFixedFrame;
  else if (style & WS_BORDER)
    frame = 1;
  if (exStyle & WS_EX_CLIENTEDGE) frame += kEdge;
  RECT r{frame, frame, frame, frame};
  if ((style & WS_CAPTION) == WS_CAPTION) r.top += (exStyle & WS_EX_TOOLWINDOW) ? kSmallCaption : kCaption;
  return r;
}

RECT clientRectOf(const Window& w) {
  if (w.style & WS_MINIMIZE) return RECT{0, 0, 0, 0};
  RECT in = nonClientInsets(w.style, w.exStyle);
  LONG width = w.rect.right - w.rect.left - in.left - in.right;
  LONG height = w.rect.bottom - w.rect.top - in.top - in.bottom;
  return RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
}

POINT clientOrigin(const Window& w) {
  RECT in = nonClientInsets(w.style, w.exStyle);
  POINT p{w.rect.left + in.left, w.rect.top + in.top};
  if (w.parent)
    if (Window* parent = get(w.parent)) {
      POINT o = clientOrigin(*parent);
      p.x += o.x;
      p.y += o.y;
    }
  return p;
}

RECT screenRectOf(const Window& w) {
  RECT r = w.rect;
  if (w.parent)
    if (Window* parent = get(w.parent)) {
      POINT o = clientOrigin(*parent);
      r.left += o.x;
      r.right += o.x;
      r.top += o.y;
      r.bottom += o.y;
    }
  return r;
}

}  // namespace user

using namespace user;

int WINAPI GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
      return kScreenWidth;
    case SM_CYSCREEN:
      return kScreenHeight;
    case SM_CYCAPTION:
      return kCaption;
    case SM_CYSMCAPTION:
      return kSmallCaption;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return kFixedFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return kSizingFrame - kPaddedBorder;
    case SM_CXPADDEDBORDER:
      return kPaddedBorder;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return kEdge;
    case SM_CXMINTRACK:
      return 136;
    case SM_CYMINTRACK:
      return 39;
    case SM_CXMAXIMIZED:
      return kScreenWidth + 2 * kSizingFrame;
    case SM_CYMAXIMIZED:
      return kScreenHeight + 2 * kSizingFrame;
  }
  return 0;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (!rect) return FALSE;
  RECT in = nonClientInsets(style, exStyle);
  rect->left -= in.left;
  rect->top -= in.top + (menu ? 20 : 0);
  rect->right += in.right;
  rect->bottom += in.bottom;
  return TRUE;
}

// Gives one rectangle of a window; false, with the error set, for no window or no rectangle.
static BOOL rectOf(HWND window, LPRECT rect, RECT (*which)(const Window&)) {
  Guard g(lock());
  Window* w = get(window);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = which(*w);
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) { return rectOf(window, rect, screenRectOf); }
BOOL WINAPI GetClientRect(HWND window, LPRECT rect) { return rectOf(window, rect, clientRectOf); }

BOOL WINAPI ClientToScreen(HWND window, LPPOINT point) {
  Guard g(lock());
  Window* w = get(window);
  if (!w || !point) return FALSE;
  POINT o = clientOrigin(*w);
  point->x += o.x;
  point->y += o.y;
  return TRUE;
}
