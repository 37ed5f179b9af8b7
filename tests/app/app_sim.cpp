// The uploader with a simulated user: the program's own entry runs on the main
// thread while a second thread uses it as a person would, following one of the
// scenarios below, and prints what the screen showed at each step.
//
// app_sim scenario=NAME [host=HOST port=PORT] [file=PATH ...] [pause=GROUP] [wait=SECONDS]
// Without host and port the program runs with its built-in server. Paths are
// UTF-8. `pause` names the FTP server's process group, which the cancel
// scenario holds still for a moment so that the user can see the button while
// the upload stops; `wait` is how long the idle scenario leaves the program alone.
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/uploader.h"
#include "tests/app/sim_screen.h"

namespace {

struct Arguments {
  std::string scenario;
  std::string host;
  int port = 0;
  std::vector<std::string> files;
  int pauseGroup = 0;
  int waitSeconds = 0;
};
Arguments arguments;
clockid_t guiClock;

const std::string& file(size_t index) {
  if (index >= arguments.files.size()) Sim_Fail("the scenario needs file " + std::to_string(index + 1));
  return arguments.files[index];
}

// Steady milliseconds, comparable between processes (the test's clock too).
long long steadyMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Lets the program take what was given so far.
void settle() {
  if (!SimUser_Idle(SIMUSER_TIMEOUT)) Sim_Fail("the program did not become idle");
}

HWND focusedGadget(HWND top) {
  HWND focus = SimUser_Focus();
  return focus && GetParent(focus) == top ? focus : nullptr;
}

// Tab until `gadget` has the focus (at most a round of the screen's tab stops).
void tabTo(HWND top, int gadget) {
  for (int presses = 0; presses < 8; presses++) {
    HWND focus = focusedGadget(top);
    if (focus && focus == Sim_Gadget(top, gadget)) return;
    SimUser_Press(VK_TAB);
    settle();
  }
  Sim_Fail("Tab does not reach gadget " + std::to_string(gadget));
}

// Browse is 0 pixels high: the user reaches it with Tab and presses Space.
void browse(HWND top, const std::string& path, const std::string& step) {
  tabTo(top, GADGET_BROWSE);
  SimUser_Press(VK_SPACE);
  SimFileDialog dialog;
  std::u16string wide = Sim_Wide(path);
  if (!SimUser_AnswerFileDialog(path.empty() ? nullptr : wide.c_str(), &dialog, SIMUSER_TIMEOUT))
    Sim_Fail("no file dialog after Browse");
  Sim_Step(step);
  std::string filters;
  for (const auto& [description, pattern] : dialog.filters)
    filters += " \"" + Sim_Narrow(description) + "|" + Sim_Narrow(pattern) + "\"";
  Sim_Say("file dialog \"" + Sim_Narrow(dialog.title) + "\"" + filters + " showing " +
          std::to_string(dialog.filterIndex) + (dialog.save ? " save" : " open"));
  Sim_Say(path.empty() ? "cancelled" : "chose " + path);
  settle();
}

void clickGadget(HWND top, int gadget) {
  HWND button = Sim_Gadget(top, gadget);
  if (!button || !SimUser_Click(button)) Sim_Fail("cannot click gadget " + std::to_string(gadget));
}

// One line of the progress screen's four figures.
std::string figures(HWND top) {
  int position = -1;
  SimUser_Progress(Sim_Gadget(top, GADGET_PROGRESS), nullptr, nullptr, &position);
  return "progress \"" + Sim_Text(top, GADGET_SENT_VALUE) + "\" \"" + Sim_Text(top, GADGET_SIZE_VALUE) +
         "\" \"" + Sim_Text(top, GADGET_PERCENT_VALUE) + "\" " + std::to_string(position);
}

// Presses upload and waits for the progress screen.
void startUpload(HWND top) {
  clickGadget(top, GADGET_UPLOAD);
  Sim_WaitGadget(top, GADGET_CANCEL);
  settle();
  Sim_ShowScreen("progress screen", top);
}

// Prints each change of the figures until a message box shows (or `until` holds), bounded.
template <class Until>
void watchProgress(HWND top, DWORD timeout, Until until) {
  Sim_Step("progress");
  std::string last;
  const DWORD deadline = GetTickCount() + timeout;
  for (;;) {
    if (!Sim_MessageNow().empty() || until()) return;
    if (static_cast<int32_t>(GetTickCount() - deadline) >= 0) Sim_Fail("the upload did not end in time");
    std::string now = figures(top);
    if (now != last) Sim_Say(now);
    last = now;
    Sleep(5);
  }
}

// Waits for "Finished!", shows the screen under it, answers it and shows the idle screen.
void finish(HWND top, const std::string& step) {
  SimMessageBox box;
  if (!SimUser_WaitMessageBox(&box, 60000)) Sim_Fail("no message after the upload");
  Sim_ShowScreen(step + ": under the message", top);
  Sim_AnswerMessage(step);
  Sim_WaitGadget(top, GADGET_UPLOAD);
  settle();
  Sim_ShowScreen(step + ": idle screen", top);
}

void closeWindow(HWND top) {
  Sim_Step("close the window");
  Sim_Say("at " + std::to_string(steadyMs()) + " ms");
  if (!SimUser_CloseBox(top)) Sim_Fail("the window has no close box");
  // The program ends the process from here on.
}

// Waits until the transferred amount is above zero.
void waitForBytes(HWND top) {
  const DWORD deadline = GetTickCount() + 30000;
  for (;;) {
    std::string sent = Sim_Text(top, GADGET_SENT_VALUE);
    if (!sent.empty() && sent != "0.00 MB") return;
    if (!Sim_MessageNow().empty()) Sim_Fail("the upload ended before the user could act");
    if (static_cast<int32_t>(GetTickCount() - deadline) >= 0) Sim_Fail("nothing was sent");
    Sleep(5);
  }
}

// Empties the path field by keys, as a user would, and types `path` into it.
void retypePath(HWND top, const std::string& path) {
  tabTo(top, GADGET_PATH);
  SimUser_Press(VK_END);
  const size_t length = Sim_Text(top, GADGET_PATH).size();
  for (size_t i = 0; i < length; i++) SimUser_Press(VK_BACK);
  SimUser_Type(Sim_Wide(path).c_str());
  settle();
}

// Browses the first map and uploads it until bytes move.
void uploadUntilBytesMove(HWND top) {
  browse(top, file(0), "browse");
  startUpload(top);
  waitForBytes(top);
}

// Waits for the idle screen after a cancel and shows it as `title`.
void waitForIdleScreen(HWND top, const char* title) {
  Sim_WaitGadget(top, GADGET_UPLOAD, true, 30000);
  settle();
  Sim_ShowScreen(title, top);
}

// ---- Scenarios ------------------------------------------------------------------------

// Pick a map with Browse, upload it, watch it go, see "Finished!".
void tour(HWND top) {
  browse(top, file(0), "browse");
  Sim_ShowScreen("idle screen after browse", top);
  startUpload(top);
  watchProgress(top, 120000, [] { return false; });
  finish(top, "finished");
  closeWindow(top);
}

// Whether the cancel button shows "canceling" on the screen: set and painted.
bool cancelingShown(HWND top) {
  SimWindow button;
  return SimUser_Read(Sim_Gadget(top, GADGET_CANCEL), &button) && button.text == u"canceling" &&
         button.painted;
}

// Upload, cancel half-way, see the button say so, return to the idle screen.
void cancel(HWND top) {
  uploadUntilBytesMove(top);
  Sim_Say(figures(top));
  // Held still, the server cannot let the upload end before the user looks.
  if (arguments.pauseGroup) kill(-arguments.pauseGroup, SIGSTOP);
  clickGadget(top, GADGET_CANCEL);
  const DWORD deadline = GetTickCount() + SIMUSER_TIMEOUT;
  while (!cancelingShown(top) && Sim_Gadget(top, GADGET_CANCEL) &&
         static_cast<int32_t>(GetTickCount() - deadline) < 0)
    Sleep(1);
  const bool shown = cancelingShown(top);
  Sim_ShowScreen("after cancel", top);
  Sim_Say(shown ? "canceling painted" : "canceling not painted");
  if (arguments.pauseGroup) kill(-arguments.pauseGroup, SIGCONT);
  waitForIdleScreen(top, "idle screen");
  closeWindow(top);
}

// Upload, let the sockets fill, then cancel and time the way back to the idle
// screen, watching on the way for "canceling" on the button.
void cancelTimed(HWND top) {
  uploadUntilBytesMove(top);
  // Long enough for the sockets' buffers to fill towards a slow server.
  Sleep(1500);
  if (!Sim_MessageNow().empty()) Sim_Fail("the upload ended before the user could cancel");
  const long long pressed = steadyMs();
  clickGadget(top, GADGET_CANCEL);
  bool shown = false;
  while (!Sim_Gadget(top, GADGET_UPLOAD)) {
    shown = shown || cancelingShown(top);
    if (steadyMs() - pressed > 30000) Sim_Fail("the idle screen did not come back");
    Sleep(1);
  }
  const long long back = steadyMs();
  Sim_Step("cancel");
  Sim_Say(shown ? "canceling painted" : "canceling not painted");
  Sim_Say("idle screen after " + std::to_string(back - pressed) + " ms");
  settle();
  Sim_ShowScreen("idle screen", top);
  closeWindow(top);
}

// A map uploaded to "Finished!"; then the same name once more from a path
// that names no file, cancelled once it has failed; then "upload" with the
// field left empty.
void uploadAgain(HWND top) {
  browse(top, file(0), "browse");
  startUpload(top);
  finish(top, "finished");
  browse(top, file(0), "browse again");
  retypePath(top, file(1));
  startUpload(top);
  // Time for the upload to fail; cancelled earlier, it must send nothing either.
  Sleep(300);
  Sim_Step("failed upload");
  Sim_Say(figures(top));
  clickGadget(top, GADGET_CANCEL);
  waitForIdleScreen(top, "idle screen after cancel");
  clickGadget(top, GADGET_UPLOAD);
  Sim_AnswerMessage("upload with the field empty");
  settle();
  Sim_ShowScreen("after upload with the field empty", top);
  closeWindow(top);
}

// Browse, wait past the server's idle time-out, then upload to "Finished!".
void idleThenUpload(HWND top) {
  browse(top, file(0), "browse");
  Sim_Step("waiting " + std::to_string(arguments.waitSeconds) + " s");
  Sleep(static_cast<DWORD>(arguments.waitSeconds) * 1000);
  startUpload(top);
  watchProgress(top, 30000, [] { return false; });
  finish(top, "finished");
  closeWindow(top);
}

// A path typed without Browse, then names that are no maps: each is refused.
void refuse(HWND top) {
  SimUser_Type(Sim_Wide(file(0)).c_str());
  settle();
  Sim_ShowScreen("typed", top);
  clickGadget(top, GADGET_UPLOAD);
  Sim_AnswerMessage("upload typed");
  settle();
  Sim_ShowScreen("after upload typed", top);
  for (size_t i = 1; i < arguments.files.size(); i++) {
    browse(top, file(i), "browse " + std::to_string(i));
    Sim_ShowScreen("before upload " + std::to_string(i), top);
    clickGadget(top, GADGET_UPLOAD);
    Sim_AnswerMessage("upload " + std::to_string(i));
    settle();
    Sim_ShowScreen("after upload " + std::to_string(i), top);
  }
  // A map chosen, then Browse cancelled: path, name and size are gone.
  browse(top, file(0), "browse the map");
  browse(top, "", "browse cancelled");
  Sim_ShowScreen("after cancelled browse", top);
  clickGadget(top, GADGET_UPLOAD);
  Sim_AnswerMessage("upload after cancelled browse");
  closeWindow(top);
}

// Browse one map, then edit the path field to another file before the upload.
void editPath(HWND top) {
  browse(top, file(0), "browse");
  retypePath(top, file(1));
  Sim_ShowScreen("edited", top);
  startUpload(top);
  watchProgress(top, 120000, [] { return false; });
  finish(top, "finished");
  closeWindow(top);
}

// Upload, watch the amount sent grow a few times, then close the window half-way.
void closeDuringUpload(HWND top) {
  uploadUntilBytesMove(top);
  int changes = 0;
  std::string last;
  watchProgress(top, 30000, [&] {
    std::string sent = Sim_Text(top, GADGET_SENT_VALUE);
    if (sent != last) changes++;
    last = sent;
    return changes > 3;
  });
  closeWindow(top);
}

// The idle "cancel", reached by Tab, ends the program.
void quitByTab(HWND top) {
  Sim_Step("tab order");
  for (int presses = 0; presses < 4; presses++) {
    HWND focus = focusedGadget(top);
    SimWindow seen;
    Sim_Say(focus && SimUser_Read(focus, &seen) ? "focus " + std::to_string(seen.id) : "focus none");
    if (presses < 3) {
      SimUser_Press(VK_TAB);
      settle();
    }
  }
  Sim_Step("press cancel");
  SimUser_Press(VK_SPACE);
}

// Nothing answers at the server's address: after the message the window
// works, but an upload shows no progress until it is cancelled.
void unreachable(HWND top) {
  browse(top, file(0), "browse");
  startUpload(top);
  Sim_Step("progress");
  Sim_Say(figures(top));
  clickGadget(top, GADGET_CANCEL);
  Sim_WaitGadget(top, GADGET_UPLOAD);
  settle();
  Sim_ShowScreen("idle screen", top);
  if (!Sim_MessageNow().empty()) Sim_Fail("a message over the window: " + Sim_MessageNow());
  closeWindow(top);
}

// Upload, read what the screen shows once bytes move, cancel.
void showSize(HWND top) {
  uploadUntilBytesMove(top);
  Sim_Step("sending");
  Sim_Say(figures(top));
  clickGadget(top, GADGET_CANCEL);
  waitForIdleScreen(top, "idle screen");
  closeWindow(top);
}

// The benchmark: upload, and report the GUI thread's CPU time and the refresh
// passes while it ran.
void bench(HWND top) {
  browse(top, file(0), "browse");
  timespec cpu0, cpu1, wall0, wall1;
  clock_gettime(guiClock, &cpu0);
  clock_gettime(CLOCK_MONOTONIC, &wall0);
  const uint32_t passes0 = Uploader_RefreshPasses.load(std::memory_order_relaxed);
  clickGadget(top, GADGET_UPLOAD);
  SimMessageBox box;
  if (!SimUser_WaitMessageBox(&box, 600000)) Sim_Fail("the upload did not finish");
  clock_gettime(guiClock, &cpu1);
  clock_gettime(CLOCK_MONOTONIC, &wall1);
  const uint32_t passes1 = Uploader_RefreshPasses.load(std::memory_order_relaxed);
  auto seconds = [](const timespec& a, const timespec& b) {
    return static_cast<double>(b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) / 1e9;
  };
  Sim_Step("measured");
  char line[200];
  std::snprintf(line, sizeof line, "wall %.6f cpu %.6f passes %u", seconds(wall0, wall1), seconds(cpu0, cpu1),
                passes1 - passes0);
  Sim_Say(line);
  Sim_AnswerMessage("finished");
  closeWindow(top);
}

const std::map<std::string, void (*)(HWND)> scenarios = {
    {"tour", tour},         {"cancel", cancel},
    {"refuse", refuse},     {"close", closeDuringUpload},
    {"quit", quitByTab},    {"unreachable", unreachable},
    {"size", showSize},     {"edit", editPath},
    {"bench", bench},       {"cancel-timed", cancelTimed},
    {"again", uploadAgain}, {"idle", idleThenUpload},
};

void user(void (*scenario)(HWND)) {
  // A message can come before the window: the failed login.
  Sim_Step("start");
  const DWORD deadline = GetTickCount() + SIMUSER_TIMEOUT;
  HWND top = nullptr;
  while (!top) {
    if (!Sim_MessageNow().empty()) Sim_AnswerMessage("message before the window");
    top = SimUser_FindWindow(nullptr, u"Tilepost");
    if (static_cast<int32_t>(GetTickCount() - deadline) >= 0)
      Sim_Fail("the window \"Tilepost\" did not open");
    Sleep(2);
  }
  settle();
  if (!Sim_MessageNow().empty()) Sim_Fail("a message over the window: " + Sim_MessageNow());
  Sim_ShowScreen("window", top);
  scenario(top);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    size_t equals = a.find('=');
    std::string key = a.substr(0, equals), value = equals == std::string::npos ? "" : a.substr(equals + 1);
    if (key == "scenario")
      arguments.scenario = value;
    else if (key == "host")
      arguments.host = value;
    else if (key == "port")
      arguments.port = std::atoi(value.c_str());
    else if (key == "file") {
      // Paths are typed as the characters their UTF-8 bytes spell.
      bool illFormed = false;
      Sim_Wide(value, &illFormed);
      if (illFormed) Sim_Fail("the path " + value + " is not UTF-8");
      arguments.files.push_back(value);
    } else if (key == "pause")
      arguments.pauseGroup = std::atoi(value.c_str());
    else if (key == "wait")
      arguments.waitSeconds = std::atoi(value.c_str());
    else
      Sim_Fail("unknown argument " + a);
  }
  auto scenario = scenarios.find(arguments.scenario);
  if (scenario == scenarios.end()) Sim_Fail("unknown scenario \"" + arguments.scenario + "\"");
  pthread_getcpuclockid(pthread_self(), &guiClock);

  std::thread(user, scenario->second).detach();
  if (arguments.host.empty()) Uploader_Main();
  const std::u16string host = Sim_Wide(arguments.host);
  Uploader_MainWith(host.c_str(), arguments.port);
}
