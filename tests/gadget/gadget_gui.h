// The gadget suites' GUI thread: the shared harness, with the gadget library
// brought up after the window library and ended before it.
#pragma once

#include "gadget/gadget.h"
#include "tests/support/gui_thread.h"

class GadgetGui : public GuiThread {
 public:
  GadgetGui() : GuiThread(Gadget_Init, Gadget_End) {}
};

// The events queued on the GUI thread and not yet returned, taken in order
// (call it on the GUI thread, inside a Call).
inline std::vector<Returned> Gadget_TakeQueuedEvents() {
  std::vector<Returned> events;
  while (int32_t code = Event_Next()) events.push_back({code, Event_Gadget(), Event_Window(), Event_Type()});
  return events;
}

inline HWND HandleOf(intptr_t created) { return reinterpret_cast<HWND>(created); }
