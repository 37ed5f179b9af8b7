// Helpers shared by the substitute's built-in controls: the slot that holds
// each control class's own record, the painting record they share, the
// messages every painted control answers alike, WM_CTLCOLOR* to the parent
// as a control paints, and notifications to the parent.
#include "platform/linux/user/internal.h"

namespace user {

bool attachControl(HWND control, void* record, const ControlKind& kind) {
  if (!record) return false;
  Guard g(lock());
  Window* w = get(control);
  if (w && !w->control) {
    w->control = record;
    w->controlKind = &kind;
    return true;
  }
  // A second WM_NCCREATE keeps the record the window has.
  kind.free(record);
  return w != nullptr;
}

void freeControl(Window& w) {
  if (!w.control) return;
  w.controlKind->free(w.control);
  w.control = nullptr;
  w.controlKind = nullptr;
}

static ControlPaint* paintOf(const Window* w) {
  return w && w->control && w->controlKind->paint ? w->controlKind->paint(w->control) : nullptr;
}

const ControlPaint* controlPaintOf(const Window& w) { return paintOf(&w); }

HFONT controlFont(const Window& w) {
  const ControlPaint* p = paintOf(&w);
  return p ? p->font : nullptr;
}

LRESULT controlDefault(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(control, message, wParam, lParam);
      InvalidateRect(control, nullptr, TRUE);
      return r;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT: {
      {
        Guard g(lock());
        if (ControlPaint* p = paintOf(get(control))) p->font = reinterpret_cast<HFONT>(wParam);
      }
      if (LOWORD(lParam)) InvalidateRect(control, nullptr, TRUE);
      return 0;
    }
    case WM_GETFONT: {
      Guard g(lock());
      ControlPaint* p = paintOf(get(control));
      return p ? reinterpret_cast<LRESULT>(p->font) : 0;
    }
    case WM_ENABLE:
      InvalidateRect(control, nullptr, TRUE);
      return 0;
  }
  return DefWindowProcW(control, message, wParam, lParam);
}

void paintControl(HWND control, UINT ctlColorMessage) {
  PAINTSTRUCT ps;
  BeginPaint(control, &ps);
  HWND parent = GetParent(control);
  HDC dc;
  {
    Guard g(lock());
    Window* w = get(control);
    dc = newDc(control, w ? controlFont(*w) : nullptr);
  }
  auto brush =
      reinterpret_cast<HBRUSH>(parent && (GetWindowLongW(control, GWL_STYLE) & WS_CHILD)
                                   ? SendMessageW(parent, ctlColorMessage, reinterpret_cast<WPARAM>(dc),
                                                  reinterpret_cast<LPARAM>(control))
                                   : DefWindowProcW(control, ctlColorMessage, reinterpret_cast<WPARAM>(dc),
                                                    reinterpret_cast<LPARAM>(control)));
  {
    Guard g(lock());
    COLORREF text = 0, back = 0;
    dcColours(dc, &text, &back);
    if (ControlPaint* p = paintOf(get(control))) {
      p->text = text;
      p->back = back;
      p->brush = brush;
      p->paints++;
      state().changed.notify_all();
    }
    freeDc(dc);
  }
  EndPaint(control, &ps);
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
