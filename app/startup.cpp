// Start-up and shut-down of the uploader: the built-in settings, the libraries in
// their order, the login, the window, and the exit with code 0.
#include <cstring>

#include "app/uploader.h"
#include "core/heap.h"
#include "core/thread.h"
#include "core/map.h"
#include "core/string.h"
#include "ftp/ftp.h"
#include "gadget/gadget.h"
#include "gadget/requester.h"
#include "net/net.h"
#include "platform/win32.h"
#include "window/event.h"
#include "window/window.h"

#ifndef TILEPOST_FTP_HOST
#define TILEPOST_FTP_HOST "localhost"
#endif

const char16_t UPLOADER_FTP_HOST[] = u"" TILEPOST_FTP_HOST;

UploaderState Uploader;
std::atomic<uint32_t> Uploader_RefreshPasses{0};

namespace {

// The rest of the program's variables.
struct Program {
  HMODULE module;
  StringVar title;
  StringVar user;
  StringVar password;
};
Program program;

}  // namespace

void Gui_InitCommonControls() {
  INITCOMMONCONTROLSEX classes;
  classes.dwSize = sizeof classes;
  classes.dwICC = UPLOADER_COMMON_CONTROLS;
  InitCommonControlsEx(&classes);
  CoInitialize(nullptr);
}

void Uploader_Main() { Uploader_MainWith(UPLOADER_FTP_HOST, UPLOADER_FTP_PORT); }

void Uploader_MainWith(const char16_t* host, int32_t port) {
  std::memset(static_cast<void*>(&Uploader), 0, sizeof Uploader);
  program = Program{};

  program.module = GetModuleHandleW(nullptr);
  Heap_Main = HeapCreate(0, 4096, 0);
  String_Init();
  Map_InstallHandlers();
  Event_Init();
  Ftp_Init();
  Thread_Init();
  Window_Init();
  Gadget_Init();
  Gui_InitCommonControls();
  String_Assign(&program.title, u"Tilepost");
  Net_Init();
  String_Assign(&program.user, u"brixmaps");
  String_Assign(&program.password, u"wol347");

  if (!Ftp_Open(FTP_SESSION, host, program.user, program.password, 1, port))
    Requester_Message(u"error", u"Could not connect");

  if (Window_Open(MAIN_WINDOW, IGNORE_COORDINATE, IGNORE_COORDINATE, IGNORE_COORDINATE, IGNORE_COORDINATE,
                  program.title, UPLOADER_WINDOW_FLAGS)) {
    Uploader_MainLoop();
    Ftp_Close(FTP_SESSION);
  }

  // Windows and their gadgets go before the FTP and network layers, the
  // posted-event window after every window, the heaps last.
  Gadget_End();
  Window_End();
  Ftp_End();
  Net_End();
  Event_End();
  Thread_End();
  String_End();
  HeapDestroy(Heap_Main);
  Heap_Main = nullptr;
  ExitProcess(0);
}
