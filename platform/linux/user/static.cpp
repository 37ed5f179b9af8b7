// The "Static" control class of the substitute: a text label that asks its
// parent for colours (WM_CTLCOLORSTATIC) as it paints.
#include "platform/linux/user/internal.h"

using namespace user;

namespace {

// A label keeps only what every painted control keeps.
struct Static {
  ControlPaint paint;
};

}  // namespace

LRESULT CALLBACK user::Static_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!keepControl<Static>(window, message)) return FALSE;
  switch (message) {
    case WM_PAINT:
      paintControl(window, WM_CTLCOLORSTATIC);
      return 0;
    case WM_LBUTTONDOWN:
      if (GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY) notifyParent(window, STN_CLICKED);
      return 0;
  }
  return controlDefault(window, message, wParam, lParam);
}
