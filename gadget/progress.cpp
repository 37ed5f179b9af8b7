// The progress-bar gadget: a range, a position the control keeps within it, and bar and back colours.
#include "gadget/gadget.h"
#include "gadget/internal.h"

namespace {

// WS_CHILD | WS_VISIBLE: no tab stop, no text.
constexpr DWORD kStyle = GADGET_STYLE_CHILD;
static_assert(kStyle == 0x50000000);

// The control's messages, with 32-bit bounds and positions.
constexpr UINT kSetRange = PBM_SETRANGE32;  // wParam lower, lParam upper
constexpr UINT kGetRange = PBM_GETRANGE;    // wParam 1: lower, 0: upper
constexpr UINT kSetPosition = PBM_SETPOS;
constexpr UINT kGetPosition = PBM_GETPOS;
constexpr UINT kSetBarColour = PBM_SETBARCOLOR;
constexpr UINT kSetBackColour = PBM_SETBKCOLOR;
static_assert(kSetRange == 0x406 && kGetRange == 0x407 && kSetPosition == 0x402 && kGetPosition == 0x408 &&
              kSetBarColour == 0x409 && kSetBackColour == 0x2001);

int32_t bound(HWND window, bool lower) {
  return static_cast<int32_t>(SendMessageW(window, kGetRange, lower ? 1 : 0, 0));
}

void setRange(HWND window, int32_t lower, int32_t upper) {
  SendMessageW(window, kSetRange, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

int32_t progressGetState(GadgetRecord* gadget) {
  return static_cast<int32_t>(SendMessageW(gadget->window, kGetPosition, 0, 0));
}

void progressSetState(GadgetRecord* gadget, int32_t state) {
  SendMessageW(gadget->window, kSetPosition, static_cast<WPARAM>(state), 0);
}

int32_t progressGetAttribute(GadgetRecord* gadget, int32_t attribute) {
  if (attribute == GADGET_ATTRIBUTE_MINIMUM) return bound(gadget->window, true);
  if (attribute == GADGET_ATTRIBUTE_MAXIMUM) return bound(gadget->window, false);
  return 0;
}

void progressSetAttribute(GadgetRecord* gadget, int32_t attribute, int32_t value) {
  if (attribute == GADGET_ATTRIBUTE_MINIMUM)
    setRange(gadget->window, value, bound(gadget->window, false));
  else if (attribute == GADGET_ATTRIBUTE_MAXIMUM)
    setRange(gadget->window, bound(gadget->window, true), value);
}

void progressSetColour(GadgetRecord* gadget, int32_t type, int32_t colour) {
  UINT message;
  if (type == GADGET_COLOUR_FRONT)
    message = kSetBarColour;
  else if (type == GADGET_COLOUR_BACK)
    message = kSetBackColour;
  else
    return;
  const COLORREF value = colour == GADGET_COLOUR_DEFAULT ? CLR_DEFAULT : static_cast<COLORREF>(colour);
  SendMessageW(gadget->window, message, 0, static_cast<LPARAM>(value));
  (type == GADGET_COLOUR_FRONT ? gadget->frontColour : gadget->backColour) = colour;
}

int32_t progressGetColour(GadgetRecord* gadget, int32_t type) {
  if (type == GADGET_COLOUR_FRONT) return gadget->frontColour;
  if (type == GADGET_COLOUR_BACK) return gadget->backColour;
  return GADGET_COLOUR_DEFAULT;
}

constexpr GadgetOps kProgressOps = {
    .kind = GADGET_KIND_PROGRESS_BAR,
    .getState = progressGetState,
    .setState = progressSetState,
    .getAttribute = progressGetAttribute,
    .setAttribute = progressSetAttribute,
    .setColour = progressSetColour,
    .getColour = progressGetColour,
};

}  // namespace

intptr_t Gadget_CreateProgressBar(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                                  int32_t minimum, int32_t maximum, uint32_t flags) {
  HWND window = Gadget_CreateWindow(0, u"msctls_progress32", nullptr, kStyle | flags, x, y, width, height, 0);
  if (!window) return 0;
  setRange(window, minimum, maximum);
  GadgetRecord* gadget = Gadget_AllocateRecord(number, window);
  if (!gadget) return 0;
  gadget->frontColour = GADGET_COLOUR_DEFAULT;
  gadget->backColour = GADGET_COLOUR_DEFAULT;
  return Gadget_Register(number, gadget, window, &kProgressOps);
}
