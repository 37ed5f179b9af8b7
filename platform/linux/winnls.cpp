// Code-page conversion of the Linux substitute: UTF-8 and Windows-1252.
#include "platform/linux/winnls.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/linux/kernel32.h"
#include "platform/linux/utf8.h"
#include "platform/linux/winnls_bestfit.h"

namespace {

// Characters 0x80..0x9F of Windows-1252; the five unassigned bytes map to the
// control characters of the same value, as Windows maps them.
constexpr char16_t kHigh1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The 1252 byte of a character, or -1 when it has none.
int to1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; i++)
    if (kHigh1252[i] == c) return 0x80 + i;
  return -1;
}

// The look-alike byte Windows writes for a character without a 1252 form
// when best fit is allowed, or -1 when there is none.
int bestFit1252(char16_t c) {
  auto end = std::end(WINNLS_BEST_FIT_1252);
  auto at = std::lower_bound(std::begin(WINNLS_BEST_FIT_1252), end, c,
                             [](const WinnlsBestFit& entry, char16_t key) { return entry.character < key; });
  return at != end && at->character == c ? at->byte : -1;
}

bool isSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Whether the text holds a surrogate that is not half of a pair.
bool hasUnpairedSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); i++) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      i++;
    else if (isSurrogate(c))
      return true;
  }
  return false;
}

char16_t from1252(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : b; }

// Copies a converted text out as the Windows calls do: the size alone when
// there is no room asked for, a failure when the room is too small.
template <typename Char>
int deliver(const std::basic_string<Char>& converted, Char* out, int outSize) {
  if (converted.size() > 0x7fffffff) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int size = static_cast<int>(converted.size());
  if (outSize == 0) return size;
  if (!out || outSize < size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, converted.data(), converted.size() * sizeof(Char));
  return size;
}

}  // namespace

UINT WINAPI GetACP() { return 1252; }

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* text, int count, LPSTR out,
                               int outSize, LPCSTR defaultChar, LPBOOL usedDefault) {
  if (!text || count == 0 || count < -1 || outSize < 0 || (outSize > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = 0;
  if (count == -1) {
    while (text[length]) length++;
    length++;  // the terminator is converted too
  } else {
    length = static_cast<size_t>(count);
  }
  std::u16string_view source(reinterpret_cast<const char16_t*>(text), length);
  std::string converted;
  if (codePage == CP_UTF8) {
    // Windows takes no default character and no flag but this one for UTF-8.
    if (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    if (defaultChar || usedDefault) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if ((flags & WC_ERR_INVALID_CHARS) && hasUnpairedSurrogate(source)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
    converted = Utf8_FromUtf16(source);
  } else if (codePage == CP_ACP || codePage == 1252) {
    char fallback = defaultChar ? *defaultChar : '?';
    bool bestFit = !(flags & WC_NO_BEST_FIT_CHARS);
    bool used = false;
    converted.reserve(length);
    for (size_t i = 0; i < length; i++) {
      char16_t c = source[i];
      int b = to1252(c);
      // A look-alike (fullwidth solidus as '/') is no default character:
      // only WC_NO_BEST_FIT_CHARS makes such a conversion show in *usedDefault.
      if (b < 0 && bestFit) b = bestFit1252(c);
      // Each UTF-16 unit without a form, either half of a surrogate pair too,
      // becomes one default character, as on Windows.
      if (b < 0) {
        used = true;
        b = static_cast<unsigned char>(fallback);
      }
      converted += static_cast<char>(b);
    }
    if (usedDefault) *usedDefault = used;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return deliver(converted, out, outSize);
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int count, WCHAR* out, int outSize) {
  if (!text || count == 0 || count < -1 || outSize < 0 || (outSize > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = count == -1 ? std::strlen(text) + 1 : static_cast<size_t>(count);
  std::string_view source(text, length);
  std::u16string converted;
  if (codePage == CP_UTF8) {
    bool illFormed = false;
    converted = Utf16_FromUtf8(source, &illFormed);
    if ((flags & MB_ERR_INVALID_CHARS) && illFormed) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else if (codePage == CP_ACP || codePage == 1252) {
    converted.reserve(length);
    for (char c : source) converted += from1252(static_cast<unsigned char>(c));
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return deliver(converted, reinterpret_cast<char16_t*>(out), outSize);
}
