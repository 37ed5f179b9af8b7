// Real FTP servers for the Windows build: the servers run on the Linux side,
// started by tools/real-ftp-servers, which names each one's port and root in
// the environment (TILEPOST_FTP_VSFTPD, TILEPOST_FTP_PUREFTPD and the vsftpd
// limited to 1 MiB/s, TILEPOST_FTP_VSFTPD_LIMITED: "PORT ROOT", ROOT a Windows
// path). Nothing is started or stopped here; the servers and
// their roots live for the whole run.
#include <cstdlib>
#include <string>

#include "tests/ftp/real_server.h"

const char* RealServerName(RealServerKind kind) {
  return kind == RealServerKind::Vsftpd ? "vsftpd" : "pure-ftpd";
}

bool RealServer::Start(RealServerKind kind, std::string* why, bool* missing) {
  *missing = false;
  const char* variable = kind == RealServerKind::PureFtpd ? "TILEPOST_FTP_PUREFTPD"
                         : rateLimit > 0                  ? "TILEPOST_FTP_VSFTPD_LIMITED"
                                                          : "TILEPOST_FTP_VSFTPD";
  const char* value = std::getenv(variable);
  if (!value || !*value) {
    *missing = true;
    *why = std::string(variable) + " is not set: run the tests under tools/real-ftp-servers";
    return false;
  }
  std::string text = value;
  size_t space = text.find(' ');
  port = space == std::string::npos ? 0 : std::atoi(text.substr(0, space).c_str());
  if (port <= 0 || port > 65535 || space + 1 >= text.size()) {
    *why = std::string(variable) + " is not \"PORT ROOT\": " + text;
    return false;
  }
  root = text.substr(space + 1);
  return true;
}

void RealServer::Stop() {}

RealServer::~RealServer() = default;

bool MountSmallDisk(const std::string&, int, std::string* why) {
  *why = "the servers' disk is on the Linux side: no mount from a Windows program";
  return false;
}

void UnmountSmallDisk(const std::string&) {}
