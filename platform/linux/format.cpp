// Wide formatted output of the Linux substitute: _vsnwprintf over UTF-16, with
// the Windows runtime's conventions (%s and %c take UTF-16 unless marked 'h').
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/linux/kernel32.h"
#include "platform/linux/utf8.h"

namespace {

// Collects the output: writes what fits in `limit` characters and counts all of it.
struct Output {
  WCHAR* buffer;
  size_t limit;
  size_t total = 0;

  void put(char16_t c) {
    if (total < limit) buffer[total] = c;
    total++;
  }
  void repeat(char16_t c, size_t n) {
    for (size_t i = 0; i < n && total + i < limit; i++) buffer[total + i] = c;
    total += n;
  }
  void text(const char16_t* s, size_t n) {
    size_t fits = total < limit ? limit - total : 0;
    if (fits) std::memcpy(buffer + total, s, 2 * (n < fits ? n : fits));
    total += n;
  }
  void ascii(const char* s, size_t n) {
    for (size_t i = 0; i < n; i++) put(static_cast<unsigned char>(s[i]));
  }
};

enum class Size { Default, Char, Short, Long, LongLong, Pointer, Max, LongDouble };

struct Conversion {
  bool left = false, plus = false, space = false, alternate = false, zero = false;
  int width = 0;
  int precision = -1;  // -1: none given
  Size size = Size::Default;
  bool narrow = false;  // 'h' on %s / %c: an 8-bit argument
  bool wide = false;    // 'l' or 'w'
};

// Lays out one field: prefix (sign, "0x"), then the body, padded to the width.
// `zeroPad` lets the '0' flag fill between prefix and body.
void emitField(Output& out, const Conversion& c, const char* prefix, size_t prefixLength,
               const char16_t* body, size_t bodyLength, size_t leadingZeros, bool zeroPad) {
  size_t used = prefixLength + leadingZeros + bodyLength;
  size_t pad = static_cast<size_t>(c.width) > used ? static_cast<size_t>(c.width) - used : 0;
  if (!c.left && !(zeroPad && c.zero)) out.repeat(u' ', pad);
  out.ascii(prefix, prefixLength);
  if (!c.left && zeroPad && c.zero) out.repeat(u'0', pad);
  out.repeat(u'0', leadingZeros);
  out.text(body, bodyLength);
  if (c.left) out.repeat(u' ', pad);
}

void emitInteger(Output& out, const Conversion& c, char kind, unsigned long long magnitude, bool negative) {
  char16_t digits[72];  // 64 octal digits at most
  size_t n = 0;
  unsigned base = kind == 'o' ? 8 : (kind == 'x' || kind == 'X') ? 16 : 10;
  const char* set = kind == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  // Precision 0 and value 0 print no digits at all.
  if (!(magnitude == 0 && c.precision == 0)) {
    do {
      digits[sizeof digits / 2 - 1 - n++] = static_cast<char16_t>(set[magnitude % base]);
      magnitude /= base;
    } while (magnitude);
  }
  const char16_t* body = digits + (sizeof digits / 2 - n);
  size_t zeros = c.precision > 0 && static_cast<size_t>(c.precision) > n ? c.precision - n : 0;
  const char* prefix = "";
  if (kind == 'd' || kind == 'i') {
    prefix = negative ? "-" : c.plus ? "+" : c.space ? " " : "";
  } else if (c.alternate && n > 0 && body[0] != u'0') {
    prefix = kind == 'x' ? "0x" : kind == 'X' ? "0X" : kind == 'o' && zeros == 0 ? "0" : "";
  }
  emitField(out, c, prefix, std::strlen(prefix), body, n, zeros, c.precision < 0);
}

// Floating point through the C library's conversion (exact digits on glibc),
// then laid out here so that a large width never needs a large buffer.
bool emitFloat(Output& out, const Conversion& c, char kind, long double value, bool isLong) {
  char format[16];
  size_t f = 0;
  format[f++] = '%';
  if (c.plus) format[f++] = '+';
  if (c.space) format[f++] = ' ';
  if (c.alternate) format[f++] = '#';
  if (c.precision >= 0) {
    format[f++] = '.';
    format[f++] = '*';
  }
  if (isLong) format[f++] = 'L';
  format[f++] = kind;
  format[f] = 0;

  auto print = [&](char* into, size_t room) {
    if (isLong)
      return c.precision >= 0 ? std::snprintf(into, room, format, c.precision, value)
                              : std::snprintf(into, room, format, value);
    double d = static_cast<double>(value);
    return c.precision >= 0 ? std::snprintf(into, room, format, c.precision, d)
                            : std::snprintf(into, room, format, d);
  };
  // Enough for the largest double (309 digits) with 512 decimals; more only on request.
  char local[1024];
  int length = print(local, sizeof local);
  if (length < 0) return false;
  char* digits = local;
  std::unique_ptr<char[]> large;
  if (static_cast<size_t>(length) >= sizeof local) {
    large.reset(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
    if (!large) return false;
    print(large.get(), static_cast<size_t>(length) + 1);
    digits = large.get();
  }
  size_t signLength = (digits[0] == '-' || digits[0] == '+' || digits[0] == ' ') ? 1 : 0;
  std::u16string body(digits + signLength, digits + length);
  // Infinities and NaN are padded with spaces, never zeros.
  emitField(out, c, digits, signLength, body.data(), body.size(), 0, std::isfinite(value));
  return true;
}

void emitString(Output& out, const Conversion& c, const char16_t* s, size_t length) {
  if (c.precision >= 0 && static_cast<size_t>(c.precision) < length) length = c.precision;
  Conversion plain = c;
  plain.zero = false;
  emitField(out, plain, "", 0, s, length, 0, false);
}

// Reads a decimal number of the format, saturating instead of overflowing.
int readNumber(const char16_t*& p) {
  long long n = 0;
  while (*p >= u'0' && *p <= u'9') {
    n = n * 10 + (*p++ - u'0');
    if (n > INT_MAX) n = INT_MAX;
  }
  return static_cast<int>(n);
}

}  // namespace

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
  va_list ap;
  va_copy(ap, args);
  Output out{buffer, buffer ? count : 0};
  bool failed = false;
  const char16_t* p = format;
  while (p && *p && !failed) {
    if (*p != u'%') {
      out.put(*p++);
      continue;
    }
    p++;
    Conversion c;
    for (;; p++) {
      if (*p == u'-')
        c.left = true;
      else if (*p == u'+')
        c.plus = true;
      else if (*p == u' ')
        c.space = true;
      else if (*p == u'#')
        c.alternate = true;
      else if (*p == u'0')
        c.zero = true;
      else
        break;
    }
    if (*p == u'*') {
      p++;
      int w = va_arg(ap, int);
      if (w < 0) {
        c.left = true;
        w = w == INT_MIN ? INT_MAX : -w;
      }
      c.width = w;
    } else {
      c.width = readNumber(p);
    }
    if (*p == u'.') {
      p++;
      if (*p == u'*') {
        p++;
        int q = va_arg(ap, int);
        c.precision = q < 0 ? -1 : q;
      } else {
        c.precision = readNumber(p);
      }
    }
    // Length modifiers of both the C standard and the Windows runtime.
    if (*p == u'h') {
      p++;
      c.narrow = true;
      c.size = Size::Short;
      if (*p == u'h') p++, c.size = Size::Char;
    } else if (*p == u'l') {
      p++;
      c.wide = true;
      c.size = Size::Long;
      if (*p == u'l') p++, c.size = Size::LongLong;
    } else if (*p == u'w') {
      p++;
      c.wide = true;
    } else if (*p == u'L') {
      p++;
      c.size = Size::LongDouble;
    } else if (*p == u'z' || *p == u't') {
      p++;
      c.size = Size::Pointer;
    } else if (*p == u'j') {
      p++;
      c.size = Size::Max;
    } else if (*p == u'I') {
      if (p[1] == u'6' && p[2] == u'4')
        p += 3, c.size = Size::LongLong;
      else if (p[1] == u'3' && p[2] == u'2')
        p += 3, c.size = Size::Default;
      else
        p++, c.size = Size::Pointer;
    }
    if (c.left) c.zero = false;

    char16_t kind = *p;
    if (!kind) break;
    p++;
    switch (kind) {
      case u'd':
      case u'i': {
        long long v;
        switch (c.size) {
          case Size::Char:
            v = static_cast<signed char>(va_arg(ap, int));
            break;
          case Size::Short:
            v = static_cast<short>(va_arg(ap, int));
            break;
          case Size::Long:
            v = va_arg(ap, long);
            break;
          case Size::LongLong:
            v = va_arg(ap, long long);
            break;
          case Size::Pointer:
            v = va_arg(ap, ptrdiff_t);
            break;
          case Size::Max:
            v = va_arg(ap, intmax_t);
            break;
          default:
            v = va_arg(ap, int);
            break;
        }
        unsigned long long magnitude = v < 0 ? 0ull - static_cast<unsigned long long>(v) : v;
        emitInteger(out, c, static_cast<char>(kind), magnitude, v < 0);
        break;
      }
      case u'u':
      case u'x':
      case u'X':
      case u'o': {
        unsigned long long v;
        switch (c.size) {
          case Size::Char:
            v = static_cast<unsigned char>(va_arg(ap, unsigned));
            break;
          case Size::Short:
            v = static_cast<unsigned short>(va_arg(ap, unsigned));
            break;
          case Size::Long:
            v = va_arg(ap, unsigned long);
            break;
          case Size::LongLong:
            v = va_arg(ap, unsigned long long);
            break;
          case Size::Pointer:
            v = va_arg(ap, size_t);
            break;
          case Size::Max:
            v = va_arg(ap, uintmax_t);
            break;
          default:
            v = va_arg(ap, unsigned);
            break;
        }
        emitInteger(out, c, static_cast<char>(kind), v, false);
        break;
      }
      case u'p': {
        // As the Windows runtime prints pointers: upper-case hex, all digits.
        Conversion hex = c;
        hex.precision = static_cast<int>(2 * sizeof(void*));
        emitInteger(out, hex, 'X', reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false);
        break;
      }
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G':
      case u'a':
      case u'A': {
        bool isLong = c.size == Size::LongDouble;
        long double v = isLong ? va_arg(ap, long double) : va_arg(ap, double);
        if (!emitFloat(out, c, static_cast<char>(kind), v, isLong)) failed = true;
        break;
      }
      case u'c':
      case u'C': {
        int v = va_arg(ap, int);
        bool eightBit = kind == u'C' ? !c.wide : c.narrow;
        char16_t ch =
            eightBit ? static_cast<char16_t>(static_cast<unsigned char>(v)) : static_cast<char16_t>(v);
        Conversion plain = c;
        plain.precision = -1;
        emitString(out, plain, &ch, 1);
        break;
      }
      case u's':
      case u'S': {
        bool eightBit = kind == u'S' ? !c.wide : c.narrow;
        if (eightBit) {
          const char* s = va_arg(ap, const char*);
          if (!s) s = "(null)";
          size_t n = c.precision >= 0 ? strnlen(s, static_cast<size_t>(c.precision)) : std::strlen(s);
          std::u16string wide = Utf16_FromUtf8(std::string_view(s, n));
          Conversion whole = c;
          whole.precision = -1;
          emitString(out, whole, wide.data(), wide.size());
        } else {
          const char16_t* s = va_arg(ap, const char16_t*);
          if (!s) s = u"(null)";
          size_t n = 0;
          // Bounded by the precision: the text need not be terminated beyond it.
          while ((c.precision < 0 || n < static_cast<size_t>(c.precision)) && s[n]) n++;
          emitString(out, c, s, n);
        }
        break;
      }
      case u'%':
        out.put(u'%');
        break;
      default:
        // An unknown conversion is printed as it stands.
        out.put(kind);
        break;
    }
  }
  va_end(ap);
  if (failed || out.total > static_cast<size_t>(INT_MAX) || out.total > out.limit) return -1;
  if (out.total < out.limit) buffer[out.total] = 0;
  return static_cast<int>(out.total);
}
