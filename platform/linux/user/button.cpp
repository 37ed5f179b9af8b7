// The "Button" control class of the substitute: push buttons, check boxes and
// radio buttons, clicked by the mouse or by Space while focused, reporting
// BN_CLICKED to the parent; the check state and pushed state.
#include "platform/linux/user/internal.h"

using namespace user;

namespace {

struct Button {
  ControlPaint paint;
  int check = 0;        // BST_ state
  bool pushed = false;  // pressed by the mouse or by Space
};

DWORD typeOf(HWND window) { return static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & BS_TYPEMASK; }

// The highest check state each type keeps: push buttons keep none, as on Windows.
int maximumCheck(DWORD type) {
  switch (type) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      return BST_CHECKED;
    case BS_3STATE:
    case BS_AUTO3STATE:
      return BST_INDETERMINATE;
  }
  return BST_UNCHECKED;
}

// Changes one of the button's states, repainting when it changed.
template <class V>
void change(HWND window, V Button::*which, V value) {
  Guard g(lock());
  Window* w = get(window);
  Button* b = controlOf<Button>(w);
  if (!b || b->*which == value) return;
  b->*which = value;
  invalidate(*w, true);
  state().changed.notify_all();
}

void setPushed(HWND window, bool pushed) { change(window, &Button::pushed, pushed); }

bool pushed(HWND window) {
  Guard g(lock());
  Button* b = controlOf<Button>(get(window));
  return b && b->pushed;
}

void click(HWND window) {
  DWORD type = typeOf(window);
  {
    Guard g(lock());
    Button* b = controlOf<Button>(get(window));
    if (!b) return;
    if (type == BS_AUTOCHECKBOX) b->check = b->check ? BST_UNCHECKED : BST_CHECKED;
    if (type == BS_AUTO3STATE) b->check = (b->check + 1) % 3;
    if (type == BS_AUTORADIOBUTTON) b->check = BST_CHECKED;
    state().changed.notify_all();
  }
  notifyParent(window, BN_CLICKED);
}

}  // namespace

int user::buttonCheck(const Window& w) {
  const Button* b = controlOf<Button>(&w);
  return b ? b->check : 0;
}

LRESULT CALLBACK user::Button_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!keepControl<Button>(window, message)) return FALSE;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (typeOf(window) == BS_GROUPBOX) return 0;
      SetFocus(window);
      SetCapture(window);
      setPushed(window, true);
      return 0;
    case WM_LBUTTONUP: {
      if (!pushed(window)) return 0;
      setPushed(window, false);
      ReleaseCapture();
      // Released outside the button, the press does not count.
      RECT r;
      GetClientRect(window, &r);
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) click(window);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) setPushed(window, true);
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE && pushed(window)) {
        setPushed(window, false);
        click(window);
      }
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(window, nullptr, TRUE);
      if (GetWindowLongW(window, GWL_STYLE) & BS_NOTIFY) notifyParent(window, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      // Losing the focus while pressed cancels the press.
      setPushed(window, false);
      if (GetCapture() == window) ReleaseCapture();
      if (GetWindowLongW(window, GWL_STYLE) & BS_NOTIFY) notifyParent(window, BN_KILLFOCUS);
      return 0;
    case BM_GETCHECK: {
      Guard g(lock());
      Button* b = controlOf<Button>(get(window));
      return b ? b->check : 0;
    }
    case BM_SETCHECK: {
      int check = static_cast<int>(wParam);
      int maximum = maximumCheck(typeOf(window));
      if (check > maximum) check = maximum;
      change(window, &Button::check, check);
      return 0;
    }
    case BM_GETSTATE: {
      HWND focus = GetFocus();
      Guard g(lock());
      Button* b = controlOf<Button>(get(window));
      if (!b) return 0;
      return b->check | (b->pushed ? BST_PUSHED : 0) | (focus == window ? BST_FOCUS : 0);
    }
    case BM_SETSTATE:
      setPushed(window, wParam != 0);
      return 0;
    case BM_CLICK:
      SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      SendMessageW(window, WM_LBUTTONUP, 0, 0);
      return 0;
    case WM_GETDLGCODE: {
      DWORD type = typeOf(window);
      if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      return DLGC_BUTTON;
    }
    case WM_PAINT:
      paintControl(window, typeOf(window) <= BS_DEFPUSHBUTTON ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC);
      return 0;
  }
  return controlDefault(window, message, wParam, lParam);
}
