// The "Edit" control class of the substitute (single line): text with a caret
// and selection, typing, a text limit, and the change and focus notifications
// a parent receives as WM_COMMAND.
#include <algorithm>

#include "platform/linux/user/internal.h"

using namespace user;

namespace {

struct Edit {
  ControlPaint paint;
  UINT limit = 30000;            // characters typing may reach
  int selStart = 0, selEnd = 0;  // the selection; the caret is at its end
};

enum class Change { None, Changed, Refused };

// Replaces the selection with `text` as typing does: refused (EN_MAXTEXT)
// when the result would pass the limit or, without ES_AUTOHSCROLL, the width.
Change replaceSelection(HWND window, std::u16string_view text, bool typed) {
  Guard g(lock());
  Window* w = get(window);
  Edit* e = controlOf<Edit>(w);
  if (!e) return Change::None;
  size_t start = static_cast<size_t>(std::min(e->selStart, e->selEnd));
  size_t end = static_cast<size_t>(std::max(e->selStart, e->selEnd));
  start = std::min(start, w->text.size());
  end = std::min(end, w->text.size());
  std::u16string next = w->text.substr(0, start) + std::u16string(text) + w->text.substr(end);
  if (typed) {
    if (next.size() > e->limit) return Change::Refused;
    if (!(w->style & (ES_AUTOHSCROLL | ES_MULTILINE)) &&
        textWidth(next, e->paint.font) > clientRectOf(*w).right - 2 && next.size() > w->text.size())
      return Change::Refused;
  }
  w->text = std::move(next);
  e->selStart = e->selEnd = static_cast<int>(start + text.size());
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
      Edit* e = controlOf<Edit>(get(window));
      if (!e) return;
      if (e->selStart == e->selEnd) {
        if (e->selStart == 0) return;
        e->selStart--;
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
    Edit* e = controlOf<Edit>(w);
    if (!e) return;
    int length = static_cast<int>(w->text.size());
    int caret = e->selEnd;
    switch (key) {
      case VK_LEFT:
        caret = std::max(std::min(e->selStart, e->selEnd) - (e->selStart == e->selEnd ? 1 : 0), 0);
        break;
      case VK_RIGHT:
        caret = std::min(std::max(e->selStart, e->selEnd) + (e->selStart == e->selEnd ? 1 : 0), length);
        break;
      case VK_HOME:
        caret = 0;
        break;
      case VK_END:
        caret = length;
        break;
      case VK_DELETE:
        if (w->style & ES_READONLY) return;
        if (e->selStart == e->selEnd) {
          if (e->selEnd >= length) return;
          e->selEnd++;
        }
        deleted = true;
        break;
      default:
        return;
    }
    if (!deleted) {
      e->selStart = e->selEnd = caret;
      state().changed.notify_all();
    }
  }
  if (deleted && replaceSelection(window, u"", false) == Change::Changed) changed(window);
}

}  // namespace

LRESULT CALLBACK user::Edit_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!keepControl<Edit>(window, message)) return FALSE;
  switch (message) {
    case WM_SETTEXT: {
      // Set by the program: no limit applies, the caret goes to the start,
      // and the parent hears of the change as of any other.
      DefWindowProcW(window, message, wParam, lParam);
      {
        Guard g(lock());
        Window* w = get(window);
        Edit* e = controlOf<Edit>(w);
        if (!e) return FALSE;
        e->selStart = e->selEnd = 0;
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
      Window* w = get(window);
      if (Edit* e = controlOf<Edit>(w)) e->selStart = e->selEnd = static_cast<int>(w->text.size());
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case EM_LIMITTEXT: {
      Guard g(lock());
      if (Edit* e = controlOf<Edit>(get(window)))
        e->limit = wParam ? static_cast<UINT>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
      return 0;
    }
    case EM_GETLIMITTEXT: {
      Guard g(lock());
      Edit* e = controlOf<Edit>(get(window));
      return e ? static_cast<LRESULT>(e->limit) : 0;
    }
    case EM_SETSEL: {
      Guard g(lock());
      Window* w = get(window);
      Edit* e = controlOf<Edit>(w);
      if (!e) return 0;
      int length = static_cast<int>(w->text.size());
      auto start = static_cast<int>(wParam), end = static_cast<int>(lParam);
      // A start of -1 removes the selection; an end of -1 means the end of the text.
      if (start == -1) {
        e->selStart = e->selEnd;
        return 0;
      }
      if (end == -1) end = length;
      e->selStart = std::clamp(start, 0, length);
      e->selEnd = std::clamp(end, 0, length);
      state().changed.notify_all();
      return 0;
    }
    case EM_GETSEL: {
      Guard g(lock());
      Edit* e = controlOf<Edit>(get(window));
      if (!e) return 0;
      int start = std::min(e->selStart, e->selEnd), end = std::max(e->selStart, e->selEnd);
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
      // A read-only or disabled field is painted as static text.
      DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
      paintControl(window, (style & (ES_READONLY | WS_DISABLED)) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
      return 0;
    }
  }
  return controlDefault(window, message, wParam, lParam);
}
