// The button gadget: a push button whose click the window procedure reports as an event of type 0.
#include <algorithm>

#include "core/heap.h"
#include "gadget/gadget.h"
#include "gadget/internal.h"

namespace {

// WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP, a BS_PUSHBUTTON.
constexpr DWORD kStyle = GADGET_STYLE_CHILD | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON;
static_assert(kStyle == 0x50030000);

int32_t buttonGetState(GadgetRecord* gadget) {
  return static_cast<int32_t>(SendMessageW(gadget->window, BM_GETCHECK, 0, 0) & 1);
}

void buttonSetState(GadgetRecord* gadget, int32_t state) {
  SendMessageW(gadget->window, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
}

constexpr GadgetOps kButtonOps = {
    .kind = GADGET_KIND_BUTTON,
    .getState = buttonGetState,
    .setState = buttonSetState,
    .requiredSize = Gadget_ButtonRequiredSize,
};

}  // namespace

intptr_t Gadget_CreateButton(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                             const char16_t* text, uint32_t flags) {
  HWND window = Gadget_CreateWindow(0, u"Button", text ? text : u"", kStyle | flags, x, y, width, height, -1);
  if (!window) return 0;
  GadgetRecord* gadget = Gadget_AllocateRecord(number, window);
  if (!gadget) return 0;
  // A button has no colour operations; its colour fields stay 0.
  return Gadget_Register(number, gadget, window, &kButtonOps);
}

void Gadget_ButtonRequiredSize(GadgetRecord* gadget, int32_t* width, int32_t* height) {
  *width = 0;
  *height = 0;
  HWND window = gadget->window;
  const int length = GetWindowTextLengthW(window);
  auto* text = static_cast<char16_t*>(Heap_Alloc((static_cast<size_t>(length) + 1) * sizeof(char16_t)));
  if (!text) return;
  const int read = GetWindowTextW(window, W(text), length + 1);
  HDC dc = GetDC(window);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  SIZE extent{0, 0};
  GetTextExtentPoint32W(dc, W(text), read, &extent);
  if (previous) SelectObject(dc, previous);
  ReleaseDC(window, dc);
  Heap_Free(text);
  *width = extent.cx + 2 * GetSystemMetrics(SM_CXEDGE) + 10;
  *height = std::max<int32_t>(extent.cy + 2 * GetSystemMetrics(SM_CYEDGE), 24);
}
