// Helpers shared by the substitute's built-in controls: the drawing messages
// every painted control answers alike, WM_CTLCOLOR* to the parent as a
// control paints, and notifications to the parent.
#include "platform/linux/user/internal.h"

namespace user {

LRESULT controlDrawingMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT: {
      Guard g(lock());
      if (Window* w = get(control)) w->font = reinterpret_cast<HFONT>(wParam);
    }
      if (LOWORD(lParam)) InvalidateRect(control, nullptr, TRUE);
      return 0;
    case WM_GETFONT: {
      Guard g(lock());
      Window* w = get(control);
      return w ? reinterpret_cast<LRESULT>(w->font) : 0;
    }
    case WM_ENABLE:
      InvalidateRect(control, nullptr, TRUE);
      return 0;
  }
  return 0;
}

HBRUSH paintControl(HWND control, UINT ctlColorMessage) {
  HWND parent = GetParent(control);
  HDC dc;
  {
    Guard g(lock());
    Window* w = get(control);
    dc = newDc(control, w ? w->font : nullptr);
  }
  auto brush =
      reinterpret_cast<HBRUSH>(parent && (GetWindowLongW(control, GWL_STYLE) & WS_CHILD)
                                   ? SendMessageW(parent, ctlColorMessage, reinterpret_cast<WPARAM>(dc),
                                                  reinterpret_cast<LPARAM>(control))
                                   : DefWindowProcW(control, ctlColorMessage, reinterpret_cast<WPARAM>(dc),
                                                    reinterpret_cast<LPARAM>(control)));
  Guard g(lock());
  COLORREF text = 0, back = 0;
  dcColours(dc, &text, &back);
  if (Window* w = get(control)) {
    w->paintText = text;
    w->paintBack = back;
    w->paintBrush = brush;
    w->paints++;
    state().changed.notify_all();
  }
  freeDc(dc);
  return brush;
}

void notifyParent(HWND control, WORD code) {
  HWND parent;
  int id;
  {
    Guard g(lock());
    Window* w = get(control);
    if (!w || !w->parent) return;
    parent = w->parent;
    id = static_cast<int>(w->id);
  }
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

}  // namespace user
