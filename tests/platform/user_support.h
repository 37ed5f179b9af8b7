// Helpers of the substitute window system's tests: a window class that
// records the messages it receives, and a bounded message pump.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/win32.h"

struct Logged {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Messages received by windows of the "Recorder" class, in order (test thread only).
inline std::vector<Logged>& Log() {
  static std::vector<Logged> log;
  return log;
}

inline LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Log().push_back({window, message, wParam, lParam});
  return DefWindowProcW(window, message, wParam, lParam);
}

// Registers a window class of that name and procedure; false when it exists
// already (registering again is harmless).
inline bool RegisterProcClass(const char16_t* name, WNDPROC proc, HBRUSH background = nullptr) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.lpszClassName = W(name);
  wc.hbrBackground = background;
  return RegisterClassExW(&wc) != 0;
}

inline void RegisterRecorder() {
  RegisterProcClass(u"Recorder", RecorderProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

// A top-level window of a registered class, not shown unless `style` says so.
inline HWND MakeTopOf(const char16_t* cls, const char16_t* title = u"", DWORD style = WS_POPUP, int x = 10,
                      int y = 10, int w = 300, int h = 200) {
  return CreateWindowExW(0, W(cls), W(title), style, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
}

inline HWND MakeTop(const char16_t* title = u"top", DWORD style = WS_OVERLAPPEDWINDOW) {
  RegisterRecorder();
  return MakeTopOf(u"Recorder", title, style);
}

inline HWND MakeChild(HWND parent, int id, const char16_t* cls = u"Recorder", DWORD style = WS_VISIBLE,
                      const char16_t* text = u"", int x = 10, int y = 10, int w = 80, int h = 20) {
  RegisterRecorder();
  return CreateWindowExW(0, W(cls), W(text), WS_CHILD | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

// The messages of the log with these numbers, as (window, message) pairs.
inline std::vector<std::pair<HWND, UINT>> Only(std::initializer_list<UINT> wanted) {
  std::vector<std::pair<HWND, UINT>> out;
  for (const Logged& l : Log())
    for (UINT w : wanted)
      if (l.message == w) out.push_back({l.window, l.message});
  return out;
}

// Dispatches the calling thread's messages until `done` holds; false after the time-out.
template <class F>
bool PumpUntil(F done, int timeoutMs = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  MSG m;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
      if (done()) return true;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// Dispatches whatever is there now, paints included.
inline void PumpPending() {
  MSG m;
  for (int i = 0; i < 1000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); i++) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}
