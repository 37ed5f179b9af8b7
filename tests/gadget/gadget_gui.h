// Test harness of the gadget suites: a GUI thread that starts the event, window and gadget
// libraries, runs the test's calls between two waits of the event loop (or starts one that
// blocks, such as a requester), and logs what Event_Wait returned; the test thread acts as
// the user through the simulated user.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "gadget/gadget.h"
#include "platform/simuser.h"
#include "platform/win32.h"
#include "window/event.h"
#include "window/window.h"

// One return of Event_Wait with the fields of the event it made current.
struct Returned {
  int32_t code;
  ObjectNumber object;
  ObjectNumber window;
  int32_t type;
};

class GadgetGui {
 public:
  // A call started with Start; Wait gives whether it finished in time.
  class Pending {
   public:
    bool Wait(DWORD timeout = SIMUSER_TIMEOUT) {
      std::unique_lock<std::mutex> hold(lock_);
      return changed_.wait_for(hold, std::chrono::milliseconds(timeout), [this] { return done_; });
    }

   private:
    friend class GadgetGui;
    std::function<void()> body_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool done_ = false;
  };

  GadgetGui() : thread_([this] { Loop(); }) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!changed_.wait_for(hold, std::chrono::milliseconds(SIMUSER_TIMEOUT),
                           [this] { return threadId_ != 0; }))
      Fail("the GUI thread did not start");
  }

  // Closes every window (and so every gadget) on the GUI thread, then ends it.
  ~GadgetGui() {
    Call([this] {
      Gadget_End();
      Window_End();
      Event_End();
      stop_ = true;
    });
    thread_.join();
  }

  GadgetGui(const GadgetGui&) = delete;
  GadgetGui& operator=(const GadgetGui&) = delete;

  DWORD ThreadId() const { return threadId_; }

  // Runs `body` on the GUI thread between two waits and returns its result.
  template <typename F>
  auto Call(F body) -> decltype(body()) {
    using Result = decltype(body());
    if constexpr (std::is_void_v<Result>) {
      Finish(Start(std::function<void()>(body)));
    } else {
      Result result{};
      Finish(Start([&] { result = body(); }));
      return result;
    }
  }

  // Starts `body` on the GUI thread and returns at once; the call may block
  // there (a modal requester) while the test acts as the user.
  std::shared_ptr<Pending> Start(std::function<void()> body) {
    auto pending = std::make_shared<Pending>();
    pending->body_ = std::move(body);
    // The GUI thread holds its own reference until the body has run.
    auto* carried = new std::shared_ptr<Pending>(pending);
    if (!PostThreadMessageW(threadId_, kTaskMessage, 0, reinterpret_cast<LPARAM>(carried)))
      Fail("cannot post to the GUI thread");
    return pending;
  }

  // Waits, bounded, until Event_Wait has returned something that `match` accepts.
  bool WaitFor(const std::function<bool(const Returned&)>& match, DWORD timeout = SIMUSER_TIMEOUT) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeout), [&] {
      for (const Returned& r : log_)
        if (match(r)) return true;
      return false;
    });
  }
  bool WaitForGadgetEvent(ObjectNumber gadget, int32_t type, DWORD timeout = SIMUSER_TIMEOUT) {
    return WaitFor(
        [=](const Returned& r) {
          return r.code == EVENT_GADGET_ACTIVITY && r.object == gadget && r.type == type;
        },
        timeout);
  }

  // The gadget events returned so far, oldest first.
  std::vector<Returned> GadgetEvents() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<Returned> events;
    for (const Returned& r : log_)
      if (r.code == EVENT_GADGET_ACTIVITY) events.push_back(r);
    return events;
  }
  void ClearLog() {
    std::lock_guard<std::mutex> hold(lock_);
    log_.clear();
  }

 private:
  static constexpr UINT kTaskMessage = WM_APP + 23;

  [[noreturn]] static void Fail(const char* why) {
    std::fprintf(stderr, "gadget gui thread: %s\n", why);
    std::abort();
  }

  void Finish(const std::shared_ptr<Pending>& pending) {
    // A call that never ends would leave the test's frame in use: stop instead.
    if (!pending->Wait()) Fail("a call on the GUI thread did not finish");
  }

  void Loop() {
    MSG peek;
    PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE);
    Event_Init();
    Window_Init();
    Gadget_Init();
    // Leftovers of an earlier test in the same process.
    Event_Purge(-1, -1, -1, -1);
    {
      std::lock_guard<std::mutex> hold(lock_);
      threadId_ = GetCurrentThreadId();
    }
    changed_.notify_all();
    while (!stop_) {
      const int32_t code = Event_Wait();
      if (code == static_cast<int32_t>(kTaskMessage)) {
        // The task travels in the message's lParam, which Event_Wait keeps.
        auto* carried = reinterpret_cast<std::shared_ptr<Pending>*>(Window_GetState()->lastLParam);
        std::shared_ptr<Pending> pending = std::move(*carried);
        delete carried;
        pending->body_();
        std::lock_guard<std::mutex> hold(pending->lock_);
        pending->done_ = true;
        pending->changed_.notify_all();
        continue;
      }
      std::lock_guard<std::mutex> hold(lock_);
      log_.push_back({code, Event_Gadget(), Event_Window(), Event_Type()});
      changed_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Returned> log_;
  DWORD threadId_ = 0;
  bool stop_ = false;  // GUI thread only
  std::thread thread_;
};

// The events queued on the GUI thread and not yet returned, taken in order
// (call it on the GUI thread, inside a Call).
inline std::vector<Returned> Gadget_TakeQueuedEvents() {
  std::vector<Returned> events;
  while (int32_t code = Event_Next()) events.push_back({code, Event_Gadget(), Event_Window(), Event_Type()});
  return events;
}

inline HWND HandleOf(intptr_t created) { return reinterpret_cast<HWND>(created); }
