// Fuzzes the file requester's handling of its pattern, default file, modes and
// selections with a scripted dialog in place of the platform's: the dialog
// checks the structure it is handed against a reference built from the
// arguments, then cancels, fails or answers with a path or a multiple
// selection, and the result is checked against the reference's. Also
// File_IsValidName against its definition.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>

#include "fuzz/support.h"
#include "gadget/requester.h"

namespace {

constexpr DWORD kSingleCapacity = 260;
constexpr DWORD kMultipleCapacity = 512000;

// Path separators of the platform the requester runs on: '\' on Windows; '/'
// besides it elsewhere, where a multiple selection's directory is joined with '/'.
#ifdef _WIN32
bool isSeparator(char16_t c) { return c == u'\\'; }
constexpr char16_t kJoin = u'\\';
#else
bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
constexpr char16_t kJoin = u'/';
#endif

bool referenceIsValidName(const std::u16string* name) {
  if (!name || name->empty()) return false;
  for (char16_t c : *name)
    if (c < 32 || std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos) return false;
  return true;
}

// What one call should hand the dialog and what it should answer.
struct Expected {
  bool save;
  bool multiple;
  std::u16string filter;  // the pattern with '|' as terminators, and three more
  DWORD filterIndex;
  std::optional<std::u16string> title;      // none: the platform's caption
  std::optional<std::u16string> directory;  // none: no starting directory
  std::u16string proposal;                  // the name in the file buffer
};

// The dialog's part of the script, taken from the input when it opens.
struct Script {
  FuzzedDataProvider* in;
  const Expected* expected;
  int shown;
  std::u16string answer;  // what the dialog wrote and returned success for
  bool chosen;
};
Script script;

std::u16string bufferText(const WCHAR* buffer, size_t length) { return std::u16string(buffer, length); }

BOOL scriptedDialog(LPOPENFILENAMEW ofn, bool save) {
  FUZZ_CHECK(script.expected && script.shown == 0);
  script.shown++;
  const Expected& e = *script.expected;
  FUZZ_CHECK(save == e.save);
  FUZZ_CHECK(ofn->lStructSize == offsetof(OPENFILENAMEW, pvReserved));
  FUZZ_CHECK(ofn->hwndOwner == Requester_Owner());
  FUZZ_CHECK(ofn->hInstance == nullptr && !ofn->lpstrCustomFilter && ofn->nMaxCustFilter == 0);
  FUZZ_CHECK(bufferText(ofn->lpstrFilter, e.filter.size()) == e.filter);
  FUZZ_CHECK(ofn->nFilterIndex == e.filterIndex);
  const DWORD capacity = e.multiple ? kMultipleCapacity : kSingleCapacity;
  FUZZ_CHECK(ofn->lpstrFile && ofn->nMaxFile == capacity);
  FUZZ_CHECK(bufferText(ofn->lpstrFile, e.proposal.size() + 1) == e.proposal + u'\0');
  FUZZ_CHECK(!ofn->lpstrFileTitle && ofn->nMaxFileTitle == 0);
  FUZZ_CHECK(!ofn->lpstrInitialDir == !e.directory);
  if (e.directory) FUZZ_CHECK(std::u16string(ofn->lpstrInitialDir) == *e.directory);
  FUZZ_CHECK(!ofn->lpstrTitle == !e.title);
  if (e.title) FUZZ_CHECK(std::u16string(ofn->lpstrTitle) == *e.title);
  FUZZ_CHECK(ofn->Flags == (e.multiple ? 0x80A0Cu : 0x8080Cu));
  FUZZ_CHECK(ofn->nFileOffset == 0 && ofn->nFileExtension == 0 && !ofn->lpstrDefExt && ofn->lCustData == 0 &&
             !ofn->lpfnHook && !ofn->lpTemplateName);

  FuzzedDataProvider& in = *script.in;
  int action = in.ConsumeIntegralInRange<int>(0, 3);
  if (action == 0) return FALSE;  // cancelled
  // The answer as the platform's dialog writes it: one full path, or with
  // multiple selection the directory and each name; all zero-terminated and
  // the multiple-selection form ended by an empty string.
  std::u16string written = Fuzz_Text(in, action == 3 ? 300 : 40);
  if (written.empty()) written = u"x";
  if (e.multiple && action >= 2 && in.ConsumeBool()) {
    for (int n = in.ConsumeIntegralInRange<int>(1, 3); n > 0; n--) {
      std::u16string name = Fuzz_Text(in, 8);
      written += u'\0' + (name.empty() ? u"n" : name);
    }
  }
  written += u'\0';
  if (e.multiple) written += u'\0';
  if (written.size() > ofn->nMaxFile) {
    // Too long for the buffer: the dialog fails and leaves the size it needed
    // in the buffer's first two bytes.
    auto needed = static_cast<WORD>(std::min<size_t>(written.size(), 0xFFFF));
    std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
    return FALSE;
  }
  std::memcpy(ofn->lpstrFile, written.data(), written.size() * sizeof(WCHAR));
  script.answer = written;
  script.chosen = true;
  return TRUE;
}

// The result the requester should give for what the dialog answered.
std::u16string referenceResult(const Expected& e) {
  if (!script.chosen) return u"";
  const std::u16string& a = script.answer;
  size_t first = a.find(u'\0');
  if (!e.multiple) return a.substr(0, first);
  if (a[first + 1] == 0) return a.substr(0, first);  // one file: its full path
  std::u16string directory = a.substr(0, first);
  if (directory.empty() || !isSeparator(directory.back())) directory += kJoin;
  size_t nameStart = first + 1;
  return directory + a.substr(nameStart, a.find(u'\0', nameStart) - nameStart);
}

void fuzzRequester(FuzzedDataProvider& in) {
  std::u16string title = Fuzz_Text(in, 12), defaultFile = Fuzz_Text(in, 40), pattern = Fuzz_Text(in, 24);
  if (in.ConsumeIntegralInRange<int>(0, 3) == 0) defaultFile = Fuzz_Text(in, 300);  // past the buffer
  int32_t position =
      in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-1, 4) : in.ConsumeIntegral<int32_t>();
  bool shortForm = in.ConsumeBool();
  int32_t mode = shortForm          ? 0
                 : in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 2)
                                    : in.ConsumeIntegral<int32_t>();
  int32_t flags = shortForm ? 0 : in.ConsumeIntegral<int32_t>();

  FuzzArguments args;
  args.place(in, {title, defaultFile, pattern});
  Expected e;
  e.save = mode == REQUESTER_MODE_SAVE;
  e.multiple = flags & REQUESTER_MULTIPLE;
  for (char16_t c : args.texts[2]) e.filter += c == u'|' ? u'\0' : c;
  e.filter += std::u16string(3, u'\0');
  e.filterIndex = static_cast<DWORD>(position) + 1;
  if (args.where[0]) e.title = args.texts[0];
  if (args.where[1]) {
    // The part after the last separator is the proposed name, the part before
    // it the starting directory; a separator only at the start separates nothing.
    const std::u16string& d = args.texts[1];
    size_t s = d.size();
    while (s > 0 && !isSeparator(d[s - 1])) s--;
    const size_t capacity = e.multiple ? kMultipleCapacity : kSingleCapacity;
    std::u16string name;
    if (s > 1) {
      e.directory = d.substr(0, s - 1);
      name = d.substr(s);
    } else {
      e.directory = u"";
      name = d;
    }
    if (name.size() > capacity - 1) name.resize(capacity - 1);
    e.proposal = referenceIsValidName(&name) ? name : u"";
  }

  script = Script{&in, &e, 0, u"", false};
  int32_t start = String_Accumulator.position;
  if (shortForm)
    Requester_OpenFile(args.at(0), args.at(1), args.at(2), position, start);
  else
    Requester_OpenFile(args.at(0), args.at(1), args.at(2), position, mode, flags, start);
  FUZZ_CHECK(script.shown == 1);
  FUZZ_CHECK(Fuzz_Result(start) == referenceResult(e));
  FUZZ_CHECK(args.intact());
  script.expected = nullptr;
  args.end();
}

void fuzzValidName(FuzzedDataProvider& in) {
  std::u16string name = Fuzz_Text(in, 12);
  if (in.ConsumeBool() && !name.empty())
    name[in.ConsumeIntegralInRange<size_t>(0, name.size() - 1)] = in.ConsumeIntegralInRange<char16_t>(1, 127);
  bool null = in.ConsumeIntegralInRange<int>(0, 7) == 0;
  FUZZ_CHECK(File_IsValidName(null ? nullptr : name.c_str()) ==
             (referenceIsValidName(null ? nullptr : &name) ? 1 : 0));
}

}  // namespace

// The scripted dialog stands in for the platform's open and save dialogs.
BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn) { return scriptedDialog(ofn, false); }
BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn) { return scriptedDialog(ofn, true); }
DWORD WINAPI CommDlgExtendedError() { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fuzz_StartRuntime();
  Fuzz_FreshAccumulatorWhenLarge();
  FuzzedDataProvider in(data, size);
  // Several calls, so that one call's buffers and pending selection meet the next.
  for (int calls = 0; calls < 4 && in.remaining_bytes() > 0; calls++) {
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0)
      fuzzValidName(in);
    else
      fuzzRequester(in);
    FUZZ_CHECK(String_Accumulator.position == 0);
  }
  return 0;
}
