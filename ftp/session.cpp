// FTP sessions: the registry, login, directory change, deletion and close.
#include <cstring>

#include "core/heap.h"
#include "ftp/ftp_internal.h"
#include "net/convert.h"

ObjectRegistry* Ftp_Registry = nullptr;

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
  NetConnection* control = Net_OpenConnection(host, port);
  if (!control) return giveUp();
  session->replyBuffer = static_cast<char*>(Heap_Alloc(FTP_REPLY_BUFFER_SIZE));
  session->lines = static_cast<char**>(Heap_Alloc(FTP_LINE_TABLE_SIZE * sizeof(char*)));
  if (!session->replyBuffer || !session->lines) {
    Heap_Free(session->replyBuffer);
    Heap_Free(session->lines);
    session->replyBuffer = nullptr;
    session->lines = nullptr;
    Net_CloseConnection(control);
    return giveUp();
  }
  session->passive = passive;
  session->timeout = FTP_CONTROL_TIMEOUT;
  session->pendingLines = 0;
  session->nextLine = 0;
  session->control = control;

  char* user8 = Convert_ToAnsi(user);
  char* password8 = Convert_ToAnsi(password);
  Ftp_SkipReply(session);  // the greeting; a missing one makes the USER reply fail
  bool loggedIn = Ftp_SendCommand(session, "USER ", user8) && Ftp_ExpectReply(session, "331", nullptr, 0) &&
                  Ftp_SendCommand(session, "PASS ", password8) && Ftp_ExpectReply(session, "230", nullptr, 0);
  Convert_Free(user8);
  Convert_Free(password8);
  if (!loggedIn) {
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
    Ftp_SendCommand(session, "QUIT", nullptr);
    Net_CloseConnection(session->control);
  }
  Heap_Free(session->replyBuffer);
  Heap_Free(session->lines);
  Object_Free(Ftp_Registry, number);
}

namespace {

// Sends one command with a runtime-string argument and expects `codes`.
int32_t command(ObjectNumber number, const char* word, const char16_t* argument, bool withArgument,
                const char* codes) {
  FtpSession* session = Ftp_Find(number);
  if (!session || Ftp_Running(session->progress.load())) return 0;
  char* text = Convert_ToAnsi(argument);
  int32_t result = 0;
  if (Ftp_SendCommand(session, word, withArgument ? text : nullptr))
    result = Ftp_ExpectReply(session, codes, nullptr, 0);
  Convert_Free(text);
  return result;
}

}  // namespace

int32_t Ftp_SetDirectory(ObjectNumber number, const char16_t* directory) {
  if (!directory) return 0;
  // CDUP is answered 250 by most servers and 200 by some; the standard allows both.
  if (directory[0] == u'.' && directory[1] == u'.' && directory[2] == 0)
    return command(number, "CDUP", directory, false, "200;250");
  return command(number, "CWD ", directory, true, "250");
}

int32_t Ftp_DeleteFile(ObjectNumber number, const char16_t* remoteName) {
  if (!remoteName) return 0;
  return command(number, "DELE ", remoteName, true, "250");
}
