// The event queue, the event wait, posted events and bindings.
#include "window/event.h"

#include <atomic>
#include <mutex>

#include "core/thread.h"
#include "window/focus.h"
#include "window/internal.h"
#include "window/window.h"

namespace {

ThreadState* eventState = nullptr;
HashMap* bindingMap = nullptr;
// Read by Event_Post on any thread.
std::atomic<HWND> postedWindow{nullptr};
std::atomic<UINT> postedMessage{0};

// The window system runs the procedures of sent messages (an activation by
// another application, for one) inside GetMessageW and PeekMessageW without
// returning them. An event queued then would wait for some later message, so
// while the GUI thread waits, the first such event posts a wake-up: the
// registered message without a record. GUI thread only.
bool waiting = false;
bool wakePosted = false;

// The posted-event window is an ordinary top-level window and its message a
// registered one, so any program on the desktop can post it with any lParam.
// Only records that Event_Post made and that are not yet taken are read: each
// sits in this list (oldest first) from before it is posted until it is taken,
// and the window looks an lParam up here before touching it. Posters run on
// any thread, so the list has a lock.
struct PendingPost {
  PendingPost* newer;
  PendingPost* older;
  EventPost post;  // its address is the lParam
};
std::mutex pendingLock;
PendingPost* pendingOldest = nullptr;
PendingPost* pendingNewest = nullptr;

// Caller holds pendingLock.
void unlinkPending(PendingPost* pending) {
  (pending->older ? pending->older->newer : pendingOldest) = pending->newer;
  (pending->newer ? pending->newer->older : pendingNewest) = pending->older;
}

// The pending record whose post is at `address`, unlinked; null when no record
// of this process waits at that address. The address is only compared.
PendingPost* takePending(LPARAM address) {
  std::lock_guard<std::mutex> hold(pendingLock);
  for (PendingPost* pending = pendingOldest; pending; pending = pending->newer) {
    if (reinterpret_cast<LPARAM>(&pending->post) == address) {
      unlinkPending(pending);
      return pending;
    }
  }
  return nullptr;
}

constexpr char16_t kPostedClass[] = u"PostEventClass";
constexpr char16_t kPostedMessageName[] = u"RT_PostEventMessage";
constexpr int32_t kBindingSlots = 1024;
// The binding elements' type code, kept in the map for whoever inspects it.
constexpr int32_t kBindingTypeCode = 7;
// "code:window:object:type" of four pointer-wide numbers.
constexpr int kKeyCapacity = 4 * WINDOW_DECIMAL_CAPACITY;
// Codes at or above this are never merged with the newest queued event.
constexpr int32_t kCoalesceLimit = 65536;

EventState* state() { return eventState ? static_cast<EventState*>(Thread_GetState(eventState)) : nullptr; }

void eventStateInit(void* record) {
  auto* s = static_cast<EventState*>(record);
  s->pool = Pool_Create(sizeof(EventRecord), 16, 256, 0);
  // A pool releases a block as soon as its last element comes back, and the
  // queue empties on nearly every pass of the application's loop: one slot
  // held for good keeps the first block, so queuing reuses it instead of
  // allocating a block from the heap each time.
  if (s->pool) Pool_Alloc(s->pool);
  s->current.window = -1;
  s->current.type = -1;
}

// An event that never becomes current still owes its data a release.
void releaseData(intptr_t data, EventDataRelease release) {
  if (data && release) release(data);
}

void formatKey(char16_t* out, int32_t code, ObjectNumber window, ObjectNumber object, int32_t type) {
  out += Window_FormatDecimal(out, code);
  *out++ = u':';
  out += Window_FormatDecimal(out, window);
  *out++ = u':';
  out += Window_FormatDecimal(out, object);
  *out++ = u':';
  Window_FormatDecimal(out, type);
}

// A callback may unbind (Window_Close does) while the bindings of an event are
// walked: the walk holds nodes of the list it runs. While a walk is under way,
// unbound nodes are only marked dead (no callback) and kept here; the walk
// stops at a dead node, and the outermost walk releases them when it ends.
int bindingWalks = 0;
EventCallbackNode* retiredCallbacks = nullptr;

void releaseCallbackList(EventCallbackNode* node) {
  while (node) {
    EventCallbackNode* next = node->next;
    Heap_Free(node);
    node = next;
  }
}

void freeCallbacks(EventBinding* binding) {
  EventCallbackNode* head = binding->head;
  binding->head = nullptr;
  if (!head) return;
  if (bindingWalks == 0) {
    releaseCallbackList(head);
    return;
  }
  EventCallbackNode* last = head;
  for (EventCallbackNode* node = head; node; node = node->next) {
    node->callback = nullptr;
    last = node;
  }
  last->next = retiredCallbacks;
  retiredCallbacks = head;
}

// Runs the callbacks bound to an event, most specific key first, with the
// event current for their time.
void runBindings(EventState* s, int32_t code, ObjectNumber object, ObjectNumber window, int32_t type,
                 intptr_t data, EventDataRelease release) {
  const EventCurrent saved = s->current;
  s->current = EventCurrent{code, window, object, type, data, release};

  const struct {
    ObjectNumber window;
    ObjectNumber object;
    int32_t type;
  } keys[] = {
      {window, object, type}, {window, object, -1}, {window, -1, -1}, {-1, -1, -1}, {-1, object, type}};
  for (const auto& key : keys) {
    char16_t text[kKeyCapacity];
    formatKey(text, code, key.window, key.object, key.type);
    auto* binding = static_cast<EventBinding*>(Map_FindWide(bindingMap, text));
    bindingWalks++;
    // A dead node means the entry was unbound by a callback: its remaining
    // callbacks are skipped.
    for (EventCallbackNode* node = binding ? binding->head : nullptr; node && node->callback;) {
      EventCallbackNode* next = node->next;
      node->callback();
      node = next;
    }
    if (--bindingWalks == 0) {
      releaseCallbackList(retiredCallbacks);
      retiredCallbacks = nullptr;
    }
  }

  s->current = saved;
}

template <typename Match>
void purgeWhere(Match match) {
  EventState* s = state();
  if (!s) return;
  EventRecord** link = &s->head;
  EventRecord* last = nullptr;
  while (EventRecord* event = *link) {
    if (match(event)) {
      *link = event->next;
      releaseData(event->data, event->dataRelease);
      Pool_Free(s->pool, event);
    } else {
      last = event;
      link = &event->next;
    }
  }
  s->tail = last;
}

}  // namespace

void Event_Init() {
  HINSTANCE module = GetModuleHandleW(nullptr);
  WNDCLASSEXW postedClass = {};
  postedClass.cbSize = sizeof postedClass;
  postedClass.style = CS_DBLCLKS;
  postedClass.lpfnWndProc = Event_PostedWindowProc;
  postedClass.hInstance = module;
  postedClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
  postedClass.lpszClassName = W(kPostedClass);
  RegisterClassExW(&postedClass);
  if (!postedWindow.load()) {
    postedWindow = CreateWindowExW(0, W(kPostedClass), W(u""), WS_CAPTION, 0, 0, 1, 1, nullptr, nullptr,
                                   module, nullptr);
  }
  postedMessage = RegisterWindowMessageW(W(kPostedMessageName));

  if (!eventState) {
    eventState = Thread_CreateState(sizeof(EventState), eventStateInit, nullptr);
    if (!eventState || !state()->pool) Heap_Exhausted("event state");
  }
  if (!bindingMap && !Map_Create(sizeof(EventBinding), kBindingTypeCode, nullptr, &bindingMap, kBindingSlots))
    Heap_Exhausted("event bindings");
}

void Event_End() {
  if (HWND window = postedWindow.exchange(nullptr)) DestroyWindow(window);
  wakePosted = false;  // a wake-up still queued died with the window
  UnregisterClassW(W(kPostedClass), GetModuleHandleW(nullptr));
  // Posts still queued died with the window; their records are released here.
  std::lock_guard<std::mutex> hold(pendingLock);
  while (PendingPost* pending = pendingOldest) {
    unlinkPending(pending);
    Heap_Free(pending);
  }
}

LRESULT CALLBACK Event_PostedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT registered = postedMessage.load();
  if (registered && message == registered) {
    if (lParam) {
      // Anything but a record of this process still waiting is ignored.
      if (PendingPost* pending = takePending(lParam)) {
        const EventPost& post = pending->post;
        Event_Queue(post.code, post.object, post.window, post.type, post.data, nullptr, EVENT_FLAG_FORCE);
        Heap_Free(pending);
      }
    } else {
      // A wake-up that another message loop (a modal one) dispatched.
      wakePosted = false;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int32_t Event_Post(int32_t code, ObjectNumber object, ObjectNumber window, int32_t type, intptr_t data) {
  HWND target = postedWindow.load();
  const UINT message = postedMessage.load();
  if (!target || !message) return 0;
  auto* pending = static_cast<PendingPost*>(Heap_Alloc(sizeof(PendingPost)));
  if (!pending) return 0;
  EventPost& post = pending->post;
  post.code = code;
  post.object = object;
  post.window = window;
  post.type = type;
  post.data = data;
  const auto address = reinterpret_cast<LPARAM>(&post);
  {
    // Listed before it is posted: the GUI thread may take it at once.
    std::lock_guard<std::mutex> hold(pendingLock);
    pending->older = pendingNewest;
    (pendingNewest ? pendingNewest->newer : pendingOldest) = pending;
    pendingNewest = pending;
  }
  if (!PostMessageW(target, message, 0, address)) {
    // Unless Event_End released it meanwhile.
    if (PendingPost* unsent = takePending(address)) Heap_Free(unsent);
    return 0;
  }
  return 1;
}

void Event_Queue(int32_t code, ObjectNumber object, ObjectNumber window, int32_t type, intptr_t data,
                 EventDataRelease dataRelease, int32_t flags) {
  EventState* s = state();
  if (!s) return;
  if (s->suppressCount > 0 && !(flags & EVENT_FLAG_FORCE)) {
    releaseData(data, dataRelease);
    return;
  }
  EventRecord* tail = s->tail;
  bool queued = false;
  const bool repeat = tail && code < kCoalesceLimit && tail->code == code && tail->object == object &&
                      tail->window == window && tail->type == type;
  if (!repeat) {
    if (auto* event = static_cast<EventRecord*>(Pool_Alloc(s->pool))) {
      *event = {nullptr, code, flags, object, window, type, data, dataRelease};
      if (tail)
        tail->next = event;
      else
        s->head = event;
      s->tail = event;
      queued = true;
    }
  }
  if (queued && waiting && !wakePosted) {
    HWND target = postedWindow.load();
    wakePosted = target && PostMessageW(target, postedMessage.load(), 0, 0);
  }
  if (bindingMap && bindingMap->count > 0) runBindings(s, code, object, window, type, data, dataRelease);
  if (!queued) releaseData(data, dataRelease);
}

int32_t Event_Next() {
  EventState* s = state();
  if (!s) return 0;
  s->current.code = 0;
  if (s->current.data && s->current.dataRelease) {
    EventDataRelease release = s->current.dataRelease;
    const intptr_t data = s->current.data;
    s->current.data = 0;
    s->current.dataRelease = nullptr;
    release(data);
  }
  s->current.type = -1;
  if (EventRecord* event = s->head) {
    s->current =
        EventCurrent{event->code, event->window, event->object, event->type, event->data, event->dataRelease};
    s->head = event->next;
    if (!s->head) s->tail = nullptr;
    Pool_Free(s->pool, event);
  }
  return s->current.code;
}

int32_t Event_Wait() { return Event_WaitTimeout(-1); }

namespace {

bool isWakeUp(const MSG& msg) {
  return msg.hwnd && msg.hwnd == postedWindow.load() && msg.message == postedMessage.load() && !msg.lParam;
}

// Takes one message of the thread (see Event_WaitTimeout); false when none came.
bool takeMessage(MSG* msg, int32_t milliseconds) {
  const bool outer = waiting;
  waiting = true;
  bool taken = true;
  if (milliseconds < 0) {
    // Its result is not looked at: WM_QUIT is returned like any message.
    GetMessageW(msg, nullptr, 0, 0);
  } else if (!PeekMessageW(msg, nullptr, 0, 0, PM_REMOVE)) {
    taken = milliseconds > 0 &&
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds),
                                      QS_ALLINPUT | QS_ALLPOSTMESSAGE) != WAIT_TIMEOUT &&
            PeekMessageW(msg, nullptr, 0, 0, PM_REMOVE);
  }
  waiting = outer;
  return taken;
}

}  // namespace

int32_t Event_WaitTimeout(int32_t milliseconds) {
  MSG msg;
  for (;;) {
    if (const int32_t code = Event_Next()) {
      if (WindowState* windowState = Window_GetState()) {
        windowState->lastWParam = 0;
        windowState->lastLParam = 0;
      }
      return code;
    }
    msg = {};
    if (!takeMessage(&msg, milliseconds)) {
      // Events queued by sent messages while nothing else came.
      if (state() && state()->head) continue;
      return 0;
    }
    if (!isWakeUp(msg)) break;
    // It only announces queued events, which come first.
    wakePosted = false;
  }

  HWND active = GetActiveWindow();
  HACCEL table = Focus_AcceleratorTable(active);
  if (table && TranslateAcceleratorW(active, table, &msg)) {
    Focus_ShowCues(active, 1);
  } else {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  if (WindowState* windowState = Window_GetState()) {
    windowState->lastWParam = msg.wParam;
    windowState->lastLParam = msg.lParam;
  }
  const auto code = static_cast<int32_t>(msg.message);
  return code >= EVENT_FIRST && code <= EVENT_LAST ? code + EVENT_MESSAGE_ALIAS : code;
}

ObjectNumber Event_Gadget() {
  EventState* s = state();
  return s ? s->current.object : 0;
}

ObjectNumber Event_Window() {
  EventState* s = state();
  return s ? s->current.window : -1;
}

int32_t Event_Type() {
  EventState* s = state();
  return s ? s->current.type : -1;
}

intptr_t Event_Data() {
  EventState* s = state();
  return s ? s->current.data : 0;
}

void Event_Suppress() {
  if (EventState* s = state()) s->suppressCount++;
}

void Event_Resume() {
  if (EventState* s = state()) s->suppressCount--;
}

void Event_Purge(int32_t code, ObjectNumber object, ObjectNumber window, int32_t type) {
  purgeWhere([=](const EventRecord* e) {
    return (code == -1 || e->code == code) && (object == -1 || e->object == object) &&
           (window == -1 || e->window == window) && (type == -1 || e->type == type);
  });
}

void Event_PurgeWindow(ObjectNumber window) {
  purgeWhere([=](const EventRecord* e) { return e->window == window; });
}

int32_t Event_Bind(int32_t code, ObjectNumber window, ObjectNumber object, int32_t type, void (*callback)(),
                   ObjectNumber owner) {
  if (!bindingMap || !callback) return 0;
  auto* node = static_cast<EventCallbackNode*>(Heap_Alloc(sizeof(EventCallbackNode)));
  if (!node) return 0;
  node->callback = callback;
  char16_t text[kKeyCapacity];
  formatKey(text, code, window, object, type);
  auto* binding = static_cast<EventBinding*>(Map_FindWide(bindingMap, text));
  if (!binding) {
    binding = static_cast<EventBinding*>(Map_Add(bindingMap, text, 0));
    if (!binding) {
      Heap_Free(node);
      return 0;
    }
    binding->window = owner;
  }
  EventCallbackNode** link = &binding->head;
  while (*link) link = &(*link)->next;
  *link = node;
  return 1;
}

void Event_UnbindWindow(ObjectNumber window) {
  if (!bindingMap || bindingMap->count == 0) return;
  Map_ResetIteration(bindingMap);
  while (auto* binding = static_cast<EventBinding*>(Map_Next(bindingMap))) {
    if (binding->window == window) {
      freeCallbacks(binding);
      Map_DeleteCurrent(bindingMap);
    }
  }
}
