// Real FTP servers for the tests: vsftpd and pure-ftpd started on 127.0.0.1 at
// a free port with the account "brixmaps" / "wol347", rooted in a directory of
// their own, and stopped by process id. Starting processes is Linux-side work;
// this header keeps the test programs free of system headers. In the Windows
// build the servers run on the Linux side for the whole run
// (tools/real-ftp-servers): Start only finds them, Stop does nothing.
#pragma once

#include <string>
#include <vector>

enum class RealServerKind { Vsftpd, PureFtpd };

struct RealServer {
  // Starts the server and waits (bounded) until it listens. On failure returns
  // false and says why in *why; *missing is true when the server program is
  // not on this machine (the only reason to skip).
  bool Start(RealServerKind kind, std::string* why, bool* missing);
  // Stops the server and its session processes.
  void Stop();
  // Stops the server, which ends every session it had, and starts it again on
  // the same port and root; false with the reason when it did not come back.
  bool Restart(std::string* why);
  // Stops the server and removes its directory.
  ~RealServer();

  // Set before Start: vsftpd sends and receives at most this many bytes per
  // second in each session (0: no limit). Under Wine, a limited vsftpd is
  // found as TILEPOST_FTP_VSFTPD_LIMITED.
  int rateLimit = 0;

  // Set before Start: the server closes a session idle for this long (0: its
  // default). pure-ftpd counts in whole minutes, so it waits the next minute up.
  int idleSeconds = 0;
  int port = 0;
  std::string root;  // where uploads land
  int pid = 0;

 private:
  // Starts the configured server on `port` and waits (bounded) until it listens.
  bool launch();
  std::string work;  // configuration, log, root
  std::vector<std::string> arguments;
};

const char* RealServerName(RealServerKind kind);

// A full disk for the servers to write to: a memory file system of `kib` KiB
// mounted on `directory` (made and opened to everyone). False with the reason
// when the machine allows no mount.
bool MountSmallDisk(const std::string& directory, int kib, std::string* why);
void UnmountSmallDisk(const std::string& directory);

// A connection to 127.0.0.1 at `port` on the Linux side, as a socket
// descriptor the caller closes; -1 when nothing accepts there. (The Windows
// build starts no servers and has none.)
int ConnectToLoopback(int port);
