// The uploader's real FTP server in tests and the benchmark: vsftpd on
// 127.0.0.1 at a free port with the built-in account, rooted ("/") in a
// directory of its own, optionally rate-limited or with a short idle time-out,
// logging every command and reply.
#pragma once

#include <string>
#include <vector>

#include "tests/ftp/real_server.h"

struct TrialServer {
  // Starts the server; `bytesPerSecond` limits each transfer (0: no limit),
  // and a session that waits `idleSeconds` for a command is closed by the
  // server (0: the server's default, minutes). False with *why set when it
  // could not start; *missing when vsftpd is not installed.
  bool Start(long bytesPerSecond, std::string* why, bool* missing, int idleSeconds = 0);
  // The FTP commands the server received so far, oldest first ("STOR castle.bxm").
  std::vector<std::string> Commands() const;
  // The whole exchange, commands as "> CMD" and replies as "< 250 ...".
  std::vector<std::string> Exchange() const;
  // Waits (bounded by `ms`) until the server has received `command`.
  bool WaitForCommand(const std::string& command, int ms) const;
  // The content of a file in the server's root, *exists false when there is none.
  std::string File(const std::string& name, bool* exists = nullptr) const;
  // The names of the files in the server's root.
  std::vector<std::string> Files() const;
  // Pauses and resumes the server with all its sessions.
  void Pause() const;
  void Resume() const;

  RealServer server;
  std::string log;
};
