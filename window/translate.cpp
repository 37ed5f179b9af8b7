// The translation of window messages into events: what the window procedure
// of every top-level window asks before the window system's default handling.
#include "window/translate.h"

#include "window/event.h"
#include "window/focus.h"
#include "window/internal.h"
#include "window/window.h"

namespace {

// The gadget answer to a parent's message about `child`.
LRESULT notifyGadget(HWND child, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Window_NotifyGadget) return NOTIFY_NOT_HANDLED;
  return Window_NotifyGadget(child, parent, message, wParam, lParam);
}

bool answer(LRESULT* result, LRESULT value) {
  *result = value;
  return true;
}

void queue(int32_t code, ObjectNumber object, ObjectNumber window, int32_t type = 0) {
  Event_Queue(code, object, window, type, 0, nullptr, 0);
}

BOOL CALLBACK sendSysColorChange(HWND child, LPARAM) {
  SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
  return TRUE;
}

}  // namespace

bool Window_MessageToEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  WindowRecord* record = nullptr;
  const ObjectNumber number = Window_FromHandle(window, &record);
  const bool own = record && record->handle == window;

  switch (message) {
    case WM_CLOSE:
      // Closing is the application's decision: the window stays.
      if (own) queue(EVENT_WINDOW_CLOSE, number, number);
      return answer(result, 0);

    case WM_MOVE:
      if (own) queue(EVENT_WINDOW_MOVE, number, number);
      return answer(result, 0);

    case WM_SIZE:
      if (number == -1) return false;
      if (!own) return answer(result, 1);
      switch (wParam) {
        case SIZE_MINIMIZED:
          record->sizeMark = 1;
          queue(EVENT_MINIMIZE, 0, number);
          break;
        case SIZE_MAXIMIZED:
          record->sizeMark = 1;
          queue(EVENT_MAXIMIZE, 0, number);
          queue(EVENT_WINDOW_SIZE, 0, number);
          break;
        case SIZE_RESTORED:
          if (record->sizeMark) {
            record->sizeMark = 0;
            queue(EVENT_RESTORE, 0, number);
          }
          queue(EVENT_WINDOW_SIZE, 0, number);
          break;
        default:
          queue(EVENT_WINDOW_SIZE, 0, number);
          break;
      }
      return answer(result, 0);

    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        HWND saved = static_cast<HWND>(GetPropW(window, W(WINDOW_PROP_FOCUS)));
        if (saved && IsChild(window, saved)) SetFocus(saved);
        queue(EVENT_ACTIVATE, 0, number);
      } else {
        // Only a control of this window is remembered: restoring a focus that
        // lay elsewhere would activate that other window.
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus))
          SetPropW(window, W(WINDOW_PROP_FOCUS), focus);
        else
          RemovePropW(window, W(WINDOW_PROP_FOCUS));
        Focus_ShowCues(window, 0);
        queue(EVENT_DEACTIVATE, 0, number);
      }
      return answer(result, 1);

    case WM_ERASEBKGND: {
      bool filled = false;
      if (record && record->backgroundBrush) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, record->backgroundBrush);
        filled = true;
      }
      queue(EVENT_REPAINT, 0, number);
      return filled ? answer(result, 1) : false;
    }

    case WM_SYSCOLORCHANGE:
      if (!GetPropW(window, W(WINDOW_PROP_MDI))) EnumChildWindows(window, sendSysColorChange, 0);
      return false;

    case WM_GETMINMAXINFO: {
      if (!record) return false;
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      if (record->minWidth)
        info->ptMinTrackSize.x = record->minWidth;
      else if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)
        info->ptMinTrackSize.x = 1;
      if (record->minHeight) info->ptMinTrackSize.y = record->minHeight;
      if (record->maxWidth) info->ptMaxTrackSize.x = record->maxWidth;
      if (record->maxHeight) info->ptMaxTrackSize.y = record->maxHeight;
      return answer(result, 0);
    }

    case WM_COMMAND: {
      HWND control = reinterpret_cast<HWND>(lParam);
      if (notifyGadget(control, window, message, wParam, lParam) != NOTIFY_NOT_HANDLED)
        return answer(result, 0);
      if (control) {
        const auto id = static_cast<ObjectNumber>(GetWindowLongPtrW(control, GWLP_ID));
        if (id == -10000)
          queue(EVENT_MENU, LOWORD(wParam), number);
        else
          queue(EVENT_GADGET_ACTIVITY, id, number, HIWORD(wParam));
      } else if (HIWORD(wParam) == 0) {
        queue(EVENT_MENU, static_cast<ObjectNumber>(wParam), number);
      } else if (LOWORD(wParam) == WINDOW_COMMAND_FOCUS_NEXT) {
        Focus_Move(0);
      } else if (LOWORD(wParam) == WINDOW_COMMAND_FOCUS_PREVIOUS) {
        Focus_Move(1);
      } else {
        queue(EVENT_MENU, LOWORD(wParam), number);
      }
      return answer(result, 0);
    }

    case WM_TIMER:
      if (!record) return false;
      queue(EVENT_TIMER, static_cast<ObjectNumber>(wParam), number);
      return answer(result, 0);

    case WM_LBUTTONUP:
      queue(EVENT_LEFT_CLICK, 0, number);
      return answer(result, 0);
    case WM_LBUTTONDBLCLK:
      queue(EVENT_LEFT_DOUBLE_CLICK, 0, number);
      return answer(result, 0);
    case WM_RBUTTONUP:
      queue(EVENT_RIGHT_CLICK, 0, number);
      return answer(result, 0);

    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      const LRESULT reply =
          notifyGadget(header ? header->hwndFrom : nullptr, window, message, wParam, lParam);
      return reply == NOTIFY_NOT_HANDLED ? false : answer(result, reply);
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WINDOW_MESSAGE_GADGET: {
      const LRESULT reply = notifyGadget(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam);
      return reply == NOTIFY_NOT_HANDLED ? false : answer(result, reply);
    }

    case WINDOW_MESSAGE_TRAY: {
      int32_t type = -1;
      switch (lParam) {
        case WM_LBUTTONDOWN:
          type = 0;
          break;
        case WM_RBUTTONDOWN:
          type = 1;
          break;
        case WM_LBUTTONDBLCLK:
          type = 2;
          break;
        case WM_RBUTTONDBLCLK:
          type = 3;
          break;
      }
      if (type >= 0) queue(EVENT_TRAY, static_cast<ObjectNumber>(wParam), number, type);
      PostMessageW(window, WM_NULL, 0, 0);
      return answer(result, 0);
    }

    case WM_NCDESTROY:
      RemovePropW(window, W(WINDOW_PROP_FOCUS));
      return answer(result, 1);

    default:
      return false;
  }
}
