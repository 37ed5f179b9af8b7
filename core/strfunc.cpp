// String and number functions: float formatting, counting, replacing, path parts, file sizes.
#include "core/strfunc.h"

#include <cmath>
#include <cstring>

#include "core/heap.h"
#include "core/string.h"
#include "platform/win32.h"

namespace {

// Room for the longest formatted number: 309 integer digits of the largest
// finite value, a sign, the point and 512 decimals stay well below it.
constexpr int32_t kFloatRoom = 1024;
constexpr int32_t kMaxDecimals = 512;

constexpr char16_t asciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

// The comparison of the C locale's case-insensitive compare: ASCII letters fold,
// every other code unit compares as it is.
bool equalNoCase(const char16_t* a, const char16_t* b, int32_t count) {
  for (int32_t i = 0; i < count; i++)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

bool equalExact(const char16_t* a, const char16_t* b, int32_t count) {
  return std::memcmp(a, b, 2 * static_cast<size_t>(count)) == 0;
}

// One search: `search` of `length` (> 0) characters in a text of `textLength`.
struct Matcher {
  const char16_t* search;
  int32_t length;
  bool noCase;

  bool at(const char16_t* text, int32_t textLength, int32_t i) const {
    if (textLength - i < length) return false;
    return noCase ? equalNoCase(text + i, search, length) : equalExact(text + i, search, length);
  }
};

// A private copy on the string heap of an argument that lies in the accumulator,
// released at the end of the call; arguments elsewhere are used as they are.
struct ArgumentCopy {
  const char16_t* text;
  char16_t* owned = nullptr;

  explicit ArgumentCopy(const char16_t* argument) : text(argument ? argument : u"") {
    if (!String_OffsetOf(text)) return;
    String_AssignNew(&owned, text);
    text = owned;
  }
  ~ArgumentCopy() { String_Free(owned); }
  ArgumentCopy(const ArgumentCopy&) = delete;
  ArgumentCopy& operator=(const ArgumentCopy&) = delete;
};

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Answers for a drive root by its type: a real drive is a directory.
int64_t driveAnswer(const char16_t* root) { return GetDriveTypeW(W(root)) > DRIVE_NO_ROOT_DIR ? -2 : -1; }

}  // namespace

void String_FormatFloat(double value, int32_t decimals, int32_t start) {
  char16_t* out = String_Reserve(kFloatRoom, start);
  const char16_t* word = nullptr;
  if (std::isnan(value))
    word = u"NaN";
  else if (std::isinf(value))
    word = value > 0 ? u"+Infinity" : u"-Infinity";
  if (word) {
    int32_t length = String_Length(word);
    String_CopyChars(out, word, length);
    String_GiveBack(kFloatRoom - length);
    return;
  }

  char16_t format[16];
  if (decimals == -1) {
    String_CopyChars(format, u"%.10f", 5);
  } else {
    if (decimals > kMaxDecimals) decimals = kMaxDecimals;
    if (decimals < 0) decimals = 0;
    String_Print(format, u"%%.%df", decimals);
  }
  // Negative zero would print a minus sign.
  if (value == 0) value = 0.0;
  int32_t count = String_Print(out, format, value);
  if (count < 0) count = 0;
  out[count] = 0;

  if (decimals == -1 && count > 0 && out[count - 1] == u'0') {
    bool hasPoint = false;
    for (int32_t i = 0; i < count && !hasPoint; i++) hasPoint = out[i] == u'.';
    if (hasPoint) {
      while (out[count - 1] == u'0') out[--count] = 0;
      if (out[count - 1] == u'.') out[--count] = 0;
    }
  }
  String_GiveBack(kFloatRoom - count);
}

int32_t String_Count(const char16_t* text, const char16_t* search) {
  int32_t textLength = String_Length(text);
  int32_t searchLength = String_Length(search);
  if (textLength == 0 || searchLength == 0) return 0;
  Matcher match{search, searchLength, false};
  int32_t found = 0;
  for (int32_t i = 0; i <= textLength - searchLength;) {
    if (text[i] == search[0] && match.at(text, textLength, i)) {
      found++;
      i += searchLength;
    } else {
      i++;
    }
  }
  return found;
}

void String_Replace(char16_t* text, const char16_t* search, const char16_t* replacement, int32_t mode,
                    int32_t from, int32_t count, int32_t start) {
  bool noCase = (mode & STRING_REPLACE_NOCASE) != 0;
  if (from < 1) from = 1;

  if (mode & STRING_REPLACE_INPLACE) {
    // Nothing is written to the accumulator; the text is overwritten where it is.
    int32_t textLength = String_Length(text);
    int32_t searchLength = String_Length(search);
    // A replacement of another length would need the text to grow or shrink in
    // place, which its block cannot promise: such a call changes nothing.
    if (searchLength == 0 || count == 0 || from - 1 >= textLength ||
        String_Length(replacement) != searchLength)
      return;
    Matcher match{search, searchLength, noCase};
    int32_t made = 0;
    for (int32_t i = from - 1; i < textLength;) {
      if ((count == -1 || made < count) && match.at(text, textLength, i)) {
        std::memcpy(text + i, replacement, 2 * static_cast<size_t>(searchLength));
        made++;
        i += searchLength;
      } else {
        i++;
      }
    }
    return;
  }

  ArgumentCopy source(text), what(search), with(replacement);
  int32_t textLength = String_Length(source.text);
  int32_t searchLength = String_Length(what.text);
  int32_t replacementLength = String_Length(with.text);
  Matcher match{what.text, searchLength, noCase};

  // Counting pass. -1 replaces every occurrence and 0 none; any other count
  // stops once that many are found, so a count below -1 allows one.
  int32_t found = 0;
  if (searchLength > 0 && count != 0) {
    for (int32_t i = from - 1; i < textLength;) {
      if (match.at(source.text, textLength, i)) {
        found++;
        i += searchLength;
        if (count != -1 && count <= found) break;
      } else {
        i++;
      }
    }
  }

  int64_t length = textLength + static_cast<int64_t>(replacementLength - searchLength) * found;
  // Lengths are 32-bit; a result beyond that cannot be built in the accumulator.
  if (length > INT32_MAX / 2) Heap_Exhausted("string accumulator: replacement too long");
  char16_t* out = String_Reserve(static_cast<int32_t>(length), start);
  if (found == 0) {
    String_CopyChars(out, source.text, textLength);
    return;
  }
  // The writing pass makes exactly the replacements counted, so the result is
  // exactly as long as reserved.
  int32_t written = from - 1;
  std::memcpy(out, source.text, 2 * static_cast<size_t>(written));
  int32_t made = 0;
  int32_t i = from - 1;
  while (i < textLength) {
    if (made < found && match.at(source.text, textLength, i)) {
      std::memcpy(out + written, with.text, 2 * static_cast<size_t>(replacementLength));
      written += replacementLength;
      i += searchLength;
      made++;
    } else {
      out[written++] = source.text[i++];
    }
  }
  out[written] = 0;
}

void String_Replace(const char16_t* text, const char16_t* search, const char16_t* replacement,
                    int32_t start) {
  // Mode 0 never writes to the text.
  String_Replace(const_cast<char16_t*>(text), search, replacement, 0, 1, -1, start);
}

void String_PathPart(const char16_t* path, int32_t start) {
  if (!path) {
    String_CopyChars(String_Reserve(0, start), u"", 0);
    return;
  }
  const char16_t* first = path[0] == u'"' ? path + 1 : path;
  const char16_t* end = path;  // just after the last separator
  for (const char16_t* p = path; *p && *p != u'|'; p++)
    if (isSeparator(*p)) end = p + 1;
  int32_t length = end > first ? static_cast<int32_t>(end - first) : 0;
  // The path may be an earlier result in the accumulator, which the reservation may move.
  int32_t inside = String_OffsetOf(first);
  char16_t* out = String_Reserve(length, start);
  if (inside) first = String_AddressOf(inside);
  String_CopyChars(out, first, length);
}

int64_t File_Size(const char16_t* path) {
  int32_t length = String_Length(path);
  if (length == 0) return -1;
  char16_t copy[MAX_PATH + 2];
  if (length > MAX_PATH) length = MAX_PATH;
  String_CopyChars(copy, path, length);

  // A drive: "C:" or "C:\" ("C:x" names a file on drive C and is looked up).
  if (copy[1] == u':' && (length == 2 || (length == 3 && isSeparator(copy[2])))) {
    if (length == 2) String_CopyChars(copy + 2, u"\\", 1);
    return driveAnswer(copy);
  }

  // Windows finds no entry for a path that ends in a separator; the first
  // character stays, so a root keeps its separator.
  while (length > 1 && isSeparator(copy[length - 1])) copy[--length] = 0;

  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(copy), &data);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }

  // Network paths and paths that climb are not always found by a search; their
  // attributes still tell a directory.
  bool network = copy[0] == u'\\' && copy[1] == u'\\';
  bool climbs = copy[0] == u'.' && copy[1] == u'.';
  if (network || climbs) {
    DWORD attributes = GetFileAttributesW(W(copy));
    if (attributes == INVALID_FILE_ATTRIBUTES) return driveAnswer(copy);
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? -2 : -1;
  }
  return -1;
}
