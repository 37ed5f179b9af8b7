// Painting in the substitute: the invalid state of windows, BeginPaint and
// EndPaint with the erasing they do, and the functions that invalidate,
// validate and update.
#include "platform/linux/user/internal.h"

namespace user {

void invalidate(Window& w, bool erase) {
  w.invalid = true;
  w.erase = w.erase || erase;
  for (HWND c : w.children)
    if (Window* child = get(c)) invalidate(*child, erase);
  wakeQueue(w.thread);
}

}  // namespace user

using namespace user;

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  bool erase;
  HDC dc;
  {
    Guard g(lock());
    Window* w = getOwn(window);
    if (!w || !paint) return nullptr;
    erase = w->erase;
    w->invalid = false;
    w->erase = false;
    dc = newDc(window, nullptr);
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->rcPaint = clientRectOf(*w);
  }
  // Erasing happens inside BeginPaint; fErase tells whether it still must be done.
  paint->fErase = erase ? !callProc(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) : FALSE;
  return dc;
}

void user::eraseNow(HWND window) {
  HDC dc;
  {
    Guard g(lock());
    Window* w = getOwn(window);
    if (!w || !w->erase || !visibleOf(*w)) return;
    w->erase = false;
    dc = newDc(window, nullptr);
  }
  bool erased = callProc(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) != 0;
  Guard g(lock());
  freeDc(dc);
  // Not erased by its procedure, the background is left to the next BeginPaint.
  if (Window* w = get(window); w && !erased) w->erase = true;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  Guard g(lock());
  freeDc(paint->hdc);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL erase) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) return FALSE;
  w->invalid = true;
  w->erase = w->erase || erase;
  wakeQueue(w->thread);
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND window, const RECT*) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) return FALSE;
  w->invalid = false;
  w->erase = false;
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND window, LPRECT rect, BOOL) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) return FALSE;
  if (rect) *rect = w->invalid ? clientRectOf(*w) : RECT{0, 0, 0, 0};
  return w->invalid;
}

// Paints the window now when it is invalid, then its invalid children, as
// Windows does.
BOOL WINAPI UpdateWindow(HWND window) {
  bool paint;
  std::vector<HWND> children;
  {
    Guard g(lock());
    Window* w = getOwn(window);
    if (!w) return FALSE;
    paint = w->invalid && visibleOf(*w);
    children = w->children;
  }
  if (paint) callProc(window, WM_PAINT, 0, 0);
  for (HWND c : children)
    if (IsWindow(c)) UpdateWindow(c);
  return TRUE;
}

BOOL WINAPI RedrawWindow(HWND window, const RECT*, void*, UINT flags) {
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) return FALSE;
    std::vector<Window*> targets{w};
    if (flags & RDW_ALLCHILDREN)
      for (size_t i = 0; i < targets.size(); i++)
        for (HWND c : targets[i]->children)
          if (Window* child = get(c)) targets.push_back(child);
    for (Window* t : targets) {
      if (flags & (RDW_INVALIDATE | RDW_INTERNALPAINT)) t->invalid = true;
      if ((flags & RDW_INVALIDATE) && (flags & RDW_ERASE)) t->erase = true;
      if (flags & RDW_VALIDATE) t->invalid = t->erase = false;
    }
    wakeQueue(w->thread);
  }
  if (flags & RDW_UPDATENOW) UpdateWindow(window);
  return TRUE;
}
