// Gadget colours: the standard colour operations, the control-colour answer and the shared brush cache.
#include "core/registry.h"
#include "core/thread.h"
#include "gadget/gadget.h"
#include "gadget/internal.h"
#include "window/window.h"

namespace {

// One brush per colour in use, counted by the gadgets that hold it.
struct BrushEntry {
  int32_t colour;
  HBRUSH brush;
  int32_t count;
};

// The gadget library lock guards the cache alone; nothing else is locked while it is held.
CRITICAL_SECTION libraryLock;
ThreadOnce lockOnce = THREAD_ONCE_INIT;
ListNode* brushes = nullptr;  // newest first

// Repaints the window, its frame included, after a colour change.
constexpr UINT kRepaint = RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT | RDW_FRAME;
static_assert(kRepaint == 0x407);

// Holds the library lock, created on first use, until the end of the scope.
LockGuard holdLibrary() {
  Gadget_InitLock();
  return LockGuard(&libraryLock);
}

}  // namespace

void Gadget_InitLock() {
  Thread_RunOnce(&lockOnce, [] { InitializeCriticalSection(&libraryLock); });
}

HBRUSH Gadget_AcquireBrush(int32_t colour) {
  LockGuard hold = holdLibrary();
  for (ListNode* node = brushes; node; node = node->next) {
    BrushEntry* entry = List_Data<BrushEntry>(node);
    if (entry->colour == colour && entry->brush) {
      entry->count++;
      return entry->brush;
    }
  }
  auto* entry = static_cast<BrushEntry*>(List_Add(&brushes, sizeof(ListNode) + sizeof(BrushEntry)));
  if (!entry) return nullptr;
  entry->brush = CreateSolidBrush(static_cast<COLORREF>(colour));
  // An entry without a brush could never be released: keep none.
  if (!entry->brush) {
    List_Remove(&brushes, entry);
    return nullptr;
  }
  entry->colour = colour;
  entry->count = 1;
  return entry->brush;
}

void Gadget_ReleaseBrush(HBRUSH brush) {
  if (!brush) return;
  LockGuard hold = holdLibrary();
  for (ListNode* node = brushes; node; node = node->next) {
    BrushEntry* entry = List_Data<BrushEntry>(node);
    if (entry->brush != brush) continue;
    if (--entry->count <= 0) {
      DeleteObject(entry->brush);
      List_Remove(&brushes, entry);
    }
    return;
  }
}

void Gadget_StandardSetColour(GadgetRecord* gadget, int32_t type, int32_t colour) {
  if (type == GADGET_COLOUR_FRONT) {
    gadget->frontColour = colour;
  } else if (type == GADGET_COLOUR_BACK) {
    if (gadget->backBrush) Gadget_ReleaseBrush(gadget->backBrush);
    gadget->backBrush = colour == GADGET_COLOUR_DEFAULT ? nullptr : Gadget_AcquireBrush(colour);
    gadget->backColour = colour;
  }
  RedrawWindow(gadget->window, nullptr, nullptr, kRepaint);
}

int32_t Gadget_StandardGetColour(GadgetRecord* gadget, int32_t type) {
  if (type == GADGET_COLOUR_FRONT) return gadget->frontColour;
  if (type == GADGET_COLOUR_BACK) return gadget->backColour;
  return GADGET_COLOUR_DEFAULT;
}

void Gadget_StandardFree(GadgetRecord* gadget) {
  if (gadget->backBrush) Gadget_ReleaseBrush(gadget->backBrush);
  gadget->backBrush = nullptr;
}

LRESULT Gadget_ColourAnswer(GadgetRecord* gadget, HDC dc, int systemColour) {
  LRESULT result = NOTIFY_NOT_HANDLED;
  if (gadget->frontColour != GADGET_COLOUR_DEFAULT) {
    SetTextColor(dc, static_cast<COLORREF>(gadget->frontColour));
    if (gadget->backColour == GADGET_COLOUR_DEFAULT) {
      SetBkColor(dc, GetSysColor(systemColour));
      result = reinterpret_cast<LRESULT>(GetSysColorBrush(systemColour));
    }
  }
  if (gadget->backColour != GADGET_COLOUR_DEFAULT) {
    SetBkColor(dc, static_cast<COLORREF>(gadget->backColour));
    // Without a brush (it could not be made) the control paints its default background.
    if (gadget->backBrush) result = reinterpret_cast<LRESULT>(gadget->backBrush);
  }
  return result;
}
