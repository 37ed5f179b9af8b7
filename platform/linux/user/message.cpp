// Message queues of the substitute window system: one per thread, with posted
// and sent messages, input, WM_PAINT paced like a display, timers, keyboard
// state, accelerators and the waits.
#include <algorithm>
#include <cstring>

#include "platform/linux/user/internal.h"

using namespace user;
using std::chrono::steady_clock;

namespace {

// Internal input: activation handed to the thread that owns a window.
constexpr UINT kInputActivate = WM_ACTIVATE;
constexpr UINT kInputDeactivate = WM_ACTIVATEAPP;
constexpr size_t kPostLimit = 10000;  // as on Windows, a queue holds at most 10,000 posted messages

// Removes the thread's queue when the thread ends: its windows go without
// messages, and whoever waits for an answer from it gets 0.
struct QueueHolder {
  Queue* queue = nullptr;
  ~QueueHolder() {
    if (!queue) return;
    Guard g(lock());
    dropThreadWindows(queue->thread);
    for (Sent* s : queue->sent) {
      s->done = true;
      if (Queue* sender = queueOf(s->sender)) sender->wake.notify_all();
    }
    auto& qs = state().queues;
    qs.erase(std::remove(qs.begin(), qs.end(), queue), qs.end());
    delete queue;
    queue = nullptr;
  }
};
thread_local QueueHolder holder;

struct Accelerators {
  std::vector<ACCEL> entries;
};
HandleTable<Accelerators>& accelerators() {
  static auto* t = new HandleTable<Accelerators>;
  return *t;
}

bool inRange(UINT message, UINT low, UINT high) {
  if (low == 0 && high == 0) return true;
  return message >= low && message <= high;
}

bool windowMatches(HWND window, HWND filter) {
  if (!filter) return true;
  return window == filter || IsChild(filter, window);
}

// The first invalid visible window of the thread, parents before children,
// that has not been painted in this frame. `waiting` tells whether some
// invalid window waits for the next frame.
HWND findPaint(Queue& q, HWND filter, int64_t frame, bool* waiting) {
  HWND found = nullptr;
  std::vector<HWND> stack(state().topLevel.rbegin(), state().topLevel.rend());
  while (!stack.empty()) {
    HWND h = stack.back();
    stack.pop_back();
    Window* w = get(h);
    if (!w || w->thread != q.thread || !(w->style & WS_VISIBLE)) continue;
    if (w->invalid && windowMatches(h, filter)) {
      if (w->paintFrame < frame) {
        found = h;
        break;
      }
      if (waiting) *waiting = true;
    }
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) stack.push_back(*it);
  }
  return found;
}

steady_clock::time_point nextFrameStart() {
  auto frame = paintFrameNow() + 1;
  return steady_clock::time_point(std::chrono::milliseconds(frame * kFrame.count()));
}

WCHAR charOf(const Queue& q, WPARAM key, LPARAM lParam) {
  bool shift = q.keys[VK_SHIFT] & 0x80, control = q.keys[VK_CONTROL] & 0x80;
  if (key == VK_PACKET) return static_cast<WCHAR>(HIWORD(lParam));
  if (key >= 'A' && key <= 'Z') {
    if (control) return static_cast<WCHAR>(key - 'A' + 1);
    return static_cast<WCHAR>(shift ? key : key + 32);
  }
  if (control) return 0;
  if (key >= '0' && key <= '9') return static_cast<WCHAR>(key);
  switch (key) {
    case VK_SPACE:
      return u' ';
    case VK_RETURN:
      return u'\r';
    case VK_TAB:
      return u'\t';
    case VK_BACK:
      return 8;
    case VK_ESCAPE:
      return 27;
  }
  return 0;
}

void answer(Sent* s, LRESULT result) {
  Guard g(lock());
  s->result = result;
  s->done = true;
  if (Queue* sender = queueOf(s->sender)) sender->wake.notify_all();
}

void processSent(Sent* s) {
  {
    Guard g(lock());
    ownQueue().inSend++;
  }
  LRESULT result = callProc(s->window, s->message, s->wParam, s->lParam);
  {
    Guard g(lock());
    ownQueue().inSend--;
  }
  answer(s, result);
}

// Turns raw input into the message it becomes for this thread now; false
// when it reaches no window (it is then dropped).
bool resolveInput(Queue& q, const Input& in, MSG* msg) {
  *msg = MSG{};
  msg->time = now();
  msg->pt = in.point;
  if (in.message == WM_KEYDOWN || in.message == WM_KEYUP) {
    HWND target = q.focus ? q.focus : q.active;
    if (!target || !get(target)) return false;
    bool alt = (q.keys[VK_MENU] & 0x80) || in.key == VK_MENU;
    // Without a focus window, keys go to the active window as system keys.
    bool system = alt || !q.focus;
    msg->hwnd = target;
    msg->message =
        in.message == WM_KEYDOWN ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    msg->wParam = in.key;
    DWORD lp = 1;
    if (in.key == VK_PACKET) lp |= static_cast<DWORD>(in.character) << 16;
    if (alt && in.key != VK_MENU) lp |= 1u << 29;
    if (in.message == WM_KEYUP) lp |= 0xC0000000u;
    msg->lParam = static_cast<LPARAM>(lp);
    return true;
  }
  if (in.message == WM_NCLBUTTONDOWN || in.message == WM_NCLBUTTONUP) {
    Window* w = get(in.window);
    if (!w || w->thread != q.thread || (w->style & WS_DISABLED) || !(w->style & WS_VISIBLE)) return false;
    msg->hwnd = in.window;
    msg->message = in.message;
    msg->wParam = in.key;
    msg->lParam = MAKELPARAM(in.point.x, in.point.y);
    return true;
  }
  // Mouse buttons: the captured window, or the window under the point.
  HWND target = q.capture && get(q.capture) ? q.capture : WindowFromPoint(in.point);
  Window* w = get(target);
  if (!w || w->thread != q.thread) return false;
  Window* top = get(topLevelOf(target));
  if (!top || (top->style & WS_DISABLED)) return false;
  POINT origin = clientOrigin(*w);
  msg->hwnd = target;
  msg->message = in.message;
  WPARAM buttons = 0;
  if ((q.keys[VK_LBUTTON] & 0x80) || in.message == WM_LBUTTONDOWN) buttons |= MK_LBUTTON;
  if (in.message == WM_LBUTTONUP) buttons &= ~static_cast<WPARAM>(MK_LBUTTON);
  msg->wParam = buttons;
  msg->lParam = MAKELPARAM(in.point.x - origin.x, in.point.y - origin.y);
  return true;
}

void trackKeys(Queue& q, const Input& in) {
  auto press = [&](BYTE vk, bool down) {
    if (down) {
      if (!(q.keys[vk] & 0x80)) q.keys[vk] ^= 1;
      q.keys[vk] |= 0x80;
    } else {
      q.keys[vk] &= static_cast<BYTE>(~0x80);
    }
  };
  switch (in.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
      if (in.key != VK_PACKET) press(static_cast<BYTE>(in.key), in.message == WM_KEYDOWN);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      press(VK_LBUTTON, in.message == WM_LBUTTONDOWN);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      press(VK_RBUTTON, in.message == WM_RBUTTONDOWN);
      break;
  }
}

// A click on an inactive top-level window activates it first.
void mouseActivate(const MSG& m) {
  if (m.message != WM_LBUTTONDOWN && m.message != WM_RBUTTONDOWN && m.message != WM_NCLBUTTONDOWN) return;
  HWND top;
  {
    Guard g(lock());
    top = topLevelOf(m.hwnd);
    if (!top || ownQueue().active == top) return;
  }
  LRESULT r = callProc(m.hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                       MAKELPARAM(m.message == WM_NCLBUTTONDOWN ? m.wParam : HTCLIENT, m.message));
  if (r != MA_NOACTIVATE && IsWindow(top)) setActive(top, true);
}

// One attempt to take a message, in Windows order. Sent messages are
// handled on the way and never returned.
bool takeMessage(MSG* msg, HWND filter, UINT low, UINT high, UINT flags) {
  bool remove = flags & PM_REMOVE;
  for (;;) {
    Guard g(lock());
    Queue& q = ownQueue();
    if (!q.sent.empty()) {
      Sent* s = q.sent.front();
      q.sent.pop_front();
      g.unlock();
      processSent(s);
      continue;
    }
    for (auto it = q.posted.begin(); it != q.posted.end();) {
      if (it->message == kDroppedMessage) {
        it = q.posted.erase(it);
        continue;
      }
      if (windowMatches(it->hwnd, filter) && inRange(it->message, low, high)) {
        *msg = *it;
        if (remove) q.posted.erase(it);
        return true;
      }
      ++it;
    }
    if (!q.input.empty()) {
      Input in = q.input.front();
      if (in.message == kInputActivate || in.message == kInputDeactivate) {
        q.input.pop_front();
        g.unlock();
        if (in.message == kInputDeactivate)
          setActive(nullptr, false);
        else if (IsWindow(in.window))
          setActive(in.window, false);
        continue;
      }
      MSG m;
      if (!resolveInput(q, in, &m)) {
        q.input.pop_front();
        trackKeys(q, in);
        continue;
      }
      if (windowMatches(m.hwnd, filter) && inRange(m.message, low, high)) {
        if (remove) {
          q.input.pop_front();
          trackKeys(q, in);
          g.unlock();
          mouseActivate(m);
          if (!IsWindow(m.hwnd)) continue;
        }
        *msg = m;
        return true;
      }
    }
    if (q.quit) {
      *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, now(), {}};
      if (remove) q.quit = false;
      return true;
    }
    if (inRange(WM_PAINT, low, high)) {
      int64_t frame = paintFrameNow();
      if (HWND h = findPaint(q, filter, frame, nullptr)) {
        *msg = MSG{h, WM_PAINT, 0, 0, now(), {}};
        if (remove) get(h)->paintFrame = frame;
        return true;
      }
    }
    if (inRange(WM_TIMER, low, high)) {
      auto t = steady_clock::now();
      for (Timer& timer : q.timers) {
        if (timer.due <= t && windowMatches(timer.window, filter)) {
          *msg = MSG{timer.window, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc), now(), {}};
          if (remove) timer.due = t + std::chrono::milliseconds(timer.elapse);
          return true;
        }
      }
    }
    return false;
  }
}

// Whether the thread has anything to take now; otherwise when it will.
bool hasWork(Queue& q, steady_clock::time_point* wakeAt) {
  if (!q.sent.empty() || !q.input.empty() || q.quit) return true;
  for (const MSG& m : q.posted)
    if (m.message != kDroppedMessage) return true;
  bool waiting = false;
  if (findPaint(q, nullptr, paintFrameNow(), &waiting)) return true;
  auto at = steady_clock::time_point::max();
  if (waiting) at = nextFrameStart();
  auto t = steady_clock::now();
  for (const Timer& timer : q.timers) {
    if (timer.due <= t) return true;
    at = std::min(at, timer.due);
  }
  *wakeAt = at;
  return false;
}

// Waits until the thread has something to take, or the deadline passes.
bool waitForWork(steady_clock::time_point deadline) {
  Guard g(lock());
  Queue& q = ownQueue();
  for (;;) {
    auto wakeAt = steady_clock::time_point::max();
    if (hasWork(q, &wakeAt)) return true;
    auto until = std::min(wakeAt, deadline);
    if (steady_clock::now() >= deadline) return false;
    q.waiting = true;
    if (until == steady_clock::time_point::max())
      q.wake.wait(g);
    else
      q.wake.wait_until(g, until);
    q.waiting = false;
  }
}

}  // namespace

namespace user {

Queue* queueOf(DWORD thread) {
  for (Queue* q : state().queues)
    if (q->thread == thread) return q;
  return nullptr;
}

Queue& ownQueue() {
  if (!holder.queue) {
    Guard g(lock());
    holder.queue = new Queue;
    holder.queue->thread = GetCurrentThreadId();
    state().queues.push_back(holder.queue);
  }
  return *holder.queue;
}

void wakeQueue(DWORD thread) {
  if (Queue* q = queueOf(thread)) q->wake.notify_all();
}

bool queueInput(HWND target, const Input& input) {
  Guard g(lock());
  Window* w = get(target);
  if (!w) return false;
  Queue* q = queueOf(w->thread);
  if (!q) return false;
  q->input.push_back(input);
  q->wake.notify_all();
  return true;
}

bool queueDeactivate(DWORD thread) {
  Guard g(lock());
  Queue* q = queueOf(thread);
  if (!q) return false;
  Input in{};
  in.message = kInputDeactivate;
  q->input.push_back(in);
  q->wake.notify_all();
  return true;
}

}  // namespace user

// ---- Posting and sending -----------------------------------------------------------------------

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Guard g(lock());
  Queue* q;
  if (!window) {
    q = &ownQueue();
  } else {
    Window* w = get(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    q = queueOf(w->thread);
  }
  if (!q || q->posted.size() >= kPostLimit) {
    SetLastError(1816L /* ERROR_NOT_ENOUGH_QUOTA */);
    return FALSE;
  }
  q->posted.push_back(MSG{window, message, wParam, lParam, now(), {}});
  q->wake.notify_all();
  return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  Guard g(lock());
  Queue* q = queueOf(threadId);
  if (!q) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  if (q->posted.size() >= kPostLimit) return FALSE;
  q->posted.push_back(MSG{nullptr, message, wParam, lParam, now(), {}});
  q->wake.notify_all();
  return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
  Guard g(lock());
  Queue& q = ownQueue();
  q.quit = true;
  q.quitCode = exitCode;
}

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Sent s{window, message, wParam, lParam, 0, false, GetCurrentThreadId()};
  bool crossThread = false;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->thread != GetCurrentThreadId()) {
      Queue* target = queueOf(w->thread);
      if (!target) return 0;
      ownQueue();
      crossThread = true;
      target->sent.push_back(&s);
      target->wake.notify_all();
    }
  }
  if (!crossThread) return callProc(window, message, wParam, lParam);
  // Another thread's window: wait for its answer, meanwhile answering what
  // others send to this thread, so two threads sending to each other go on.
  Guard g(lock());
  Queue& own = ownQueue();
  while (!s.done) {
    if (!own.sent.empty()) {
      Sent* incoming = own.sent.front();
      own.sent.pop_front();
      g.unlock();
      processSent(incoming);
      g.lock();
      continue;
    }
    own.wake.wait(g);
  }
  return s.result;
}

BOOL WINAPI InSendMessage() {
  Guard g(lock());
  return ownQueue().inSend > 0;
}

// ---- Taking messages -------------------------------------------------------------------------------

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  if (window) {
    Guard g(lock());
    if (!getOwn(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return -1;
    }
  }
  for (;;) {
    if (takeMessage(msg, window, filterMin, filterMax, PM_REMOVE)) return msg->message != WM_QUIT;
    waitForWork(steady_clock::time_point::max());
  }
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  if (!msg) return FALSE;
  return takeMessage(msg, window, filterMin, filterMax, remove) ? TRUE : FALSE;
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                       DWORD wakeMask) {
  if (count != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  auto deadline = milliseconds == INFINITE ? steady_clock::time_point::max()
                                           : steady_clock::now() + std::chrono::milliseconds(milliseconds);
  return waitForWork(deadline) ? WAIT_OBJECT_0 + count : static_cast<DWORD>(WAIT_TIMEOUT);
}

DWORD WINAPI GetQueueStatus(UINT flags) {
  Guard g(lock());
  Queue& q = ownQueue();
  DWORD status = 0;
  if (!q.posted.empty()) status |= QS_POSTMESSAGE;
  if (!q.input.empty()) status |= QS_KEY | QS_MOUSEBUTTON;
  if (!q.sent.empty()) status |= QS_SENDMESSAGE;
  if (findPaint(q, nullptr, INT64_MAX, nullptr)) status |= QS_PAINT;
  return (status & flags) | ((status & flags) << 16);
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (!msg) return FALSE;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
    return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
  }
  WCHAR c;
  {
    Guard g(lock());
    c = charOf(ownQueue(), msg->wParam, msg->lParam);
  }
  if (c) PostMessageW(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, c, msg->lParam);
  return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, now());
    return 0;
  }
  if (!msg->hwnd) return 0;
  {
    Guard g(lock());
    if (!getOwn(msg->hwnd)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
  }
  return callProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Guard g(lock());
  auto& names = state().registeredMessages;
  for (size_t i = 0; i < names.size(); i++)
    if (equalNoCase(names[i], name)) return static_cast<UINT>(0xC000 + i);
  if (names.size() >= 0x4000) return 0;
  names.emplace_back(name);
  return static_cast<UINT>(0xC000 + names.size() - 1);
}

// ---- Timers -------------------------------------------------------------------------------------------

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  Guard g(lock());
  Queue& q = ownQueue();
  if (window && !getOwn(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  // Windows keeps time-outs between 10 ms and about 24.8 days.
  elapse = std::clamp<UINT>(elapse, 10, 0x7FFFFFFF);
  if (!window) id = q.nextThreadTimer++;
  auto due = steady_clock::now() + std::chrono::milliseconds(elapse);
  for (Timer& t : q.timers)
    if (t.window == window && t.id == id) {
      t = Timer{window, id, elapse, proc, due};
      return window ? (id ? id : 1) : id;
    }
  q.timers.push_back(Timer{window, id, elapse, proc, due});
  q.wake.notify_all();
  return window ? (id ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  Guard g(lock());
  Queue& q = ownQueue();
  auto it = std::find_if(q.timers.begin(), q.timers.end(),
                         [&](const Timer& t) { return t.window == window && t.id == id; });
  if (it == q.timers.end()) return FALSE;
  q.timers.erase(it);
  return TRUE;
}

// ---- Keyboard ---------------------------------------------------------------------------------------

SHORT WINAPI GetKeyState(int virtualKey) {
  if (virtualKey < 0 || virtualKey > 255) return 0;
  Guard g(lock());
  BYTE k = ownQueue().keys[virtualKey];
  return static_cast<SHORT>(((k & 0x80) ? 0xFF80 : 0) | (k & 1));
}

HACCEL WINAPI CreateAcceleratorTableW(LPACCEL entries, int count) {
  if (!entries || count <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(lock());
  auto* table = new Accelerators{std::vector<ACCEL>(entries, entries + count)};
  void* handle = accelerators().add(table);
  if (!handle) delete table;
  return static_cast<HACCEL>(handle);
}

BOOL WINAPI DestroyAcceleratorTable(HACCEL table) {
  Guard g(lock());
  Accelerators* a = accelerators().get(table);
  if (!a) return FALSE;
  accelerators().remove(table);
  delete a;
  return TRUE;
}

int WINAPI TranslateAcceleratorW(HWND window, HACCEL table, LPMSG msg) {
  if (!window || !msg) return 0;
  UINT message = msg->message;
  if (message != WM_KEYDOWN && message != WM_SYSKEYDOWN && message != WM_CHAR && message != WM_SYSCHAR)
    return 0;
  WORD command = 0;
  bool found = false;
  {
    Guard g(lock());
    Accelerators* a = accelerators().get(table);
    if (!a || !getOwn(window)) return 0;
    // The command comes even while the mouse is captured or the window is
    // disabled: Windows holds back only the menu messages then.
    Queue& q = ownQueue();
    BYTE mods = 0;
    if (q.keys[VK_SHIFT] & 0x80) mods |= FSHIFT;
    if (q.keys[VK_CONTROL] & 0x80) mods |= FCONTROL;
    if (q.keys[VK_MENU] & 0x80) mods |= FALT;
    for (const ACCEL& e : a->entries) {
      if (e.fVirt & FVIRTKEY) {
        if ((message != WM_KEYDOWN && message != WM_SYSKEYDOWN) || e.key != msg->wParam) continue;
        if ((e.fVirt & (FSHIFT | FCONTROL | FALT)) != mods) continue;
      } else {
        if ((message != WM_CHAR && message != WM_SYSCHAR) || e.key != msg->wParam) continue;
        if (((e.fVirt & FALT) != 0) != ((mods & FALT) != 0)) continue;
      }
      command = e.cmd;
      found = true;
      break;
    }
  }
  if (!found) return 0;
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(command, 1), 0);
  return 1;
}
