// Top-level windows: opened and closed by number, with their own class, Tab accelerators and gadget list.
#pragma once

#include <cstdint>

#include "core/heap.h"
#include "core/registry.h"
#include "core/types.h"
#include "platform/win32.h"

// Asks Window_Open for the window system's default position (x or y).
constexpr int32_t IGNORE_COORDINATE = -65535;

// Flags of Window_Open; every other bit is a window style bit passed through.
constexpr uint32_t WINDOW_SCREEN_CENTERED = 0x1;     // centre on the screen
constexpr uint32_t WINDOW_WINDOW_CENTERED = 0x2;     // centre on the thread's active window
constexpr uint32_t WINDOW_TOOL = 0x4;                // tool window: small caption, no min/max
constexpr uint32_t WINDOW_NO_GADGETS = 0x8;          // do not become the current gadget list
constexpr uint32_t WINDOW_NO_ACTIVATE = 0x02000000;  // show without activating
constexpr uint32_t WINDOW_INVISIBLE = 0x10000000;    // create hidden

// Commands of the two accelerators every window carries (Tab, Shift+Tab).
constexpr WORD WINDOW_COMMAND_FOCUS_NEXT = 64001;
constexpr WORD WINDOW_COMMAND_FOCUS_PREVIOUS = 64002;

// A gadget's answer that declines a message, which then gets the window
// system's default processing. Compared as a pointer-wide result.
constexpr LRESULT NOTIFY_NOT_HANDLED = static_cast<LRESULT>(0xD0D0D0D1u);

// Private message 13120: a control asks its gadget for an answer (lParam = control).
constexpr UINT WINDOW_MESSAGE_GADGET = 13120;
// Private message 12501: a notification-area icon's callback (wParam = icon, lParam = mouse message).
constexpr UINT WINDOW_MESSAGE_TRAY = 12501;

// One top-level window. `handle` first: the registry counts a record with a
// non-zero handle as live.
struct WindowRecord {
  HWND handle;
  ACCEL* accelEntries;     // two entries on the main heap
  HACCEL accelTable;       // made from the entries
  int32_t accelCount;      // 2
  HBRUSH backgroundBrush;  // fills the background when set; owned by the window
  uint16_t minWidth;       // tracking-size limits, 0 = no limit
  uint16_t minHeight;
  uint16_t maxWidth;
  uint16_t maxHeight;
  int32_t sizeMark;  // 1 while minimized or maximized
};

// Kept on a window that is (or was) a gadget list, in the property
// "RT_GadgetStack_<module>": the list state saved while another window is the
// current list, and the procedure the list hook replaced.
struct GadgetListRecord {
  HWND handle;
  HWND savedListWindow;
  HWND* savedStack;  // owned while saved
  int32_t savedDepth;
  int32_t savedCapacity;
  WNDPROC previousProc;
};

// The gadget library's state record (one for the process). The window library
// keeps its gadget-list fields; the gadget library reads the list window as the
// parent of every new gadget, and owns the default font.
struct GadgetState {
  HWND listWindow;  // current gadget list, null when none
  HWND* stack;      // container stack, stack[0] the list window while depth > 0
  int32_t depth;
  int32_t capacity;
  HWND container;       // container being filled; reset when the list changes
  HGDIOBJ defaultFont;  // font every new gadget receives
};

// The window library's state record: the parameters of the last message that
// Event_Wait took from the window system (0 after an event).
struct WindowState {
  WPARAM lastWParam;
  LPARAM lastLParam;
};

// Offers a parent's message about a child control to its gadget; returns the
// answer or NOTIFY_NOT_HANDLED. The gadget library installs it at its start;
// while it is null every message counts as not handled.
using WindowNotifyFunction = LRESULT (*)(HWND child, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
extern WindowNotifyFunction Window_NotifyGadget;

// Start-up: the window registry and state record, the default icon (resource 1
// of the program) and the arrow cursor. Calling it again keeps what exists.
void Window_Init();
// Shut-down: closes every window.
void Window_End();

// Opens a top-level window with a client area of width x height at x, y
// (IGNORE_COORDINATE for the default position) with `flags` (WINDOW_* and
// window styles); null title = "". A number in use first closes its window.
// Returns the handle for a number, the new number for OBJECT_ANY, 0 on
// failure (no record and no class left behind). The window becomes the
// current gadget list unless WINDOW_NO_GADGETS.
intptr_t Window_Open(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const char16_t* title, uint32_t flags);
// Closes a window (OBJECT_ANY: every window): destroys it and its class,
// accelerators and brush, and drops its queued events and bindings. Returns 0
// when no window has that number, else 1.
int32_t Window_Close(ObjectNumber number);
// Makes `window` the current gadget list, saving the current list's state in
// its window and taking back any state saved in `window`. Null only asks.
// Returns the previous current list window (null when none). When memory runs
// out, nothing changes (the list stays the previous one).
HWND Window_SetGadgetList(HWND window);
// Moves a window to the centre of the screen (WINDOW_SCREEN_CENTERED) or of
// the thread's active window (WINDOW_WINDOW_CENTERED), keeping its size, Z
// order and activation. Without an active window it stays where it is.
void Window_Center(HWND window, uint32_t flags);

// The class procedure of every window: turns messages into events
// (Window_MessageToEvent); what it does not answer goes to DefWindowProcW.
LRESULT CALLBACK Window_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The record of a live window, or null.
WindowRecord* Window_GetRecord(ObjectNumber number);
// The number of the window that `window` is or lies in (walking up through the
// parents to the first carrying "RT_WindowID"), -1 when none; *record receives
// its record or null (record may be null).
ObjectNumber Window_FromHandle(HWND window, WindowRecord** record);
// The window library's state record, null before Window_Init.
WindowState* Window_GetState();
// The gadget library's state record, created with an empty stack of 10
// entries and the stock default GUI font on first use. Ends the process when
// memory ran out (start-up cannot go on).
GadgetState* Window_GadgetState();
