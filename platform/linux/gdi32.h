// Graphics stand-ins of the Linux substitute (GDI32): brushes, stock objects,
// device contexts and text extents from a fixed font model. Nothing is drawn;
// each object remembers what it was made with, so the calls stay meaningful.
#pragma once

#include "platform/linux/user32.h"

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define CLR_INVALID 0xFFFFFFFF

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

#define BS_SOLID 0
#define BS_NULL 1
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6

typedef struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
} LOGBRUSH;

// Stock objects are never deleted: DeleteObject on one succeeds and does nothing.
HGDIOBJ WINAPI GetStockObject(int index);
// A solid brush that remembers its colour (GetObjectW with a LOGBRUSH).
HBRUSH WINAPI CreateSolidBrush(COLORREF colour);
// Deletes a brush, font or pen; a stale handle fails. An object still
// selected into a device context is not deleted (FALSE), as on Windows.
BOOL WINAPI DeleteObject(HGDIOBJ object);
int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
DWORD WINAPI GetObjectType(HGDIOBJ object);
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour);
COLORREF WINAPI GetTextColor(HDC dc);
COLORREF WINAPI SetBkColor(HDC dc, COLORREF colour);
COLORREF WINAPI GetBkColor(HDC dc);
// Text extents of the fixed font model: every font of the substitute is
// 13 pixels high; narrow letters are 3 pixels wide, wide ones 9, capitals 7,
// everything else 6 (scaled for fonts of another height).
BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int length, LPSIZE size);
