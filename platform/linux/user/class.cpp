// The class registry of the substitute window system: classes by name and
// module, the built-in control classes, and the class functions.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/linux/user/internal.h"

namespace user {

bool classMatches(const Class* c, LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return c->atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
  return equalNoCase(c->name, name);
}

Class* findClass(LPCWSTR name, HINSTANCE instance) {
  if (!name) return nullptr;
  registerSystemClasses();
  for (Class* c : state().classes)
    if (classMatches(c, name) && (c->system || c->instance == instance)) return c;
  // As on Windows, a class of another module is found when none of this one is.
  for (Class* c : state().classes)
    if (classMatches(c, name)) return c;
  return nullptr;
}

static ATOM addClass(const WNDCLASSEXW& wc, bool system) {
  if (!wc.lpszClassName || !wc.lpfnWndProc || IS_INTRESOURCE(wc.lpszClassName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Guard g(lock());
  for (Class* c : state().classes) {
    if (equalNoCase(c->name, wc.lpszClassName) && (c->system || c->instance == wc.hInstance)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  auto* c = new Class{
      wc.lpszClassName, wc.hInstance,       wc.style, wc.lpfnWndProc, wc.cbWndExtra, wc.hIcon, wc.hCursor,
      wc.hbrBackground, state().nextAtom++, 0,        system};
  state().classes.push_back(c);
  return c->atom;
}

void registerSystemClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct {
      const char16_t* name;
      WNDPROC proc;
      UINT style;
      int background;
    } table[] = {{u"Static", Static_Proc, CS_DBLCLKS, 0},
                 {u"Edit", Edit_Proc, CS_DBLCLKS, 0},
                 {u"Button", Button_Proc, CS_DBLCLKS, 0},
                 {u"msctls_progress32", Progress_Proc, CS_VREDRAW | CS_HREDRAW, 0},
                 {u"#32770", Dialog_Proc, CS_DBLCLKS, COLOR_BTNFACE + 1}};
    for (auto& e : table) {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.style = e.style | CS_GLOBALCLASS;
      wc.lpfnWndProc = e.proc;
      wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(e.background));
      wc.lpszClassName = e.name;
      addClass(wc, true);
    }
  });
}

}  // namespace user

using namespace user;

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  registerSystemClasses();
  return addClass(*wc, false);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance) {
  Guard g(lock());
  auto& classes = state().classes;
  for (size_t i = 0; i < classes.size(); i++) {
    Class* c = classes[i];
    if (!c->system && c->instance == instance && classMatches(c, className)) {
      if (c->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
      }
      classes.erase(classes.begin() + static_cast<long>(i));
      delete c;
      return TRUE;
    }
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR className, WNDCLASSEXW* wc) {
  Guard g(lock());
  Class* c = findClass(className, instance);
  if (!c || !wc) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  *wc = WNDCLASSEXW{sizeof *wc, c->style,  c->proc,       0,       c->wndExtra, c->instance,
                    c->icon,    c->cursor, c->background, nullptr, className,   nullptr};
  return c->atom;
}

int WINAPI GetClassNameW(HWND window, LPWSTR buffer, int capacity) {
  Guard g(lock());
  Window* w = get(window);
  if (!w || !buffer || capacity <= 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  size_t n = std::min<size_t>(w->cls->name.size(), static_cast<size_t>(capacity - 1));
  std::memcpy(buffer, w->cls->name.data(), n * sizeof(WCHAR));
  buffer[n] = 0;
  return static_cast<int>(n);
}
