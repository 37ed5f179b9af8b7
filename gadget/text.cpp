// The text gadget: a label ("Static") that shows its text literally, with optional colours.
#include "core/heap.h"
#include "gadget/gadget.h"
#include "gadget/internal.h"
#include "window/window.h"

namespace {

// WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX: no notifications, "&" shown as it is.
constexpr DWORD kStyle = GADGET_STYLE_CHILD | WS_GROUP | SS_NOPREFIX;
static_assert(kStyle == 0x50020080);

LRESULT textNotify(GadgetRecord* gadget, HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_CTLCOLORSTATIC) return NOTIFY_NOT_HANDLED;
  return Gadget_ColourAnswer(gadget, reinterpret_cast<HDC>(wParam), COLOR_BTNFACE);
}

constexpr GadgetOps kTextOps = {
    .kind = GADGET_KIND_TEXT,
    .notify = textNotify,
    .free = Gadget_StandardFree,
    .setColour = Gadget_StandardSetColour,
    .getColour = Gadget_StandardGetColour,
    .requiredSize = Gadget_TextRequiredSize,
};

}  // namespace

intptr_t Gadget_CreateText(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                           const char16_t* text, uint32_t flags) {
  const DWORD exStyle = (flags & GADGET_FLAG_BORDER) ? WS_EX_CLIENTEDGE : 0;
  HWND window =
      Gadget_CreateWindow(exStyle, u"Static", text ? text : u"", kStyle | flags, x, y, width, height, -1);
  if (!window) return 0;
  GadgetRecord* gadget = Gadget_AllocateRecord(number, window);
  if (!gadget) return 0;
  gadget->frontColour = GADGET_COLOUR_DEFAULT;
  gadget->backColour = GADGET_COLOUR_DEFAULT;
  return Gadget_Register(number, gadget, window, &kTextOps);
}

void Gadget_TextRequiredSize(GadgetRecord* gadget, int32_t* width, int32_t* height) {
  *width = 0;
  *height = 0;
  HWND window = gadget->window;
  const int length = GetWindowTextLengthW(window);
  auto* text = static_cast<char16_t*>(Heap_Alloc((static_cast<size_t>(length) + 1) * sizeof(char16_t)));
  if (!text) return;
  GetWindowTextW(window, W(text), length + 1);
  HDC dc = GetDC(window);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  RECT bounds;
  SetRect(&bounds, 0, 0, 0, 0);
  // The label shows '&' as it is (SS_NOPREFIX), so it is measured without prefix processing.
  DrawTextW(dc, W(text), -1, &bounds, DT_CALCRECT | DT_NOPREFIX);
  if (previous) SelectObject(dc, previous);
  ReleaseDC(window, dc);
  Heap_Free(text);
  *width = bounds.right;
  *height = bounds.bottom;
  if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) {
    *width += 2 * GetSystemMetrics(SM_CXEDGE);
    *height += 2 * GetSystemMetrics(SM_CYEDGE);
  } else {
    *width += 2;
    *height += 2;
  }
}
