// The file requester: the platform's open or save dialog, with a pattern of filters, a proposed
// file and single or multiple selection; the chosen path comes back as a runtime string.
#include <cstddef>

#include "core/heap.h"
#include "core/string.h"
#include "gadget/requester.h"
#include "platform/services.h"

namespace {

// The single-selection buffer holds a full path of up to 259 characters and its terminator.
constexpr DWORD kSingleCapacity = MAX_PATH;
constexpr DWORD kMultipleCapacity = 512000;

constexpr DWORD kSingleFlags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
constexpr DWORD kMultipleFlags = kSingleFlags | OFN_ALLOWMULTISELECT;
static_assert(kSingleFlags == 0x8080C && kMultipleFlags == 0x80A0C);
// The dialog structure's form without the trailing reserved and extended-flags
// fields: 76 bytes on 32-bit Windows.
constexpr DWORD kDialogSize = offsetof(OPENFILENAMEW, pvReserved);
static_assert(sizeof(void*) != 4 || kDialogSize == 76);

// What a requester leaves for the next call. A multiple selection of several
// files keeps its buffer, directory and the position of the next unreported
// name until the next open dialog.
struct FileRequesterState {
  char16_t* single;
  char16_t* multiple;
  char16_t* directory;  // the directory of a multiple selection, with its separator
  int32_t nextName;     // index in `multiple`, 0 when no name is left
};
FileRequesterState requester;

void endMultipleSelection() {
  Heap_Free(requester.multiple);
  Heap_Free(requester.directory);
  requester.multiple = nullptr;
  requester.directory = nullptr;
  requester.nextName = 0;
}

char16_t* allocChars(size_t count) { return static_cast<char16_t*>(Heap_Alloc(count * sizeof(char16_t))); }

// The list of description and filter strings the dialog expects: every "|"
// becomes a terminator, and the list ends with two.
char16_t* filterList(const char16_t* pattern) {
  const int32_t length = String_Length(pattern);
  char16_t* list = allocChars(static_cast<size_t>(length) + 3);
  if (!list) return nullptr;
  for (int32_t i = 0; i < length; i++) list[i] = pattern[i] == u'|' ? u'\0' : pattern[i];
  return list;
}

// Copies at most `capacity` - 1 characters and a terminator.
void copyBounded(char16_t* destination, const char16_t* source, DWORD capacity) {
  DWORD i = 0;
  for (; i + 1 < capacity && source[i]; i++) destination[i] = source[i];
  destination[i] = 0;
}

// Splits the default file into the starting directory (*directory: the part
// before the last separator, or "" when there is none past the first
// character) and the proposed name, copied into `file` unless it is no valid
// name. *copy receives the copy the directory lives in. False when the copy
// cannot be made.
bool splitDefaultFile(const char16_t* defaultFile, char16_t* file, DWORD capacity, char16_t** copy,
                      const char16_t** directory) {
  const int32_t length = String_Length(defaultFile);
  *copy = allocChars(static_cast<size_t>(length) + 1);
  if (!*copy) return false;
  String_CopyChars(*copy, defaultFile, length);
  int32_t separator = length - 1;
  while (separator >= 0 && !Platform_IsPathSeparator((*copy)[separator])) separator--;
  if (separator > 0) {
    (*copy)[separator] = 0;
    *directory = *copy;
    copyBounded(file, *copy + separator + 1, capacity);
  } else {
    *directory = u"";
    copyBounded(file, *copy, capacity);
  }
  if (!File_IsValidName(file)) file[0] = 0;
  return true;
}

// Writes the result at `start`: `first` followed by `second`.
void writeResult(const char16_t* first, const char16_t* second, int32_t start) {
  const int32_t a = String_Length(first), b = String_Length(second);
  char16_t* out = String_Reserve(a + b, start);
  String_CopyChars(out, first, a);
  String_CopyChars(out + a, second, b);
}

// The first file of a multiple selection. One file chosen: the buffer holds
// its full path. Several: the directory, then each name, each terminated.
void takeFirstOfSelection(int32_t start) {
  char16_t* buffer = requester.multiple;
  const int32_t n = String_Length(buffer) + 1;
  if (buffer[n] == 0) {
    writeResult(buffer, nullptr, start);
    buffer[0] = 0;
    requester.nextName = 0;
    return;
  }
  // The directory and the name together may be longer than a single path
  // buffer: the holder and the result are sized to what they hold.
  const int32_t length = n - 1;
  Heap_Free(requester.directory);
  requester.directory = allocChars(static_cast<size_t>(length) + 2);
  if (!requester.directory) {
    writeResult(nullptr, nullptr, start);
    requester.nextName = 0;
    return;
  }
  String_CopyChars(requester.directory, buffer, length);
  if (length == 0 || !Platform_IsPathSeparator(buffer[length - 1])) {
    const char16_t separator = Platform_PathSeparator();
    String_CopyChars(requester.directory + length, &separator, 1);
  }
  const char16_t* name = buffer + n;
  writeResult(requester.directory, name, start);
  requester.nextName = n + String_Length(name) + 1;
}

}  // namespace

int32_t File_IsValidName(const char16_t* name) {
  if (!name || !name[0]) return 0;
  for (const char16_t* c = name; *c; c++) {
    switch (*c) {
      case u'"':
      case u'*':
      case u'/':
      case u':':
      case u'<':
      case u'>':
      case u'?':
      case u'\\':
      case u'|':
        return 0;
      default:
        if (*c < 32) return 0;
    }
  }
  return 1;
}

void Requester_OpenFile(const char16_t* title, const char16_t* defaultFile, const char16_t* pattern,
                        int32_t position, int32_t start) {
  Requester_OpenFile(title, defaultFile, pattern, position, REQUESTER_MODE_OPEN, 0, start);
}

void Requester_OpenFile(const char16_t* title, const char16_t* defaultFile, const char16_t* pattern,
                        int32_t position, int32_t mode, int32_t flags, int32_t start) {
  Heap_Free(requester.single);
  requester.single = nullptr;
  if (mode == REQUESTER_MODE_OPEN) endMultipleSelection();

  const bool multiple = (flags & REQUESTER_MULTIPLE) != 0;
  char16_t* file;
  DWORD capacity;
  if (multiple) {
    // A save dialog keeps a pending selection, but a new buffer replaces it.
    endMultipleSelection();
    capacity = kMultipleCapacity;
    file = requester.multiple = allocChars(capacity);
  } else {
    capacity = kSingleCapacity;
    file = requester.single = allocChars(capacity);
  }

  BOOL chosen = FALSE;
  char16_t* filter = file ? filterList(pattern) : nullptr;
  char16_t* copy = nullptr;
  const char16_t* directory = nullptr;
  if (filter && (!defaultFile || splitDefaultFile(defaultFile, file, capacity, &copy, &directory))) {
    OPENFILENAMEW dialog{};
    dialog.lStructSize = kDialogSize;
    dialog.hwndOwner = Requester_Owner();
    dialog.lpstrFilter = W(filter);
    // Counted in the unsigned field: the largest position would overflow a signed sum.
    dialog.nFilterIndex = static_cast<DWORD>(position) + 1;
    dialog.lpstrFile = W(file);
    dialog.nMaxFile = capacity;
    dialog.lpstrInitialDir = directory ? W(directory) : nullptr;
    dialog.lpstrTitle = title ? W(title) : nullptr;
    dialog.Flags = multiple ? kMultipleFlags : kSingleFlags;
    Requester_BeginModal();
    chosen = mode == REQUESTER_MODE_SAVE ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    Requester_EndModal();
  }
  Heap_Free(filter);
  Heap_Free(copy);

  if (!chosen) {
    writeResult(nullptr, nullptr, start);
  } else if (multiple) {
    takeFirstOfSelection(start);
  } else {
    writeResult(file, nullptr, start);
  }
}
