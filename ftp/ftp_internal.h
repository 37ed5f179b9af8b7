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
