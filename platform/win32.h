// The platform: the Windows API on Windows, our own substitute of it on Linux.
// Runtime code includes only this header for platform services, so the same
// code builds on both; what differs lives under platform/.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Runtime text is UTF-16: the generic names (IDC_ARROW, RT_ICON, TEXT()) and
// structures are the wide ones, as in the substitute.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>
#include <commctrl.h>
#include <commdlg.h>
#include <cderr.h>
#include <ole2.h>
#else
#include "platform/linux/wintypes.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/threads.h"
#include "platform/linux/winnls.h"
#include "platform/linux/winsock.h"
#include "platform/linux/user32.h"
#include "platform/linux/gdi32.h"
#include "platform/linux/commctrl.h"
#include "platform/linux/commdlg.h"
#include "platform/linux/ole32.h"
#endif

#include "platform/wide.h"
