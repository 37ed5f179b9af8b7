// Code-page conversion of the Linux substitute: UTF-16 to and from UTF-8 and
// the substitute's ANSI code page, Windows-1252.
#pragma once

#include "platform/linux/wintypes.h"

#define CP_ACP 0
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080
#define MB_ERR_INVALID_CHARS 0x00000008
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

// The ANSI code page: 1252.
UINT WINAPI GetACP();

// Converts `count` UTF-16 units (-1: up to and including the terminator) into
// `out` of `outSize` bytes; with outSize 0 only the size needed is returned.
// Returns the bytes written (or needed), 0 on failure (GetLastError:
// ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS,
// ERROR_NO_UNICODE_TRANSLATION). In the ANSI code page a character without a
// 1252 form is written as its best-fit look-alike where Windows has one
// (U+FF0F fullwidth solidus as '/'), which does not count as a default
// character; under WC_NO_BEST_FIT_CHARS, and for characters without a
// look-alike, each such UTF-16 unit becomes `defaultChar` ('?' when null) and
// sets *usedDefault. UTF-8 takes neither (both must be null) and no flag but
// WC_ERR_INVALID_CHARS (ERROR_INVALID_FLAGS); it writes an unpaired surrogate
// as U+FFFD, or fails with ERROR_NO_UNICODE_TRANSLATION under that flag.
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* text, int count, LPSTR out,
                               int outSize, LPCSTR defaultChar, LPBOOL usedDefault);
// The reverse: `count` bytes (-1: up to and including the terminator) into
// `out` of `outSize` units. Ill-formed UTF-8 becomes U+FFFD, or fails with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int count, WCHAR* out, int outSize);
