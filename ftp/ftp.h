// FTP client: numbered sessions over a control connection (commands, replies,
// login, directories, deletion, QUIT) and file uploads over a passive or active
// data connection, in the calling thread or a worker thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/types.h"
#include "net/net.h"

// Seconds: a whole reply, a send without progress (commands and data), the
// data connect and the active-mode accept. Measured on the monotonic clock.
constexpr int32_t FTP_CONTROL_TIMEOUT = 30;
constexpr int32_t FTP_BLOCK_SIZE = 4096;         // bytes read and sent at a time
constexpr int32_t FTP_REPLY_BUFFER_SIZE = 4096;  // received text, with its terminating zero
constexpr int32_t FTP_LINE_TABLE_SIZE = 128;     // lines split at a time
constexpr int32_t FTP_LINE_SIZE = 2048;          // a reply line handed out, with its zero
constexpr int32_t FTP_COMMAND_SIZE = 1024;       // a command line, with CR LF and its zero
constexpr int32_t FTP_REPLY_MAX_TEXT = 65536;    // bytes received for one reply at most
constexpr int32_t FTP_OWED_REPLY_MS = 2000;      // the wait for an aborted upload's completion reply

// Upload progress: bytes sent (0 before the first block), or one of these.
constexpr int64_t FTP_PROGRESS_STARTING = -1;
constexpr int64_t FTP_PROGRESS_FAILED = -2;
constexpr int64_t FTP_PROGRESS_FINISHED = -3;

struct FtpSession;
struct FtpLogin;

// Where reply text comes from when not from the control connection: tests and
// the fuzzer feed the reply reader through it. Returns bytes, 0 at the end, -1
// on failure.
using FtpReceive = int32_t (*)(FtpSession* session, char* buffer, int32_t length);

// A session, an object of the FTP registry.
struct FtpSession {
  // Set while the session exists: the registry's in-use mark. Not the control
  // connection, which an upload's worker replaces when it logs in again.
  FtpLogin* login;         // what logging in again takes (session.cpp)
  NetConnection* control;  // the control connection; without its socket once dropped (Ftp_DropControl)
  NetServer* listener;     // the active-mode upload's listening server, else null
  char* replyBuffer;       // FTP_REPLY_BUFFER_SIZE bytes of received text (main heap)
  char** lines;            // FTP_LINE_TABLE_SIZE lines split from it (main heap)
  int32_t pendingLines;    // lines in the table not yet consumed
  int32_t nextLine;        // the next line to consume
  int32_t passive;         // 1: PASV, the server opens the data port; 0: PORT
  int32_t timeout;         // seconds; FTP_CONTROL_TIMEOUT
  // Written by the upload, read by any thread. Besides bytes and the three
  // codes it holds FTP_PROGRESS_SENDING_NOTHING while the data phase has begun
  // but no block is sent, which Ftp_Progress reports as 0.
  std::atomic<int64_t> progress;
  std::atomic<int32_t> abortRequest;  // set by Ftp_Abort, read by the upload
  int32_t textStart;                  // received text not yet split: [textStart, textEnd)
  int32_t textEnd;
  int32_t discarding;  // the rest of an over-long line is being skipped
  FtpReceive receive;  // null: the control connection
  // The latest upload's STOR was accepted (Ftp_StoreAccepted); any thread reads it.
  std::atomic<int32_t> storeAccepted;
  // 1: the server still owes a reply (the completion of an aborted upload);
  // it is read and dropped before the next command goes out.
  int32_t replyOwed;
};

// The data phase of an upload has begun and nothing is sent yet: a running
// state of its own, so an abort in it is waited for (read as 0 outside).
constexpr int64_t FTP_PROGRESS_SENDING_NOTHING = -4;

// A connection with its send time-out in seconds (the longest a send may go
// without progress) and the cancel request its sends watch (null: none).
struct FtpChannel {
  NetConnection* connection;
  int32_t timeout;
  const std::atomic<int32_t>* cancel;
};

// ---- Library ---------------------------------------------------------------------
// Creates the FTP registry; called before any other FTP operation.
void Ftp_Init();
// Closes every session (an upload running on one is aborted first).
void Ftp_End();

// ---- Sessions ---------------------------------------------------------------------
// Connects to host:port (an IPv4 stream, the connect bounded by
// FTP_CONTROL_TIMEOUT), reads the greeting and logs in with USER (331) and
// PASS (230). Returns the session (with OBJECT_ANY its record is its handle)
// or null: a failed connect leaves the number absent, a failed login sends
// QUIT and closes the session again. The session keeps host, port, user and
// password to log in again when its control connection is gone.
FtpSession* Ftp_Open(ObjectNumber number, const char16_t* host, const char16_t* user,
                     const char16_t* password, int32_t passive = 1, int32_t port = 21);
// Stops a running upload and waits for it, sends QUIT (reading no reply),
// closes the connection and frees the session. OBJECT_ANY closes all; an
// absent number does nothing.
void Ftp_Close(ObjectNumber number);
// CDUP for "..", otherwise CWD with the directory; 1 when the server answers
// 250 (or, for CDUP, 200), else 0. 0 without sending for a null directory, an
// absent session, a session with a running upload, a directory holding CR or
// LF, or one that the ANSI code page cannot carry exactly (it would name
// another directory). A session whose control connection is gone logs in
// again first (see Ftp_FirstCommand for when the command is sent again).
int32_t Ftp_SetDirectory(ObjectNumber number, const char16_t* directory);
// DELE; 1 on 250, else 0, under the same conditions as Ftp_SetDirectory. Sent
// a second time on a new connection only when the server cannot have carried
// it out, so it never deletes twice or in another directory.
int32_t Ftp_DeleteFile(ObjectNumber number, const char16_t* remoteName);

// ---- Uploads ------------------------------------------------------------------------
// Stores the local file under remoteName in the server's current directory.
// background 0: runs here and returns 1 when the whole file was sent and the
// server confirmed it (226 or 250), else 0. background 1: returns 1 when the
// worker thread was started (the outcome shows in Ftp_Progress), else 0 with
// the progress at FTP_PROGRESS_FAILED. 0 at once for a null argument, an absent
// session or one whose upload is still running.
int32_t Ftp_SendFile(ObjectNumber number, const char16_t* localPath, const char16_t* remoteName,
                     int32_t background);
// Bytes sent by the running upload, or FTP_PROGRESS_STARTING, _FAILED, _FINISHED;
// 0 for a new or absent session.
int64_t Ftp_Progress(ObjectNumber number);
// Asks a running upload to stop and returns once it has ended and let go of the
// session (progress FTP_PROGRESS_FAILED, or _FINISHED if it was done already).
// Returns at once, asking nothing, when no upload runs.
void Ftp_Abort(ObjectNumber number);
// 1 when the session's latest upload had its STOR accepted by the server
// (a remote file of that name was written by it), else 0 (none started, or
// it failed before the server accepted STOR). 0 for an absent session.
int32_t Ftp_StoreAccepted(ObjectNumber number);

// ---- Command channel ------------------------------------------------------------------
// Sends all `length` bytes, retrying sends that would block in short slices;
// 1 when all were sent, else 0: a send failed, the channel's time-out passed
// without a byte taken, or its cancel request was set.
int32_t Ftp_SendAll(const FtpChannel& channel, const void* data, int32_t length);
// Sends word + argument + CR LF on the control channel; 1 when the whole line
// was sent. 0 without sending when the line would not fit FTP_COMMAND_SIZE or
// word or argument holds CR or LF. A null argument is empty. A send that fails
// part-way (or is aborted) closes the control connection: the server might
// read what follows as the rest of the line. A reply the server still owes is
// read first (at most FTP_OWED_REPLY_MS; failing that, the connection is
// closed and the command fails), except before QUIT, which reads no reply.
int32_t Ftp_SendCommand(FtpSession* session, const char* word, const char* argument);
// Copies the next reply line into `line` (FTP_LINE_SIZE bytes; a longer line
// is cut to fit) and consumes it; 0 when no line can be read: the connection
// closed or failed, the line did not arrive whole within the session's
// time-out or FTP_REPLY_MAX_TEXT received bytes, or a running upload on the
// session was asked to abort.
int32_t Ftp_ReadReplyLine(FtpSession* session, char* line);
// Reads one reply: 1 when its code, the first line's, is one of `codes`
// ("125;150"), else 0. A first line "xyz-" opens a reply that ends only at a
// line beginning with "xyz" and a blank (or "xyz" alone); the lines between
// never count, whatever they begin with. With `copy`, the first line and then
// the closing line of a matching reply are copied there (at most size - 1
// characters and a zero). The whole reply is bounded by the session's
// time-out and FTP_REPLY_MAX_TEXT bytes; one that is not read to its end
// (time-out, too long, closed, aborted) closes the control connection, since
// the rest of it would answer the next command.
int32_t Ftp_ExpectReply(FtpSession* session, const char* codes, char* copy, int32_t size);
// Reads one whole reply under the same rules; 1 on success, 0 when reading
// failed first.
int32_t Ftp_SkipReply(FtpSession* session);
