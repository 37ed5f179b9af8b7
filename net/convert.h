// 8-bit text at the socket and file-system boundaries: runtime strings to the
// ANSI code page or UTF-8, and copies of 8-bit strings.
#pragma once

// Each returns a new zero-terminated 8-bit string owned by the caller, to be
// given back with Convert_Free; never null (a null or unconvertible text gives
// an empty string). Characters without an ANSI form become '?'.
char* Convert_ToAnsi(const char16_t* text);
char* Convert_ToUtf8(const char16_t* text);
char* Convert_Copy8(const char* text8);
// Releases a string made by the three above; null is ignored.
void Convert_Free(char* text8);
