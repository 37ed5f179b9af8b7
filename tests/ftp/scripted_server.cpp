// The scripted FTP server of the tests, over the runtime's socket API.
#include "tests/ftp/scripted_server.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

SOCKET listenOn(const char* address, int* port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr(address);
  a.sin_port = 0;
  int length = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 4) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  *port = ntohs(a.sin_port);
  return s;
}

void closeQuietly(SOCKET& s) {
  if (s != INVALID_SOCKET) closesocket(s);
  s = INVALID_SOCKET;
}

void gap() { std::this_thread::sleep_for(std::chrono::milliseconds(60)); }

}  // namespace

bool ScriptedPeer::waitReadable(SOCKET s, int milliseconds) {
  fd_set set = {};
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit;
  limit.tv_sec = milliseconds / 1000;
  limit.tv_usec = (milliseconds % 1000) * 1000;
  if (select(0, &set, nullptr, nullptr, &limit) == 1) return true;
  timedOut = true;
  return false;
}

bool ScriptedPeer::Send(std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    int n = send(control, text.data() + done, static_cast<int>(text.size() - done), 0);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

void ScriptedPeer::SendPieces(const std::vector<std::string>& pieces) {
  for (size_t i = 0; i < pieces.size(); i++) {
    if (i) gap();
    Send(pieces[i]);
  }
}

std::string ScriptedPeer::Command() {
  for (;;) {
    size_t end = pending.find("\r\n");
    if (end != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 2);
      transcript.push_back(line);
      return line;
    }
    if (!waitReadable(control, kScriptWaitMs)) return "";
    char buffer[4096];
    int n = recv(control, buffer, sizeof buffer, 0);
    if (n <= 0) return "";
    pending.append(buffer, n);
  }
}

std::string ScriptedPeer::Answer(std::string_view reply) {
  std::string command = Command();
  Send(reply);
  return command;
}

bool ScriptedPeer::WaitForClose() {
  // Commands that still come (QUIT) join the transcript.
  while (!Command().empty()) {
  }
  return !timedOut;
}

int ScriptedPeer::ListenData(const char* address) {
  int port = 0;
  closeQuietly(dataListener);
  dataListener = listenOn(address, &port);
  return port;
}

std::string ScriptedPeer::PassiveReply(const char* address) {
  sockaddr_in a;
  int length = sizeof a;
  getsockname(dataListener, reinterpret_cast<sockaddr*>(&a), &length);
  int port = ntohs(a.sin_port);
  char text[128];
  std::snprintf(text, sizeof text, "227 Entering Passive Mode (%s,%d,%d).\r\n", address, port / 256,
                port % 256);
  return text;
}

bool ScriptedPeer::AcceptData() {
  if (dataListener == INVALID_SOCKET || !waitReadable(dataListener, kScriptWaitMs)) return false;
  data = accept(dataListener, nullptr, nullptr);
  return data != INVALID_SOCKET;
}

bool ScriptedPeer::ConnectData(const std::string& portArgument) {
  unsigned h1, h2, h3, h4, p1, p2;
  if (std::sscanf(portArgument.c_str(), "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) != 6) return false;
  char host[32];
  std::snprintf(host, sizeof host, "%u.%u.%u.%u", h1, h2, h3, h4);
  data = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr(host);
  a.sin_port = htons(static_cast<u_short>(p1 * 256 + p2));
  return connect(data, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

std::string ScriptedPeer::ReceiveData() { return ReceiveDataAtLeast(static_cast<size_t>(-1)); }

std::string ScriptedPeer::ReceiveDataAtLeast(size_t count) {
  std::string received;
  while (received.size() < count) {
    if (!waitReadable(data, kScriptWaitMs)) break;
    char buffer[65536];
    int n = recv(data, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    received.append(buffer, n);
  }
  return received;
}

void ScriptedPeer::CloseData() {
  closeQuietly(data);
  closeQuietly(dataListener);
}

void ScriptedPeer::ResetData() {
  if (data != INVALID_SOCKET) {
    linger hard = {1, 0};
    setsockopt(data, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  }
  CloseData();
}

size_t ScriptedPeer::ReceiveDataSlowly(size_t bytesPerSecond) {
  // Pieces every 10 ms, so that a reset shows within that time.
  size_t piece = bytesPerSecond / 100, total = 0;
  if (piece == 0) piece = 1;
  if (piece > 65536) piece = 65536;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kScriptWaitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!waitReadable(data, kScriptWaitMs)) break;
    char buffer[65536];
    int n = recv(data, buffer, static_cast<int>(piece), 0);
    if (n <= 0) break;
    total += n;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return total;
}

void ScriptedPeer::Close() { closeQuietly(control); }

bool ScriptedPeer::AcceptControl() {
  closeQuietly(control);
  pending.clear();
  if (!waitReadable(listener, kScriptWaitMs)) return false;
  control = accept(listener, nullptr, nullptr);
  if (control == INVALID_SOCKET) return false;
  transcript.push_back("<connect>");
  return true;
}

ScriptedServer::ScriptedServer(Script script, const char* address) : script_(std::move(script)) {
  listener_ = listenOn(address, &port_);
  thread_ = std::thread([this] { run(); });
}

void ScriptedServer::run() {
  if (listener_ == INVALID_SOCKET || !peer_.waitReadable(listener_, kScriptWaitMs)) return;
  peer_.listener = listener_;
  peer_.control = accept(listener_, nullptr, nullptr);
  if (peer_.control == INVALID_SOCKET) return;
  script_(peer_);
  peer_.CloseData();
  peer_.Close();
}

std::vector<std::string> ScriptedServer::Finish() {
  if (!finished_ && thread_.joinable()) thread_.join();
  finished_ = true;
  return peer_.transcript;
}

ScriptedServer::~ScriptedServer() {
  Finish();
  closeQuietly(listener_);
}

void ScriptLogin(ScriptedPeer& p) {
  p.Send("220 ready\r\n");
  p.Answer("331 password please\r\n");
  p.Answer("230 logged in\r\n");
}

std::function<void(ScriptedPeer&)> ScriptAnswers(std::vector<std::string> replies) {
  return [replies = std::move(replies)](ScriptedPeer& p) {
    ScriptLogin(p);
    for (const std::string& reply : replies) p.Answer(reply);
    p.WaitForClose();
  };
}

std::string ScriptBinaryType(ScriptedPeer& p) {
  p.Answer("200 binary\r\n");
  return p.Command();
}

void ScriptPassiveUploadStart(ScriptedPeer& p, std::string_view storReply) {
  ScriptBinaryType(p);  // PASV
  p.ListenData();
  p.Send(p.PassiveReply());
  p.AcceptData();
  p.Answer(storReply);  // STOR
}

const Transcript kLoginCommands = {"USER brixmaps", "PASS wol347"};
const Transcript kPassiveUploadCommands = {"TYPE I", "PASV", "STOR map.bxm"};

Transcript Join(std::initializer_list<Transcript> parts) {
  Transcript all;
  for (const Transcript& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

FtpSession* OpenScriptedSession(const ScriptedServer& server, ObjectNumber number, int32_t passive) {
  return Ftp_Open(number, u"127.0.0.1", u"brixmaps", u"wol347", passive, server.port());
}

Transcript CloseScriptedSession(ScriptedServer& server, ObjectNumber number) {
  Ftp_Close(number);
  return server.Finish();
}
