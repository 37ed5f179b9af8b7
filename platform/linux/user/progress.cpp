// The "msctls_progress32" control class of the substitute: a range, a
// position kept within it, a step, and bar and background colours.
#include <algorithm>
#include <utility>

#include "platform/linux/commctrl.h"
#include "platform/linux/user/internal.h"

using namespace user;

namespace {

struct Progress {
  ControlPaint paint;  // the font only: the bar is drawn without text
  int low = 0, high = 100, position = 0, step = 10;
  COLORREF bar = CLR_DEFAULT, back = CLR_DEFAULT;
};

int clampToRange(const Progress& p, long long value) {
  long long low = std::min(p.low, p.high), high = std::max(p.low, p.high);
  return static_cast<int>(std::clamp(value, low, high));
}

// Changes the position and repaints when it moved; returns the old one.
int setPosition(Window& w, Progress& p, long long value) {
  int old = p.position;
  p.position = clampToRange(p, value);
  if (p.position != old) invalidate(w, false);
  state().changed.notify_all();
  return old;
}

}  // namespace

bool user::progressOf(const Window& w, int* low, int* high, int* position) {
  const Progress* p = controlOf<Progress>(&w);
  if (!p) return false;
  if (low) *low = p->low;
  if (high) *high = p->high;
  if (position) *position = p->position;
  return true;
}

namespace {

// Answers a bar message with the bar's window and record (lock held).
LRESULT barMessage(Window& w, Progress& p, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
      LRESULT old = MAKELONG(p.low, p.high);
      if (message == PBM_SETRANGE) {
        p.low = static_cast<WORD>(LOWORD(lParam));
        p.high = static_cast<WORD>(HIWORD(lParam));
      } else {
        p.low = static_cast<int>(wParam);
        p.high = static_cast<int>(lParam);
      }
      setPosition(w, p, p.position);
      invalidate(w, false);
      return old;
    }
    case PBM_GETRANGE:
      if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) *range = PBRANGE{p.low, p.high};
      return wParam ? p.low : p.high;
    case PBM_SETPOS:
    case PBM_DELTAPOS:
    case PBM_STEPIT: {
      long long target = message == PBM_SETPOS ? static_cast<int>(wParam)
                         : message == PBM_DELTAPOS
                             ? static_cast<long long>(p.position) + static_cast<int>(wParam)
                             : static_cast<long long>(p.position) + p.step;
      // Stepping past the end starts again from the beginning, as on Windows.
      if (message == PBM_STEPIT && target > p.high && p.high > p.low)
        target = p.low + (target - p.low) % (p.high - p.low);
      return setPosition(w, p, target);
    }
    case PBM_GETPOS:
      return p.position;
    case PBM_SETSTEP:
      return std::exchange(p.step, static_cast<int>(wParam));
    case PBM_SETBARCOLOR:
    case PBM_SETBKCOLOR: {
      COLORREF& slot = message == PBM_SETBARCOLOR ? p.bar : p.back;
      COLORREF old = std::exchange(slot, static_cast<COLORREF>(lParam));
      invalidate(w, true);
      state().changed.notify_all();
      return static_cast<LRESULT>(old);
    }
    case PBM_GETBARCOLOR:
      return static_cast<LRESULT>(p.bar);
    case PBM_GETBKCOLOR:
      return static_cast<LRESULT>(p.back);
  }
  return 0;
}

}  // namespace

LRESULT CALLBACK user::Progress_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!keepControl<Progress>(window, message)) return FALSE;
  switch (message) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32:
    case PBM_GETRANGE:
    case PBM_SETPOS:
    case PBM_DELTAPOS:
    case PBM_STEPIT:
    case PBM_GETPOS:
    case PBM_SETSTEP:
    case PBM_SETBARCOLOR:
    case PBM_SETBKCOLOR:
    case PBM_GETBARCOLOR:
    case PBM_GETBKCOLOR: {
      Guard g(lock());
      Window* w = get(window);
      Progress* p = controlOf<Progress>(w);
      return p ? barMessage(*w, *p, message, wParam, lParam) : 0;
    }
    case WM_SETFONT:
    case WM_GETFONT:
      // Kept for WM_GETFONT; the bar shows no text, so a new font needs no repaint.
      return controlDefault(window, message, wParam, 0);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
