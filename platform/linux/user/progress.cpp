// The "msctls_progress32" control class of the substitute: a range, a
// position kept within it, a step, and bar and background colours.
#include <algorithm>

#include "platform/linux/commctrl.h"
#include "platform/linux/user/internal.h"

using namespace user;

namespace {

int clampToRange(const Window& w, long long value) {
  long long low = std::min(w.rangeLow, w.rangeHigh), high = std::max(w.rangeLow, w.rangeHigh);
  return static_cast<int>(std::clamp(value, low, high));
}

// Changes the position and repaints when it moved; returns the old one.
int setPosition(Window& w, long long value) {
  int old = w.position;
  w.position = clampToRange(w, value);
  if (w.position != old) invalidate(w, false);
  state().changed.notify_all();
  return old;
}

}  // namespace

LRESULT CALLBACK user::Progress_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      LRESULT old = MAKELONG(w->rangeLow, w->rangeHigh);
      if (message == PBM_SETRANGE) {
        w->rangeLow = static_cast<WORD>(LOWORD(lParam));
        w->rangeHigh = static_cast<WORD>(HIWORD(lParam));
      } else {
        w->rangeLow = static_cast<int>(wParam);
        w->rangeHigh = static_cast<int>(lParam);
      }
      setPosition(*w, w->position);
      invalidate(*w, false);
      return old;
    }
    case PBM_GETRANGE: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) *range = PBRANGE{w->rangeLow, w->rangeHigh};
      return wParam ? w->rangeLow : w->rangeHigh;
    }
    case PBM_SETPOS:
    case PBM_DELTAPOS:
    case PBM_STEPIT: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      long long target = message == PBM_SETPOS ? static_cast<int>(wParam)
                         : message == PBM_DELTAPOS
                             ? static_cast<long long>(w->position) + static_cast<int>(wParam)
                             : static_cast<long long>(w->position) + w->step;
      // Stepping past the end starts again from the beginning, as on Windows.
      if (message == PBM_STEPIT && target > w->rangeHigh && w->rangeHigh > w->rangeLow)
        target = w->rangeLow + (target - w->rangeLow) % (w->rangeHigh - w->rangeLow);
      return setPosition(*w, target);
    }
    case PBM_GETPOS: {
      Guard g(lock());
      Window* w = get(window);
      return w ? w->position : 0;
    }
    case PBM_SETSTEP: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      int old = w->step;
      w->step = static_cast<int>(wParam);
      return old;
    }
    case PBM_SETBARCOLOR:
    case PBM_SETBKCOLOR: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      COLORREF& slot = message == PBM_SETBARCOLOR ? w->barColour : w->backColour;
      COLORREF old = slot;
      slot = static_cast<COLORREF>(lParam);
      invalidate(*w, true);
      state().changed.notify_all();
      return static_cast<LRESULT>(old);
    }
    case PBM_GETBARCOLOR:
    case PBM_GETBKCOLOR: {
      Guard g(lock());
      Window* w = get(window);
      return w ? static_cast<LRESULT>(message == PBM_GETBARCOLOR ? w->barColour : w->backColour) : 0;
    }
    case WM_SETFONT: {
      Guard g(lock());
      if (Window* w = get(window)) w->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    }
    case WM_GETFONT: {
      Guard g(lock());
      Window* w = get(window);
      return w ? reinterpret_cast<LRESULT>(w->font) : 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
