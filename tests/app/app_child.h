// Runs the uploader with its simulated user (app_sim) in a child process, bounded
// in time, and reads back the transcript of what the screen showed.
#pragma once

#include <string>
#include <vector>

struct ChildRun {
  bool started = false;
  bool timedOut = false;
  int exitCode = -1;               // the exit status, or -1 when the child died of a signal
  std::vector<std::string> lines;  // the transcript
  long long endedMs = -1;          // when its output closed (it exited), steady ms as the child prints them

  // The lines of the first step called `name` (after its "== name" heading).
  std::vector<std::string> Step(const std::string& name) const;
  // Whether a step called `name` was reached.
  bool Reached(const std::string& name) const;
  // The "FAIL: ..." line of a scenario that gave up, or "".
  std::string Failure() const;
  // The whole transcript, for failure messages.
  std::string Text() const;
};

// Runs app_sim with `arguments` ("scenario=tour", "host=127.0.0.1", ...) for at
// most `seconds`; a child still running then is killed.
ChildRun RunUploader(const std::vector<std::string>& arguments, int seconds);
