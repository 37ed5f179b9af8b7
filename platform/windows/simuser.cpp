// The simulated user on Windows: real input through SendInput, the screen read
// through the window manager, dialog buttons pressed as a click presses them,
// and another application played by a program of the system's own.
// What is the same on the substitute is in platform/shared/simuser.cpp.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "platform/shared/simuser_side.h"

using simuser::waitFor;

namespace {

using Clock = std::chrono::steady_clock;

// What a window answers to a message sent from this thread; 0 when it does not
// answer in time (its thread is stuck), so no read can hang a test.
LRESULT ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SIMUSER_TIMEOUT, &result))
    return 0;
  return static_cast<LRESULT>(result);
}

std::u16string classOf(HWND window) {
  WCHAR name[256];
  int length = GetClassNameW(window, name, 256);
  return std::u16string(U(name), length > 0 ? length : 0);
}

std::u16string textOf(HWND window) {
  LRESULT length = ask(window, WM_GETTEXTLENGTH);
  if (length <= 0) return {};
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  LRESULT copied = ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

bool sameName(const std::u16string& a, const char16_t* b) { return lstrcmpiW(W(a.c_str()), W(b)) == 0; }

bool matches(HWND window, const char16_t* className, const char16_t* text) {
  if (className && !sameName(classOf(window), className)) return false;
  return !text || textOf(window) == text;
}

// ---- Another application ------------------------------------------------------------------------
// A program of the system's own (Notepad), started on first use: activation
// then moves to another process, as when the user switches programs. It is
// ended when this process exits.
struct StandIn {
  HANDLE process = nullptr;
  DWORD processId = 0;
  HWND window = nullptr;
};

BOOL CALLBACK findStandInWindow(HWND window, LPARAM parameter) {
  auto* s = reinterpret_cast<StandIn*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != s->processId || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
  s->window = window;
  return FALSE;
}

StandIn made;

void endStandIn() {
  if (made.process) TerminateProcess(made.process, 0);
}

const StandIn& standIn() {
  static bool started = [] {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    WCHAR command[] = L"notepad.exe";
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      return false;
    CloseHandle(info.hThread);
    made.process = info.hProcess;
    made.processId = info.dwProcessId;
    std::atexit(endStandIn);
    WaitForInputIdle(info.hProcess, SIMUSER_TIMEOUT);
    return waitFor(SIMUSER_TIMEOUT, [] {
      EnumWindows(findStandInWindow, reinterpret_cast<LPARAM>(&made));
      return made.window != nullptr;
    });
  }();
  (void)started;
  return made;
}

// Ours: a window of this process.
bool ours(HWND window) {
  DWORD process = 0;
  if (!window || !GetWindowThreadProcessId(window, &process)) return false;
  return process == GetCurrentProcessId();
}

// The thread of the foreground window, when that window is ours.
DWORD foregroundThread() {
  HWND front = GetForegroundWindow();
  return ours(front) ? GetWindowThreadProcessId(front, nullptr) : 0;
}

HWND focusOf(DWORD thread) {
  if (!thread) return nullptr;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// ---- Finding ------------------------------------------------------------------------------------
struct TopSearch {
  const char16_t* className;
  const char16_t* title;
  HWND found;
};

BOOL CALLBACK findTopStep(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<TopSearch*>(parameter);
  if (ours(window) && IsWindowVisible(window) && matches(window, search->className, search->title)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// EnumWindows gives the top-level windows topmost first.
HWND findTop(const char16_t* className, const char16_t* title) {
  TopSearch search{className, title, nullptr};
  EnumWindows(findTopStep, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND findIn(HWND parent, const char16_t* className, const char16_t* text, int id, bool byId) {
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (byId ? GetDlgCtrlID(c) == id : matches(c, className, text)) return c;
    if (HWND deeper = findIn(c, className, text, id, byId)) return deeper;
  }
  return nullptr;
}

// ---- Input --------------------------------------------------------------------------------------
std::atomic<DWORD> lastInputTick{0};

bool send(INPUT* inputs, UINT count) {
  lastInputTick = GetTickCount();
  return SendInput(count, inputs, sizeof(INPUT)) == count;
}

bool extendedKey(BYTE key) {
  switch (key) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_INSERT:
    case VK_DELETE:
    case VK_RCONTROL:
    case VK_RMENU:
      return true;
    default:
      return false;
  }
}

// Keys go to the foreground application; when that is not this program, the
// keys would reach another one, which a test never means.
bool key(BYTE vk, bool up) {
  if (!foregroundThread()) return false;
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
  return send(&in, 1);
}

// The pointer moves and clicks in one batch of input. Each of the three
// events carries the position: Wine now and then reports the pointer's old
// place just after a move, and a press without a position of its own then
// lands there.
bool clickScreen(POINT p) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height) return false;
  INPUT in[3]{};
  const DWORD flags[3] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 3; i++) {
    in[i].type = INPUT_MOUSE;
    // Absolute positions are in 1/65536 of the screen; the smallest value
    // that maps back to the pixel.
    in[i].mi.dx = static_cast<LONG>((p.x * 65536LL + width - 1) / width);
    in[i].mi.dy = static_cast<LONG>((p.y * 65536LL + height - 1) / height);
    in[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags[i];
  }
  return send(in, 3);
}

// A point of the window's frame where the window says the caption button
// `hit` is, found by asking it (the frame's metrics differ between systems).
bool findFramePoint(HWND top, LRESULT hit, POINT* point) {
  RECT r;
  if (!GetWindowRect(top, &r)) return false;
  const int band = GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME) + 8;
  // A maximized window's frame lies partly off the screen, where no pointer goes.
  const int first = std::max<int>(r.top + 1, 0);
  const int right = std::min<int>(r.right - 2, GetSystemMetrics(SM_CXSCREEN) - 1);
  for (int y = first; y < first + band && y < r.bottom; y += 2) {
    for (int x = right; x > r.left; x -= 2) {
      if (ask(top, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == hit) {
        *point = POINT{x, y};
        return true;
      }
    }
  }
  return false;
}

// ---- Idle ---------------------------------------------------------------------------------------
// The GUI thread answers a probe (a WM_NULL sent to one of its windows) only
// while it is inside a message function, that is between two messages; a hook
// on that thread then reads what its queue still holds.
constexpr LPARAM kIdleProbe = 0x51D1E;
std::atomic<DWORD> probeAnswer{0};
std::mutex probeLock;

LRESULT CALLBACK probeHook(int code, WPARAM wParam, LPARAM lParam) {
  auto* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == WM_NULL && sent->lParam == kIdleProbe)
    probeAnswer = 0x10000u | HIWORD(GetQueueStatus(QS_ALLINPUT));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool threadIdle(HWND window, Clock::time_point deadline) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, probeHook, nullptr, thread);
  if (!hook) return false;
  bool idle = false;
  while (!idle && Clock::now() < deadline) {
    probeAnswer = 0;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_NULL, 0, kIdleProbe, SMTO_NORMAL, static_cast<UINT>(left > 0 ? left : 1),
                        &ignored);
    DWORD answer = probeAnswer;
    idle = answer && !(answer & (QS_INPUT | QS_POSTMESSAGE | QS_SENDMESSAGE));
    if (!idle) Sleep(2);
  }
  UnhookWindowsHookEx(hook);
  return idle;
}

BOOL CALLBACK collectThreads(HWND window, LPARAM parameter) {
  auto* windows = reinterpret_cast<std::vector<HWND>*>(parameter);
  if (!ours(window)) return TRUE;
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  for (HWND known : *windows)
    if (GetWindowThreadProcessId(known, nullptr) == thread) return TRUE;
  windows->push_back(window);
  return TRUE;
}

// ---- Dialogs ------------------------------------------------------------------------------------
constexpr int kMessageText = 0xFFFF;  // the message box's text control
constexpr int kFileTypes = 0x470;     // cmb1: the list of file types
constexpr int kNameCombo = 0x47C;     // cmb13: the name field of an explorer-style dialog
constexpr int kNameEdit = 0x480;      // edt1: the name field of older dialogs

bool isDialog(HWND window) { return classOf(window) == u"#32770" && IsWindowVisible(window); }

HWND nameField(HWND dialog) {
  if (HWND combo = GetDlgItem(dialog, kNameCombo)) {
    if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
    return combo;
  }
  return GetDlgItem(dialog, kNameEdit);
}

bool isFileDialog(HWND window) {
  return isDialog(window) && nameField(window) && GetDlgItem(window, kFileTypes);
}

bool isMessageBox(HWND window) {
  return isDialog(window) && !isFileDialog(window) && GetDlgItem(window, kMessageText);
}

BOOL CALLBACK findDialogStep(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<std::pair<bool, HWND>*>(parameter);
  if (ours(window) && (search->first ? isFileDialog(window) : isMessageBox(window))) {
    search->second = window;
    return FALSE;
  }
  return TRUE;
}

HWND findDialog(bool file) {
  std::pair<bool, HWND> search{file, nullptr};
  EnumWindows(findDialogStep, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

std::u16string comboItem(HWND combo, LRESULT index) {
  LRESULT length = ask(combo, CB_GETLBTEXTLEN, index);
  if (length <= 0) return {};
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  LRESULT copied = ask(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

// Presses a dialog's push button as a click would (the button's own click
// handling, posted so that the dialog's loop takes it in turn).
bool press(HWND button) {
  return button && IsWindowVisible(button) && IsWindowEnabled(button) &&
         PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

}  // namespace

// ---- Finding ------------------------------------------------------------------------------------

HWND SimUser_FindWindow(const char16_t* className, const char16_t* title) {
  return findTop(className, title);
}

HWND SimUser_FindControl(HWND top, const char16_t* className, const char16_t* text) {
  return findIn(top, className, text, 0, false);
}

HWND SimUser_FindControlById(HWND top, int id) { return findIn(top, nullptr, nullptr, id, true); }

// ---- Reading ------------------------------------------------------------------------------------

bool SimUser_Read(HWND window, SimWindow* out) {
  if (!out || !IsWindow(window)) return false;
  SimWindow s{};
  s.window = window;
  s.className = classOf(window);
  s.text = textOf(window);
  s.id = static_cast<int>(GetWindowLongPtrW(window, GWLP_ID));
  GetWindowRect(window, &s.rect);
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  s.client = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  s.visible = IsWindowVisible(window) != FALSE;
  s.enabled = IsWindowEnabled(window) != FALSE;
  s.focused = focusOf(foregroundThread()) == window;
  s.active = GetForegroundWindow() == window;
  s.minimized = IsIconic(window) != FALSE;
  s.maximized = IsZoomed(window) != FALSE;
  s.check = sameName(s.className, u"Button") ? static_cast<int>(ask(window, BM_GETCHECK)) : 0;
  s.painted = !GetUpdateRect(window, nullptr, FALSE);
  *out = s;
  return true;
}

std::u16string SimUser_Text(HWND window) { return IsWindow(window) ? textOf(window) : std::u16string(); }

HWND SimUser_Focus() { return focusOf(foregroundThread()); }

HWND SimUser_Foreground() { return foregroundThread() ? GetForegroundWindow() : nullptr; }

bool SimUser_Progress(HWND bar, int* low, int* high, int* position) {
  if (!IsWindow(bar) || !sameName(classOf(bar), u"msctls_progress32")) return false;
  PBRANGE range{};
  ask(bar, PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
  if (low) *low = range.iLow;
  if (high) *high = range.iHigh;
  if (position) *position = static_cast<int>(ask(bar, PBM_GETPOS));
  return true;
}

// ---- Acting -------------------------------------------------------------------------------------

bool SimUser_ClickAt(HWND window, int x, int y) {
  if (!IsWindow(window) || !IsWindowVisible(window)) return false;
  RECT client;
  GetClientRect(window, &client);
  if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) return false;
  POINT p{x, y};
  ClientToScreen(window, &p);
  // Only what is under the pointer can be clicked.
  HWND under = WindowFromPoint(p);
  if (under != window && !IsChild(window, under)) return false;
  return clickScreen(p);
}

bool SimUser_KeyDown(BYTE vk) { return key(vk, false); }
bool SimUser_KeyUp(BYTE vk) { return key(vk, true); }

// Each character is typed as a Unicode key, as a keyboard of any layout would give it.
bool SimUser_Type(const char16_t* text) {
  if (!text || !foregroundThread()) return false;
  for (const char16_t* p = text; *p; p++) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wScan = in[1].ki.wScan = static_cast<WORD>(*p);
    in[0].ki.dwFlags = KEYEVENTF_UNICODE;
    in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    if (!send(in, 2)) return false;
  }
  return true;
}

bool SimUser_SwitchAway() {
  const StandIn& other = standIn();
  if (!other.window) return false;
  ShowWindow(other.window, SW_SHOWNORMAL);
  SetForegroundWindow(other.window);
  return waitFor(SIMUSER_TIMEOUT, [&] { return GetForegroundWindow() == other.window; });
}

bool SimUser_SwitchBack(HWND top) {
  if (!ours(top) || GetAncestor(top, GA_ROOT) != top) return false;
  SetForegroundWindow(top);
  if (!waitFor(SIMUSER_TIMEOUT, [&] { return GetForegroundWindow() == top; })) return false;
  // The other program leaves the screen, so that it never takes the
  // activation when a window of this program closes later.
  if (made.window) ShowWindow(made.window, SW_HIDE);
  return true;
}

bool SimUser_Idle(DWORD timeout) {
  std::lock_guard<std::mutex> hold(probeLock);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  // Input given by SendInput reaches the thread's queue through the system's
  // input thread; give it a moment to arrive before the queue is judged.
  DWORD since = GetTickCount() - lastInputTick;
  if (since < 20) Sleep(20 - since);
  std::vector<HWND> windows;
  EnumWindows(collectThreads, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows)
    if (!threadIdle(window, deadline)) return false;
  return true;
}

// ---- The steps the shared part is written over ----------------------------------------------

namespace simuser {

bool waitFor(DWORD timeout, const std::function<bool()>& found) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  while (!found()) {
    if (Clock::now() >= deadline) return false;
    Sleep(5);
  }
  return true;
}

bool captionButton(HWND top, int hit, DWORD needed) {
  if (!ours(top) || GetAncestor(top, GA_ROOT) != top || !IsWindowVisible(top)) return false;
  if (!(GetWindowLongW(top, GWL_STYLE) & needed)) return false;
  POINT p;
  return findFramePoint(top, hit, &p) && clickScreen(p);
}

bool readMessageBox(SimMessageBox* out) {
  HWND box = findDialog(false);
  if (!box) return false;
  if (out) {
    out->window = box;
    out->caption = textOf(box);
    out->text = textOf(GetDlgItem(box, kMessageText));
    out->buttons.clear();
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      if (IsWindowVisible(c) && sameName(classOf(c), u"Button")) out->buttons.push_back(GetDlgCtrlID(c));
  }
  return true;
}

bool readFileDialog(SimFileDialog* out) {
  HWND dialog = findDialog(true);
  if (!dialog) return false;
  if (out) {
    out->window = dialog;
    out->title = textOf(dialog);
    HWND ok = GetDlgItem(dialog, IDOK);
    std::u16string okText = ok ? textOf(ok) : std::u16string();
    out->save = okText.find(u"Save") != std::u16string::npos;
    out->filters.clear();
    HWND types = GetDlgItem(dialog, kFileTypes);
    LRESULT count = ask(types, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; i++) {
      // The dialog keeps each type's pattern as the item's data.
      auto pattern = reinterpret_cast<const WCHAR*>(ask(types, CB_GETITEMDATA, i));
      out->filters.emplace_back(comboItem(types, i), pattern ? std::u16string(U(pattern)) : std::u16string());
    }
    out->filterIndex = count > 0 ? static_cast<int>(ask(types, CB_GETCURSEL)) : 0;
    WCHAR folder[MAX_PATH] = L"";
    ask(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    out->directory = U(folder);
    out->proposedName = textOf(nameField(dialog));
  }
  return true;
}

bool pressButton(HWND dialog, int id) { return press(GetDlgItem(dialog, id)); }

bool enterName(HWND dialog, const char16_t* path, DWORD) {
  HWND field = nameField(dialog);
  return field && ask(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
}

bool dialogClosed(HWND dialog) { return !IsWindow(dialog) || !IsWindowVisible(dialog); }

}  // namespace simuser
