// Real FTP servers for the Windows build: the servers run on the Linux side,
// started by tools/real-ftp-servers, which names each one's port and root in
// the environment (TILEPOST_FTP_VSFTPD, TILEPOST_FTP_PUREFTPD and the vsftpd
// limited to 1 MiB/s, TILEPOST_FTP_VSFTPD_LIMITED: "PORT ROOT", ROOT a Windows
// path; the _IDLE variants of the first two: "PORT ROOT SECONDS" for servers
// that close idle sessions). Nothing is started here; the servers and their
// roots live for the whole run. A restart is asked of the script by a file
// named after the port in TILEPOST_FTP_RESTART, which it removes once the
// server listens again.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/ftp/real_server.h"

const char* RealServerName(RealServerKind kind) {
  return kind == RealServerKind::Vsftpd ? "vsftpd" : "pure-ftpd";
}

bool RealServer::Start(RealServerKind kind, std::string* why, bool* missing) {
  *missing = false;
  std::string variable = kind == RealServerKind::PureFtpd ? "TILEPOST_FTP_PUREFTPD"
                         : rateLimit > 0                  ? "TILEPOST_FTP_VSFTPD_LIMITED"
                                                          : "TILEPOST_FTP_VSFTPD";
  if (idleSeconds > 0) variable += "_IDLE";
  const char* value = std::getenv(variable.c_str());
  if (!value || !*value) {
    *missing = true;
    *why = variable + " is not set: run the tests under tools/real-ftp-servers";
    return false;
  }
  std::string text = value;
  size_t space = text.find(' ');
  port = space == std::string::npos ? 0 : std::atoi(text.substr(0, space).c_str());
  if (port <= 0 || port > 65535 || space + 1 >= text.size()) {
    *why = variable + " is not \"PORT ROOT\": " + text;
    return false;
  }
  root = text.substr(space + 1);
  if (idleSeconds > 0) {
    size_t last = root.rfind(' ');
    idleSeconds = last == std::string::npos ? 0 : std::atoi(root.substr(last + 1).c_str());
    if (idleSeconds <= 0) {
      *why = variable + " is not \"PORT ROOT SECONDS\": " + text;
      return false;
    }
    root.resize(last);
  }
  return true;
}

void RealServer::Stop() {}

bool RealServer::Restart(std::string* why) {
  const char* directory = std::getenv("TILEPOST_FTP_RESTART");
  if (!directory || !*directory) {
    *why = "TILEPOST_FTP_RESTART is not set: run the tests under tools/real-ftp-servers";
    return false;
  }
  std::string request = std::string(directory) + "\\" + std::to_string(port);
  std::ofstream(request) << "restart\n";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!std::filesystem::exists(request)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *why = "the server on port " + std::to_string(port) + " was not restarted within 30 s";
  return false;
}

bool RealServer::launch() { return false; }

RealServer::~RealServer() = default;

bool MountSmallDisk(const std::string&, int, std::string* why) {
  *why = "the servers' disk is on the Linux side: no mount from a Windows program";
  return false;
}

void UnmountSmallDisk(const std::string&) {}
