// Test harness of the window and gadget suites: a GUI thread that brings up the
// event and window libraries as start-up does, runs the test's calls between two
// waits of the event loop (or starts one that blocks, such as a requester), and
// logs what Event_Wait returned, while the test thread acts as the user through
// the simulated user.
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
#include <utility>
#include <vector>

#include "platform/simuser.h"
#include "platform/win32.h"
#include "window/event.h"
#include "window/window.h"

// One return of Event_Wait, with the current event's fields.
struct Returned {
  int32_t code;
  ObjectNumber object;
  ObjectNumber window;
  int32_t type;
  bool IsEvent() const { return code >= EVENT_FIRST && code <= EVENT_LAST; }
};

class GuiThread {
 public:
  // A call started with Start; Wait gives whether it finished in time.
  class Pending {
   public:
    bool Wait(DWORD timeout = SIMUSER_TIMEOUT) {
      std::unique_lock<std::mutex> hold(lock_);
      return changed_.wait_for(hold, std::chrono::milliseconds(timeout), [this] { return done_; });
    }

   private:
    friend class GuiThread;
    std::function<void()> body_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool done_ = false;
  };

  // Starts the thread. `startUp` runs on it after the event and window
  // libraries are up (a further library's start-up); `shutDown` before they end.
  explicit GuiThread(std::function<void()> startUp = {}, std::function<void()> shutDown = {})
      : startUp_(std::move(startUp)), shutDown_(std::move(shutDown)), thread_([this] { Loop(); }) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!changed_.wait_for(hold, std::chrono::milliseconds(SIMUSER_TIMEOUT),
                           [this] { return threadId_ != 0; }))
      Fail("the GUI thread did not start");
  }

  // Closes every window and the posted-event window on the GUI thread, then ends it.
  ~GuiThread() {
    Call([this] {
      if (shutDown_) shutDown_();
      Window_End();
      Event_End();
      stop_ = true;
    });
    thread_.join();
  }

  GuiThread(const GuiThread&) = delete;
  GuiThread& operator=(const GuiThread&) = delete;

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
  bool WaitForEvent(int32_t code, ObjectNumber window, DWORD timeout = SIMUSER_TIMEOUT) {
    return WaitFor([=](const Returned& r) { return r.code == code && r.window == window; }, timeout);
  }
  bool WaitForGadgetEvent(ObjectNumber gadget, int32_t type, DWORD timeout = SIMUSER_TIMEOUT) {
    return WaitFor(
        [=](const Returned& r) {
          return r.code == EVENT_GADGET_ACTIVITY && r.object == gadget && r.type == type;
        },
        timeout);
  }

  // Everything Event_Wait returned so far, oldest first.
  std::vector<Returned> Log() {
    std::lock_guard<std::mutex> hold(lock_);
    return log_;
  }
  // The events among it (codes of the event table only).
  std::vector<Returned> Events() { return Where([](const Returned& r) { return r.IsEvent(); }); }
  // The gadget events among it.
  std::vector<Returned> GadgetEvents() {
    return Where([](const Returned& r) { return r.code == EVENT_GADGET_ACTIVITY; });
  }
  void ClearLog() {
    std::lock_guard<std::mutex> hold(lock_);
    log_.clear();
  }

 private:
  static constexpr UINT kTaskMessage = WM_APP + 17;

  [[noreturn]] static void Fail(const char* why) {
    std::fprintf(stderr, "gui thread: %s\n", why);
    std::abort();
  }

  template <typename Match>
  std::vector<Returned> Where(Match match) {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<Returned> found;
    for (const Returned& r : log_)
      if (match(r)) found.push_back(r);
    return found;
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
    if (startUp_) startUp_();
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
  std::function<void()> startUp_, shutDown_;
  std::thread thread_;
};
