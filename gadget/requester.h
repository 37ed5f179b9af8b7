// Requesters: the modal message box and file dialog, and the modality steps both share.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// ---- Message requester and modality ---------------------------------------------------
// Shows a message box with that caption and text (null: empty) and `flags`
// (MB_*, passed unchanged), owned by Requester_Owner(), with the thread's
// other windows disabled meanwhile. Returns the ID of the button that closed
// it (IDOK for the one OK button of flags 0), or 0 when it could not be shown;
// the windows are restored either way.
int32_t Requester_Message(const char16_t* title, const char16_t* text, uint32_t flags = 0);
// Before a requester: disables every visible, enabled top-level window of the
// calling thread except the foreground window, and takes the topmost state
// from those that have it, remembering what it changed.
void Requester_BeginModal();
// After a requester: undoes what Requester_BeginModal changed on the calling
// thread's windows. Other threads' entries stay.
void Requester_EndModal();
// The owner for a requester: the foreground window when it belongs to this
// process, else null.
HWND Requester_Owner();

// ---- File requester -----------------------------------------------------------------------
// Flags of the general form of Requester_OpenFile.
constexpr int32_t REQUESTER_MODE_OPEN = 0;
constexpr int32_t REQUESTER_MODE_SAVE = 1;
constexpr int32_t REQUESTER_MULTIPLE = 1;

// Shows the open-file dialog and writes the chosen file's full path at
// accumulator offset `start`, or the empty text when the user cancels or the
// dialog fails. `pattern` holds description and filter pairs separated by "|"
// ("Brix maps|*.bxm"); `position` selects the pair shown first, from 0.
// `defaultFile` is a path whose last part is the proposed name and whose
// directory is where the dialog opens (a name that is not valid is not
// proposed). Null arguments: the platform's caption, no filter, no proposal.
void Requester_OpenFile(const char16_t* title, const char16_t* defaultFile, const char16_t* pattern,
                        int32_t position, int32_t start);
// The general form: REQUESTER_MODE_SAVE shows the save dialog (any other mode
// the open dialog); REQUESTER_MULTIPLE in `flags` allows several files, of
// which the first is returned (directory and name joined). An open dialog
// ends what is left of an earlier multiple selection.
void Requester_OpenFile(const char16_t* title, const char16_t* defaultFile, const char16_t* pattern,
                        int32_t position, int32_t mode, int32_t flags, int32_t start);
// 1 when `name` can be a file name: not empty, no control characters and none
// of " * / : < > ? \ |; else 0.
int32_t File_IsValidName(const char16_t* name);
