// Gadgets: child controls addressed by number, with one table of operations per kind.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "platform/win32.h"

// Kind codes (the first entry of every GadgetOps table).
constexpr int32_t GADGET_KIND_BUTTON = 1;
constexpr int32_t GADGET_KIND_STRING = 2;
constexpr int32_t GADGET_KIND_TEXT = 3;
constexpr int32_t GADGET_KIND_PROGRESS_BAR = 14;

// Colour types of the colour operations.
constexpr int32_t GADGET_COLOUR_FRONT = 1;  // text, or a progress bar's bar
constexpr int32_t GADGET_COLOUR_BACK = 2;   // background

// A colour value (0x00BBGGRR) that stands for the platform's default.
constexpr int32_t GADGET_COLOUR_DEFAULT = -1;

// Attributes: a string gadget's maximum length; a progress bar's bounds.
constexpr int32_t GADGET_ATTRIBUTE_MAXIMUM_LENGTH = 1;
constexpr int32_t GADGET_ATTRIBUTE_MINIMUM = 1;
constexpr int32_t GADGET_ATTRIBUTE_MAXIMUM = 2;

// Creation flag of text and string gadgets: toggles the sunken edge (a text
// gadget gains it, a string gadget loses it).
constexpr uint32_t GADGET_FLAG_BORDER = 0x20000;

struct GadgetOps;

// One gadget. `window` first: the registry counts a record with a non-zero
// window as live.
struct GadgetRecord {
  HWND window;
  const GadgetOps* ops;  // the kind's table, shared by all its gadgets
  WNDPROC previousProc;  // what the common hook forwards every message to
  int32_t backColour;    // GADGET_COLOUR_DEFAULT or 0x00BBGGRR
  int32_t frontColour;
  HBRUSH backBrush;  // from the brush cache; null while the back colour is the default
};

// The operations of one kind. Every entry may be null: the core then does the
// default (window text, keyboard focus) or nothing.
struct GadgetOps {
  int32_t kind = 0;
  // Answers a message the parent received about the gadget; NOTIFY_NOT_HANDLED
  // (window/window.h) when it has no answer.
  LRESULT (*notify)(GadgetRecord* gadget, HWND parent, UINT message, WPARAM wParam, LPARAM lParam) = nullptr;
  // Releases the kind's resources while the window is being destroyed.
  void (*free)(GadgetRecord* gadget) = nullptr;
  int32_t (*getState)(GadgetRecord* gadget) = nullptr;
  void (*setState)(GadgetRecord* gadget, int32_t state) = nullptr;
  // Writes the text at accumulator offset `start`.
  void (*getText)(GadgetRecord* gadget, int32_t start) = nullptr;
  void (*setText)(GadgetRecord* gadget, const char16_t* text) = nullptr;
  int32_t (*getAttribute)(GadgetRecord* gadget, int32_t attribute) = nullptr;
  void (*setAttribute)(GadgetRecord* gadget, int32_t attribute, int32_t value) = nullptr;
  void (*setColour)(GadgetRecord* gadget, int32_t type, int32_t colour) = nullptr;
  int32_t (*getColour)(GadgetRecord* gadget, int32_t type) = nullptr;
  void (*requiredSize)(GadgetRecord* gadget, int32_t* width, int32_t* height) = nullptr;
  // Gives the gadget the keyboard focus; returns the window that had it.
  HWND (*activate)(GadgetRecord* gadget) = nullptr;
};

// ---- Library start and end --------------------------------------------------------
// Start-up (after Window_Init): the library lock, the default font, the gadget
// registry (step 50), the common-control classes, and the gadget answer to the
// window procedure. Calling it again keeps what exists.
void Gadget_Init();
// Shut-down: nothing to release; gadgets die with their windows (Window_End),
// which still works after this call.
void Gadget_End();

// ---- Creation ---------------------------------------------------------------------
// Each creates a child of the current gadget list window at x, y with the size
// given (passed unchanged: a width or height of 0 makes a window of that size,
// which still exists, takes the focus and is reached by Tab), style bits
// `flags` added. A number in use is first freed, after the new window exists.
// Returns the window handle for a number, the new gadget's handle (its number
// from then on) for OBJECT_ANY, or 0 when the window cannot be created (a
// gadget that had the number is then untouched). A null text is "".

// A label ("Static", no prefix characters); GADGET_FLAG_BORDER adds a sunken edge.
intptr_t Gadget_CreateText(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                           const char16_t* text, uint32_t flags = 0);
// A single-line edit field that scrolls horizontally; it reports
// EVENT_TYPE_FOCUS and EVENT_TYPE_LOST_FOCUS besides its notifications.
// GADGET_FLAG_BORDER removes its sunken edge.
intptr_t Gadget_CreateString(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                             const char16_t* text, uint32_t flags = 0);
// A push button; a click reports an event of type 0.
intptr_t Gadget_CreateButton(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                             const char16_t* text, uint32_t flags = 0);
// A progress bar over minimum..maximum; its position stays within them.
intptr_t Gadget_CreateProgressBar(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                                  int32_t minimum, int32_t maximum, uint32_t flags = 0);

// ---- Operations on any gadget ---------------------------------------------------------
// Writes the gadget's text at accumulator offset `start`; with no such gadget
// the result is empty.
void Gadget_GetText(ObjectNumber number, int32_t start);
// Sets the text (null: empty) with events suppressed, so the change reports
// nothing. No such gadget: nothing happens.
void Gadget_SetText(ObjectNumber number, const char16_t* text);
// A button's check mark (any non-zero state counts as 1) or a progress bar's
// position, with events suppressed. Other kinds, or no such gadget: nothing.
void Gadget_SetState(ObjectNumber number, int32_t state);
// A button's check mark or a progress bar's position; 0 for other kinds or no gadget.
int32_t Gadget_GetState(ObjectNumber number);
// A kind's attribute (GADGET_ATTRIBUTE_*); 0 when the kind does not know it.
int32_t Gadget_GetAttribute(ObjectNumber number, int32_t attribute);
// Sets a kind's attribute; an attribute the kind does not know changes nothing.
void Gadget_SetAttribute(ObjectNumber number, int32_t attribute, int32_t value);
// Sets the front or back colour (GADGET_COLOUR_DEFAULT for the platform's)
// and repaints; kinds without colours, or unknown types, change nothing.
void Gadget_SetColour(ObjectNumber number, int32_t type, int32_t colour);
// The front or back colour; -1 for the default, an unknown type, a kind
// without colours or no gadget.
int32_t Gadget_GetColour(ObjectNumber number, int32_t type);
// The smallest size in pixels that shows the gadget's content; 0 x 0 when the
// kind does not know it or there is no gadget.
void Gadget_RequiredSize(ObjectNumber number, int32_t* width, int32_t* height);
// Destroys a gadget's window, which releases the gadget, its number and its
// queued events. Returns non-zero when a window was destroyed, 0 when there is
// no such gadget. OBJECT_ANY frees every gadget of every window and returns 0.
intptr_t Gadget_Free(ObjectNumber number);
// Gives the gadget the keyboard focus and returns the window that had it (null
// when none, or when there is no such gadget). OBJECT_ANY takes the focus
// away from every window.
HWND Gadget_Activate(ObjectNumber number);

// ---- For the kinds and the window library --------------------------------------------
// The record of a live gadget, or null.
GadgetRecord* Gadget_GetRecord(ObjectNumber number);
// The last step of every creation: records the window and table, installs the
// common hook, sets the control ID and "RT_ID" to the number and the default
// font. Returns the window for a number, the handle for OBJECT_ANY.
intptr_t Gadget_Register(ObjectNumber number, GadgetRecord* gadget, HWND window, const GadgetOps* ops);
// Offers a parent's message about `child` to its gadget; returns the answer or
// NOTIFY_NOT_HANDLED when `child` is no gadget or its kind has no answer.
LRESULT Gadget_Notify(HWND child, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
// Queues EVENT_GADGET_ACTIVITY of `type` for the gadget `window` belongs to,
// in the numbered window it lies in (dropped while events are suppressed).
void Gadget_PostEvent(HWND window, int32_t type);

// ---- Colours and the brush cache ------------------------------------------------------------
// The colour operations of the text and string kinds: front and back colour
// fields, the back colour's brush from the cache, a repaint.
void Gadget_StandardSetColour(GadgetRecord* gadget, int32_t type, int32_t colour);
int32_t Gadget_StandardGetColour(GadgetRecord* gadget, int32_t type);
// Releases the back brush, if any.
void Gadget_StandardFree(GadgetRecord* gadget);
// The one solid brush of a colour, shared and counted; null when it cannot be
// made. Any thread.
HBRUSH Gadget_AcquireBrush(int32_t colour);
// Drops one use of a brush from the cache, deleting it with the last; a brush
// the cache does not hold is ignored. Any thread.
void Gadget_ReleaseBrush(HBRUSH brush);

// ---- Required sizes of the kinds -------------------------------------------------------------
void Gadget_TextRequiredSize(GadgetRecord* gadget, int32_t* width, int32_t* height);
void Gadget_StringRequiredSize(GadgetRecord* gadget, int32_t* width, int32_t* height);
void Gadget_ButtonRequiredSize(GadgetRecord* gadget, int32_t* width, int32_t* height);
