// Real FTP servers for the tests: configuration, account, start and stop.
#include "tests/ftp/real_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

int ConnectToLoopback(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return -1;
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
  close(s);
  return -1;
}

namespace {

constexpr const char* kUser = "brixmaps";
constexpr const char* kPassword = "wol347";
// crypt("wol347", "$6$tilepostsalt$")
constexpr const char* kPasswordHash =
    "$6$tilepostsalt$7hj/OjfVrA3mJAZNNIJcD9yyztxUoJMt9IqZU5D73knlNec60o.phHvlkKUtfS7e4WMOLHV9WPrWGxKEzUemv/";

int freePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0)
    port = ntohs(a.sin_port);
  close(s);
  return port;
}

bool listening(int port) {
  int s = ConnectToLoopback(port);
  if (s < 0) return false;
  close(s);
  return true;
}

// Runs a shell command; its standard input is `input`. Returns the exit status.
int run(const std::string& command, const std::string& input = "") {
  FILE* pipe = popen(command.c_str(), "w");
  if (!pipe) return -1;
  if (!input.empty()) fwrite(input.data(), 1, input.size(), pipe);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  std::string text;
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  pclose(pipe);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The system account both servers log in; made once per machine, under a lock
// because test programs run side by side.
bool ensureUser(uid_t* uid, gid_t* gid, std::string* why) {
  if (geteuid() != 0) {
    *why = "the real-server tests run as root (they create the FTP account)";
    return false;
  }
  int lock = open("/tmp/tilepost-ftp-account.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) {
    *why = "cannot lock the account set-up";
    if (lock >= 0) close(lock);
    return false;
  }
  bool ok = true;
  if (!getpwnam(kUser) && run(std::string("useradd -M -s /bin/sh ") + kUser + " 2>&1") != 0) {
    *why = "useradd failed";
    ok = false;
  }
  if (ok && run("chpasswd 2>&1", std::string(kUser) + ":" + kPassword + "\n") != 0) {
    *why = "chpasswd failed";
    ok = false;
  }
  if (const passwd* entry = ok ? getpwnam(kUser) : nullptr) {
    *uid = entry->pw_uid;
    *gid = entry->pw_gid;
    // vsftpd enters the home directory before its configured root.
    std::error_code ignored;
    std::filesystem::create_directories(entry->pw_dir, ignored);
    if (chown(entry->pw_dir, entry->pw_uid, entry->pw_gid) != 0) {
    }
  } else if (ok) {
    *why = "the account did not appear";
    ok = false;
  }
  flock(lock, LOCK_UN);
  close(lock);
  return ok;
}

std::string freshDirectory() { return Test_MakeTempDirectory("tilepost-ftpd").string(); }

bool writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string vsftpdConfig(int port, const std::string& root, const std::string& empty, int rateLimit,
                         int idleSeconds) {
  std::ostringstream c;
  if (idleSeconds > 0) c << "idle_session_timeout=" << idleSeconds << "\n";
  c << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port
    << "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
    << "local_root=" << root << "\npasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
    << "pam_service_name=vsftpd\nsecure_chroot_dir=" << empty << "\nseccomp_sandbox=NO\nisolate=NO\n"
    << "isolate_network=NO\nxferlog_enable=NO\nssl_enable=NO\nuserlist_enable=NO\ndelay_failed_login=0\n";
  if (rateLimit > 0) c << "local_max_rate=" << rateLimit << "\n";
  return c.str();
}

// The server in a process group of its own, so that its session processes stop with it.
int spawn(const std::vector<std::string>& arguments, const std::string& log) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  setsid();
  int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int in = open("/dev/null", O_RDONLY);
  if (out >= 0) {
    dup2(out, 1);
    dup2(out, 2);
  }
  if (in >= 0) dup2(in, 0);
  std::vector<char*> argv;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

std::string pureFtpdRoot() {
  return output(std::string("'") + TILEPOST_SOURCE_DIR + "/tools/pure-ftpd-get' 2>/dev/null");
}

// Every process descended from `root`, found through /proc.
std::vector<pid_t> descendants(pid_t root) {
  std::vector<std::pair<pid_t, pid_t>> parents;  // (process, parent)
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    std::getline(in, stat);
    // "pid (command) state ppid ...": the command may hold blanks and parentheses.
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    parents.push_back({static_cast<pid_t>(std::atol(name.c_str())), parent});
  }
  std::vector<pid_t> found = {root};
  for (size_t i = 0; i < found.size(); i++)
    for (const auto& [process, parent] : parents)
      if (parent == found[i]) found.push_back(process);
  found.erase(found.begin());
  return found;
}

}  // namespace

const char* RealServerName(RealServerKind kind) {
  return kind == RealServerKind::Vsftpd ? "vsftpd" : "pure-ftpd";
}

bool RealServer::Start(RealServerKind kind, std::string* why, bool* missing) {
  *missing = false;
  std::string program, pw;
  if (kind == RealServerKind::Vsftpd) {
    program = "/usr/sbin/vsftpd";
  } else {
    std::string unpacked = pureFtpdRoot();
    program = unpacked + "/usr/sbin/pure-ftpd";
    pw = unpacked + "/usr/bin/pure-pw";
  }
  if (access(program.c_str(), X_OK) != 0) {
    *missing = true;
    *why = program + " is not installed (tools/deps ftp, tools/pure-ftpd-get)";
    return false;
  }
  uid_t uid;
  gid_t gid;
  if (!ensureUser(&uid, &gid, why)) return false;

  work = freshDirectory();
  root = work + "/files";
  std::filesystem::create_directory(root);
  std::filesystem::create_directory(work + "/empty");
  if (chown(root.c_str(), uid, gid) != 0 || chmod(root.c_str(), 0777) != 0) {
    *why = "cannot prepare " + root;
    return false;
  }
  std::string log = work + "/server.log";
  if (kind == RealServerKind::PureFtpd) {
    // The account in pure-ftpd's own database. The password is stored as a
    // SHA-512 crypt hash: pure-pw's default hash costs seconds per login.
    std::string passwd = work + "/pureftpd.passwd", database = work + "/pureftpd.pdb";
    writeText(passwd, std::string(kUser) + ":" + kPasswordHash + ":" + std::to_string(uid) + ":" +
                          std::to_string(gid) + "::" + root + "/./::::::::::::\n");
    if (run("'" + pw + "' mkdb '" + database + "' -f '" + passwd + "' >/dev/null 2>&1") != 0) {
      *why = "pure-pw could not make the account database";
      return false;
    }
  }
  // A free port may be taken before the server binds it; try a few.
  for (int attempt = 0; attempt < 3; attempt++) {
    port = freePort();
    if (kind == RealServerKind::Vsftpd) {
      std::string config = work + "/vsftpd.conf";
      writeText(config, vsftpdConfig(port, root, work + "/empty", rateLimit, idleSeconds));
      arguments = {program, config};
    } else {
      arguments = {
          program, "-S", "127.0.0.1," + std::to_string(port), "-l", "puredb:" + work + "/pureftpd.pdb", "-E",
          "-H",    "-A"};
      if (idleSeconds > 0) {
        idleSeconds = (idleSeconds + 59) / 60 * 60;
        arguments.push_back("-I");
        arguments.push_back(std::to_string(idleSeconds / 60));
      }
    }
    if (launch()) return true;
  }
  std::ifstream in(log);
  std::ostringstream text;
  text << in.rdbuf();
  *why = std::string(RealServerName(kind)) + " did not start: " + text.str();
  return false;
}

bool RealServer::launch() {
  pid = spawn(arguments, work + "/server.log");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (listening(port)) return true;
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

bool RealServer::Restart(std::string* why) {
  Stop();
  // The port was the server's a moment ago; another program taking it now
  // is unlikely, and a retry covers a listener that is slow to let go.
  for (int attempt = 0; attempt < 3; attempt++)
    if (launch()) return true;
  *why = "the server did not start again on port " + std::to_string(port);
  return false;
}

void RealServer::Stop() {
  if (pid > 0) {
    // The session processes go too, as when a service is restarted: vsftpd
    // puts each session in a process group of its own.
    for (pid_t session : descendants(pid)) kill(session, SIGKILL);
    kill(-pid, SIGTERM);
    kill(pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status;
    while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waitpid(pid, &status, WNOHANG) == 0) {
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    pid = 0;
  }
}

RealServer::~RealServer() {
  Stop();
  if (!work.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
  }
}

bool MountSmallDisk(const std::string& directory, int kib, std::string* why) {
  std::error_code ignored;
  std::filesystem::create_directories(directory, ignored);
  std::string options = "size=" + std::to_string(kib) + "k,mode=0777";
  if (mount("tilepost-full", directory.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    *why = "cannot mount a small file system here";
    return false;
  }
  return true;
}

void UnmountSmallDisk(const std::string& directory) { umount2(directory.c_str(), MNT_DETACH); }
