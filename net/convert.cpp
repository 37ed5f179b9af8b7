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

char* Convert_ToAnsiExact(const char16_t* text) {
  if (!text) text = u"";
  // Without WC_NO_BEST_FIT_CHARS a character without a form of its own is
  // written as a look-alike (fullwidth solidus as '/', Latin letters without
  // their accents) and nothing reports it; with it, every such character is
  // the default character and *usedDefault says so. A system whose ANSI code
  // page is UTF-8 takes neither the flag nor the report: there only an
  // unpaired surrogate has no form, and WC_ERR_INVALID_CHARS refuses it.
  bool utf8 = GetACP() == CP_UTF8;
  DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  LPBOOL report = utf8 ? nullptr : &usedDefault;
  int size = WideCharToMultiByte(CP_ACP, flags, W(text), -1, nullptr, 0, nullptr, report);
  if (size <= 0 || usedDefault) return nullptr;
  char* out = allocate8(static_cast<size_t>(size) + 1);
  int written = WideCharToMultiByte(CP_ACP, flags, W(text), -1, out, size, nullptr, report);
  if (written <= 0 || usedDefault) {
    std::free(out);
    return nullptr;
  }
  out[written] = 0;
  return out;
}

char* Convert_ToUtf8(const char16_t* text) { return convert(CP_UTF8, text); }

char* Convert_Copy8(const char* text8) {
  if (!text8) text8 = "";
  size_t length = std::strlen(text8);
  char* copy = allocate8(length + 1);
  std::memcpy(copy, text8, length + 1);
  return copy;
}

void Convert_Free(char* text8) { std::free(text8); }
