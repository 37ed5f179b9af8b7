// The event queue and wait: window-system messages turned into numbered events, posted events, bindings.
#pragma once

#include <cstdint>

#include "core/heap.h"
#include "core/map.h"
#include "core/pool.h"
#include "core/types.h"
#include "platform/win32.h"

// Event codes: everything the window procedure and the gadget library produce.
constexpr int32_t EVENT_GADGET_ACTIVITY = 13100;  // object: gadget number, type: notification code
constexpr int32_t EVENT_MENU = 13101;             // object: command ID
constexpr int32_t EVENT_TRAY = 13102;             // object: icon number, type: 0..3 (button and click)
constexpr int32_t EVENT_ACTIVATE = 13104;
constexpr int32_t EVENT_MINIMIZE = 13107;
constexpr int32_t EVENT_MAXIMIZE = 13108;
constexpr int32_t EVENT_RESTORE = 13109;
constexpr int32_t EVENT_TIMER = 13110;  // object: timer number
constexpr int32_t EVENT_RIGHT_CLICK = 13111;
constexpr int32_t EVENT_LEFT_CLICK = 13112;
constexpr int32_t EVENT_LEFT_DOUBLE_CLICK = 13113;
constexpr int32_t EVENT_DEACTIVATE = 13114;
constexpr int32_t EVENT_REPAINT = 13115;
constexpr int32_t EVENT_WINDOW_CLOSE = 13116;  // object: window number
constexpr int32_t EVENT_WINDOW_MOVE = 13117;   // object: window number
constexpr int32_t EVENT_WINDOW_SIZE = 13118;
constexpr int32_t EVENT_FIRST = EVENT_GADGET_ACTIVITY;
constexpr int32_t EVENT_LAST = EVENT_WINDOW_SIZE;

// Event types of string gadgets.
constexpr int32_t EVENT_TYPE_FOCUS = 14000;
constexpr int32_t EVENT_TYPE_LOST_FOCUS = 14001;

// Queued even while events are suppressed.
constexpr int32_t EVENT_FLAG_FORCE = 1;

// A window-system message whose number equals an event code is returned by
// Event_WaitTimeout as its number plus this offset (no message number reaches
// it), so that a message is never taken for an event.
constexpr int32_t EVENT_MESSAGE_ALIAS = 0x10000;

// Called with an event's data when the event stops being current.
using EventDataRelease = void (*)(intptr_t data);

// One queued event, a block of the event pool.
struct EventRecord {
  EventRecord* next;  // newer event, null at the tail
  int32_t code;
  int32_t flags;
  ObjectNumber object;
  ObjectNumber window;  // window number, -1 when none
  int32_t type;
  intptr_t data;
  EventDataRelease dataRelease;
};

// The event the accessors (Event_Gadget, Event_Window, Event_Type, Event_Data) report.
struct EventCurrent {
  int32_t code;
  ObjectNumber window;
  ObjectNumber object;
  int32_t type;
  intptr_t data;
  EventDataRelease dataRelease;
};

// The event library's state record (one for the process, GUI thread only).
struct EventState {
  BlockPool* pool;
  EventRecord* head;
  EventRecord* tail;
  int32_t suppressCount;
  EventCurrent current;
};

// A callback bound to events (nodes on the main heap).
struct EventCallbackNode {
  EventCallbackNode* next;
  void (*callback)();
};

// An element of the binding map, keyed "code:window:object:type" (-1 = any).
struct EventBinding {
  EventCallbackNode* head;
  ObjectNumber window;  // the window the binding belongs to
};

// The record Event_Post posts to hand the GUI thread an event: on 32-bit
// Windows words 1, 3, 4, 5 and 6 hold code, object, window, type and data;
// words 0 and 2 are not read. Only records that Event_Post made and the window
// has not taken yet are accepted; any other lParam of the message is ignored.
struct EventPost {
  intptr_t reserved0;
  int32_t code;
  intptr_t reserved2;
  ObjectNumber object;
  ObjectNumber window;
  int32_t type;
  intptr_t data;
};

// Start-up: the class "PostEventClass" and the hidden posted-event window, the
// message "RT_PostEventMessage", the event state with its pool, and the binding
// map of 1024 slots. The state and map are kept when called again.
void Event_Init();
// Shut-down: destroys the posted-event window and unregisters its class. The
// state and its queue live on to the end of the process.
void Event_End();

// Returns the next queued event's code or, with an empty queue, takes one
// message of the thread (blocking), applies the Tab accelerators of the active
// window or dispatches it, and returns the message's number (see
// EVENT_MESSAGE_ALIAS). Queued events always come before new messages; events
// queued while a message is dispatched come with the next call.
int32_t Event_Wait();
// As Event_Wait, waiting at most `milliseconds` (-1: block, 0: poll) for a
// message; 0 when nothing came.
int32_t Event_WaitTimeout(int32_t milliseconds);
// Makes the oldest queued event current (releasing the data of the previous
// one) and returns its code; 0 when the queue was empty (the current object
// and window then keep the previous event's values).
int32_t Event_Next();

// The object of the current event: the gadget number of a gadget event.
ObjectNumber Event_Gadget();
// The window number of the current event, -1 when none was found.
ObjectNumber Event_Window();
// The type of the current event (-1 after a message).
int32_t Event_Type();
// The data word of the current event.
intptr_t Event_Data();

// Queues an event (GUI thread). Dropped while events are suppressed unless
// `flags` has EVENT_FLAG_FORCE; dropped when the newest queued event has the
// same code (below 65536), object, window and type. In both cases the
// callbacks bound to it run, with the event current for their time.
void Event_Queue(int32_t code, ObjectNumber object, ObjectNumber window, int32_t type, intptr_t data,
                 EventDataRelease dataRelease, int32_t flags);
// Raise and lower the suppression count; while above 0, events are dropped.
void Event_Suppress();
void Event_Resume();
// Removes every queued event matching code, object, window and type (-1 = any);
// the others keep their order.
void Event_Purge(int32_t code, ObjectNumber object, ObjectNumber window, int32_t type);
// Removes every queued event of a window number.
void Event_PurgeWindow(ObjectNumber window);

// Binds a callback to events (any field -1 = any value) on behalf of `owner`,
// a window number (Event_UnbindWindow removes it with that window). Returns 0
// when memory ran out or the event library is not started.
int32_t Event_Bind(int32_t code, ObjectNumber window, ObjectNumber object, int32_t type, void (*callback)(),
                   ObjectNumber owner);
// Removes every binding that belongs to a window number.
void Event_UnbindWindow(ObjectNumber window);

// Hands the GUI thread an event from any thread through the posted-event
// window: queued (forced) when the GUI thread dispatches it. Returns 0 when it
// could not be posted (nothing is left allocated).
int32_t Event_Post(int32_t code, ObjectNumber object, ObjectNumber window, int32_t type, intptr_t data);

// The procedure of the posted-event window: queues the event of a record
// Event_Post made and releases the record; ignores any other lParam.
LRESULT CALLBACK Event_PostedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
