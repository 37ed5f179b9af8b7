// What the simulated user of the uploader reads off the screen, and the
// transcript it prints of it: one "== step" line per step, then what showed.
#pragma once

#include <string>
#include <vector>

#include "platform/simuser.h"

// The UTF-8 form of a UTF-16 text (what the transcript prints), and the
// UTF-16 form of a UTF-8 text (a path given on the command line); a byte that
// starts no well-formed sequence becomes U+FFFD and sets *illFormed.
std::string Sim_Narrow(const std::u16string& text);
std::u16string Sim_Wide(const std::string& text, bool* illFormed = nullptr);

// Prints a step heading and lines of the transcript (whole lines, flushed, any thread).
void Sim_Step(const std::string& name);
void Sim_Say(const std::string& line);
// Prints "FAIL: why" and ends the process with code 2.
[[noreturn]] void Sim_Fail(const std::string& why);

// The program's window "Tilepost", waited for; fails the run when it does not come.
HWND Sim_MainWindow();
// A gadget of the window by number, null when it does not exist.
HWND Sim_Gadget(HWND top, int number);
// The text of a gadget, "" when it does not exist.
std::string Sim_Text(HWND top, int number);
// The window and its gadgets in Z order: the title and state, then one line per
// gadget: number, class, text (or a bar's range and position), position and
// size in the client area, and "focus" on the one that has it.
std::vector<std::string> Sim_Screen(HWND top);
// Prints the screen under a step heading.
void Sim_ShowScreen(const std::string& step, HWND top);
// Waits until `gadget` exists (or, with `exists` false, is gone); fails the run otherwise.
void Sim_WaitGadget(HWND top, int gadget, bool exists = true, DWORD timeout = SIMUSER_TIMEOUT);
// Waits for a message box, prints it under the step and answers OK.
void Sim_AnswerMessage(const std::string& step);
// A message box on the screen now: "caption / text", or "" when none.
std::string Sim_MessageNow();
