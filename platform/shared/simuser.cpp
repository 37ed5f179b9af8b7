// The simulated user's part that is the same on both systems: waits for
// windows and dialogs, key sequences, clicks and the caption buttons, written
// over the steps each side supplies (simuser_side.h).
#include "platform/shared/simuser_side.h"

using namespace simuser;

namespace {

bool waitGone(HWND dialog, DWORD timeout) {
  return waitFor(timeout, [&] { return dialogClosed(dialog); });
}

}  // namespace

// ---- Finding ------------------------------------------------------------------------------------

HWND SimUser_WaitWindow(const char16_t* className, const char16_t* title, DWORD timeout) {
  HWND found = nullptr;
  waitFor(timeout, [&] { return (found = SimUser_FindWindow(className, title)) != nullptr; });
  return found;
}

// ---- Acting -------------------------------------------------------------------------------------

bool SimUser_Click(HWND window) {
  RECT client;
  if (!IsWindow(window) || !GetClientRect(window, &client)) return false;
  return SimUser_ClickAt(window, client.right / 2, client.bottom / 2);
}

bool SimUser_Press(BYTE key) { return SimUser_KeyDown(key) && SimUser_KeyUp(key); }

// Every modifier is let go again, also when a press in between failed.
bool SimUser_PressWith(BYTE key, std::vector<BYTE> modifiers) {
  bool ok = true;
  for (BYTE m : modifiers) ok = SimUser_KeyDown(m) && ok;
  ok = SimUser_Press(key) && ok;
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) ok = SimUser_KeyUp(*it) && ok;
  return ok;
}

bool SimUser_CloseBox(HWND top) { return captionButton(top, HTCLOSE, WS_SYSMENU); }
bool SimUser_Minimize(HWND top) { return captionButton(top, HTMINBUTTON, WS_MINIMIZEBOX); }

bool SimUser_Maximize(HWND top) {
  if (IsZoomed(top)) return false;
  return captionButton(top, HTMAXBUTTON, WS_MAXIMIZEBOX);
}

// A minimized window comes back by a click on its button on the task bar,
// which asks the window to restore itself.
bool SimUser_Restore(HWND top) {
  if (IsIconic(top)) return PostMessageW(top, WM_SYSCOMMAND, SC_RESTORE, 0) != FALSE;
  if (!IsZoomed(top)) return false;
  return captionButton(top, HTMAXBUTTON, WS_MAXIMIZEBOX);
}

// ---- Dialogs ------------------------------------------------------------------------------------

bool SimUser_WaitMessageBox(SimMessageBox* seen, DWORD timeout) {
  return waitFor(timeout, [&] { return readMessageBox(seen); });
}

bool SimUser_AnswerMessageBox(int button, SimMessageBox* seen, DWORD timeout) {
  SimMessageBox box;
  if (!SimUser_WaitMessageBox(&box, timeout)) return false;
  if (seen) *seen = box;
  return pressButton(box.window, button) && waitGone(box.window, timeout);
}

bool SimUser_WaitFileDialog(SimFileDialog* seen, DWORD timeout) {
  return waitFor(timeout, [&] { return readFileDialog(seen); });
}

bool SimUser_AnswerFileDialog(const char16_t* path, SimFileDialog* seen, DWORD timeout) {
  SimFileDialog dialog;
  if (!SimUser_WaitFileDialog(&dialog, timeout)) return false;
  if (seen) *seen = dialog;
  if (!path) return pressButton(dialog.window, IDCANCEL) && waitGone(dialog.window, timeout);
  return enterName(dialog.window, path, timeout) && pressButton(dialog.window, IDOK) &&
         waitGone(dialog.window, timeout);
}
