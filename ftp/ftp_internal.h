// What the FTP client's session and upload halves share.
#pragma once

#include "core/registry.h"
#include "ftp/ftp.h"

extern ObjectRegistry* Ftp_Registry;

// The live session of a number or handle, else null.
FtpSession* Ftp_Find(ObjectNumber number);
// Whether a progress value belongs to an upload that still holds its session.
bool Ftp_Running(int64_t progress);
