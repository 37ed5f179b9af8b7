// Gadget core: the gadget registry, creation and registration, the common hook that tears a
// gadget down with its window, and the operations that work on every kind.
#include "gadget/gadget.h"

#include "core/heap.h"
#include "core/registry.h"
#include "core/string.h"
#include "gadget/internal.h"
#include "window/event.h"
#include "window/window.h"

namespace {

ObjectRegistry* registry = nullptr;

constexpr int32_t kRegistryStep = 50;
// The class mask handed to InitCommonControlsEx at start.
constexpr DWORD kCommonControlClasses =
    ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;
static_assert(kCommonControlClasses == 0x0B48);

// The control ID of a gadget whose destruction is under way (or that is not
// registered yet): the hook then leaves the window alone.
constexpr ObjectNumber kDetached = -1;

constexpr char16_t kPropId[] = u"RT_ID";
constexpr char16_t kPropDrop[] = u"RT_DropAccept";

ObjectNumber controlId(HWND window) { return static_cast<ObjectNumber>(GetWindowLongPtrW(window, GWLP_ID)); }

// The record of gadget `number` only when `window` is its window.
GadgetRecord* recordOf(ObjectNumber number, HWND window) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  return gadget && gadget->window == window ? gadget : nullptr;
}

// The last message a gadget window receives: the kind releases what it holds,
// the window loses its tags, the gadget's queued events go and the number is free.
void tearDown(ObjectNumber number, HWND window) {
  GadgetRecord* gadget = recordOf(number, window);
  if (!gadget) return;
  if (gadget->ops && gadget->ops->free) gadget->ops->free(gadget);
  RemovePropW(window, W(kPropId));
  if (RemovePropW(window, W(kPropDrop))) RevokeDragDrop(window);
  SetWindowLongPtrW(window, GWLP_ID, kDetached);
  Event_Purge(EVENT_GADGET_ACTIVITY, number, -1, -1);
  Object_Free(registry, number);
}

// The procedure of every gadget window, in front of the kind's own.
LRESULT CALLBACK commonHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const ObjectNumber number = controlId(window);
  if (number == kDetached) return DefWindowProcW(window, message, wParam, lParam);
  GadgetRecord* gadget = recordOf(number, window);
  // Every registered gadget window has its record; a window without one has
  // no procedure to forward to but the default.
  if (!gadget) return DefWindowProcW(window, message, wParam, lParam);
  const LRESULT result = CallWindowProcW(gadget->previousProc, window, message, wParam, lParam);
  if (message == WM_NCDESTROY) tearDown(number, window);
  return result;
}

void writeEmpty(int32_t start) { String_Reserve(0, start)[0] = 0; }

}  // namespace

void Gadget_Init() {
  Gadget_InitLock();
  Window_GadgetState()->defaultFont = GetStockObject(DEFAULT_GUI_FONT);
  if (!registry) {
    registry = Object_CreateRegistry(sizeof(GadgetRecord), kRegistryStep,
                                     [](ObjectNumber number) { Gadget_Free(number); });
  }
  INITCOMMONCONTROLSEX classes{8, kCommonControlClasses};
  InitCommonControlsEx(&classes);
  Window_NotifyGadget = Gadget_Notify;
}

void Gadget_End() {}

GadgetRecord* Gadget_GetRecord(ObjectNumber number) {
  if (!registry) return nullptr;
  return static_cast<GadgetRecord*>(Object_Get(registry, number));
}

HWND Gadget_CreateWindow(DWORD exStyle, const char16_t* className, const char16_t* text, DWORD style,
                         int32_t x, int32_t y, int32_t width, int32_t height, intptr_t id) {
  if (!registry) return nullptr;
  HWND parent = Window_GadgetState()->listWindow;
  return CreateWindowExW(exStyle, W(className), text ? W(text) : nullptr, style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(id), GetModuleHandleW(nullptr), nullptr);
}

GadgetRecord* Gadget_AllocateRecord(ObjectNumber number, HWND window) {
  auto* gadget = static_cast<GadgetRecord*>(Object_Allocate(registry, number));
  if (!gadget) DestroyWindow(window);
  return gadget;
}

intptr_t Gadget_Register(ObjectNumber number, GadgetRecord* gadget, HWND window, const GadgetOps* ops) {
  const bool dynamic = number == OBJECT_ANY;
  if (dynamic) number = reinterpret_cast<ObjectNumber>(gadget);
  gadget->window = window;
  gadget->ops = ops;
  gadget->previousProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(commonHook)));
  SetWindowLongPtrW(window, GWLP_ID, number);
  SetPropW(window, W(kPropId), reinterpret_cast<HANDLE>(number));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(Window_GadgetState()->defaultFont), 1);
  return dynamic ? number : reinterpret_cast<intptr_t>(window);
}

LRESULT Gadget_Notify(HWND child, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!child) return NOTIFY_NOT_HANDLED;
  const ObjectNumber number = controlId(child);
  if (reinterpret_cast<ObjectNumber>(GetPropW(child, W(kPropId))) != number) return NOTIFY_NOT_HANDLED;
  // A control that is no gadget but has the ID of one (0 matches a missing
  // property) must not get that gadget's answer.
  GadgetRecord* gadget = recordOf(number, child);
  if (!gadget || !gadget->ops->notify) return NOTIFY_NOT_HANDLED;
  return gadget->ops->notify(gadget, parent, message, wParam, lParam);
}

void Gadget_PostEvent(HWND window, int32_t type) {
  const ObjectNumber top = Window_FromHandle(window, nullptr);
  Event_Queue(EVENT_GADGET_ACTIVITY, controlId(window), top, type, 0, nullptr, 0);
}

void Gadget_GetText(ObjectNumber number, int32_t start) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget) {
    writeEmpty(start);
    return;
  }
  if (gadget->ops->getText) {
    gadget->ops->getText(gadget, start);
    return;
  }
  const int length = GetWindowTextLengthW(gadget->window);
  char16_t* out = String_Reserve(length, start);
  out[0] = 0;
  // The reservation leaves room for the terminator beyond `length`.
  int read = GetWindowTextW(gadget->window, W(out), length + 1);
  if (read < 0 || read > length) read = 0;
  out[read] = 0;
  String_GiveBack(length - read);
}

void Gadget_SetText(ObjectNumber number, const char16_t* text) {
  if (!text) text = u"";
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget) return;
  Event_Suppress();
  if (gadget->ops->setText)
    gadget->ops->setText(gadget, text);
  else
    SetWindowTextW(gadget->window, W(text));
  Event_Resume();
}

void Gadget_SetState(ObjectNumber number, int32_t state) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget || !gadget->ops->setState) return;
  Event_Suppress();
  gadget->ops->setState(gadget, state);
  Event_Resume();
}

int32_t Gadget_GetState(ObjectNumber number) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget || !gadget->ops->getState) return 0;
  return gadget->ops->getState(gadget);
}

int32_t Gadget_GetAttribute(ObjectNumber number, int32_t attribute) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget || !gadget->ops->getAttribute) return 0;
  return gadget->ops->getAttribute(gadget, attribute);
}

void Gadget_SetAttribute(ObjectNumber number, int32_t attribute, int32_t value) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (gadget && gadget->ops->setAttribute) gadget->ops->setAttribute(gadget, attribute, value);
}

void Gadget_SetColour(ObjectNumber number, int32_t type, int32_t colour) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (gadget && gadget->ops->setColour) gadget->ops->setColour(gadget, type, colour);
}

int32_t Gadget_GetColour(ObjectNumber number, int32_t type) {
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget || !gadget->ops->getColour) return GADGET_COLOUR_DEFAULT;
  return gadget->ops->getColour(gadget, type);
}

void Gadget_RequiredSize(ObjectNumber number, int32_t* width, int32_t* height) {
  int32_t w = 0, h = 0;
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (gadget && gadget->ops->requiredSize) gadget->ops->requiredSize(gadget, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

intptr_t Gadget_Free(ObjectNumber number) {
  if (number == OBJECT_ANY) {
    if (registry) Object_FreeAll(registry);
    return 0;
  }
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget) return 0;
  // The record and the number are released inside, by the hook's WM_NCDESTROY.
  return DestroyWindow(gadget->window);
}

HWND Gadget_Activate(ObjectNumber number) {
  if (number == OBJECT_ANY) return SetFocus(nullptr);
  GadgetRecord* gadget = Gadget_GetRecord(number);
  if (!gadget) return nullptr;
  if (gadget->ops->activate) return gadget->ops->activate(gadget);
  return SetFocus(gadget->window);
}
