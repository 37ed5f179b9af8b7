// The "Edit" control class of the substitute (single line): text with a caret
// and selection, typing, a text limit, and the change and focus notifications
// a parent receives as WM_COMMAND.
#include <algorithm>

#include "platform/linux/user/internal.h"

using namespace user;

namespace {

enum class Change { None, Changed, Refused };

// Replaces the selection with `text` as typing does: refused (EN_MAXTEXT)
// when the result would pass the limit or, without ES_AUTOHSCROLL, the width.
Change replaceSelection(HWND window, std::u16string_view text, bool typed) {
  Guard g(lock());
  Window* w = get(window);
  if (!w) return Change::None;
  size_t start = static_cast<size_t>(std::min(w->selStart, w->selEnd));
  size_t end = static_cast<size_t>(std::max(w->selStart, w->selEnd));
  start = std::min(start, w->text.size());
  end = std::min(end, w->text.size());
  std::u16string next = w->text.substr(0, start) + std::u16string(text) + w->text.substr(end);
  if (typed) {
    if (next.size() > w->limit) return Change::Refused;
    if (!(w->style & (ES_AUTOHSCROLL | ES_MULTILINE)) &&
        textWidth(next, w->font) > clientRectOf(*w).right - 2 && next.size() > w->text.size())
      return Change::Refused;
  }
  w->text = std::move(next);
  w->selStart = w->selEnd = static_cast<int>(start + text.size());
  invalidate(*w, true);
  state().changed.notify_all();
  return Change::Changed;
}

void changed(HWND window) {
  notifyParent(window, EN_UPDATE);
  notifyParent(window, EN_CHANGE);
}

void typeCharacter(HWND window, WCHAR c) {
  DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  if (style & ES_READONLY) return;
  Change result = Change::None;
  if (c == 8) {
    // Backspace deletes the selection, or the character before the caret.
    {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return;
      if (w->selStart == w->selEnd) {
        if (w->selStart == 0) return;
        w->selStart--;
      }
    }
    result = replaceSelection(window, u"", false);
  } else if (c >= 32) {
    if ((style & ES_NUMBER) && (c < '0' || c > '9')) {
      MessageBeep(0);
      return;
    }
    result = replaceSelection(window, std::u16string_view(&c, 1), true);
  }
  if (result == Change::Changed) changed(window);
  if (result == Change::Refused) notifyParent(window, EN_MAXTEXT);
}

void keyDown(HWND window, WPARAM key) {
  bool deleted = false;
  {
    Guard g(lock());
    Window* w = get(window);
    if (!w) return;
    int length = static_cast<int>(w->text.size());
    int caret = w->selEnd;
    switch (key) {
      case VK_LEFT:
        caret = std::max(std::min(w->selStart, w->selEnd) - (w->selStart == w->selEnd ? 1 : 0), 0);
        break;
      case VK_RIGHT:
        caret = std::min(std::max(w->selStart, w->selEnd) + (w->selStart == w->selEnd ? 1 : 0), length);
        break;
      case VK_HOME:
        caret = 0;
        break;
      case VK_END:
        caret = length;
        break;
      case VK_DELETE:
        if (w->style & ES_READONLY) return;
        if (w->selStart == w->selEnd) {
          if (w->selEnd >= length) return;
          w->selEnd++;
        }
        deleted = true;
        break;
      default:
        return;
    }
    if (!deleted) {
      w->selStart = w->selEnd = caret;
      state().changed.notify_all();
    }
  }
  if (deleted && replaceSelection(window, u"", false) == Change::Changed) changed(window);
}

}  // namespace

LRESULT CALLBACK user::Edit_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      // Set by the program: no limit applies, the caret goes to the start,
      // and the parent hears of the change as of any other.
      DefWindowProcW(window, message, wParam, lParam);
      {
        Guard g(lock());
        Window* w = get(window);
        if (!w) return FALSE;
        w->selStart = w->selEnd = 0;
        invalidate(*w, true);
      }
      changed(window);
      return TRUE;
    }
    case WM_CHAR:
      typeCharacter(window, static_cast<WCHAR>(wParam));
      return 0;
    case WM_KEYDOWN:
      keyDown(window, wParam);
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(window, nullptr, FALSE);
      notifyParent(window, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      InvalidateRect(window, nullptr, FALSE);
      notifyParent(window, EN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN: {
      SetFocus(window);
      Guard g(lock());
      if (Window* w = get(window)) w->selStart = w->selEnd = static_cast<int>(w->text.size());
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case EM_LIMITTEXT: {
      Guard g(lock());
      if (Window* w = get(window))
        w->limit = wParam ? static_cast<UINT>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
      return 0;
    }
    case EM_GETLIMITTEXT: {
      Guard g(lock());
      Window* w = get(window);
      return w ? static_cast<LRESULT>(w->limit) : 0;
    }
    case EM_SETSEL: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      int length = static_cast<int>(w->text.size());
      auto start = static_cast<int>(wParam), end = static_cast<int>(lParam);
      // A start of -1 removes the selection; an end of -1 means the end of the text.
      if (start == -1) {
        w->selStart = w->selEnd;
        return 0;
      }
      if (end == -1) end = length;
      w->selStart = std::clamp(start, 0, length);
      w->selEnd = std::clamp(end, 0, length);
      state().changed.notify_all();
      return 0;
    }
    case EM_GETSEL: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return 0;
      int start = std::min(w->selStart, w->selEnd), end = std::max(w->selStart, w->selEnd);
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(start);
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(end);
      return MAKELONG(start, end);
    }
    case EM_REPLACESEL:
      if (replaceSelection(window, textOf(reinterpret_cast<LPCWSTR>(lParam)), false) == Change::Changed)
        changed(window);
      return 0;
    case EM_SETREADONLY: {
      Guard g(lock());
      Window* w = get(window);
      if (!w) return FALSE;
      if (wParam)
        w->style |= ES_READONLY;
      else
        w->style &= ~static_cast<DWORD>(ES_READONLY);
      invalidate(*w, true);
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      // A read-only or disabled field is painted as static text.
      DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
      paintControl(window, (style & (ES_READONLY | WS_DISABLED)) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
    case WM_SETFONT:
    case WM_GETFONT:
    case WM_ENABLE:
      return controlDrawingMessage(window, message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
