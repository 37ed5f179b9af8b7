// Windows of the substitute window system: the handle table, creation and
// destruction, the window tree, window data, texts and properties.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/linux/user/internal.h"

namespace user {

std::recursive_mutex& lock() {
  // Never destroyed: threads may still look windows up while the process exits.
  static auto* m = new std::recursive_mutex;
  return *m;
}

State& state() {
  static auto* s = new State;
  return *s;
}

DWORD now() { return GetTickCount(); }

int64_t paintFrameNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / kFrame.count();
}

Window* get(HWND window) { return state().windows.get(window); }

Window* getOwn(HWND window) {
  Window* w = get(window);
  return w && w->thread == GetCurrentThreadId() ? w : nullptr;
}

bool equalNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    char16_t x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::u16string_view textOf(LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); }

int windowsOfThread(DWORD thread) {
  int n = 0;
  for (auto& s : state().windows.slots)
    if (s.object && s.object->thread == thread) n++;
  return n;
}

bool visibleOf(const Window& w) {
  for (const Window* p = &w; p; p = p->parent ? get(p->parent) : nullptr)
    if (!(p->style & WS_VISIBLE)) return false;
  return true;
}

HWND topLevelOf(HWND window) {
  Window* w = get(window);
  while (w && w->parent) w = get(w->parent);
  return w ? w->handle : nullptr;
}

// ---- Calling window procedures ----------------------------------------------------------

LRESULT callProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc;
  {
    Guard g(lock());
    Window* w = getOwn(window);
    if (!w) return 0;
    proc = w->proc;
  }
  return proc(window, message, wParam, lParam);
}

}  // namespace user

using namespace user;

// ---- Creation --------------------------------------------------------------------------------

static void linkWindow(Window* w) {
  if (w->parent) {
    get(w->parent)->children.push_back(w->handle);
    return;
  }
  auto& top = state().topLevel;
  auto at = top.begin();
  if (!(w->exStyle & WS_EX_TOPMOST))
    while (at != top.end() && get(*at) && (get(*at)->exStyle & WS_EX_TOPMOST)) ++at;
  top.insert(at, w->handle);
}

static void unlinkWindow(Window* w) {
  auto& list = w->parent && get(w->parent) ? get(w->parent)->children : state().topLevel;
  list.erase(std::remove(list.begin(), list.end(), w->handle), list.end());
}

// Releases the record of a window whose WM_NCDESTROY has been sent; every
// reference the queues hold to it goes too, silently.
static void freeWindow(Window* w) {
  State& s = state();
  for (Queue* q : s.queues) {
    if (q->active == w->handle) q->active = nullptr;
    if (q->focus == w->handle) q->focus = nullptr;
    if (q->capture == w->handle) q->capture = nullptr;
    q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(),
                                   [&](const Timer& t) { return t.window == w->handle; }),
                    q->timers.end());
    for (MSG& m : q->posted)
      if (m.hwnd == w->handle) m.message = kDroppedMessage;  // dropped when taken
  }
  if (s.foreground == w->handle) s.foreground = nullptr;
  for (auto& slot : s.windows.slots)
    if (slot.object && slot.object->owner == w->handle) slot.object->owner = nullptr;
  unlinkWindow(w);
  w->cls->windows--;
  s.windows.remove(w->handle);
  // Left by a window that went without WM_NCDESTROY reaching its class.
  freeControl(*w);
  delete w;
  s.changed.notify_all();
}

namespace user {
void dropThreadWindows(DWORD thread) {
  auto& slots = state().windows.slots;
  for (size_t i = 0; i < slots.size(); i++) {
    Window* w = slots[i].object;
    if (!w || w->thread != thread) continue;
    for (HWND c : w->children)
      if (Window* child = get(c)) child->parent = nullptr;  // freed by this loop too
    w->children.clear();
    freeWindow(w);
  }
}
}  // namespace user

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
  registerSystemClasses();
  Guard g(lock());
  Class* cls = findClass(className, instance);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  Window* parentWindow = parent && parent != HWND_MESSAGE ? get(parent) : nullptr;
  if ((style & WS_CHILD) && !parentWindow) {
    SetLastError(parent ? ERROR_INVALID_WINDOW_HANDLE : 1406L /* ERROR_TLW_WITH_WSCHILD */);
    return nullptr;
  }
  if (!(style & WS_CHILD) && parent && parent != HWND_MESSAGE && !parentWindow) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  ownQueue();
  auto* w = new Window{};
  w->thread = GetCurrentThreadId();
  w->process = GetCurrentProcessId();
  w->cls = cls;
  w->proc = cls->proc;
  // Overlapped windows always have a caption, as on Windows.
  w->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
  if (!(style & (WS_CHILD | WS_POPUP))) w->style |= WS_CAPTION | WS_CLIPSIBLINGS;
  w->exStyle = exStyle;
  w->instance = instance;
  w->extra.assign(static_cast<size_t>(std::max(cls->wndExtra, 0) + 7) / 8, 0);
  if (style & WS_CHILD) {
    w->parent = parent;
    w->id = reinterpret_cast<LONG_PTR>(menu);
    w->uiState = parentWindow->uiState;
  } else {
    w->owner = parentWindow ? topLevelOf(parent) : nullptr;
    w->uiState = UISF_HIDEFOCUS | UISF_HIDEACCEL;
  }
  if (!(style & WS_CHILD)) {
    // Default position and size: cascaded over the screen.
    if (x == CW_USEDEFAULT) {
      int k = state().defaultPositions++ % 10;
      x = 26 + 26 * k;
      y = 26 + 26 * k;
    }
    if (width == CW_USEDEFAULT) {
      width = kScreenWidth * 3 / 4;
      height = kScreenHeight * 3 / 4;
    }
  } else {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = height = 0;
  }
  width = std::max(width, 0);
  height = std::max(height, 0);
  w->rect = RECT{x, y, x + width, y + height};
  w->normalRect = w->rect;
  w->handle = static_cast<HWND>(state().windows.add(w));
  if (!w->handle) {
    delete w;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  cls->windows++;
  linkWindow(w);
  HWND hwnd = w->handle;
  bool overlapped = !(style & (WS_CHILD | WS_POPUP)) || (style & WS_THICKFRAME);
  g.unlock();

  // A top-level window's size is kept within its tracking limits, which its
  // procedure may change with WM_GETMINMAXINFO.
  if (overlapped && !(style & WS_CHILD)) {
    MINMAXINFO mmi = trackingSizes(hwnd);
    Guard g2(lock());
    if (Window* cw = get(hwnd)) {
      LONG cx = std::clamp<LONG>(cw->rect.right - cw->rect.left, mmi.ptMinTrackSize.x,
                                 std::max(mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x));
      LONG cy = std::clamp<LONG>(cw->rect.bottom - cw->rect.top, mmi.ptMinTrackSize.y,
                                 std::max(mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y));
      cw->rect.right = cw->rect.left + cx;
      cw->rect.bottom = cw->rect.top + cy;
      cw->normalRect = cw->rect;
    }
  }

  CREATESTRUCTW cs{param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  if (!callProc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (callProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  if (style & (WS_MINIMIZE | WS_MAXIMIZE)) {
    // Created minimized or maximized: takes that state before it is shown.
    ShowWindow(hwnd, (style & WS_MINIMIZE) ? SW_SHOWMINNOACTIVE : SW_MAXIMIZE);
    if (!(style & WS_VISIBLE) && IsWindow(hwnd)) {
      Guard g3(lock());
      if (Window* cw = get(hwnd)) cw->style &= ~WS_VISIBLE;
    }
  }
  if (style & (WS_CHILD | WS_POPUP)) {
    if (!(style & (WS_MINIMIZE | WS_MAXIMIZE))) sendSizeAndMove(hwnd);
  } else {
    // An overlapped window learns its size and place when it is first shown.
    Guard g3(lock());
    if (Window* cw = get(hwnd)) cw->needSize = true;
  }
  if ((style & WS_VISIBLE) && IsWindow(hwnd)) ShowWindow(hwnd, SW_SHOW);
  Guard g4(lock());
  state().changed.notify_all();
  return get(hwnd) ? hwnd : nullptr;
}

// ---- Destruction -------------------------------------------------------------------------------

// WM_DESTROY goes to a window before its descendants.
static void sendDestroy(HWND window) {
  callProc(window, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  {
    Guard g(lock());
    if (Window* w = get(window)) children = w->children;
  }
  for (HWND c : children)
    if (IsWindow(c)) sendDestroy(c);
}

// WM_NCDESTROY goes to the descendants before the window, then its record goes.
static void finalDestroy(HWND window) {
  std::vector<HWND> children;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) return;
    w->destroying = true;
    children = w->children;
  }
  for (HWND c : children) finalDestroy(c);
  callProc(window, WM_NCDESTROY, 0, 0);
  Guard g(lock());
  if (Window* w = get(window)) freeWindow(w);
}

BOOL WINAPI DestroyWindow(HWND window) {
  bool child;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    child = w->parent != nullptr;
  }
  if (IsWindowVisible(window) || (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE)) {
    if (child)
      ShowWindow(window, SW_HIDE);
    else
      SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
  }
  if (!IsWindow(window)) return TRUE;
  if (!child) {
    // Owned windows go first; those of other threads only lose their owner.
    std::vector<HWND> owned;
    {
      Guard g(lock());
      for (HWND h : state().topLevel)
        if (Window* o = get(h); o && o->owner == window) {
          if (o->thread == GetCurrentThreadId())
            owned.push_back(h);
          else
            o->owner = nullptr;
        }
    }
    for (HWND h : owned) DestroyWindow(h);
    if (GetActiveWindow() == window) activateOther(window);
  }
  {
    Guard g(lock());
    Queue& q = ownQueue();
    // A hidden window may still hold the focus: it goes without messages.
    if (q.focus && (q.focus == window || IsChild(window, q.focus))) q.focus = nullptr;
  }
  sendDestroy(window);
  finalDestroy(window);
  return TRUE;
}

// ---- The tree ----------------------------------------------------------------------------------

BOOL WINAPI IsWindow(HWND window) {
  Guard g(lock());
  return get(window) != nullptr;
}

BOOL WINAPI IsChild(HWND parent, HWND window) {
  Guard g(lock());
  Window* w = get(window);
  while (w && w->parent) {
    if (w->parent == parent) return TRUE;
    w = get(w->parent);
  }
  return FALSE;
}

HWND WINAPI GetParent(HWND window) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (w->style & WS_CHILD) return w->parent;
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND WINAPI GetAncestor(HWND window, UINT flags) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) return nullptr;
  switch (flags) {
    case GA_PARENT:
      return w->parent ? w->parent : GetDesktopWindow();
    case GA_ROOT:
      return topLevelOf(window);
    case GA_ROOTOWNER: {
      Window* r = get(topLevelOf(window));
      while (r && r->owner && get(r->owner)) r = get(r->owner);
      return r ? r->handle : nullptr;
    }
  }
  return nullptr;
}

// The desktop is a fixed pseudo handle; it is no window of the table.
HWND WINAPI GetDesktopWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010)); }

HWND WINAPI GetWindow(HWND window, UINT command) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (command == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (command == GW_OWNER) return w->owner;
  auto& list = w->parent && get(w->parent) ? get(w->parent)->children : state().topLevel;
  auto at = std::find(list.begin(), list.end(), window);
  switch (command) {
    case GW_HWNDFIRST:
      return list.front();
    case GW_HWNDLAST:
      return list.back();
    case GW_HWNDNEXT:
      return at + 1 < list.end() ? *(at + 1) : nullptr;
    case GW_HWNDPREV:
      return at > list.begin() && at != list.end() ? *(at - 1) : nullptr;
  }
  return nullptr;
}

static std::vector<HWND> descendants(HWND parent) {
  std::vector<HWND> out;
  Window* w = get(parent);
  if (!w) return out;
  for (HWND c : w->children) {
    out.push_back(c);
    auto sub = descendants(c);
    out.insert(out.end(), sub.begin(), sub.end());
  }
  return out;
}

BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  std::vector<HWND> list;
  {
    Guard g(lock());
    if (!parent) {
      // A null parent means the desktop: every top-level window and its descendants.
      for (HWND h : state().topLevel) {
        list.push_back(h);
        auto sub = descendants(h);
        list.insert(list.end(), sub.begin(), sub.end());
      }
    } else {
      list = descendants(parent);
    }
  }
  for (HWND h : list)
    if (IsWindow(h) && !proc(h, lParam)) return FALSE;
  return TRUE;
}

BOOL WINAPI EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
  if (!proc) return FALSE;
  std::vector<HWND> list;
  {
    Guard g(lock());
    list = state().topLevel;
  }
  for (HWND h : list)
    if (IsWindow(h) && !proc(h, lParam)) return FALSE;
  return TRUE;
}

HWND WINAPI FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName) {
  Guard g(lock());
  std::vector<HWND> list;
  if (parent && parent != GetDesktopWindow()) {
    Window* p = get(parent);
    if (!p) return nullptr;
    list = p->children;
  } else {
    list = state().topLevel;
  }
  auto at = list.begin();
  if (childAfter) {
    at = std::find(list.begin(), list.end(), childAfter);
    if (at == list.end()) return nullptr;
    ++at;
  }
  for (; at != list.end(); ++at) {
    Window* w = get(*at);
    if (!w || w->process != GetCurrentProcessId()) continue;
    if (className && !classMatches(w->cls, className)) continue;
    if (windowName && w->text != windowName) continue;
    return w->handle;
  }
  return nullptr;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  return FindWindowExW(nullptr, nullptr, className, windowName);
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  Guard g(lock());
  Window* w = get(dialog);
  if (!w) return nullptr;
  for (HWND c : w->children)
    if (Window* child = get(c); child && static_cast<int>(child->id) == id) return c;
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND window) {
  Guard g(lock());
  Window* w = get(window);
  return w ? static_cast<int>(w->id) : 0;
}

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (processId) *processId = w->process;
  return w->thread;
}

// ---- Window data ---------------------------------------------------------------------------------

LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index >= 0) {
    if (static_cast<size_t>(index) / 8 < w->extra.size()) return w->extra[static_cast<size_t>(index) / 8];
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_ID:
      return w->id;
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->exStyle);
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = 0;
  SetLastError(0);
  if (index >= 0) {
    if (static_cast<size_t>(index) / 8 >= w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    old = w->extra[static_cast<size_t>(index) / 8];
    w->extra[static_cast<size_t>(index) / 8] = value;
    return old;
  }
  switch (index) {
    case GWLP_WNDPROC:
      // Only the owning thread may subclass, as on Windows.
      if (w->thread != GetCurrentThreadId() || !value) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
      }
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(value);
      return old;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = value;
      return old;
    case GWLP_ID:
      old = w->id;
      w->id = value;
      return old;
    case GWL_STYLE:
      old = static_cast<LONG>(w->style);
      w->style = static_cast<DWORD>(value);
      return old;
    case GWL_EXSTYLE:
      old = static_cast<LONG>(w->exStyle);
      w->exStyle = static_cast<DWORD>(value);
      return old;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

LONG WINAPI GetWindowLongW(HWND window, int index) {
  if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
    // Pointer-sized fields do not fit a LONG here, as on 64-bit Windows.
    if (sizeof(void*) > sizeof(LONG)) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
  }
  return static_cast<LONG>(GetWindowLongPtrW(window, index));
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(window, message, wParam, lParam) : 0;
}

// ---- Texts -----------------------------------------------------------------------------------------

// Window texts go through WM_SETTEXT / WM_GETTEXT for windows of the calling
// thread, as controls keep their own; another thread's window is read directly.
BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text) {
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
  }
  return static_cast<BOOL>(SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextW(HWND window, LPWSTR buffer, int capacity) {
  if (!buffer || capacity <= 0) return 0;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) {
      buffer[0] = 0;
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->thread != GetCurrentThreadId()) {
      size_t n = std::min<size_t>(w->text.size(), static_cast<size_t>(capacity - 1));
      std::memcpy(buffer, w->text.data(), n * sizeof(WCHAR));
      buffer[n] = 0;
      return static_cast<int>(n);
    }
  }
  buffer[0] = 0;
  return static_cast<int>(
      SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(capacity), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthW(HWND window) {
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->thread != GetCurrentThreadId()) return static_cast<int>(w->text.size());
  }
  return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
}

// ---- Properties --------------------------------------------------------------------------------------

// Property names are atoms on Windows: compared without case, or by atom value.
static bool propMatches(const Prop& p, LPCWSTR name) {
  if (IS_INTRESOURCE(name))
    return p.name.size() == 1 && p.name[0] == static_cast<char16_t>(reinterpret_cast<uintptr_t>(name)) + 0;
  return equalNoCase(p.name, name);
}

static std::u16string propName(LPCWSTR name) {
  if (IS_INTRESOURCE(name))
    return std::u16string(1, static_cast<char16_t>(reinterpret_cast<uintptr_t>(name)));
  return std::u16string(name);
}

BOOL WINAPI SetPropW(HWND window, LPCWSTR name, HANDLE data) {
  Guard g(lock());
  Window* w = get(window);
  if (!w || !name) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  for (Prop& p : w->props)
    if (propMatches(p, name)) {
      p.value = data;
      return TRUE;
    }
  w->props.push_back({propName(name), data});
  return TRUE;
}

HANDLE WINAPI GetPropW(HWND window, LPCWSTR name) {
  Guard g(lock());
  Window* w = get(window);
  if (!w || !name) return nullptr;
  for (Prop& p : w->props)
    if (propMatches(p, name)) return p.value;
  return nullptr;
}

HANDLE WINAPI RemovePropW(HWND window, LPCWSTR name) {
  Guard g(lock());
  Window* w = get(window);
  if (!w || !name) return nullptr;
  for (size_t i = 0; i < w->props.size(); i++)
    if (propMatches(w->props[i], name)) {
      HANDLE value = w->props[i].value;
      w->props.erase(w->props.begin() + static_cast<long>(i));
      return value;
    }
  return nullptr;
}
