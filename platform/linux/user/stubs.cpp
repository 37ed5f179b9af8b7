// Stand-ins the runtime calls but a headless substitute has nothing behind:
// cursors, icons, the beep, common controls and COM.
#include "platform/linux/commctrl.h"
#include "platform/linux/ole32.h"
#include "platform/linux/user/internal.h"

using namespace user;

HCURSOR WINAPI LoadCursorW(HINSTANCE, LPCWSTR name) {
  return name ? reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x10000 | LOWORD(name))) : nullptr;
}

// The substitute has no resources of the program: a numbered icon of the
// program is not found, a system icon is.
HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
  if (!name || (instance && IS_INTRESOURCE(name) && LOWORD(name) < 32512)) return nullptr;
  return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x20000 | LOWORD(name)));
}

BOOL WINAPI DestroyIcon(HICON icon) { return icon != nullptr; }
BOOL WINAPI MessageBeep(UINT) { return TRUE; }

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  return init && init->dwSize == sizeof(INITCOMMONCONTROLSEX);
}

HRESULT WINAPI CoInitialize(LPVOID) {
  Guard g(lock());
  return ownQueue().cokeys++ == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI RevokeDragDrop(HWND) { return DRAGDROP_E_NOTREGISTERED; }
