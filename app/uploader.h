// The uploader: built-in settings, start-up and shut-down, the two screens and the main loop.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/string.h"
#include "core/types.h"
#include "platform/win32.h"

// ---- Built-in settings -------------------------------------------------------------------
constexpr ObjectNumber FTP_SESSION = 20;
constexpr ObjectNumber MAIN_WINDOW = 0;
constexpr int32_t UPLOADER_FTP_PORT = 21;
constexpr uint32_t UPLOADER_WINDOW_FLAGS = 0x01CF0002;
// The flags InitCommonControlsEx receives: tab, hot-key, date, extended
// combo-box and internet classes.
constexpr uint32_t UPLOADER_COMMON_CONTROLS = 2888;
// The server's host name: fixed when the program is built (a deployment builds
// with its own); nothing is read at run time.
extern const char16_t UPLOADER_FTP_HOST[];

// ---- Screens -----------------------------------------------------------------------------
constexpr int32_t UPLOAD_IDLE = 0;     // the file selection screen
constexpr int32_t UPLOAD_RUNNING = 1;  // the progress screen
constexpr int32_t UPLOAD_ENDED = 2;    // the main loop has ended: nothing is refreshed any more

// Gadget numbers of the idle screen.
constexpr ObjectNumber GADGET_FILENAME_LABEL = 0;
constexpr ObjectNumber GADGET_PATH = 1;
constexpr ObjectNumber GADGET_BROWSE = 2;
constexpr ObjectNumber GADGET_UPLOAD = 3;
constexpr ObjectNumber GADGET_QUIT = 4;
constexpr ObjectNumber GADGET_DIRECTORY_LABEL = 22;
// Gadget numbers of the progress screen.
constexpr ObjectNumber GADGET_SENT_VALUE = 5;
constexpr ObjectNumber GADGET_CANCEL = 6;
constexpr ObjectNumber GADGET_SIZE_VALUE = 7;
constexpr ObjectNumber GADGET_SIZE_LABEL = 8;
constexpr ObjectNumber GADGET_SENT_LABEL = 9;
constexpr ObjectNumber GADGET_PERCENT_VALUE = 10;
constexpr ObjectNumber GADGET_PERCENT_LABEL = 11;
constexpr ObjectNumber GADGET_PROGRESS = 12;

// How often the loop wakes to refresh the progress screen when the window
// system has nothing to deliver (milliseconds).
constexpr uint32_t UPLOADER_REFRESH_MS = 50;

// The application's variables; all start zeroed or empty.
struct UploaderState {
  int32_t state;          // UPLOAD_IDLE, UPLOAD_RUNNING or UPLOAD_ENDED
  StringVar localPath;    // the local file to send
  StringVar remoteName;   // its name on the server: the file name of the last Browse
  int32_t sizeKb;         // size of the file chosen by Browse, in whole KB
  int32_t sentKb;         // progress in whole KB
  float percent;          // percentage shown during an upload
  int32_t lastEvent;      // what the last Event_Wait returned
  UINT_PTR refreshTimer;  // the progress screen's wake-up timer, 0 when none
};
extern UploaderState Uploader;

// Refresh passes of the progress screen so far; read by the benchmark from
// another thread.
extern std::atomic<uint32_t> Uploader_RefreshPasses;

// ---- Start-up and shut-down --------------------------------------------------------------
// The whole program: starts the libraries, logs in to the built-in server,
// opens the window, runs the main loop and ends everything. Never returns:
// the process exits with code 0 on every path.
[[noreturn]] void Uploader_Main();
// Uploader_Main with the server's host and port given: what Uploader_Main runs
// with the built-in ones (tests aim it at a server on a free port).
[[noreturn]] void Uploader_MainWith(const char16_t* host, int32_t port);
// Registers the common-control classes the program asks for and starts COM;
// neither result is looked at.
void Gui_InitCommonControls();

// ---- Upload window and main loop ---------------------------------------------------------
// Creates the idle screen (path field, Browse, upload, the hidden cancel) and
// gives the path field the focus.
void Uploader_ShowIdleScreen();
// Asks for a map file; sets the path field, the remote name and the size
// (all empty or 0 when the user cancels).
void Uploader_Browse();
// Starts the upload of the path field's file under the remote name and shows
// the progress screen; a remote name without ".bxm", or an empty path field,
// is refused with a message and nothing changes.
void Uploader_StartUpload();
// Reaction to the progress screen's "cancel": shows "canceling" on the
// button, stops the upload, deletes the remote file when this upload's STOR
// was accepted (otherwise nothing is sent), and returns to the idle screen.
void Uploader_Cancel();
// Frees the progress screen, sets the server's directory to "/" and shows the
// idle screen again: Uploader_SetScreen(UPLOAD_IDLE).
void Uploader_Reset();
// Makes `state` current and shows its screen. UPLOAD_RUNNING frees the idle
// screen, builds the progress screen and starts its refresh timer.
// UPLOAD_IDLE builds the idle screen; coming from the progress screen it
// first frees that screen and sets the server's directory to "/".
// UPLOAD_ENDED only stops the refresh: the gadgets stay until the window
// closes. The refresh timer runs exactly while UPLOAD_RUNNING is current.
void Uploader_SetScreen(int32_t state);
// One refresh of the progress screen from the upload's progress; reports
// "Finished!" and resets once the upload has finished.
void Uploader_RefreshProgress();
// The main loop, from the idle screen until the window is closed or the idle
// "cancel" is pressed.
void Uploader_MainLoop();

// What the progress screen shows for an upload's progress and the browsed size.
struct UploadFigures {
  int32_t sentKb;    // progress in whole KB; the negative progress states give 0
  float percent;     // sentKb / sizeKb * 100: not a number when both are 0, infinite when only sizeKb is
  int32_t barValue;  // the bar's value: percent rounded, halves to even
};
// The figures of `progress` (bytes or a progress state) against `sizeKb`.
UploadFigures Uploader_Figures(int64_t progress, int32_t sizeKb);
// The size in whole KB of a file of `bytes` (0 for the missing-file and
// directory codes -1 and -2).
int32_t Uploader_SizeKb(int64_t bytes);
