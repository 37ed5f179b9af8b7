// Code-page conversion of the Linux substitute: UTF-8 and Windows-1252.
#include "platform/linux/winnls.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/linux/kernel32.h"

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

char16_t from1252(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : b; }

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      i++;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// UTF-8 to UTF-16; a byte that does not start a well-formed sequence becomes
// U+FFFD and sets *illFormed.
std::u16string fromUtf8(std::string_view text, bool* illFormed) {
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + extra < text.size();
    for (int k = 1; ok && k <= extra; k++) {
      auto next = static_cast<unsigned char>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (ok && extra > 0 && (c < kLeast[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) ok = false;
    if (!ok) {
      *illFormed = true;
      out += u'\xFFFD';
      i++;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += extra + 1;
  }
  return out;
}

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
    if (defaultChar || usedDefault) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    converted = toUtf8(source);
  } else if (codePage == CP_ACP || codePage == 1252) {
    char fallback = defaultChar ? *defaultChar : '?';
    bool used = false;
    converted.reserve(length);
    for (size_t i = 0; i < length; i++) {
      char16_t c = source[i];
      int b = to1252(c);
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
  (void)flags;
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
    converted = fromUtf8(source, &illFormed);
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
