// The uploader's trial FTP server: the FTP tests' vsftpd with the settings a
// deployment has (the login's directory is "/"), a rate limit and a protocol log.
#include "tests/app/trial_server.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string readAll(const std::string& path, bool* exists = nullptr) {
  std::ifstream in(path, std::ios::binary);
  if (exists) *exists = static_cast<bool>(in);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Opens and drops one control connection, so that the server logs a CONNECT.
void touch(int port) {
  int s = ConnectToLoopback(port);
  if (s < 0) return;
  timeval limit = {2, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  char greeting[256];
  if (recv(s, greeting, sizeof greeting, 0) < 0) {
  }
  close(s);
}

// The quoted text at the end of a log line: ..., "TEXT"
std::string lastQuoted(const std::string& line) {
  size_t end = line.rfind('"');
  if (end == std::string::npos || end == 0) return "";
  size_t begin = line.rfind(", \"", end - 1);
  if (begin == std::string::npos) return "";
  return line.substr(begin + 3, end - begin - 3);
}

}  // namespace

bool TrialServer::Start(long bytesPerSecond, std::string* why, bool* missing, int idleSeconds) {
  if (!server.Start(RealServerKind::Vsftpd, why, missing)) return false;
  // The FTP tests' configuration lies beside the root. The listener reads it
  // again on SIGHUP; later lines win.
  const std::string work = std::filesystem::path(server.root).parent_path().string();
  log = work + "/protocol.log";
  if (!std::filesystem::exists(work + "/vsftpd.conf")) {
    *why = "the FTP tests' vsftpd configuration is no longer beside its root";
    return false;
  }
  std::ofstream config(work + "/vsftpd.conf", std::ios::app);
  config << "chroot_local_user=YES\nallow_writeable_chroot=YES\n"
         << "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
         << "vsftpd_log_file=" << log << "\n";
  if (bytesPerSecond > 0) config << "local_max_rate=" << bytesPerSecond << "\n";
  if (idleSeconds > 0) config << "idle_session_timeout=" << idleSeconds << "\n";
  config.close();
  if (!config) {
    *why = "cannot extend the server's configuration";
    return false;
  }
  kill(server.pid, SIGHUP);
  // The new configuration is in force once a connection is logged.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    touch(server.port);
    if (readAll(log).find("CONNECT") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *why = "vsftpd did not take its new configuration";
  return false;
}

std::vector<std::string> TrialServer::Exchange() const {
  std::vector<std::string> lines;
  std::istringstream in(readAll(log));
  for (std::string line; std::getline(in, line);) {
    if (line.find("FTP command: ") != std::string::npos)
      lines.push_back("> " + lastQuoted(line));
    else if (line.find("FTP response: ") != std::string::npos)
      lines.push_back("< " + lastQuoted(line));
  }
  return lines;
}

std::vector<std::string> TrialServer::Commands() const {
  std::vector<std::string> commands;
  for (const std::string& line : Exchange())
    if (line.rfind("> ", 0) == 0) commands.push_back(line.substr(2));
  return commands;
}

bool TrialServer::WaitForCommand(const std::string& command, int ms) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    for (const std::string& c : Commands())
      if (c == command) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string TrialServer::File(const std::string& name, bool* exists) const {
  return readAll(server.root + "/" + name, exists);
}

std::vector<std::string> TrialServer::Files() const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(server.root, error))
    names.push_back(entry.path().filename().string());
  return names;
}

void TrialServer::Pause() const { kill(-server.pid, SIGSTOP); }
void TrialServer::Resume() const { kill(-server.pid, SIGCONT); }
