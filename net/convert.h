// 8-bit text at the socket and file-system boundaries: runtime strings to the
// ANSI code page or UTF-8, and copies of 8-bit strings.
#pragma once

// Each returns a new zero-terminated 8-bit string owned by the caller, to be
// given back with Convert_Free; never null (a null or unconvertible text gives
// an empty string). Convert_ToAnsi writes a character without an ANSI form as
// the code page's look-alike where it has one (best fit), else as '?'.
char* Convert_ToAnsi(const char16_t* text);
char* Convert_ToUtf8(const char16_t* text);
char* Convert_Copy8(const char* text8);
// The text in the system's ANSI code page only when every character has a
// form of its own there, so that the bytes name exactly what the text names:
// a new string as above (a null text gives an empty one), or null when any
// character would become a look-alike or the default character (a name that
// would turn into another name on the server).
char* Convert_ToAnsiExact(const char16_t* text);
// Releases a string made by the four above; null is ignored.
void Convert_Free(char* text8);

// Holds a string from the functions above and gives it back with Convert_Free
// on every path out of its scope, unless Take handed it on.
struct Text8 {
  char* text;
  explicit Text8(char* converted) : text(converted) {}
  ~Text8() { Convert_Free(text); }
  Text8(const Text8&) = delete;
  Text8& operator=(const Text8&) = delete;
  // The string, now the caller's to free; the holder keeps nothing.
  char* Take() {
    char* taken = text;
    text = nullptr;
    return taken;
  }
};
