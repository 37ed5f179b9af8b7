// A scripted FTP server on loopback for the tests: each test writes the server's
// side as a plain sequence (send this, read a command, open a data port...),
// and checks the transcript of commands the client sent. It speaks through the
// same socket API as the runtime, so it runs wherever the runtime does.
#pragma once

#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ftp/ftp.h"
#include "platform/win32.h"

// The commands a client sent, in order, as the scripted server recorded them.
using Transcript = std::vector<std::string>;

class ScriptedPeer {
 public:
  // Sends `text` in one piece (one segment on loopback); false when the
  // client has closed the connection.
  bool Send(std::string_view text);
  // Sends each piece separately, pausing between them so that each arrives in a
  // receive of its own.
  void SendPieces(const std::vector<std::string>& pieces);
  // The next command line without CR LF, recorded in the transcript; "" when
  // none arrived within the wait or the client closed.
  std::string Command();
  // Reads the next command (as Command) and answers it with `reply`; returns
  // the command.
  std::string Answer(std::string_view reply);
  // Records the commands still sent until the client closes the control
  // connection (bounded).
  bool WaitForClose();

  // Passive: listens on a free port of `address`; returns the port.
  int ListenData(const char* address = "127.0.0.1");
  // The PASV reply for the listening port, naming `address`.
  std::string PassiveReply(const char* address = "127,0,0,1");
  bool AcceptData();
  // Active: connects to the address and port of a PORT argument.
  bool ConnectData(const std::string& portArgument);
  // Everything up to the client's close of the data connection (bounded).
  std::string ReceiveData();
  // At least `count` bytes, or what came before a close or the wait ended.
  std::string ReceiveDataAtLeast(size_t count);
  void CloseData();
  // Closes the data connection with a reset instead of an orderly close.
  void ResetData();
  // Reads the data connection at about `bytesPerSecond` until the client
  // closes or resets it (bounded); returns the bytes read.
  size_t ReceiveDataSlowly(size_t bytesPerSecond);
  // Closes the control connection.
  void Close();
  // Closes the control connection if it is open and takes the client's next
  // one on the same port (bounded), marked "<connect>" in the transcript;
  // false when none came.
  bool AcceptControl();

  std::vector<std::string> transcript;
  bool timedOut = false;

 private:
  friend class ScriptedServer;
  bool waitReadable(SOCKET s, int milliseconds);
  SOCKET control = INVALID_SOCKET;
  SOCKET listener = INVALID_SOCKET;  // the server's, for AcceptControl
  SOCKET dataListener = INVALID_SOCKET;
  SOCKET data = INVALID_SOCKET;
  std::string pending;  // received command text not yet split
};

class ScriptedServer {
 public:
  using Script = std::function<void(ScriptedPeer&)>;
  // Listens on `address` at a free port; the script runs on a thread of its own
  // once a client has connected.
  explicit ScriptedServer(Script script, const char* address = "127.0.0.1");
  ~ScriptedServer();
  int port() const { return port_; }
  // Waits (bounded) for the script to end; returns the transcript.
  std::vector<std::string> Finish();
  // Whether a wait of the script ran out.
  bool timedOut() const { return peer_.timedOut; }

 private:
  void run();
  Script script_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  ScriptedPeer peer_;
  std::thread thread_;
  bool finished_ = false;
};

// The server's side of the greeting and the login, as a textbook server
// answers them: 220, USER 331, PASS 230.
void ScriptLogin(ScriptedPeer& p);
// A whole script: the login, then the client's next commands answered with
// `replies` in turn, then the commands it still sends until it closes.
std::function<void(ScriptedPeer&)> ScriptAnswers(std::vector<std::string> replies);
// The server's side of the start of every upload: TYPE I answered 200, then
// the next command (PASV or PORT) read, unanswered; returns that command.
std::string ScriptBinaryType(ScriptedPeer& p);
// The server's side of a passive upload up to its data: TYPE 200, PASV on a
// fresh data port, the client's data connection accepted, STOR answered
// `storReply`.
void ScriptPassiveUploadStart(ScriptedPeer& p, std::string_view storReply = "150 go ahead\r\n");

// The commands of the tests' login: USER brixmaps, PASS wol347.
extern const Transcript kLoginCommands;
// The commands of a passive upload of map.bxm: TYPE I, PASV, STOR map.bxm.
extern const Transcript kPassiveUploadCommands;
// The parts one after the other.
Transcript Join(std::initializer_list<Transcript> parts);

// Opens FTP session `number` on the scripted server with the tests' account
// (passive uploads unless `passive` is 0); null when the login failed.
FtpSession* OpenScriptedSession(const ScriptedServer& server, ObjectNumber number = 20, int32_t passive = 1);
// Closes session `number`, then waits (bounded) for the script to end and
// returns the transcript: every command the client sent before its close.
Transcript CloseScriptedSession(ScriptedServer& server, ObjectNumber number = 20);

// Every wait of a scripted server and of the tests around it ends after this.
constexpr int kScriptWaitMs = 10000;
