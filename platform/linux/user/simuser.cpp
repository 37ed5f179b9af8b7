// The simulated user on the substitute window system: input is queued to the
// GUI thread as raw input, reads are taken under the substitute's lock, and
// another application is a stand-in window that belongs to no thread here.
// What is the same on Windows is in platform/shared/simuser.cpp.
#include <algorithm>
#include <chrono>

#include "platform/linux/user/internal.h"
#include "platform/shared/simuser_side.h"

using namespace user;
using std::chrono::steady_clock;

namespace {

bool matches(const Window& w, const char16_t* className, const char16_t* text) {
  if (className && !equalNoCase(w.cls->name, className)) return false;
  return !text || w.text == text;
}

HWND findTop(const char16_t* className, const char16_t* title) {
  for (HWND h : state().topLevel) {
    Window* w = get(h);
    if (w && w->process == GetCurrentProcessId() && (w->style & WS_VISIBLE) && matches(*w, className, title))
      return h;
  }
  return nullptr;
}

HWND findIn(HWND parent, const char16_t* className, const char16_t* text, int id, bool byId) {
  Window* p = get(parent);
  if (!p) return nullptr;
  for (HWND c : p->children) {
    Window* w = get(c);
    if (!w) continue;
    if (byId ? static_cast<int>(w->id) == id : matches(*w, className, text)) return c;
    if (HWND deeper = findIn(c, className, text, id, byId)) return deeper;
  }
  return nullptr;
}

// The thread of the foreground window, when it is one of ours.
DWORD foregroundThread() {
  Window* f = get(state().foreground);
  return f && f->process == GetCurrentProcessId() ? f->thread : 0;
}

bool queueKey(UINT message, BYTE key, WCHAR character) {
  Guard g(lock());
  HWND target = state().foreground;
  Window* f = get(target);
  if (!f || f->process != GetCurrentProcessId()) return false;  // the keys go to another application
  Input in{};
  in.message = message;
  in.key = key;
  in.character = character;
  return queueInput(target, in);
}

bool queueMouse(UINT message, POINT point) {
  Guard g(lock());
  HWND target = WindowFromPoint(point);
  if (!target) return false;
  Input in{};
  in.message = message;
  in.point = point;
  return queueInput(target, in);
}

HWND otherApplication() {
  static HWND other = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"SimUser_OtherApplication";
    RegisterClassExW(&wc);
    Guard g(lock());
    auto* w = new Window{};
    w->process = GetCurrentProcessId() + 1;
    w->thread = 0;
    w->cls = findClass(u"SimUser_OtherApplication", nullptr);
    w->cls->windows++;
    w->proc = DefWindowProcW;
    w->style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    w->text = u"Another application";
    w->rect = RECT{100, 100, 500, 400};
    w->handle = static_cast<HWND>(state().windows.add(w));
    return w->handle;
  }();
  return other;
}

}  // namespace

// ---- Finding ------------------------------------------------------------------------------------

HWND SimUser_FindWindow(const char16_t* className, const char16_t* title) {
  Guard g(lock());
  return findTop(className, title);
}

HWND SimUser_FindControl(HWND top, const char16_t* className, const char16_t* text) {
  Guard g(lock());
  return findIn(top, className, text, 0, false);
}

HWND SimUser_FindControlById(HWND top, int id) {
  Guard g(lock());
  return findIn(top, nullptr, nullptr, id, true);
}

// ---- Reading ------------------------------------------------------------------------------------

bool SimUser_Read(HWND window, SimWindow* out) {
  Guard g(lock());
  Window* w = get(window);
  if (!w || !out) return false;
  Queue* q = queueOf(w->thread);
  RECT client = clientRectOf(*w);
  POINT origin = clientOrigin(*w);
  *out = SimWindow{window,
                   w->cls->name,
                   w->text,
                   static_cast<int>(w->id),
                   screenRectOf(*w),
                   RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom},
                   visibleOf(*w),
                   !(w->style & WS_DISABLED),
                   q && q->focus == window && foregroundThread() == w->thread,
                   state().foreground == window,
                   (w->style & WS_MINIMIZE) != 0,
                   (w->style & WS_MAXIMIZE) != 0,
                   buttonCheck(*w),
                   !w->invalid};
  return true;
}

std::u16string SimUser_Text(HWND window) {
  Guard g(lock());
  Window* w = get(window);
  return w ? w->text : std::u16string();
}

HWND SimUser_Focus() {
  Guard g(lock());
  Queue* q = queueOf(foregroundThread());
  return q ? q->focus : nullptr;
}

HWND SimUser_Foreground() {
  Guard g(lock());
  return foregroundThread() ? state().foreground : nullptr;
}

bool SimUser_Progress(HWND bar, int* low, int* high, int* position) {
  Guard g(lock());
  Window* w = get(bar);
  return w && progressOf(*w, low, high, position);
}

// ---- Acting -----------------------------------------------------------------------------------------

bool SimUser_ClickAt(HWND window, int x, int y) {
  POINT p;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w || !visibleOf(*w)) return false;
    RECT client = clientRectOf(*w);
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) return false;
    POINT origin = clientOrigin(*w);
    p = POINT{origin.x + x, origin.y + y};
    // Only what is under the pointer can be clicked.
    HWND under = WindowFromPoint(p);
    if (under != window && !IsChild(window, under)) return false;
  }
  return queueMouse(WM_LBUTTONDOWN, p) && queueMouse(WM_LBUTTONUP, p);
}

bool SimUser_KeyDown(BYTE key) { return queueKey(WM_KEYDOWN, key, 0); }
bool SimUser_KeyUp(BYTE key) { return queueKey(WM_KEYUP, key, 0); }

// Each character is typed as a Unicode key, as a keyboard of any layout would give it.
bool SimUser_Type(const char16_t* text) {
  if (!text) return false;
  for (const char16_t* p = text; *p; p++)
    if (!queueKey(WM_KEYDOWN, VK_PACKET, *p) || !queueKey(WM_KEYUP, VK_PACKET, *p)) return false;
  return true;
}

bool SimUser_SwitchAway() {
  HWND other = otherApplication();
  Guard g(lock());
  DWORD thread = foregroundThread();
  state().foreground = other;
  auto& top = state().topLevel;
  top.erase(std::remove(top.begin(), top.end(), other), top.end());
  top.insert(top.begin(), other);
  state().changed.notify_all();
  return thread == 0 || queueDeactivate(thread);
}

bool SimUser_SwitchBack(HWND top) {
  Guard g(lock());
  Window* w = get(top);
  if (!w || w->parent || w->process != GetCurrentProcessId()) return false;
  HWND other = otherApplication();
  auto& list = state().topLevel;
  list.erase(std::remove(list.begin(), list.end(), other), list.end());
  Input in{};
  in.message = WM_ACTIVATE;
  in.window = top;
  state().foreground = top;
  return queueInput(top, in);
}

bool SimUser_Idle(DWORD timeout) {
  return simuser::waitFor(timeout, [] {
    for (Queue* q : state().queues) {
      if (windowsOfThread(q->thread) == 0) continue;
      bool posted = std::any_of(q->posted.begin(), q->posted.end(),
                                [](const MSG& m) { return m.message != kDroppedMessage; });
      if (!q->input.empty() || !q->sent.empty() || posted || !q->waiting) return false;
    }
    return true;
  });
}

// ---- The steps the shared part is written over ----------------------------------------------

namespace simuser {

// Checked whenever the windows change.
bool waitFor(DWORD timeout, const std::function<bool()>& found) {
  auto deadline = steady_clock::now() + std::chrono::milliseconds(timeout);
  Guard g(lock());
  while (!found()) {
    if (steady_clock::now() >= deadline) return false;
    // Changes of state wake the wait; the short bound covers those that do not notify.
    state().changed.wait_until(g, std::min(deadline, steady_clock::now() + std::chrono::milliseconds(5)));
  }
  return true;
}

bool captionButton(HWND top, int hit, DWORD needed) {
  Input in{};
  {
    Guard g(lock());
    Window* w = get(top);
    if (!w || w->parent || !(w->style & WS_VISIBLE) || !(w->style & needed)) return false;
    RECT r = screenRectOf(*w);
    in.window = top;
    in.key = static_cast<WPARAM>(hit);
    in.point = POINT{r.right - 20, r.top + 10};
  }
  in.message = WM_NCLBUTTONDOWN;
  if (!queueInput(top, in)) return false;
  in.message = WM_NCLBUTTONUP;
  return queueInput(top, in);
}

bool readMessageBox(SimMessageBox* out) {
  Guard g(lock());
  for (HWND h : state().topLevel) {
    Window* w = get(h);
    DialogInfo* d = w ? dialogInfoOf(*w) : nullptr;
    if (!d || d->kind != DialogInfo::MessageBox || !(w->style & WS_VISIBLE)) continue;
    if (out) {
      out->window = h;
      out->caption = w->text;
      out->text.clear();
      out->buttons.clear();
      for (HWND c : w->children) {
        Window* child = get(c);
        if (!child) continue;
        if (child->id == kMessageBoxTextId) out->text = child->text;
        if (equalNoCase(child->cls->name, u"Button")) out->buttons.push_back(static_cast<int>(child->id));
      }
    }
    return true;
  }
  return false;
}

bool readFileDialog(SimFileDialog* out) {
  Guard g(lock());
  for (HWND h : state().topLevel) {
    Window* w = get(h);
    DialogInfo* d = w ? dialogInfoOf(*w) : nullptr;
    if (!d || d->kind == DialogInfo::MessageBox || !(w->style & WS_VISIBLE)) continue;
    if (out) {
      *out = SimFileDialog{
          h, d->kind == DialogInfo::Save, w->text, d->filters, d->filterIndex, d->directory, d->proposedName};
    }
    return true;
  }
  return false;
}

bool pressButton(HWND dialog, int id) {
  HWND button = SimUser_FindControlById(dialog, id);
  return button && SimUser_Click(button);
}

// Clicks into the name field, clears it and types the path, as the user does.
bool enterName(HWND dialog, const char16_t* path, DWORD timeout) {
  HWND field = SimUser_FindControlById(dialog, kFileNameId);
  if (!field || !SimUser_Click(field)) return false;
  if (!SimUser_Idle(timeout)) return false;
  size_t length = SimUser_Text(field).size();
  for (size_t i = 0; i < length; i++)
    if (!SimUser_Press(VK_BACK)) return false;
  return SimUser_Type(path);
}

bool dialogClosed(HWND dialog) {
  Guard g(lock());
  return get(dialog) == nullptr;
}

}  // namespace simuser
