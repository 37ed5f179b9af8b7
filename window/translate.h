// The translation of window messages into events, for the window procedure.
#pragma once

#include "platform/win32.h"

// Turns a message to a top-level window into events and answers what the
// window system must not handle by default. Returns true with *result set when
// it answered, false when the message goes on to default processing.
bool Window_MessageToEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
