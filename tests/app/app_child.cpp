// The uploader in a child process: spawned with its output on a pipe, waited for
// with a deadline, and killed when it overstays.
#include "tests/app/app_child.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <sstream>
#include <thread>

extern char** environ;

std::vector<std::string> ChildRun::Step(const std::string& name) const {
  std::vector<std::string> step;
  bool inside = false;
  for (const std::string& line : lines) {
    if (line.rfind("== ", 0) == 0) {
      if (inside) break;
      inside = line == "== " + name;
      continue;
    }
    if (inside) step.push_back(line);
  }
  return step;
}

bool ChildRun::Reached(const std::string& name) const {
  for (const std::string& line : lines)
    if (line == "== " + name) return true;
  return false;
}

std::string ChildRun::Failure() const {
  for (const std::string& line : lines)
    if (line.rfind("FAIL: ", 0) == 0) return line;
  return "";
}

std::string ChildRun::Text() const {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

ChildRun RunUploader(const std::vector<std::string>& arguments, int seconds) {
  ChildRun run;
  int out[2];
  if (pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  std::vector<std::string> words = {APP_SIM};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, APP_SIM, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return run;
  }
  run.started = true;

  // Read until the child closes its output or the time is up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::string text;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timedOut = true;
      break;
    }
    pollfd readable = {out[0], POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) {
      timespec now;
      clock_gettime(CLOCK_MONOTONIC, &now);
      run.endedMs = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);

  int status = 0;
  if (run.timedOut) kill(pid, SIGKILL);
  // Output closed means the process is ending; give it a bounded moment.
  const auto exitDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= exitDeadline) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) run.lines.push_back(line);
  return run;
}
