// The string gadget: a single-line edit field that also reports gaining and losing the focus.
#include <algorithm>

#include "gadget/gadget.h"
#include "gadget/internal.h"
#include "window/event.h"
#include "window/window.h"

namespace {

// WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL.
constexpr DWORD kStyle = GADGET_STYLE_CHILD | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
static_assert(kStyle == 0x50030080);

// The Edit class's procedure, behind the focus hook of every string gadget.
WNDPROC editProc = nullptr;

// Reports the field gaining and losing the keyboard focus as events of the
// gadget itself, in front of the Edit class's own handling.
LRESULT CALLBACK focusHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFOCUS)
    Gadget_PostEvent(window, EVENT_TYPE_FOCUS);
  else if (message == WM_KILLFOCUS)
    Gadget_PostEvent(window, EVENT_TYPE_LOST_FOCUS);
  return CallWindowProcW(editProc, window, message, wParam, lParam);
}

// A read-only field asks with WM_CTLCOLORSTATIC; a disabled one keeps the platform's grey.
LRESULT stringNotify(GadgetRecord* gadget, HWND, UINT message, WPARAM wParam, LPARAM) {
  const HDC dc = reinterpret_cast<HDC>(wParam);
  if (message == WM_CTLCOLOREDIT) return Gadget_ColourAnswer(gadget, dc, COLOR_WINDOW);
  if (message == WM_CTLCOLORSTATIC && IsWindowEnabled(gadget->window))
    return Gadget_ColourAnswer(gadget, dc, COLOR_BTNFACE);
  return NOTIFY_NOT_HANDLED;
}

int32_t stringGetAttribute(GadgetRecord* gadget, int32_t attribute) {
  if (attribute != GADGET_ATTRIBUTE_MAXIMUM_LENGTH) return 0;
  return static_cast<int32_t>(SendMessageW(gadget->window, EM_GETLIMITTEXT, 0, 0));
}

void stringSetAttribute(GadgetRecord* gadget, int32_t attribute, int32_t value) {
  if (attribute != GADGET_ATTRIBUTE_MAXIMUM_LENGTH) return;
  SendMessageW(gadget->window, EM_LIMITTEXT, static_cast<WPARAM>(std::max(value, 1)), 0);
}

constexpr GadgetOps kStringOps = {
    .kind = GADGET_KIND_STRING,
    .notify = stringNotify,
    .free = Gadget_StandardFree,
    .getAttribute = stringGetAttribute,
    .setAttribute = stringSetAttribute,
    .setColour = Gadget_StandardSetColour,
    .getColour = Gadget_StandardGetColour,
    .requiredSize = Gadget_StringRequiredSize,
};

}  // namespace

intptr_t Gadget_CreateString(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                             const char16_t* text, uint32_t flags) {
  const DWORD exStyle = (flags & GADGET_FLAG_BORDER) ? 0 : WS_EX_CLIENTEDGE;
  HWND window =
      Gadget_CreateWindow(exStyle, u"Edit", text ? text : u"", kStyle | flags, x, y, width, height, -1);
  if (!window) return 0;
  GadgetRecord* gadget = Gadget_AllocateRecord(number, window);
  if (!gadget) return 0;
  // The common hook, installed next, runs in front of the focus hook.
  editProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(focusHook)));
  gadget->frontColour = GADGET_COLOUR_DEFAULT;
  gadget->backColour = GADGET_COLOUR_DEFAULT;
  return Gadget_Register(number, gadget, window, &kStringOps);
}

void Gadget_StringRequiredSize(GadgetRecord* gadget, int32_t* width, int32_t* height) {
  HWND window = gadget->window;
  HDC dc = GetDC(window);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  // One line of the font, whatever the field holds: its text scrolls.
  SIZE extent{0, 0};
  GetTextExtentPoint32W(dc, W(u"Hg"), 2, &extent);
  if (previous) SelectObject(dc, previous);
  ReleaseDC(window, dc);
  *width = 2 * GetSystemMetrics(SM_CXEDGE);
  *height = std::max<int32_t>(extent.cy + 2 * GetSystemMetrics(SM_CYEDGE), 20);
}
