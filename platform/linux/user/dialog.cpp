// Modal dialogs of the substitute: the "#32770" dialog class, the modal loop
// that keeps dispatching the thread's messages with the owner disabled, the
// dialog keys (Enter, Escape, Tab), and MessageBoxW.
#include <algorithm>

#include "platform/linux/user/internal.h"

using namespace user;

namespace {

struct Dialog {
  DWORD result = 0;  // the answer once it has ended
  bool ended = false;
  DialogInfo* info = nullptr;  // a modal dialog of the substitute: what it shows
};

DialogInfo* infoOf(HWND dialog) {
  Guard g(lock());
  Window* w = get(dialog);
  return w ? dialogInfoOf(*w) : nullptr;
}

void command(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool isPushButton(HWND window) {
  WCHAR name[16];
  if (!GetClassNameW(window, name, 16) || !equalNoCase(name, u"Button")) return false;
  return (GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
}

// The keys a dialog answers itself, as IsDialogMessage does on Windows.
bool dialogKey(HWND dialog, const MSG& m) {
  if (m.message != WM_KEYDOWN || (m.hwnd != dialog && !IsChild(dialog, m.hwnd))) return false;
  switch (m.wParam) {
    case VK_RETURN: {
      HWND focus = GetFocus();
      int id = focus && isPushButton(focus) ? GetDlgCtrlID(focus) : IDOK;
      if (!GetDlgItem(dialog, id)) {
        // The default button: the first push button.
        for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
          if (isPushButton(c)) {
            id = GetDlgCtrlID(c);
            break;
          }
      }
      command(dialog, id);
      return true;
    }
    case VK_ESCAPE:
      if (GetDlgItem(dialog, IDCANCEL)) command(dialog, IDCANCEL);
      return true;
    case VK_TAB: {
      std::vector<HWND> stops;
      for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongW(c, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(c) && IsWindowEnabled(c))
          stops.push_back(c);
      if (stops.empty()) return true;
      auto at = std::find(stops.begin(), stops.end(), GetFocus());
      bool back = GetKeyState(VK_SHIFT) < 0;
      size_t i = at == stops.end() ? 0 : static_cast<size_t>(at - stops.begin());
      i = at == stops.end() ? (back ? stops.size() - 1 : 0)
          : back            ? (i + stops.size() - 1) % stops.size()
                            : (i + 1) % stops.size();
      SetFocus(stops[i]);
      return true;
    }
  }
  return false;
}

// True when the dialog has ended (or lost its record: no loop waits for it then).
bool ended(HWND dialog, DWORD* result) {
  Guard g(lock());
  Dialog* d = controlOf<Dialog>(get(dialog));
  if (!d) return true;
  *result = d->result;
  return d->ended;
}

}  // namespace

namespace user {

DialogInfo* dialogInfoOf(const Window& w) {
  const Dialog* d = controlOf<Dialog>(&w);
  return d ? d->info : nullptr;
}

void setDialogInfo(HWND dialog, DialogInfo* info) {
  Guard g(lock());
  if (Dialog* d = controlOf<Dialog>(get(dialog))) d->info = info;
}

void endDialog(HWND dialog, DWORD result) {
  Guard g(lock());
  Window* w = get(dialog);
  Dialog* d = controlOf<Dialog>(w);
  if (!d) return;
  d->result = result;
  d->ended = true;
  wakeQueue(w->thread);
}

DWORD runModal(HWND dialog, HWND owner, HWND initialFocus) {
  bool reenable = owner && IsWindowEnabled(owner);
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOWNORMAL);
  if (initialFocus) SetFocus(initialFocus);
  {
    Guard g(lock());
    state().changed.notify_all();
  }
  DWORD result = 0;
  MSG m;
  while (!ended(dialog, &result)) {
    BOOL got = GetMessageW(&m, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT ends the dialog and stays for the caller's own loop, as on Windows.
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    if (got < 0) break;
    if (!dialogKey(dialog, m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  ended(dialog, &result);
  // The owner is enabled before the dialog goes, so that it is activated again.
  if (reenable) EnableWindow(owner, TRUE);
  // What the dialog shows belongs to the caller, whose frame ends with this call.
  setDialogInfo(dialog, nullptr);
  DestroyWindow(dialog);
  return result;
}

LRESULT CALLBACK Dialog_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!keepControl<Dialog>(window, message)) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        DialogInfo* info = infoOf(window);
        int id = LOWORD(wParam);
        if (!(info && info->onCommand && info->onCommand(window, id)))
          endDialog(window, static_cast<DWORD>(id));
      }
      return 0;
    case WM_CLOSE:
      // The close box answers Cancel; a box with only OK answers OK.
      if (GetDlgItem(window, IDCANCEL))
        command(window, IDCANCEL);
      else if (GetDlgItem(window, IDOK) && !GetDlgItem(window, IDNO) && !GetDlgItem(window, IDABORT))
        command(window, IDOK);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace user

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  if (owner && !IsWindow(owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  struct Answer {
    int id;
    const char16_t* label;
  };
  std::vector<Answer> answers;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      answers = {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
      break;
    case MB_ABORTRETRYIGNORE:
      answers = {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
      break;
    case MB_YESNOCANCEL:
      answers = {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
      break;
    case MB_YESNO:
      answers = {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
      break;
    case MB_RETRYCANCEL:
      answers = {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
      break;
    default:
      answers = {{IDOK, u"OK"}};
  }
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  std::u16string body(textOf(text));
  LONG width =
      std::max<LONG>({textWidth(body, nullptr) + 60, static_cast<LONG>(answers.size()) * 85 + 40, 200});
  LONG lines = 1 + static_cast<LONG>(std::count(body.begin(), body.end(), u'\n'));
  LONG height = lines * 16 + 110;
  RECT centre{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (top && !IsIconic(top)) GetWindowRect(top, &centre);
  int x = std::max<LONG>(0, (centre.left + centre.right - width) / 2);
  int y = std::max<LONG>(0, (centre.top + centre.bottom - height) / 2);
  HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME, u"#32770", caption ? caption : u"Error",
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, width, height, top, nullptr,
                                nullptr, nullptr);
  if (!dialog) return 0;
  DialogInfo info;
  info.boxType = type;
  setDialogInfo(dialog, &info);
  CreateWindowExW(0, u"Static", body.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 20, 20, width - 40,
                  lines * 16, dialog, reinterpret_cast<HMENU>(static_cast<uintptr_t>(kMessageBoxTextId)),
                  nullptr, nullptr);
  HWND first = nullptr;
  int bx = width - 16 - static_cast<int>(answers.size()) * 85;
  for (const Answer& a : answers) {
    HWND b = CreateWindowExW(0, u"Button", a.label,
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | (first ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON),
                             bx, height - 70, 75, 23, dialog,
                             reinterpret_cast<HMENU>(static_cast<uintptr_t>(a.id)), nullptr, nullptr);
    if (!first) first = b;
    bx += 85;
  }
  return static_cast<int>(runModal(dialog, top, first));
}
