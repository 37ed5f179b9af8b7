// 8-bit text conversions: runtime strings to the ANSI code page or UTF-8.
#include "net/convert.h"

#include <cstdlib>
#include <cstring>

#include "core/heap.h"
#include "platform/win32.h"

static char* allocate8(size_t bytes) {
  auto* text = static_cast<char*>(std::malloc(bytes));
  if (!text) Heap_Exhausted("8-bit text conversion");
  return text;
}

static char* convert(unsigned codePage, const char16_t* text) {
  int size = text ? WideCharToMultiByte(codePage, 0, W(text), -1, nullptr, 0, nullptr, nullptr) : 0;
  if (size <= 0) {
    char* empty = allocate8(1);
    empty[0] = 0;
    return empty;
  }
  char* out = allocate8(static_cast<size_t>(size) + 1);
  int written = WideCharToMultiByte(codePage, 0, W(text), -1, out, size, nullptr, nullptr);
  out[written > 0 ? written : 0] = 0;
  return out;
}

char* Convert_ToAnsi(const char16_t* text) { return convert(CP_ACP, text); }

char* Convert_ToUtf8(const char16_t* text) { return convert(CP_UTF8, text); }

char* Convert_Copy8(const char* text8) {
  if (!text8) text8 = "";
  size_t length = std::strlen(text8);
  char* copy = allocate8(length + 1);
  std::memcpy(copy, text8, length + 1);
  return copy;
}

void Convert_Free(char* text8) { std::free(text8); }
