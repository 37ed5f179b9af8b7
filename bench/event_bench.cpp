// The event queue against a standard queue of the same records, and the event wait against a bare message
// loop.
#include <deque>

#include "bench.h"
#include "platform/win32.h"
#include "window/event.h"
#include "window/window.h"

namespace {

constexpr int kBatch = 8;  // events queued before the application waits again

void startEvents() {
  Event_Init();
  Window_Init();
}

// Distinct events (no merging), then taken one by one as Event_Wait takes them.
void BM_EventQueueNext(benchmark::State& state) {
  startEvents();
  for (auto _ : state) {
    for (int i = 0; i < kBatch; i++) Event_Queue(EVENT_GADGET_ACTIVITY, i, 0, 0, 0, nullptr, 0);
    for (int i = 0; i < kBatch; i++) benchmark::DoNotOptimize(Event_Next());
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_EventQueueNext);

void BM_DequeEvents(benchmark::State& state) {
  std::deque<EventRecord> queue;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; i++)
      queue.push_back({nullptr, EVENT_GADGET_ACTIVITY, 0, i, 0, 0, 0, nullptr});
    for (int i = 0; i < kBatch; i++) {
      benchmark::DoNotOptimize(queue.front().code);
      queue.pop_front();
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_DequeEvents);

BENCH_RATIO("event queue+next vs std::deque", "BM_EventQueueNext", "BM_DequeEvents");

// One posted message through the whole wait: accelerator choice, dispatch to
// the window procedure, the event it queues, and that event on the next call.
void BM_EventWaitMessage(benchmark::State& state) {
  startEvents();
  HWND window = reinterpret_cast<HWND>(
      Window_Open(0, 0, 0, 100, 50, u"Bench", WINDOW_INVISIBLE | WINDOW_NO_GADGETS | WS_SYSMENU));
  for (auto _ : state) {
    PostMessageW(window, WM_TIMER, 1, 0);
    benchmark::DoNotOptimize(Event_WaitTimeout(0));  // the message
    benchmark::DoNotOptimize(Event_WaitTimeout(0));  // its event
  }
  Window_Close(0);
}
BENCHMARK(BM_EventWaitMessage);

// The same message through the window system's own loop, straight to a default procedure.
void BM_PeekDispatch(benchmark::State& state) {
  HWND window = CreateWindowExW(0, W(u"Static"), W(u""), WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  MSG msg;
  for (auto _ : state) {
    PostMessageW(window, WM_TIMER, 1, 0);
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    benchmark::DoNotOptimize(msg.message);
  }
  DestroyWindow(window);
}
BENCHMARK(BM_PeekDispatch);

BENCH_RATIO("event wait (message and its event) vs peek+dispatch", "BM_EventWaitMessage", "BM_PeekDispatch");

}  // namespace
