// FTP uploads: the data connection (passive or active), the block loop, the
// worker thread, progress and abort.
#include <cstdio>
#include <cstring>

#include "core/heap.h"
#include "core/string.h"
#include "ftp/ftp_internal.h"
#include "net/convert.h"
#include "net/time.h"

namespace {

// The parameters a worker thread receives; it releases them itself.
struct FtpWorker {
  FtpSession* session;
  StringVar localPath;
  StringVar remoteName;
};

bool aborted(FtpSession* session) { return session->abortRequest.load(std::memory_order_acquire) != 0; }

// The IPv4 address of one end of the control connection.
bool controlAddress(FtpSession* session, bool peer, sockaddr_in* address) {
  std::memset(address, 0, sizeof *address);
  int length = sizeof *address;
  SOCKET s = session->control->socket;
  int r = peer ? getpeername(s, reinterpret_cast<sockaddr*>(address), &length)
               : getsockname(s, reinterpret_cast<sockaddr*>(address), &length);
  return r == 0 && address->sin_family == AF_INET;
}

// Passive: PASV names a port (and an address, which is not trusted: the data
// connection goes to the control connection's peer, so a server cannot point
// the client at another host).
bool openPassive(FtpSession* session, FtpChannel* channel) {
  char reply[1024];
  if (!Ftp_SendCommand(session, "PASV", nullptr) || !Ftp_ExpectReply(session, "227", reply, sizeof reply))
    return false;
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
  int32_t port = static_cast<int32_t>(numbers[4] * 256 + numbers[5]);
  sockaddr_in peer;
  if (port == 0 || !controlAddress(session, true, &peer)) return false;
  const auto& b = peer.sin_addr.S_un.S_un_b;
  char host[16];
  std::snprintf(host, sizeof host, "%u.%u.%u.%u", b.s_b1, b.s_b2, b.s_b3, b.s_b4);
  NetConnection* data = Net_OpenConnection(host, port);
  if (!data) return false;
  // Non-blocking, as the accepted connection of active mode is: a server that
  // stops reading then fails the upload after the data time-out instead of
  // holding the worker, and Ftp_Abort with it, for ever.
  u_long nonBlocking = 1;
  if (ioctlsocket(data->socket, FIONBIO, &nonBlocking) != 0) {
    Net_CloseConnection(data);
    return false;
  }
  *channel = {data, FTP_DATA_TIMEOUT};
  return true;
}

void closeListener(FtpSession* session) {
  if (!session->listener) return;
  Net_CloseServer(session->listener->identity);
  session->listener = nullptr;
}

// Active: listen on a free port and announce it with PORT, with the local
// address of the control connection (the one the server can reach us at).
bool openActive(FtpSession* session) {
  sockaddr_in local;
  if (!controlAddress(session, false, &local)) return false;
  NetServer* server = Net_CreateServer(OBJECT_ANY, 0, NET_TCP, nullptr);
  if (!server) return false;
  session->listener = server;
  sockaddr_in bound;
  int length = sizeof bound;
  if (getsockname(server->socket, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    closeListener(session);
    return false;
  }
  int port = ntohs(bound.sin_port);
  const auto& b = local.sin_addr.S_un.S_un_b;
  char argument[32];
  std::snprintf(argument, sizeof argument, "%u,%u,%u,%u,%d,%d", b.s_b1, b.s_b2, b.s_b3, b.s_b4, port / 256,
                port % 256);
  if (!Ftp_SendCommand(session, "PORT ", argument) || !Ftp_ExpectReply(session, "200", nullptr, 0)) {
    closeListener(session);
    return false;
  }
  return true;
}

// Whether a connection comes from the host of the control connection.
bool fromServer(FtpSession* session, NetConnection* connection) {
  sockaddr_in server, peer;
  int length = sizeof peer;
  std::memset(&peer, 0, sizeof peer);
  return controlAddress(session, true, &server) &&
         getpeername(connection->socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
         peer.sin_family == AF_INET && peer.sin_addr.s_addr == server.sin_addr.s_addr;
}

// Waits for the server's data connection, polling every 100 ms for at most the
// session's time-out; an abort request ends the wait too. A connection from
// any other host is turned away: it would receive the file.
bool acceptActive(FtpSession* session, FtpChannel* channel) {
  int32_t start = Time_Now();
  while (Time_Now() - start < session->timeout && !aborted(session)) {
    int32_t event = Net_ServerEvent(session->listener->identity);
    if (event == NET_EVENT_CONNECT) {
      NetConnection* incoming = Net_EventConnection();
      if (fromServer(session, incoming)) {
        *channel = {incoming, FTP_DATA_TIMEOUT};
        return true;
      }
      Net_CloseConnection(incoming);
    } else if (event == NET_EVENT_NONE) {
      Time_Delay(100);
    }
  }
  return false;
}

void closeData(FtpSession* session, FtpChannel* channel) {
  if (session->passive) {
    Net_CloseConnection(channel->connection);
  } else {
    closeListener(session);  // takes the accepted connection with it
  }
  channel->connection = nullptr;
}

bool fits(const char* word, const char* argument) {
  return std::strlen(word) + std::strlen(argument) + 3 <= static_cast<size_t>(FTP_COMMAND_SIZE) &&
         !std::strpbrk(argument, "\r\n");
}

// The upload up to its outcome, which it returns without publishing it:
// FTP_PROGRESS_FINISHED when every byte was sent and the server confirmed it.
int64_t transfer(FtpSession* session, const char16_t* localPath, const char16_t* remoteName) {
  char* name = Convert_ToAnsi(remoteName);
  bool finished = false;
  // A name that cannot go out whole and alone fails before anything is sent.
  HANDLE file = fits("STOR ", name) ? CreateFileW(W(localPath), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                    : INVALID_HANDLE_VALUE;
  if (file != INVALID_HANDLE_VALUE) {
    FtpChannel data = {nullptr, FTP_DATA_TIMEOUT};
    bool ready = !aborted(session) && Ftp_SendCommand(session, "TYPE ", "I") &&
                 Ftp_ExpectReply(session, "200", nullptr, 0) && !aborted(session);
    bool opened = ready && (session->passive ? openPassive(session, &data) : openActive(session));
    if (opened) {
      bool stored = !aborted(session) && Ftp_SendCommand(session, "STOR ", name) &&
                    Ftp_ExpectReply(session, "125;150", nullptr, 0);
      // From here on a remote file of that name is this upload's own.
      if (stored) session->storeAccepted.store(1, std::memory_order_release);
      if (stored && !session->passive) stored = acceptActive(session, &data);
      if (stored) {
        if (!session->passive) {
          // The accepted connection may still be settling; a zero-byte send
          // tells when it takes data. This never fails the upload.
          int32_t start = Time_Now();
          while (Net_Send(data.connection, "", 0) < 0 && Time_Now() - start < session->timeout)
            Time_Delay(50);
        }
        session->progress.store(FTP_PROGRESS_SENDING_NOTHING, std::memory_order_release);
        char block[FTP_BLOCK_SIZE];
        int64_t sent = 0;
        bool endOfFile = false;
        // The request is looked at before every block, the first included, so
        // an abort made while the upload was being set up stops it as well.
        while (!aborted(session)) {
          DWORD n = 0;
          if (!ReadFile(file, block, FTP_BLOCK_SIZE, &n, nullptr)) break;  // a read error is no end of file
          if (n == 0) {
            endOfFile = true;
            break;
          }
          if (!Ftp_SendAll(data, block, static_cast<int32_t>(n))) break;
          sent += n;
          session->progress.store(sent, std::memory_order_release);
        }
        closeData(session, &data);
        // Only the server knows whether it stored everything (a full disk
        // answers 451 or 552 after the data).
        finished = Ftp_ExpectReply(session, "226;250", nullptr, 0) && endOfFile;
      } else {
        closeData(session, &data);
      }
    }
    CloseHandle(file);
  }
  Convert_Free(name);
  return finished ? FTP_PROGRESS_FINISHED : FTP_PROGRESS_FAILED;
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
  while (Ftp_Running(session->progress.load(std::memory_order_acquire))) Time_Delay(10);
}

int32_t Ftp_StoreAccepted(ObjectNumber number) {
  FtpSession* session = Ftp_Find(number);
  return session ? session->storeAccepted.load(std::memory_order_acquire) : 0;
}
