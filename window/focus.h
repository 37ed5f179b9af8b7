// Keyboard navigation: Tab and Shift+Tab among a window's tab stops, keyboard cues, the accelerator choice.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Moves the focus to the next (backward 0, Tab) or previous (backward 1,
// Shift+Tab) tab stop of the active window - an enabled, visible descendant
// with WS_TABSTOP, whatever its size - wrapping around at both ends. With the
// focus outside the window, Tab takes the first and Shift+Tab the last.
void Focus_Move(int32_t backward);
// Shows (1) or hides (0) a window's focus rectangles and access-key marks,
// sending WM_UPDATEUISTATE only when the state changes.
void Focus_ShowCues(HWND window, int32_t show);
// The accelerator table Event_Wait applies to a message for the active window
// `window` (may be null): the window's Tab table, or null when the focused
// control takes Tab itself (an editable rich edit, a hot-key control) or the
// window is not one of this process's numbered windows. Shows the cues while a
// modifier key is down.
HACCEL Focus_AcceleratorTable(HWND window);
