// The simulated user: what tests use to drive the program's windows as a
// person would (find, click, type, press keys, use the caption buttons,
// switch applications, answer dialogs) and to read the screen.
//
// Every function may be called from any thread. Input reaches the program's
// GUI thread through its message queue, in order, as real input does; reads
// see the windows as they are at that moment. Every wait is bounded by the
// given time-out (milliseconds), so a test that expects what never comes
// fails instead of hanging. Functions that wait for the GUI thread must not
// be called on that thread itself.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

// A generous bound for what a test expects to happen soon.
constexpr DWORD SIMUSER_TIMEOUT = 10000;

// What the screen shows of one window.
struct SimWindow {
  HWND window;
  std::u16string className;
  std::u16string text;
  int id;        // control ID
  RECT rect;     // outer rectangle, screen coordinates
  RECT client;   // client area, screen coordinates
  bool visible;  // it and all its parents are shown
  bool enabled;
  bool focused;  // has the keyboard focus
  bool active;   // a top-level window that is the foreground window
  bool minimized;
  bool maximized;
  int check;  // a button's check state (BST_)
  // What the screen shows of it is its present state: no repaint is pending
  // since its last change (a new text shows only once it has been painted).
  bool painted;
};

// The message box on the screen.
struct SimMessageBox {
  HWND window;
  std::u16string caption;
  std::u16string text;
  std::vector<int> buttons;  // IDOK, IDCANCEL, ... in their order
};

// The open or save file dialog on the screen.
struct SimFileDialog {
  HWND window;
  bool save;
  std::u16string title;
  std::vector<std::pair<std::u16string, std::u16string>> filters;  // description, pattern
  int filterIndex;                                                 // the one shown, from 0
  std::u16string directory;                                        // where it opened
  std::u16string proposedName;                                     // in the name field when it opened
};

// ---- Finding --------------------------------------------------------------------------
// A visible top-level window of this program with that class and/or title
// (null matches any), topmost first; null when there is none.
HWND SimUser_FindWindow(const char16_t* className, const char16_t* title);
// The same, waiting up to `timeout` for it to appear.
HWND SimUser_WaitWindow(const char16_t* className, const char16_t* title, DWORD timeout);
// A descendant of `top` with that class and/or text (null matches any), in
// Z order, depth first; null when there is none.
HWND SimUser_FindControl(HWND top, const char16_t* className, const char16_t* text);
// A descendant of `top` with that control ID.
HWND SimUser_FindControlById(HWND top, int id);

// ---- Reading the screen ---------------------------------------------------------------------
// False when the window does not exist (any more).
bool SimUser_Read(HWND window, SimWindow* out);
std::u16string SimUser_Text(HWND window);
// The window that has the keyboard focus in the foreground application, or
// null (another application is in front, or nothing has the focus).
HWND SimUser_Focus();
// The foreground window when it is one of this program's, else null.
HWND SimUser_Foreground();
// A progress bar's range and position; false when it is no progress bar.
bool SimUser_Progress(HWND bar, int* low, int* high, int* position);

// ---- Acting ------------------------------------------------------------------------------------
// Left click in the middle of a window: false when nothing of it can be
// clicked there (hidden, zero size, or not the window under that point).
bool SimUser_Click(HWND window);
// Left click at a point of a window's client area.
bool SimUser_ClickAt(HWND window, int x, int y);
// Types text into the window that has the focus.
bool SimUser_Type(const char16_t* text);
// Presses and releases a key (VK_TAB, VK_RETURN, VK_SPACE, ...).
bool SimUser_Press(BYTE key);
// Presses a key while the modifiers (VK_SHIFT, VK_CONTROL, VK_MENU) are held.
bool SimUser_PressWith(BYTE key, std::vector<BYTE> modifiers);
bool SimUser_KeyDown(BYTE key);
bool SimUser_KeyUp(BYTE key);
// The caption buttons of a top-level window; false when it has no such button.
bool SimUser_CloseBox(HWND top);
bool SimUser_Minimize(HWND top);
bool SimUser_Maximize(HWND top);
bool SimUser_Restore(HWND top);
// Switches to another application, and back to one of this program's windows.
bool SimUser_SwitchAway();
bool SimUser_SwitchBack(HWND top);
// Waits until the program has taken all input given so far and waits for more.
bool SimUser_Idle(DWORD timeout);

// ---- Dialogs ----------------------------------------------------------------------------------
// Waits up to `timeout` for a message box and reads it.
bool SimUser_WaitMessageBox(SimMessageBox* seen, DWORD timeout);
// Waits for a message box, reads it (when `seen` is given), presses the
// button with that ID and waits for the box to close.
bool SimUser_AnswerMessageBox(int button, SimMessageBox* seen, DWORD timeout);
// Waits up to `timeout` for a file dialog and reads it.
bool SimUser_WaitFileDialog(SimFileDialog* seen, DWORD timeout);
// Waits for a file dialog, reads it, then types `path` into its name field
// and confirms, or cancels it for a null path; true when the dialog closed.
// Several names in one directory are typed as "a" "b" "c" (with quotes).
bool SimUser_AnswerFileDialog(const char16_t* path, SimFileDialog* seen, DWORD timeout);
