// The message requester and the modality steps every requester takes: the thread's other
// windows are disabled and lose their topmost state while a requester is up.
#include "core/registry.h"
#include "core/thread.h"
#include "gadget/requester.h"

namespace {

// One window a requester changed, until the requester ends.
struct ModalWindowEntry {
  DWORD thread;  // the thread that showed the requester
  HWND window;
  uint8_t wasTopmost;
  uint8_t disabledByRequester;
};

// Entries of every thread, newest first. Each thread changes only its own
// entries' windows; the lock keeps the links whole when several threads show
// requesters at once. It is re-entrant, so a window procedure run by the
// platform calls below may show a requester itself.
ListNode* modalWindows = nullptr;
CRITICAL_SECTION modalLock;
ThreadOnce modalLockOnce = THREAD_ONCE_INIT;

// Holds the modal lock, created on first use, until the end of the scope.
LockGuard holdModal() {
  Thread_RunOnce(&modalLockOnce, [] { InitializeCriticalSection(&modalLock); });
  return LockGuard(&modalLock);
}

// Changes only the topmost state: no move, no size, and no activation, which
// would hand the foreground (and so the requester's ownership, or the input
// after it) to whichever window was topmost.
void setTopmost(HWND window, bool topmost) {
  SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

struct Enumeration {
  DWORD thread;
  HWND foreground;
};

BOOL CALLBACK listWindow(HWND window, LPARAM parameter) {
  const auto* walk = reinterpret_cast<const Enumeration*>(parameter);
  if (GetWindowThreadProcessId(window, nullptr) != walk->thread || !IsWindowVisible(window)) return TRUE;
  const bool disable = window != walk->foreground && IsWindowEnabled(window);
  {
    LockGuard hold = holdModal();
    auto* entry =
        static_cast<ModalWindowEntry*>(List_Add(&modalWindows, sizeof(ListNode) + sizeof(ModalWindowEntry)));
    // A window that cannot be listed could not be restored: leave it alone.
    if (!entry) return TRUE;
    entry->thread = walk->thread;
    entry->window = window;
    entry->wasTopmost = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0;
    entry->disabledByRequester = disable ? 1 : 0;
  }
  if (disable) EnableWindow(window, FALSE);
  return TRUE;
}

}  // namespace

HWND Requester_Owner() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId() ? foreground : nullptr;
}

void Requester_BeginModal() {
  // The foreground window stays enabled: when it is ours it owns the
  // requester, and the platform's dialog disables it for its own time.
  Enumeration walk{GetCurrentThreadId(), GetForegroundWindow()};
  EnumWindows(listWindow, reinterpret_cast<LPARAM>(&walk));
  LockGuard hold = holdModal();
  for (ListNode* node = modalWindows; node; node = node->next) {
    const ModalWindowEntry* entry = List_Data<ModalWindowEntry>(node);
    if (entry->thread == walk.thread && entry->wasTopmost) setTopmost(entry->window, false);
  }
}

void Requester_EndModal() {
  const DWORD thread = GetCurrentThreadId();
  // One entry at a time, taken out under the lock and restored outside it, in list order.
  for (;;) {
    ModalWindowEntry taken;
    {
      LockGuard hold = holdModal();
      ListNode* node = modalWindows;
      while (node && List_Data<ModalWindowEntry>(node)->thread != thread) node = node->next;
      if (!node) return;
      taken = *List_Data<ModalWindowEntry>(node);
      List_Remove(&modalWindows, List_Data<ModalWindowEntry>(node));
    }
    if (taken.disabledByRequester) EnableWindow(taken.window, TRUE);
    if (taken.wasTopmost) setTopmost(taken.window, true);
  }
}

int32_t Requester_Message(const char16_t* title, const char16_t* text, uint32_t flags) {
  Requester_BeginModal();
  HWND owner = Requester_Owner();
  const int result = MessageBoxW(owner, W(text ? text : u""), W(title ? title : u""), flags);
  Requester_EndModal();
  return result;
}
