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
    case WM_SETFONT:
    case WM_GETFONT:
    case WM_ENABLE:
      return controlDrawingMessage(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
      if (GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY) notifyParent(window, STN_CLICKED);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
