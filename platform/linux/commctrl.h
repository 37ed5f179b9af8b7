// Common controls of the Linux substitute (COMCTL32): the progress bar class.
#pragma once

#include "platform/linux/gdi32.h"

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_HOTKEY_CLASS 0x00000040
#define ICC_ANIMATE_CLASS 0x00000080
#define ICC_WIN95_CLASSES 0x000000FF
#define ICC_DATE_CLASSES 0x00000100
#define ICC_USEREX_CLASSES 0x00000200
#define ICC_COOL_CLASSES 0x00000400
#define ICC_INTERNET_CLASSES 0x00000800
#define ICC_STANDARD_CLASSES 0x00004000

// The substitute's classes are always registered; this checks the structure
// (dwSize 8) and succeeds.
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

#define PROGRESS_CLASSW u"msctls_progress32"
#define CLR_DEFAULT 0xFF000000L
#define CLR_NONE 0xFFFFFFFFL

#define PBS_SMOOTH 0x01
#define PBS_VERTICAL 0x04

typedef struct {
  int iLow;
  int iHigh;
} PBRANGE, *PPBRANGE;

#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)
#define PBM_SETBARCOLOR (WM_USER + 9)
#define PBM_GETBARCOLOR (WM_USER + 15)
#define PBM_GETBKCOLOR (WM_USER + 14)
#define CCM_FIRST 0x2000
#define CCM_SETBKCOLOR (CCM_FIRST + 1)
#define PBM_SETBKCOLOR CCM_SETBKCOLOR
