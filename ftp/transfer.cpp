// FTP uploads: the local file, the data connection (passive or active), the
// block loop, the worker thread, progress and abort.
#include <cstdio>
#include <cstring>

#include "core/heap.h"
#include "core/string.h"
#include "ftp/ftp_internal.h"
#include "net/convert.h"
#include "net/time.h"

namespace {

// After an abort the completion reply is waited for this long: a server that
// answers the dropped data connection at once is read here; a later answer is
// owed and read before the next command. Ftp_Abort stays well within 100 ms.
constexpr int32_t kAbortReplyGraceMs = 20;

// The parameters a worker thread receives; it releases them itself.
struct FtpWorker {
  FtpSession* session;
  StringVar localPath;
  StringVar remoteName;
};

bool aborted(FtpSession* session) { return session->abortRequest.load(std::memory_order_acquire) != 0; }

// The local file, open for reading, closed on every path.
struct LocalFile {
  LocalFile() = default;
  ~LocalFile() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  // Opens a regular file and notes its size. A FIFO or a device is refused:
  // a read from it may never return, and nothing could stop it.
  bool open(const char16_t* path) {
    handle = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size) || size.QuadPart < 0) return false;
    startSize = size.QuadPart;
    return true;
  }

  // Whether a file whose end was read after `sent` bytes is the file that was
  // meant: not shorter than its size at the start, and not cut below the
  // bytes already sent (a file cut and grown again is caught by the first).
  bool endsWhole(int64_t sent) const {
    LARGE_INTEGER size;
    return sent >= startSize && GetFileSizeEx(handle, &size) && size.QuadPart >= sent;
  }

  HANDLE handle = INVALID_HANDLE_VALUE;
  int64_t startSize = 0;
};

// The data connection of one upload, let go of on every path: passive, the
// connection to the server; active, the listening server, which takes the
// accepted connection with it. Dropped (a reset, unsent bytes discarded)
// unless it was finished in order.
struct DataConnection {
  explicit DataConnection(FtpSession* owner) : session(owner) {}
  ~DataConnection() { drop(); }
  DataConnection(const DataConnection&) = delete;
  DataConnection& operator=(const DataConnection&) = delete;

  FtpChannel channel() { return {connection, session->timeout, &session->abortRequest}; }

  // Closes at once, discarding what is unsent: an abort waits for nothing.
  void drop() {
    if (connection) Net_ResetConnection(connection);
    connection = nullptr;
    closeListener();
  }

  // The orderly close after the whole file.
  void close() {
    if (connection) Net_CloseConnection(connection);
    connection = nullptr;
    closeListener();
  }

  void closeListener() {
    if (!session->listener) return;
    Net_CloseServer(session->listener->identity);
    session->listener = nullptr;
  }

  FtpSession* session;
  NetConnection* connection = nullptr;
};

// Sends a command and reads its reply; true when the reply carries `codes`.
bool command(FtpSession* session, const char* word, const char* argument, const char* codes,
             char* copy = nullptr, int32_t size = 0) {
  return !aborted(session) && Ftp_SendCommand(session, word, argument) &&
         Ftp_ExpectReply(session, codes, copy, size);
}

// Reads the six numbers of a PASV reply after its code; false when there are
// fewer or the port bytes are out of range.
bool passivePort(const char* reply, int32_t* port) {
  if (std::strlen(reply) < 4) return false;
  long numbers[6];
  int found = 0;
  for (const char* at = reply + 3; *at && found < 6;) {
    if (*at < '0' || *at > '9') {
      at++;
      continue;
    }
    long value = 0;
    for (; *at >= '0' && *at <= '9'; at++)
      if (value < 100000) value = value * 10 + (*at - '0');  // saturates; no overflow
    numbers[found++] = value;
  }
  if (found < 6 || numbers[4] > 255 || numbers[5] > 255) return false;
  *port = static_cast<int32_t>(numbers[4] * 256 + numbers[5]);
  return *port != 0;
}

void dottedText(uint32_t address, char (&text)[16]) {
  const auto* b = reinterpret_cast<const uint8_t*>(&address);  // network byte order
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

// Passive: PASV names a port (and an address, which is not trusted: the data
// connection goes to the control connection's peer, so a server cannot point
// the client at another host). The connect is bounded by the session's
// time-out and watches the abort request; the connection is non-blocking, so
// every send of the block loop can be cut short.
bool openPassive(FtpSession* session, DataConnection* data) {
  char reply[1024];
  int32_t port;
  uint32_t peer;
  if (!command(session, "PASV", nullptr, "227", reply, sizeof reply) || !passivePort(reply, &port) ||
      !Net_ConnectionAddress(session->control, 0, &peer))
    return false;
  char host[16];
  dottedText(peer, host);
  data->connection = Net_OpenConnectionWatching(host, port, session->timeout * 1000, &session->abortRequest);
  return data->connection != nullptr;
}

// Active: listen on a free port and announce it with PORT, with the local
// address of the control connection (the one the server can reach us at).
// The listener is the session's; the data connection's holder closes it on
// every path.
bool openActive(FtpSession* session, DataConnection*) {
  uint32_t local;
  if (!Net_ConnectionAddress(session->control, 1, &local)) return false;
  NetServer* server = Net_CreateServer(OBJECT_ANY, 0, NET_TCP, nullptr);
  if (!server) return false;
  session->listener = server;
  int32_t port = Net_ServerPort(server->identity);
  if (port == 0) return false;
  const auto* b = reinterpret_cast<const uint8_t*>(&local);
  char argument[32];
  std::snprintf(argument, sizeof argument, "%u,%u,%u,%u,%d,%d", b[0], b[1], b[2], b[3], port / 256,
                port % 256);
  // A refused PORT leaves the listener to the data connection's holder.
  return command(session, "PORT ", argument, "200");
}

// Waits for the server's data connection for at most the session's time-out,
// in short slices that look at the abort request. A connection from any other
// host is turned away: it would receive the file.
bool acceptActive(FtpSession* session, DataConnection* data) {
  uint32_t server;
  if (!Net_ConnectionAddress(session->control, 0, &server)) return false;
  TimeBound bound = Time_Bound(session->timeout * 1000);
  while (Time_Left(bound) > 0 && !aborted(session)) {
    int32_t event = Net_ServerEvent(session->listener->identity);
    if (event == NET_EVENT_CONNECT) {
      NetConnection* incoming = Net_EventConnection();
      uint32_t peer;
      if (Net_ConnectionAddress(incoming, 0, &peer) && peer == server) {
        data->connection = incoming;
        return true;
      }
      Net_CloseConnection(incoming);
    } else if (event == NET_EVENT_NONE) {
      Time_Delay(NET_WAIT_SLICE_MS);
    }
  }
  return false;
}

// The accepted connection may still be settling; a zero-byte send tells when
// it takes data. This never fails the upload.
void settleActive(FtpSession* session, DataConnection* data) {
  TimeBound bound = Time_Bound(session->timeout * 1000);
  while (Net_Send(data->connection, "", 0) < 0 && Time_Left(bound) > 0 && !aborted(session))
    Time_Delay(NET_WAIT_SLICE_MS);
}

enum class Blocks { kEndOfFile, kFailed, kAborted };

// Reads and sends the file block by block until its end, a failure or an
// abort; the progress counts the bytes sent. The request is looked at before
// every block, the first included, so an abort made during the set-up stops
// the upload as well.
Blocks sendBlocks(FtpSession* session, LocalFile* file, DataConnection* data, int64_t* sent) {
  char block[FTP_BLOCK_SIZE];
  FtpChannel channel = data->channel();
  for (;;) {
    if (aborted(session)) return Blocks::kAborted;
    DWORD n = 0;
    if (!ReadFile(file->handle, block, FTP_BLOCK_SIZE, &n, nullptr)) return Blocks::kFailed;
    if (n == 0) return Blocks::kEndOfFile;
    if (!Ftp_SendAll(channel, block, static_cast<int32_t>(n)))
      return aborted(session) ? Blocks::kAborted : Blocks::kFailed;
    *sent += n;
    session->progress.store(*sent, std::memory_order_release);
  }
}

// After an abort with the completion reply still due and the data connection
// dropped: a server that answers at once is read; otherwise the reply is
// owed, and the next command reads it first, so that it answers nothing else.
void settleAfterAbort(FtpSession* session) {
  if (Ftp_ControlGone(session)) return;
  if (!session->receive && !Net_WaitReceive(session->control, kAbortReplyGraceMs)) {
    session->replyOwed = 1;
    return;
  }
  // The reply has begun; the abort request is still set, so a reply that does
  // not come whole at once closes the connection.
  Ftp_SkipReply(session);
}

enum class Await { kBegun, kAborted, kTimedOut };

// Waits until the server's reply has begun (or is already buffered), in
// slices that look at the abort request, for at most the session's time-out.
Await awaitReply(FtpSession* session) {
  if (session->receive || session->pendingLines > 0 || session->textEnd > session->textStart)
    return Await::kBegun;
  TimeBound bound = Time_Bound(session->timeout * 1000);
  for (;;) {
    if (aborted(session)) return Await::kAborted;
    int32_t left = Time_Left(bound);
    if (left == 0) return Await::kTimedOut;
    // A closed or failed connection counts as begun: the reader finds out.
    if (Net_WaitReceive(session->control, left < NET_WAIT_SLICE_MS ? left : NET_WAIT_SLICE_MS) ||
        !Net_Connected(session->control))
      return Await::kBegun;
  }
}

// Reads the completion reply of the data; true when the server confirmed that
// it stored everything (226 or 250). An abort before the reply began drops the
// data connection at once, unread bytes and all.
bool readCompletion(FtpSession* session, DataConnection* data) {
  switch (awaitReply(session)) {
    case Await::kAborted:
      data->drop();
      settleAfterAbort(session);
      return false;
    case Await::kTimedOut:
      data->drop();
      Ftp_DropControl(session);
      return false;
    case Await::kBegun:
      break;
  }
  return Ftp_ExpectReply(session, "226;250", nullptr, 0) != 0;
}

// The upload up to its outcome, which it returns without publishing it:
// FTP_PROGRESS_FINISHED when every byte of the file was sent and the server
// confirmed it.
int64_t transfer(FtpSession* session, const char16_t* localPath, const char16_t* remoteName) {
  // A name that the code page cannot carry exactly (it would store another
  // file), or that cannot go out whole and alone, fails before anything is sent.
  Text8 name(Convert_ToAnsiExact(remoteName));
  if (!name.text || std::strlen(name.text) + 8 > static_cast<size_t>(FTP_COMMAND_SIZE) ||
      std::strpbrk(name.text, "\r\n"))
    return FTP_PROGRESS_FAILED;
  LocalFile file;
  if (!file.open(localPath)) return FTP_PROGRESS_FAILED;
  // The upload's first command: a session whose connection is gone logs in again here.
  if (aborted(session) || !Ftp_FirstCommand(session, "TYPE ", "I", "200", FTP_EFFECT_SESSION))
    return FTP_PROGRESS_FAILED;

  DataConnection data(session);
  if (!(session->passive ? openPassive(session, &data) : openActive(session, &data)))
    return FTP_PROGRESS_FAILED;
  if (!command(session, "STOR ", name.text, "125;150")) return FTP_PROGRESS_FAILED;
  // From here on a remote file of that name is this upload's own.
  session->storeAccepted.store(1, std::memory_order_release);
  if (!session->passive) {
    if (!acceptActive(session, &data)) {
      // The server still owes STOR's outcome and will send it unasked.
      data.drop();
      Ftp_DropControl(session);
      return FTP_PROGRESS_FAILED;
    }
    settleActive(session, &data);
  }

  session->progress.store(FTP_PROGRESS_SENDING_NOTHING, std::memory_order_release);
  int64_t sent = 0;
  Blocks end = sendBlocks(session, &file, &data, &sent);
  if (end == Blocks::kAborted) {
    data.drop();
    settleAfterAbort(session);
    return FTP_PROGRESS_FAILED;
  }
  // A file that ended short of its size or shrank under the bytes sent is no
  // version of the local file: the server must not take it for complete.
  bool whole = end == Blocks::kEndOfFile && file.endsWhole(sent);
  if (!whole) {
    data.drop();
    readCompletion(session, &data);
    return FTP_PROGRESS_FAILED;
  }
  // The end of the stream goes out after the buffered bytes; the connection
  // stays open until the server confirms, so an abort meanwhile can still
  // drop what it has not read.
  Net_ShutdownSend(data.connection);
  bool confirmed = readCompletion(session, &data);
  if (confirmed) data.close();  // otherwise dropped on leaving
  // Only the server knows whether it stored everything (a full disk answers
  // 451 or 552 after the data).
  return confirmed ? FTP_PROGRESS_FINISHED : FTP_PROGRESS_FAILED;
}

// The last touch of the session: from here on Ftp_Abort returns and the
// session may be closed.
void publish(FtpSession* session, int64_t outcome) {
  session->progress.store(outcome, std::memory_order_release);
}

DWORD WINAPI work(LPVOID parameter) {
  auto* worker = static_cast<FtpWorker*>(parameter);
  FtpSession* session = worker->session;
  int64_t outcome = transfer(session, worker->localPath, worker->remoteName);
  // Released before the outcome is published, so nothing of the upload is
  // left on the heaps when the program may shut down.
  String_Free(worker->localPath);
  String_Free(worker->remoteName);
  Heap_Free(worker);
  publish(session, outcome);
  return 0;
}

}  // namespace

int32_t Ftp_SendFile(ObjectNumber number, const char16_t* localPath, const char16_t* remoteName,
                     int32_t background) {
  FtpSession* session = Ftp_Find(number);
  if (!session || Ftp_Running(session->progress.load(std::memory_order_acquire))) return 0;
  // Any attempt, even one refused at once, is the latest upload: a remote file
  // of the name belongs to it only once its STOR is accepted.
  session->storeAccepted.store(0, std::memory_order_release);
  if (!localPath || !remoteName) return 0;
  // Cleared before the upload shows as running, so no request is lost.
  session->abortRequest.store(0, std::memory_order_release);
  session->progress.store(FTP_PROGRESS_STARTING, std::memory_order_release);
  if (!background) {
    int64_t outcome = transfer(session, localPath, remoteName);
    publish(session, outcome);
    return outcome == FTP_PROGRESS_FINISHED ? 1 : 0;
  }
  auto* worker = static_cast<FtpWorker*>(Heap_Alloc(sizeof(FtpWorker)));
  if (worker) {
    worker->session = session;
    String_AssignNew(&worker->localPath, localPath);
    String_AssignNew(&worker->remoteName, remoteName);
    HANDLE thread = CreateThread(nullptr, 16384, work, worker, 0, nullptr);
    if (thread) {
      CloseHandle(thread);
      return 1;
    }
    String_Free(worker->localPath);
    String_Free(worker->remoteName);
    Heap_Free(worker);
  }
  publish(session, FTP_PROGRESS_FAILED);
  return 0;
}

int64_t Ftp_Progress(ObjectNumber number) {
  FtpSession* session = Ftp_Find(number);
  if (!session) return 0;
  int64_t progress = session->progress.load(std::memory_order_acquire);
  return progress == FTP_PROGRESS_SENDING_NOTHING ? 0 : progress;
}

void Ftp_Abort(ObjectNumber number) {
  FtpSession* session = Ftp_Find(number);
  if (!session || !Ftp_Running(session->progress.load(std::memory_order_acquire))) return;
  session->abortRequest.store(1, std::memory_order_release);
  // Every wait of the upload looks at the request in slices of
  // NET_WAIT_SLICE_MS, so this ends within a few of them.
  while (Ftp_Running(session->progress.load(std::memory_order_acquire))) Time_Delay(10);
}

int32_t Ftp_StoreAccepted(ObjectNumber number) {
  FtpSession* session = Ftp_Find(number);
  return session ? session->storeAccepted.load(std::memory_order_acquire) : 0;
}
