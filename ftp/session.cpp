// FTP sessions: the registry, login and logging in again, directory change,
// deletion and close.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/heap.h"
#include "ftp/ftp_internal.h"
#include "net/convert.h"
#include "net/time.h"

ObjectRegistry* Ftp_Registry = nullptr;

// What a session needs to log in again after its control connection is gone:
// the settings it was opened with, and the directory it has moved to since.
struct FtpLogin {
  char* host;      // UTF-8, as the resolver takes it
  char* user;      // ANSI code page, as sent at the first login
  char* password;  // ANSI code page
  int32_t port;
  // The path that leads from the login directory back to where the session
  // is: null at the login directory, else absolute ("/maps") or relative to
  // the login directory ("maps/old/.."). Each successful CWD or CDUP adds to
  // it.
  char* directory;
  // The directory can no longer be named in one CWD: logging in again would
  // leave the session elsewhere, so it is refused.
  bool directoryLost;
};

namespace {

// Room for a directory in a CWD line: "CWD ", CR LF and the terminating zero.
constexpr size_t kDirectoryRoom = FTP_COMMAND_SIZE - 7;

void freeLogin(FtpLogin* login) {
  if (!login) return;
  Convert_Free(login->host);
  Convert_Free(login->user);
  Convert_Free(login->password);
  Convert_Free(login->directory);
  Heap_Free(login);
}

// The greeting, then USER (331) and PASS (230) on a fresh control connection.
// `within` is asked before each reply is waited for, and ends the login when
// it answers false (no time left).
template <typename Within>
bool logIn(FtpSession* session, Within within) {
  FtpLogin* login = session->login;
  return within() && Ftp_SkipReply(session) && within() && Ftp_SendCommand(session, "USER ", login->user) &&
         Ftp_ExpectReply(session, "331", nullptr, 0) && within() &&
         Ftp_SendCommand(session, "PASS ", login->password) && Ftp_ExpectReply(session, "230", nullptr, 0);
}

// Whether the control connection is gone before a new operation. Between
// operations a server sends nothing unless it is going away, so anything that
// a receive would find now (a close, a reset, a 421 sent before closing after
// an idle time-out or at shut-down, or a reply that came too late) means the
// channel cannot carry the next command.
bool controlGone(FtpSession* session) {
  if (Ftp_ControlGone(session)) return true;
  if (session->receive) return false;  // text fed by a test: no socket to look at
  if (Net_WaitReceive(session->control, 0) != 1) return false;
  if (!session->replyOwed) return true;
  // The one text expected here: the completion reply of an aborted upload,
  // which came late. It is read now; only what follows it tells.
  session->replyOwed = 0;
  if (!Ftp_SkipReply(session)) return true;
  return Ftp_ControlGone(session) || Net_WaitReceive(session->control, 0) == 1;
}

// Connects and logs in again with the session's own settings and returns to
// its directory. Any previous connection must have been dropped. False when
// any step fails; the connection is then dropped again. The connect, the
// greeting, the login and the way back share one bound, the session's
// time-out, and an abort of the upload that needs the session cuts it short:
// a server that accepts and then says nothing holds the caller (the GUI thread
// for a directory change or a deletion) no longer than one reply would.
bool logInAgain(FtpSession* session) {
  FtpLogin* login = session->login;
  if (!login || login->directoryLost || Ftp_StopRequested(session)) return false;
  const int32_t timeout = session->timeout;
  TimeBound bound = Time_Bound(timeout * 1000);
  NetConnection* control =
      Net_OpenConnectionWatching(login->host, login->port, Time_Left(bound), Ftp_AbortWatch(session));
  if (!control) return false;
  Net_CloseConnection(session->control);
  session->control = control;
  // Each reply may take what is left of the bound (whole seconds, rounded up).
  auto within = [&] {
    int32_t left = Time_Left(bound);
    session->timeout = (left + 999) / 1000;
    return left > 0;
  };
  bool loggedIn = logIn(session, within) &&
                  (!login->directory || (within() && Ftp_SendCommand(session, "CWD ", login->directory) &&
                                         Ftp_ExpectReply(session, "250", nullptr, 0)));
  session->timeout = timeout;
  if (!loggedIn) Ftp_DropControl(session);
  return loggedIn;
}

// Notes where a successful CWD or CDUP (argument "..") took the session.
void noteDirectory(FtpLogin* login, const char* argument) {
  if (!argument[0]) return;  // a CWD without argument leaves nothing to repeat
  size_t length = std::strlen(argument);
  char* path = nullptr;
  if (argument[0] == '/' || !login->directory) {
    path = length <= kDirectoryRoom ? Convert_Copy8(argument) : nullptr;
  } else {
    size_t base = std::strlen(login->directory);
    bool slash = login->directory[base - 1] != '/';
    // base + slash + length cannot overflow: each part is below kDirectoryRoom.
    if (base + slash + length <= kDirectoryRoom) {
      path = static_cast<char*>(std::malloc(base + slash + length + 1));
      if (!path) Heap_Exhausted("FTP directory");
      std::memcpy(path, login->directory, base);
      if (slash) path[base] = '/';
      std::memcpy(path + base + slash, argument, length + 1);
    }
  }
  Convert_Free(login->directory);
  login->directory = path;
  login->directoryLost = path == nullptr;
}

// The operations' common body: one first command with a runtime-string
// argument, converted exactly.
int32_t command(ObjectNumber number, const char* word, const char16_t* argument, bool withArgument,
                const char* codes, FtpEffect effect) {
  FtpSession* session = Ftp_Find(number);
  if (!session || Ftp_Running(session->progress.load())) return 0;
  Text8 text(nullptr);
  if (withArgument) {
    // A name that the code page cannot carry exactly would reach another
    // file or directory on the server: nothing is sent.
    text.text = Convert_ToAnsiExact(argument);
    if (!text.text) return 0;
  }
  int32_t result = Ftp_FirstCommand(session, word, text.text, codes, effect);
  if (result && session->login && effect == FTP_EFFECT_SESSION)
    noteDirectory(session->login, text.text ? text.text : "..");
  return result;
}

}  // namespace

void Ftp_Init() {
  if (!Ftp_Registry) Ftp_Registry = Object_CreateRegistry(sizeof(FtpSession), 16, Ftp_Close);
}

void Ftp_End() {
  if (Ftp_Registry) Object_FreeAll(Ftp_Registry);
}

FtpSession* Ftp_Find(ObjectNumber number) {
  return Ftp_Registry ? static_cast<FtpSession*>(Object_Get(Ftp_Registry, number)) : nullptr;
}

bool Ftp_Running(int64_t progress) {
  return progress == FTP_PROGRESS_STARTING || progress == FTP_PROGRESS_SENDING_NOTHING || progress > 0;
}

FtpSession* Ftp_Open(ObjectNumber number, const char16_t* host, const char16_t* user,
                     const char16_t* password, int32_t passive, int32_t port) {
  if (!Ftp_Registry) return nullptr;
  auto* session = static_cast<FtpSession*>(Object_Allocate(Ftp_Registry, number));
  if (!session) return nullptr;
  ObjectNumber id = number == OBJECT_ANY ? reinterpret_cast<ObjectNumber>(session) : number;
  auto giveUp = [id, number]() -> FtpSession* {
    // A dynamic record that never came alive would otherwise stay in the list.
    if (number == OBJECT_ANY) Object_Free(Ftp_Registry, id);
    return nullptr;
  };
  if (!host) return giveUp();
  Text8 host8(Convert_ToUtf8(host));
  // Bounded: an unreachable server must not hold the program's start for the
  // system's own connect time-out, which can be minutes.
  NetHeldConnection control(
      Net_OpenConnectionWatching(host8.text, port, FTP_CONTROL_TIMEOUT * 1000, nullptr));
  if (!control.connection) return giveUp();
  session->replyBuffer = static_cast<char*>(Heap_Alloc(FTP_REPLY_BUFFER_SIZE));
  session->lines = static_cast<char**>(Heap_Alloc(FTP_LINE_TABLE_SIZE * sizeof(char*)));
  auto* login = static_cast<FtpLogin*>(Heap_Alloc(sizeof(FtpLogin)));
  if (!session->replyBuffer || !session->lines || !login) {
    Heap_Free(session->replyBuffer);
    Heap_Free(session->lines);
    Heap_Free(login);
    session->replyBuffer = nullptr;
    session->lines = nullptr;
    return giveUp();
  }
  session->passive = passive;
  session->timeout = FTP_CONTROL_TIMEOUT;
  session->pendingLines = 0;
  session->nextLine = 0;
  session->control = control.Take();
  *login = {host8.Take(), Convert_ToAnsi(user), Convert_ToAnsi(password), port, nullptr, false};
  session->login = login;  // from here on the session is live
  // A failed greeting has dropped the connection, so nothing more is sent.
  if (!logIn(session, [] { return true; })) {
    Ftp_Close(id);
    return nullptr;
  }
  return session;
}

void Ftp_Close(ObjectNumber number) {
  if (!Ftp_Registry) return;
  if (number == OBJECT_ANY) {
    Object_FreeAll(Ftp_Registry);
    return;
  }
  FtpSession* session = Ftp_Find(number);
  if (!session) return;
  Ftp_Abort(number);
  if (session->control) {
    if (!Ftp_ControlGone(session)) Ftp_SendCommand(session, "QUIT", nullptr);
    Net_CloseConnection(session->control);
  }
  Heap_Free(session->replyBuffer);
  Heap_Free(session->lines);
  freeLogin(session->login);
  Object_Free(Ftp_Registry, number);
}

int32_t Ftp_FirstCommand(FtpSession* session, const char* word, const char* argument, const char* codes,
                         FtpEffect effect) {
  if (!session || !word || !codes) return 0;
  if (!argument) argument = "";
  // A line that Ftp_SendCommand refuses before sending anything is no sign
  // of a lost connection.
  if (std::strpbrk(word, "\r\n") || std::strpbrk(argument, "\r\n") ||
      std::strlen(word) + std::strlen(argument) + 3 > static_cast<size_t>(FTP_COMMAND_SIZE))
    return 0;
  bool again = false;  // logged in again during this operation: never twice
  if (controlGone(session)) {
    Ftp_DropControl(session);
    if (!logInAgain(session)) return 0;
    again = true;
  }
  // 421 is the answer of a server that is closing the connection and has not
  // carried out the command, whatever the command.
  char expected[64];
  if (std::snprintf(expected, sizeof expected, "%s;421", codes) >= static_cast<int>(sizeof expected))
    return 0;
  for (;;) {
    bool repeatable;
    bool owed = session->replyOwed != 0;
    uint32_t start = Time_Ticks();
    if (Ftp_SendCommand(session, word, argument)) {
      char line[FTP_LINE_SIZE] = "";
      if (Ftp_ExpectReply(session, expected, line, sizeof line)) {
        if (std::strncmp(line, "421", 3) != 0) return 1;
        repeatable = true;
      } else if (controlGone(session)) {
        // No whole reply: the server may have carried the command out. A
        // reply that took the whole bound was not coming; a server that does
        // not answer would not answer a new login either, and the caller must
        // not wait twice. The next operation logs in again.
        bool waitedOut = Time_Ticks() - start + 1000 >= static_cast<uint32_t>(session->timeout) * 1000;
        repeatable = effect == FTP_EFFECT_SESSION && !waitedOut;
      } else {
        return 0;  // the server answered with another code
      }
    } else {
      // A command line is far smaller than any socket buffer, so a failed
      // send means the connection was gone before the server read it; but
      // when an aborted upload's completion reply never came first, the
      // server is not answering, as above.
      repeatable = !owed;
    }
    Ftp_DropControl(session);
    if (again || !repeatable || !logInAgain(session)) return 0;
    again = true;
  }
}

int32_t Ftp_SetDirectory(ObjectNumber number, const char16_t* directory) {
  if (!directory) return 0;
  // CDUP is answered 250 by most servers and 200 by some; the standard allows both.
  if (directory[0] == u'.' && directory[1] == u'.' && directory[2] == 0)
    return command(number, "CDUP", directory, false, "200;250", FTP_EFFECT_SESSION);
  return command(number, "CWD ", directory, true, "250", FTP_EFFECT_SESSION);
}

int32_t Ftp_DeleteFile(ObjectNumber number, const char16_t* remoteName) {
  if (!remoteName) return 0;
  return command(number, "DELE ", remoteName, true, "250", FTP_EFFECT_FILES);
}
