// What the FTP client's session and upload halves share.
#pragma once

#include "core/registry.h"
#include "ftp/ftp.h"

extern ObjectRegistry* Ftp_Registry;

// The live session of a number or handle, else null.
FtpSession* Ftp_Find(ObjectNumber number);
// Whether a progress value belongs to an upload that still holds its session.
bool Ftp_Running(int64_t progress);

// Closes the control connection of a session whose command channel is out of
// step (a reply not read to its end: time-out, abort, over-long, closed; a
// command line not sent whole). The record stays as the registry's in-use
// mark, without a socket: every later command fails at once, and
// Ftp_ControlGone tells the session to connect again. Received text is dropped.
void Ftp_DropControl(FtpSession* session);
// Whether the session's control connection is gone (dropped, or never there).
bool Ftp_ControlGone(const FtpSession* session);
// The abort request a wait of this session watches: the session's own while
// an upload runs on it, else null (a request left from an ended upload must
// not fail the commands that follow it).
const std::atomic<int32_t>* Ftp_AbortWatch(FtpSession* session);
// Whether the watched abort request is set.
bool Ftp_StopRequested(FtpSession* session);

// What a command changes on the server, which decides whether it may be sent
// again on a new connection after the old one was lost around it.
enum FtpEffect {
  FTP_EFFECT_SESSION,  // state of the session only (TYPE, CWD, CDUP), lost with it
  FTP_EFFECT_FILES,    // the server's files (DELE, STOR)
};

// Sends the first command of an operation and reads its reply: 1 when the
// reply's code is one of `codes`, else 0. Before sending, a session whose
// control connection is gone (dropped, closed or reset by the server, or
// holding unasked text such as a 421 before the server closes) connects and
// logs in again with its own settings and returns to its directory; the
// command then goes out on the new connection. Without that, when the send
// fails, the server answers 421 or the reply does not come whole, the
// connection is dropped and, once per operation, the session logs in again
// and sends the command again, but only where that cannot repeat what the
// server did: after a failed send or a 421 (the server did not carry it out)
// for any command, after a missing reply only for FTP_EFFECT_SESSION
// commands, whose effect went with the old connection. Commands after the
// first of an operation go through Ftp_SendCommand and are never sent again.
int32_t Ftp_FirstCommand(FtpSession* session, const char* word, const char* argument, const char* codes,
                         FtpEffect effect);
