// Test harness: a GUI thread that runs the event loop as the application does, runs the test's calls
// between two waits, and logs what Event_Wait returned, while the test thread acts as the user.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
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
  // Starts the thread; it brings up the event and window libraries as start-up does.
  GuiThread() : thread_([this] { Loop(); }) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!changed_.wait_for(hold, std::chrono::milliseconds(SIMUSER_TIMEOUT),
                           [this] { return threadId_ != 0; }))
      Fail("the GUI thread did not start");
  }

  // Closes every window and the posted-event window on the GUI thread, then ends it.
  ~GuiThread() {
    Run([this] {
      Window_End();
      Event_End();
      stop_ = true;
    });
    thread_.join();
  }

  GuiThread(const GuiThread&) = delete;
  GuiThread& operator=(const GuiThread&) = delete;

  // Runs `body` on the GUI thread between two waits and returns its result.
  template <typename F>
  auto Call(F body) -> decltype(body()) {
    using Result = decltype(body());
    if constexpr (std::is_void_v<Result>) {
      Run(std::function<void()>(body));
    } else {
      Result result{};
      Run([&] { result = body(); });
      return result;
    }
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

  // Everything Event_Wait returned so far, oldest first.
  std::vector<Returned> Log() {
    std::lock_guard<std::mutex> hold(lock_);
    return log_;
  }
  // The events among it (codes of the event table only).
  std::vector<Returned> Events() {
    std::vector<Returned> events;
    for (const Returned& r : Log())
      if (r.IsEvent()) events.push_back(r);
    return events;
  }
  void ClearLog() {
    std::lock_guard<std::mutex> hold(lock_);
    log_.clear();
  }

 private:
  // A call for the GUI thread; it reaches it as a thread message through Event_Wait.
  struct Task {
    std::function<void()> body;
    bool done = false;
  };
  static constexpr UINT kTaskMessage = WM_APP + 17;

  [[noreturn]] static void Fail(const char* why) {
    std::fprintf(stderr, "gui thread: %s\n", why);
    std::abort();
  }

  void Run(std::function<void()> body) {
    Task task{std::move(body)};
    if (!PostThreadMessageW(threadId_, kTaskMessage, 0, reinterpret_cast<LPARAM>(&task)))
      Fail("cannot post to the GUI thread");
    std::unique_lock<std::mutex> hold(lock_);
    // A call that never ends would leave the task dangling: stop the program instead.
    if (!changed_.wait_for(hold, std::chrono::milliseconds(SIMUSER_TIMEOUT), [&] { return task.done; }))
      Fail("a call on the GUI thread did not finish");
  }

  void Loop() {
    MSG peek;
    PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE);
    Event_Init();
    Window_Init();
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
        auto* task = reinterpret_cast<Task*>(Window_GetState()->lastLParam);
        task->body();
        std::lock_guard<std::mutex> hold(lock_);
        task->done = true;
        changed_.notify_all();
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
