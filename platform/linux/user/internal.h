// Internal records of the substitute window system, shared by its files: the
// handle tables, classes, windows, per-thread queues and the one lock that
// guards them all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace user {

// One lock guards every record below. It is never held while a window
// procedure or another callback runs, so any thread (the simulated user's
// included) can read the state while the GUI thread is busy.
std::recursive_mutex& lock();
using Guard = std::unique_lock<std::recursive_mutex>;

// ---- Handle tables -------------------------------------------------------------
// A handle is (generation << 16) | (slot + kHandleBase). A slot's generation
// grows each time it is reused, so a stale handle never reaches a new object.
constexpr uint32_t kHandleBase = 0x20;
constexpr uint32_t kSlots = 0xFFFF - kHandleBase;

template <class T>
struct HandleTable {
  struct Slot {
    uint16_t generation = 0;
    T* object = nullptr;
  };
  std::vector<Slot> slots;
  std::vector<uint32_t> freeSlots;

  // Null when the table is full.
  void* add(T* object) {
    uint32_t index;
    if (!freeSlots.empty()) {
      index = freeSlots.back();
      freeSlots.pop_back();
    } else {
      if (slots.size() >= kSlots) return nullptr;
      index = static_cast<uint32_t>(slots.size());
      slots.push_back({});
    }
    Slot& s = slots[index];
    s.generation = static_cast<uint16_t>(s.generation % 0x7FFF + 1);
    s.object = object;
    return reinterpret_cast<void*>(
        static_cast<uintptr_t>((uint32_t{s.generation} << 16) | (index + kHandleBase)));
  }
  T* get(const void* handle) const {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value > 0xFFFFFFFFu) return nullptr;
    uint32_t low = value & 0xFFFF, generation = static_cast<uint32_t>(value >> 16);
    if (low < kHandleBase || low - kHandleBase >= slots.size()) return nullptr;
    const Slot& s = slots[low - kHandleBase];
    return s.generation == generation ? s.object : nullptr;
  }
  void remove(const void* handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    uint32_t index = (value & 0xFFFF) - kHandleBase;
    slots[index].object = nullptr;
    freeSlots.push_back(index);
  }
};

// ---- What the substitute invents ----------------------------------------------------
// A headless system has no display to ask: these stand for it, one value each.
constexpr int kScreenWidth = 1024, kScreenHeight = 768;  // the virtual screen, no task bar
constexpr int kCaption = 23, kSmallCaption = 17;         // caption heights (tool windows: small)
constexpr int kPaddedBorder = 4;                         // part of a sizing frame
constexpr int kSizingFrame = 8, kFixedFrame = 3, kEdge = 2;
// Where a minimized window rests, and its size there.
constexpr int kMinimizedAt = -32000, kMinimizedWidth = 160, kMinimizedHeight = 28;
// A posted message of a destroyed window is marked with this and dropped when taken.
constexpr UINT kDroppedMessage = 0xFFFFFFFF;
// The control ID of a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;
// The control ID of a file dialog's name field (edt1).
constexpr int kFileNameId = 0x480;

// ---- Classes and windows ---------------------------------------------------------
struct Class {
  std::u16string name;
  HINSTANCE instance;
  UINT style;
  WNDPROC proc;
  int wndExtra;
  HICON icon;
  HCURSOR cursor;
  HBRUSH background;
  ATOM atom;
  int windows;  // live windows of the class: it cannot go while it has some
  bool system;  // a built-in control class, found whatever the module
};

// What a modal dialog of the substitute (message box, file dialog) shows,
// for the simulated user to read. Set before the dialog is shown, constant
// while it is up, and owned by the call that runs the dialog.
struct DialogInfo {
  enum Kind { MessageBox = 1, Open = 2, Save = 3 } kind = MessageBox;
  UINT boxType = 0;
  std::vector<std::pair<std::u16string, std::u16string>> filters;  // description, pattern
  int filterIndex = 0;                                             // 0-based, of `filters`
  std::u16string directory;
  std::u16string proposedName;
  // Answers a button of the dialog (true when handled); null: the button ends the dialog.
  bool (*onCommand)(HWND dialog, int id) = nullptr;
  void* context = nullptr;  // the caller's own record, for onCommand
};

struct ControlKind;  // below, with the built-in controls

struct Prop {
  std::u16string name;
  HANDLE value;
};

struct Window {
  HWND handle;
  DWORD thread;
  DWORD process;
  Class* cls;
  WNDPROC proc;
  DWORD style;
  DWORD exStyle;
  HWND parent;  // null for a top-level window
  HWND owner;
  std::vector<HWND> children;  // Z order, topmost first
  LONG_PTR id;
  LONG_PTR userData;
  HINSTANCE instance;
  std::u16string text;
  RECT rect;        // outer rectangle in the parent's client coordinates (screen for top-level)
  RECT normalRect;  // the restored rectangle while minimized or maximized
  std::vector<Prop> props;
  std::vector<LONG_PTR> extra;
  bool invalid = false;  // needs WM_PAINT
  bool erase = false;    // BeginPaint sends WM_ERASEBKGND
  int64_t paintFrame = -1;
  bool destroying = false;
  bool everShown = false;
  bool needSize = false;  // overlapped: WM_SIZE and WM_MOVE wait for the first ShowWindow
  UINT uiState = 0;
  int ncPressed = 0;  // hit-test code of a pressed caption button

  // The record of the window's built-in control class (its font, check
  // state, range, ...), made by the class procedure at WM_NCCREATE and freed
  // at WM_NCDESTROY; `controlKind` says which class made it, so that only that
  // class reads it. A record still here when the window goes is freed with it.
  void* control = nullptr;
  const ControlKind* controlKind = nullptr;
};

// ---- Queues ----------------------------------------------------------------------------
struct Sent {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
  DWORD sender;
};

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  std::chrono::steady_clock::time_point due;
};

// Raw input waiting for the thread: its target is found when it is taken.
struct Input {
  UINT message;  // WM_KEYDOWN, WM_KEYUP, WM_LBUTTONDOWN, ..., WM_NCLBUTTONDOWN
  WPARAM key;    // virtual key, or the hit-test code of a caption click
  WCHAR character;
  POINT point;  // screen position of a mouse event
  HWND window;  // caption clicks: the top-level window
};

struct Queue {
  DWORD thread;
  std::deque<MSG> posted;
  std::deque<Input> input;
  std::deque<Sent*> sent;
  std::vector<Timer> timers;
  UINT_PTR nextThreadTimer = 1;
  bool quit = false;
  int quitCode = 0;
  HWND active = nullptr;
  HWND focus = nullptr;
  HWND capture = nullptr;
  BYTE keys[256] = {};
  std::condition_variable_any wake;
  int inSend = 0;
  bool waiting = false;  // blocked in a wait for messages
  int cokeys = 0;        // CoInitialize count
};

// ---- Global state ----------------------------------------------------------------------
struct State {
  HandleTable<Window> windows;
  std::vector<Class*> classes;
  ATOM nextAtom = 0xC000;
  std::vector<HWND> topLevel;  // Z order, topmost first
  std::vector<Queue*> queues;
  HWND foreground = nullptr;
  std::vector<std::u16string> registeredMessages;
  std::condition_variable_any changed;  // something a waiting observer may look for
  int defaultPositions = 0;
};
State& state();

// Steady milliseconds, for message times and timers.
DWORD now();
// The display frame a paint belongs to: 16 ms wide, about 60 a second.
int64_t paintFrameNow();
constexpr std::chrono::milliseconds kFrame{16};

Window* get(HWND window);      // lock held; null for a dead or foreign handle
Window* getOwn(HWND window);   // the same, but only for a window of the calling thread
Queue* queueOf(DWORD thread);  // lock held; null when the thread has no queue
Queue& ownQueue();             // the calling thread's queue, created on first use
void wakeQueue(DWORD thread);  // lock held
bool equalNoCase(std::u16string_view a, std::u16string_view b);
std::u16string_view textOf(LPCWSTR s);
// An integer atom or a name (any case) names a class.
bool classMatches(const Class* c, LPCWSTR name);
Class* findClass(LPCWSTR name, HINSTANCE instance);

// Calls the window procedure of a window of the calling thread (lock not held).
LRESULT callProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Geometry.
RECT nonClientInsets(DWORD style, DWORD exStyle);
RECT clientRectOf(const Window& w);   // in the window's own client coordinates
POINT clientOrigin(const Window& w);  // client origin in screen coordinates
RECT screenRectOf(const Window& w);
bool visibleOf(const Window& w);         // WS_VISIBLE on it and every ancestor
HWND topLevelOf(HWND window);            // lock held
void invalidate(Window& w, bool erase);  // lock held: the window and its children need painting
// Sends WM_ERASEBKGND now to a window of the calling thread whose update
// region waits to be erased, as Windows does for a window a hidden child
// uncovered (lock not held).
void eraseNow(HWND window);
int windowsOfThread(DWORD thread);

// Built-in procedures and classes.
void registerSystemClasses();
LRESULT CALLBACK Static_Proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK Edit_Proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK Button_Proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK Progress_Proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK Dialog_Proc(HWND, UINT, WPARAM, LPARAM);

// ---- Built-in controls' own records --------------------------------------------------
// Each built-in control class keeps its state in a record of its own file
// (button.cpp, edit.cpp, static.cpp, progress.cpp, dialog.cpp), held by the
// window's `control` slot; the rest of the substitute reads it through the
// accessors declared here, under the lock.

// What a painted control keeps in common (controls.cpp): its font, and what
// it received from its parent the last time it painted.
struct ControlPaint {
  HFONT font = nullptr;
  COLORREF text = 0, back = 0;
  HBRUSH brush = nullptr;
  int paints = 0;
};

// How the record of one control class is freed and where its painting record is.
struct ControlKind {
  void (*free)(void* record);
  ControlPaint* (*paint)(void* record);  // null when the record has none
};

// The kind of the record type T: one constant per type, whose address tags the slot.
template <class T>
inline constexpr ControlKind kControlKind{[](void* record) { delete static_cast<T*>(record); },
                                          [](void* record) -> ControlPaint* {
                                            if constexpr (requires(T & t) { t.paint; })
                                              return &static_cast<T*>(record)->paint;
                                            else
                                              return nullptr;
                                          }};

// The window's record when it is a T, else null (lock held; null window: null).
template <class T>
T* controlOf(const Window* w) {
  return w && w->controlKind == &kControlKind<T> ? static_cast<T*>(w->control) : nullptr;
}

// Gives the window `record` of `kind`, unless it has a record already (lock
// not held). False when there is no record: `record` is null or the window is
// gone; a record not taken is freed.
bool attachControl(HWND control, void* record, const ControlKind& kind);
// Frees the window's control record, if any, and empties the slot (lock held).
void freeControl(Window& w);

// A control class procedure calls this first with each message: at
// WM_NCCREATE it makes the class's record (false: none could be made, and the
// procedure answers FALSE, so that creation fails), at WM_NCDESTROY it frees it.
template <class T>
bool keepControl(HWND control, UINT message) {
  if (message == WM_NCCREATE) return attachControl(control, new (std::nothrow) T{}, kControlKind<T>);
  if (message == WM_NCDESTROY) {
    Guard g(lock());
    if (Window* w = get(control)) freeControl(*w);
  }
  return true;
}

// The painting record of a control, or null for a window that keeps none (lock held).
const ControlPaint* controlPaintOf(const Window& w);
// The font a control was given (WM_SETFONT), or null (lock held).
HFONT controlFont(const Window& w);
// Begins painting a control, sends WM_CTLCOLOR* to the parent, records the
// colours and brush it answered, and ends painting (lock not held).
void paintControl(HWND control, UINT ctlColorMessage);
// What painted control classes answer alike, and DefWindowProcW for the
// rest: WM_SETTEXT repaints, WM_ERASEBKGND is answered (the background is
// painted with the content), WM_SETFONT (repainting when asked), WM_GETFONT,
// and WM_ENABLE repaints (lock not held).
LRESULT controlDefault(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// A button's check state (BST_*); 0 for any other window (lock held).
int buttonCheck(const Window& w);
// A progress bar's range and position; false for any other window (lock held).
bool progressOf(const Window& w, int* low, int* high, int* position);
// What a modal dialog of the substitute shows, or null (lock held).
DialogInfo* dialogInfoOf(const Window& w);
// Sets what a dialog window shows, or null once the dialog is over (lock not held).
void setDialogInfo(HWND dialog, DialogInfo* info);

// Width of a text in a font under the fixed font model (lock held or not).
LONG textWidth(std::u16string_view text, HFONT font);
// Device contexts (gdi.cpp), lock held: a new one for a window, drawing with
// `font` (null: the system font); freeing one; the text and background
// colours selected into one (false for no device context).
HDC newDc(HWND window, HFONT font);
void freeDc(HDC dc);
bool dcColours(HDC dc, COLORREF* text, COLORREF* back);
// Sends WM_COMMAND (id, code) to the parent of a control.
void notifyParent(HWND control, WORD code);
// Runs a modal loop until the dialog window has ended (its owner disabled meanwhile); returns its result.
DWORD runModal(HWND dialog, HWND owner, HWND initialFocus);
void endDialog(HWND dialog, DWORD result);

// Activation and focus (focus.cpp).
HWND activateOther(HWND leaving);
// The parameters of WM_SIZE (the window's state, the client size) and of
// WM_MOVE (the client origin) as they stand now; false for no window.
struct SizeAndMove {
  WPARAM sizeType;
  LPARAM size;
  LPARAM origin;
};
bool sizeAndMoveOf(HWND window, SizeAndMove* out);
// Sends WM_SIZE and WM_MOVE as they stand now, as at creation.
void sendSizeAndMove(HWND window);
// The window's maximized place and tracking sizes: the substitute's screen,
// as the window's procedure changes them in WM_GETMINMAXINFO.
MINMAXINFO trackingSizes(HWND window);
void setActive(HWND window, bool byMouse);
HWND setFocusWindow(HWND window);
// Gives the calling thread's capture to `window` (null releases it) and sends
// WM_CAPTURECHANGED to the window that loses it; returns that window.
HWND setCaptureWindow(HWND window);
// Drops the windows of a thread that ends, without messages (window.cpp).
void dropThreadWindows(DWORD thread);

// Hidden stand-in for another application's window: belongs to no thread of
// this process. Used by the simulated user to switch applications.
HWND foreignWindow();
// Input for the simulated user: queued to the thread that owns `target`.
bool queueInput(HWND target, const Input& input);
// Tells a thread that its application lost the foreground.
bool queueDeactivate(DWORD thread);

}  // namespace user
