// The steps of the simulated user that each system does its own way; the
// rest of it (platform/shared/simuser.cpp) is written once over these.
// Each side defines all of them next to its own SimUser_ functions.
#pragma once

#include <functional>

#include "platform/simuser.h"

namespace simuser {

// Waits up to `timeout` milliseconds until `found` gives true, asking it
// again in short slices; false when the time runs out first. On the
// substitute `found` runs under the window system's lock.
bool waitFor(DWORD timeout, const std::function<bool()>& found);

// Clicks the caption button `hit` (HTCLOSE, HTMINBUTTON, HTMAXBUTTON) of a
// visible top-level window of this program whose style has `needed`; false
// when it has no such button or the click could not be given.
bool captionButton(HWND top, int hit, DWORD needed);

// Reads the message box (file dialog) of this program on the screen into
// `out` when given; false when there is none.
bool readMessageBox(SimMessageBox* out);
bool readFileDialog(SimFileDialog* out);

// Presses the push button with control ID `id` of a dialog as the user
// does; false when there is no such button or it cannot be pressed.
bool pressButton(HWND dialog, int id);

// Puts `path` into a file dialog's name field in place of what it holds;
// `timeout` bounds any wait on the way.
bool enterName(HWND dialog, const char16_t* path, DWORD timeout);

// The dialog has left the screen.
bool dialogClosed(HWND dialog);

}  // namespace simuser
