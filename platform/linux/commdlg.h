// Common dialogs of the Linux substitute (COMDLG32): the open and save file dialogs.
#pragma once

#include "platform/linux/user32.h"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagOFNW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPWSTR lpstrFile;
  DWORD nMaxFile;
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEW, *LPOPENFILENAMEW;

// The structure size of the form without the last three fields, on 32-bit
// Windows 76 bytes; accepted besides sizeof(OPENFILENAMEW).
#define OPENFILENAME_SIZE_VERSION_400W offsetof(OPENFILENAMEW, pvReserved)

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000

#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_BUFFERTOOSMALL 0x3003
#define FNERR_INVALIDFILENAME 0x3002

// Show the dialog modally (a "#32770" window titled lpstrTitle, or "Open" /
// "Save As"), owned and disabling hwndOwner, while the thread's messages keep
// being dispatched. Filter pairs, nFilterIndex (1-based; 0 = the first),
// lpstrInitialDir and the name proposed in lpstrFile are offered to the user.
// On success lpstrFile holds the chosen full path, with nFileOffset and
// nFileExtension set. A cancel returns FALSE with CommDlgExtendedError 0; a
// path that does not fit in nMaxFile characters returns FALSE with
// FNERR_BUFFERTOOSMALL and the needed size in the first two bytes of lpstrFile.
BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn);
BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn);
DWORD WINAPI CommDlgExtendedError();
