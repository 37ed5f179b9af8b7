// Names shared inside the gadget library: the creation steps every kind takes.
#pragma once

#include <cstdint>

#include "gadget/gadget.h"

// Creates the gadget library lock (once; any thread).
void Gadget_InitLock();

// Style bits every kind's window has.
constexpr DWORD GADGET_STYLE_CHILD = WS_CHILD | WS_VISIBLE;

// Creates a kind's window as a child of the current gadget list window, with
// the size as given and control ID `id`; null when it cannot be created (no
// current gadget list, or the window system refuses).
HWND Gadget_CreateWindow(DWORD exStyle, const char16_t* className, const char16_t* text, DWORD style,
                         int32_t x, int32_t y, int32_t width, int32_t height, intptr_t id);
// The zeroed record for `number` (a number in use is freed first, its window
// after the new one exists). When no record can be had, destroys the new
// window and returns null, so a failed creation leaves nothing behind.
GadgetRecord* Gadget_AllocateRecord(ObjectNumber number, HWND window);
// Answers a control-colour message from the record's colours: the text colour,
// and the back colour with its brush (or `systemColour` behind a front colour
// alone). NOTIFY_NOT_HANDLED when both colours are the default.
LRESULT Gadget_ColourAnswer(GadgetRecord* gadget, HDC dc, int systemColour);
