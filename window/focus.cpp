// Keyboard navigation: Tab walks over a window's tab stops, keyboard cues, the accelerator table per message.
#include "window/focus.h"

#include "window/internal.h"
#include "window/window.h"

namespace {

// Rich edit controls' option query and read-only bit (declared by the rich
// edit header on Windows, which the runtime does not otherwise need).
constexpr UINT kRichEditGetOptions = WM_USER + 78;
constexpr LRESULT kRichEditReadOnly = 0x800;

// Class names are read up to this many characters.
constexpr int kClassNameLength = 50;

// The state of one navigation walk.
struct TabWalk {
  HWND current;   // the control the walk starts from, null when the focus is outside the window
  HWND previous;  // the last tab stop seen
  bool takeNext;  // the next tab stop gets the focus
  bool done;      // the focus has been moved
};

bool keyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// Window class names compare without regard to ASCII case, as the window system compares them.
bool classIs(const char16_t* name, const char16_t* wanted, int length = -1) {
  for (int i = 0; length < 0 || i < length; i++) {
    if (lowerAscii(name[i]) != lowerAscii(wanted[i])) return false;
    if (!wanted[i]) return true;
  }
  return true;
}

void readClass(HWND window, char16_t* buffer) {
  buffer[0] = 0;
  GetClassNameW(window, W(buffer), kClassNameLength + 1);
}

bool isTabStop(HWND window) {
  return IsWindowEnabled(window) && IsWindowVisible(window) &&
         (GetWindowLongW(window, GWL_STYLE) & WS_TABSTOP);
}

BOOL CALLBACK visitForward(HWND window, LPARAM parameter) {
  auto* walk = reinterpret_cast<TabWalk*>(parameter);
  if (!isTabStop(window)) return TRUE;
  if (walk->takeNext || !walk->current) {
    SetFocus(window);
    walk->takeNext = false;
    walk->done = true;
    return FALSE;
  }
  if (window == walk->current) walk->takeNext = true;
  return TRUE;
}

BOOL CALLBACK visitBackward(HWND window, LPARAM parameter) {
  auto* walk = reinterpret_cast<TabWalk*>(parameter);
  if (!isTabStop(window)) return TRUE;
  if (window == walk->current && walk->previous) {
    SetFocus(walk->previous);
    walk->done = true;
    return FALSE;
  }
  walk->previous = window;
  return TRUE;
}

}  // namespace

void Focus_Move(int32_t backward) {
  HWND root = GetActiveWindow();
  if (!root) return;
  HWND focused = GetFocus();
  TabWalk walk = {};
  if (focused && IsChild(root, focused)) {
    walk.current = focused;
    const HWND top = root;
    for (HWND window = focused; window && window != top; window = GetParent(window)) {
      char16_t name[kClassNameLength + 1];
      readClass(window, name);
      if (classIs(name, u"MDI_ChildClass")) {
        // Navigation stays inside the document window.
        root = window;
        if (window == focused) walk.current = nullptr;
      } else if ((classIs(name, u"ComboBoxEx32") && (GetWindowLongW(window, GWL_STYLE) & 0x1)) ||
                 classIs(name, u"SysIPAddress32")) {
        // A compound control counts as one tab stop.
        walk.current = window;
      }
    }
  }

  if (!backward) {
    EnumChildWindows(root, visitForward, reinterpret_cast<LPARAM>(&walk));
    // The walk ended on the last tab stop: once more, to take the first.
    if (walk.takeNext) EnumChildWindows(root, visitForward, reinterpret_cast<LPARAM>(&walk));
  } else {
    EnumChildWindows(root, visitBackward, reinterpret_cast<LPARAM>(&walk));
    // Wrap-around to the last tab stop, also when the walk had no starting point.
    if (!walk.done && walk.previous) SetFocus(walk.previous);
  }
}

void Focus_ShowCues(HWND window, int32_t show) {
  if (!window) return;
  constexpr LRESULT hidden = UISF_HIDEFOCUS | UISF_HIDEACCEL;
  const LRESULT state = SendMessageW(window, WM_QUERYUISTATE, 0, 0);
  if (show) {
    if (state & hidden) SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, hidden), 0);
  } else if ((state & hidden) != hidden) {
    SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, hidden), 0);
  }
}

HACCEL Focus_AcceleratorTable(HWND window) {
  HWND focus = GetFocus();
  const bool modifier = keyDown(VK_CONTROL) || keyDown(VK_SHIFT) || keyDown(VK_MENU);
  if (focus && keyDown(VK_TAB) && !modifier) {
    char16_t name[kClassNameLength + 1];
    readClass(focus, name);
    // An editable rich edit control takes Tab as text.
    if (classIs(name, u"Rich", 4) && !(SendMessageW(focus, kRichEditGetOptions, 0, 0) & kRichEditReadOnly))
      return nullptr;
  }
  if (window && modifier) Focus_ShowCues(window, 1);
  if (focus && GetPropW(focus, W(WINDOW_PROP_HOTKEY))) return nullptr;
  if (!window) return nullptr;
  const auto id = reinterpret_cast<intptr_t>(GetPropW(window, W(WINDOW_PROP_ID)));
  if (!id) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  WindowRecord* record = Window_GetRecord(id - 1);
  return record ? record->accelTable : nullptr;
}
