// The "Static" control class of the substitute: a text label that asks its
// parent for colours (WM_CTLCOLORSTATIC) as it paints.
#include "platform/linux/user/internal.h"

using namespace user;

LRESULT CALLBACK user::Static_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, TRUE);
      return r;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      paintControl(window, WM_CTLCOLORSTATIC);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the background is painted with the text
    case WM_SETFONT: {
      {
        Guard g(lock());
        if (Window* w = get(window)) w->font = reinterpret_cast<HFONT>(wParam);
      }
      if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
      return 0;
    }
    case WM_GETFONT: {
      Guard g(lock());
      Window* w = get(window);
      return w ? reinterpret_cast<LRESULT>(w->font) : 0;
    }
    case WM_ENABLE:
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN:
      if (GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY) notifyParent(window, STN_CLICKED);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
