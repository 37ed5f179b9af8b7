// Reading the uploader's screen for the simulated user, and the transcript.
#include "tests/app/sim_screen.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "platform/linux/utf8.h"

namespace {

std::mutex& printing() {
  static std::mutex lock;
  return lock;
}

std::string quoted(const std::u16string& text) { return "\"" + Sim_Narrow(text) + "\""; }

}  // namespace

std::string Sim_Narrow(const std::u16string& text) { return Utf8_FromUtf16(text); }

std::u16string Sim_Wide(const std::string& text, bool* illFormed) { return Utf16_FromUtf8(text, illFormed); }

void Sim_Step(const std::string& name) { Sim_Say("== " + name); }

void Sim_Say(const std::string& line) {
  std::lock_guard<std::mutex> hold(printing());
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void Sim_Fail(const std::string& why) {
  Sim_Say("FAIL: " + why);
  _exit(2);
}

HWND Sim_MainWindow() {
  HWND top = SimUser_WaitWindow(nullptr, u"Tilepost", SIMUSER_TIMEOUT);
  if (!top) Sim_Fail("the window \"Tilepost\" did not open");
  return top;
}

HWND Sim_Gadget(HWND top, int number) { return SimUser_FindControlById(top, number); }

std::string Sim_Text(HWND top, int number) {
  HWND gadget = Sim_Gadget(top, number);
  return gadget ? Sim_Narrow(SimUser_Text(gadget)) : "";
}

std::vector<std::string> Sim_Screen(HWND top) {
  std::vector<std::string> lines;
  SimWindow window;
  if (!SimUser_Read(top, &window)) return {"no window"};
  lines.push_back("window " + quoted(window.text) + (window.maximized ? " maximized" : "") +
                  (window.minimized ? " minimized" : "") + (window.visible ? "" : " hidden"));
  HWND focus = SimUser_Focus();
  for (HWND child = GetWindow(top, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    SimWindow gadget;
    if (!SimUser_Read(child, &gadget)) continue;
    std::string line = std::to_string(gadget.id) + " " + Sim_Narrow(gadget.className) + " ";
    int low, high, position;
    if (SimUser_Progress(child, &low, &high, &position))
      line += std::to_string(low) + ".." + std::to_string(high) + " at " + std::to_string(position);
    else
      line += quoted(gadget.text);
    line += " " + std::to_string(gadget.rect.left - window.client.left) + "," +
            std::to_string(gadget.rect.top - window.client.top) + " " +
            std::to_string(gadget.rect.right - gadget.rect.left) + "x" +
            std::to_string(gadget.rect.bottom - gadget.rect.top);
    if (child == focus) line += " focus";
    lines.push_back(line);
  }
  return lines;
}

void Sim_ShowScreen(const std::string& step, HWND top) {
  std::vector<std::string> lines = Sim_Screen(top);
  std::lock_guard<std::mutex> hold(printing());
  std::string text = "== " + step + "\n";
  for (const std::string& line : lines) text += line + "\n";
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void Sim_WaitGadget(HWND top, int gadget, bool exists, DWORD timeout) {
  auto deadline = GetTickCount() + timeout;
  while ((Sim_Gadget(top, gadget) != nullptr) != exists) {
    if (static_cast<int32_t>(GetTickCount() - deadline) >= 0)
      Sim_Fail("gadget " + std::to_string(gadget) + (exists ? " did not appear" : " did not go"));
    Sleep(2);
  }
}

void Sim_AnswerMessage(const std::string& step) {
  SimMessageBox box;
  if (!SimUser_AnswerMessageBox(IDOK, &box, SIMUSER_TIMEOUT)) Sim_Fail("no message box to answer at " + step);
  Sim_Step(step);
  Sim_Say("message " + quoted(box.caption) + " / " + quoted(box.text));
}

std::string Sim_MessageNow() {
  SimMessageBox box;
  if (!SimUser_WaitMessageBox(&box, 0)) return "";
  return Sim_Narrow(box.caption) + " / " + Sim_Narrow(box.text);
}
