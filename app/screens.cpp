// The upload window: the idle and progress screens, their reactions and the main loop.
#include <cmath>
#include <cstdint>
#include <limits>

#include "app/uploader.h"
#include "core/strfunc.h"
#include "core/string.h"
#include "ftp/ftp.h"
#include "gadget/gadget.h"
#include "gadget/requester.h"
#include "platform/win32.h"
#include "window/event.h"

namespace {

// The text at accumulator offset `start` (the buffer may have moved since it was written).
const char16_t* textAt(int32_t start) {
  return reinterpret_cast<const char16_t*>(reinterpret_cast<const char*>(String_Accumulator.buffer) + start);
}

bool sameText(const char16_t* a, const char16_t* b) {
  while (*a && *a == *b) a++, b++;
  return *a == *b;
}

// Shows `value` with two decimals and `unit` in a value field. The field is
// written only when it shows something else: an unchanged text would make the
// window system repaint it for nothing, and each repaint wakes the loop again.
// Whatever the user typed there is still overwritten.
void showFigure(ObjectNumber gadget, double value, const char16_t* unit) {
  const int32_t start = String_Accumulator.position;
  String_FormatFloat(value, 2, start);
  String_Append(unit);
  // The field's current text goes after the new one and its terminator.
  String_Accumulator.position += 2;
  const int32_t shown = String_Accumulator.position;
  Gadget_GetText(gadget, shown);
  if (!sameText(textAt(start), textAt(shown))) Gadget_SetText(gadget, textAt(start));
  String_Accumulator.position = start;
}

// The bar's value for a percentage: rounded, halves to even. A percentage that
// is not a finite number (0 / 0, or bytes sent of a browsed size of 0 KB)
// becomes the most negative value, which the bar shows as its minimum; a
// finite one beyond the integer range is held at its end.
int32_t barValue(float percent) {
  const double value = percent;
  if (!std::isfinite(value)) return std::numeric_limits<int32_t>::min();
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::nearbyint(value));
}

void createProgressScreen() {
  Gadget_CreateText(GADGET_SENT_LABEL, 0, 15, 200, 20, u"Total Transfered");
  Gadget_CreateString(GADGET_SENT_VALUE, 0, 15, 200, 20, u"");
  Gadget_CreateText(GADGET_SIZE_LABEL, 20, 35, 200, 20, u"File Size");
  Gadget_CreateString(GADGET_SIZE_VALUE, 20, 35, 200, 20, u"");
  Gadget_CreateText(GADGET_PERCENT_LABEL, 40, 55, 200, 20, u"Percent");
  Gadget_CreateString(GADGET_PERCENT_VALUE, 40, 55, 200, 20, u"");
  Gadget_CreateProgressBar(GADGET_PROGRESS, 60, 75, 200, 20, 0, 100);
  Gadget_CreateButton(GADGET_CANCEL, 80, 95, 200, 20, u"cancel");
  Gadget_Activate(GADGET_SENT_VALUE);
}

}  // namespace

int32_t Uploader_SizeKb(int64_t bytes) {
  // Divide the 64-bit size first, then narrow: a file above 4 GiB keeps its
  // true size (32 bits of KB reach 2 TiB).
  return static_cast<int32_t>(bytes / 1024);
}

UploadFigures Uploader_Figures(int64_t progress, int32_t sizeKb) {
  UploadFigures figures;
  // The 64-bit byte count divided before narrowing, as for the size; the
  // progress states -1, -2 and -3 give 0.
  figures.sentKb = static_cast<int32_t>(progress / 1024);
  figures.percent = static_cast<float>(static_cast<double>(figures.sentKb) / sizeKb * 100.0);
  figures.barValue = barValue(figures.percent);
  return figures;
}

void Uploader_ShowIdleScreen() {
  Gadget_CreateText(GADGET_FILENAME_LABEL, 0, 15, 200, 20, u"Filename");
  Gadget_CreateString(GADGET_PATH, 0, 15, 200, 20, u"");
  Gadget_Activate(GADGET_PATH);
  // Browse and the idle "cancel" are 0 pixels high: nothing shows of them,
  // but they exist, take the focus by Tab and report their presses.
  Gadget_CreateButton(GADGET_BROWSE, 20, 35, 200, 0, u"Browse...");
  Gadget_CreateText(GADGET_DIRECTORY_LABEL, 60, 75, 200, 20, u"Directory");
  Gadget_CreateButton(GADGET_UPLOAD, 80, 95, 200, 20, u"upload");
  Gadget_CreateButton(GADGET_QUIT, 100, 105, 200, 0, u"cancel");
}

void Uploader_Browse() {
  int32_t start = String_Accumulator.position;
  Requester_OpenFile(u"upload file", u"", u"Brix maps|*.bxm", 0, start);
  String_Store(&Uploader.localPath, start);

  StringVar directory = nullptr;
  start = String_Accumulator.position;
  String_PathPart(Uploader.localPath, start);
  String_Store(&directory, start);
  start = String_Accumulator.position;
  String_Replace(Uploader.localPath, directory, u"", start);
  String_Store(&Uploader.remoteName, start);
  String_Free(directory);

  Uploader.sizeKb = Uploader_SizeKb(File_Size(Uploader.localPath));
  Gadget_SetText(GADGET_PATH, Uploader.localPath);
}

void Uploader_StartUpload() {
  // An empty path field names no file. The name of the last Browse is kept
  // for a path typed or edited by hand, but with nothing in the field there
  // is nothing to send under it: after "Finished!" the field is empty again,
  // and the upload would only fail, under the name of the map just stored.
  if (String_Count(Uploader.remoteName, u".bxm") <= 0 || String_Length(Uploader.localPath) == 0) {
    Requester_Message(u"Error", u"This is not a Brix map!");
    return;
  }
  Ftp_SendFile(FTP_SESSION, Uploader.localPath, Uploader.remoteName, 1);
  Uploader_SetScreen(UPLOAD_RUNNING);
}

void Uploader_Reset() { Uploader_SetScreen(UPLOAD_IDLE); }

void Uploader_SetScreen(int32_t state) {
  if (Uploader.refreshTimer) KillTimer(nullptr, Uploader.refreshTimer);
  Uploader.refreshTimer = 0;
  if (state == UPLOAD_RUNNING) {
    for (ObjectNumber gadget : {GADGET_FILENAME_LABEL, GADGET_PATH, GADGET_BROWSE, GADGET_UPLOAD, GADGET_QUIT,
                                GADGET_DIRECTORY_LABEL})
      Gadget_Free(gadget);
    createProgressScreen();
    // The refresh runs once per return of the event wait; while the figures
    // stand still nothing else may come, so a timer keeps the loop turning.
    Uploader.refreshTimer = SetTimer(nullptr, 0, UPLOADER_REFRESH_MS, nullptr);
  } else if (state == UPLOAD_IDLE) {
    // Back from an upload, the session returns to the server's root, where
    // the next upload starts.
    if (Uploader.state == UPLOAD_RUNNING) {
      for (ObjectNumber gadget = GADGET_SENT_VALUE; gadget <= GADGET_PROGRESS; gadget++) Gadget_Free(gadget);
      Ftp_SetDirectory(FTP_SESSION, u"/");
    }
    Uploader_ShowIdleScreen();
  }
  Uploader.state = state;
}

void Uploader_RefreshProgress() {
  Uploader_RefreshPasses.fetch_add(1, std::memory_order_relaxed);
  const UploadFigures figures = Uploader_Figures(Ftp_Progress(FTP_SESSION), Uploader.sizeKb);
  Uploader.sentKb = figures.sentKb;
  Uploader.percent = figures.percent;
  showFigure(GADGET_SENT_VALUE, Uploader.sentKb / 1024.0, u" MB");
  showFigure(GADGET_SIZE_VALUE, Uploader.sizeKb / 1024.0, u" MB");
  showFigure(GADGET_PERCENT_VALUE, Uploader.percent, u" Percent");
  // The bar holds its value within 0..100; set it only when what it shows changes.
  const int32_t shown = figures.barValue < 0 ? 0 : figures.barValue > 100 ? 100 : figures.barValue;
  if (Gadget_GetState(GADGET_PROGRESS) != shown) Gadget_SetState(GADGET_PROGRESS, figures.barValue);

  // Read again: the upload may have finished since the figures were taken.
  if (Ftp_Progress(FTP_SESSION) == FTP_PROGRESS_FINISHED) {
    Requester_Message(u"success", u"Finished!");
    Uploader_Reset();
  }
}

void Uploader_Cancel() {
  Gadget_SetText(GADGET_CANCEL, u"canceling");
  // Painted now, before the abort: nothing repaints while the GUI thread
  // waits in it, and the user must see at once that the press was taken.
  if (GadgetRecord* button = Gadget_GetRecord(GADGET_CANCEL)) UpdateWindow(button->window);
  Ftp_Abort(FTP_SESSION);
  // Only a file that this upload's STOR created is deleted. An upload that
  // failed before it (no file, a refused command, no session) wrote nothing,
  // and a file of that name on the server is someone else's, or the map that
  // the last upload stored.
  if (Ftp_StoreAccepted(FTP_SESSION)) Ftp_DeleteFile(FTP_SESSION, Uploader.remoteName);
  Uploader_Reset();
}

void Uploader_MainLoop() {
  Uploader_SetScreen(UPLOAD_IDLE);
  do {
    if (Uploader.state == UPLOAD_IDLE) {
      const int32_t start = String_Accumulator.position;
      Gadget_GetText(GADGET_PATH, start);
      String_Store(&Uploader.localPath, start);
    }
    if (Uploader.state == UPLOAD_RUNNING) Uploader_RefreshProgress();

    Uploader.lastEvent = Event_Wait();
    if (Uploader.lastEvent != EVENT_GADGET_ACTIVITY) continue;
    // Any event of a button counts as a press; its type is not looked at.
    switch (Event_Gadget()) {
      case GADGET_BROWSE:
        Uploader_Browse();
        break;
      case GADGET_UPLOAD:
        Uploader_StartUpload();
        break;
      case GADGET_QUIT:
        // To the closing of the FTP session, as a closed window.
        Uploader_SetScreen(UPLOAD_ENDED);
        return;
      case GADGET_CANCEL:
        Uploader_Cancel();
        break;
      default:
        break;
    }
  } while (Uploader.lastEvent != EVENT_WINDOW_CLOSE);
  Uploader_SetScreen(UPLOAD_ENDED);
}
