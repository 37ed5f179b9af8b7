// The open and save file dialogs of the substitute: a modal "#32770" window
// with a file-name field that offers what the caller asked for (title,
// filters and the selected one, directory, proposed name) and writes the
// chosen path back within the caller's buffer, as on Windows.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/linux/commdlg.h"
#include "platform/linux/user/internal.h"

using namespace user;

namespace {

constexpr int kFilterLabel = 0x470;
constexpr int kDirectoryLabel = 0x440;

thread_local DWORD lastError;

struct Run {
  DialogInfo info;
  OPENFILENAMEW* ofn;
  BOOL result = FALSE;
};

bool isSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

bool isAbsolute(const std::u16string& path) {
  return (!path.empty() && isSeparator(path[0])) ||
         (path.size() > 2 && path[1] == u':' && isSeparator(path[2]));
}

std::u16string currentDirectory() {
  char buffer[4096];
  if (!getcwd(buffer, sizeof buffer)) return u"/";
  std::u16string out;
  for (const char* p = buffer; *p; p++) out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  return out;
}

bool isDirectory(const std::u16string& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Names typed into the field: one name, or several each in double quotes.
std::vector<std::u16string> namesOf(const std::u16string& field) {
  std::vector<std::u16string> names;
  if (field.find(u'"') == std::u16string::npos) {
    if (!field.empty()) names.push_back(field);
    return names;
  }
  size_t i = 0;
  while ((i = field.find(u'"', i)) != std::u16string::npos) {
    size_t end = field.find(u'"', i + 1);
    if (end == std::u16string::npos) break;
    if (end > i + 1) names.push_back(field.substr(i + 1, end - i - 1));
    i = end + 1;
  }
  return names;
}

std::u16string join(const std::u16string& directory, const std::u16string& name) {
  if (isAbsolute(name)) return name;
  if (!directory.empty() && isSeparator(directory.back())) return directory + name;
  return directory + u"/" + name;
}

// Writes the answer into the caller's buffer; false (the dialog fails) when it does not fit.
bool deliver(Run& run, const std::vector<std::u16string>& names) {
  OPENFILENAMEW& ofn = *run.ofn;
  std::u16string out;
  bool multi = (ofn.Flags & OFN_ALLOWMULTISELECT) && names.size() > 1;
  if (multi) {
    // The directory, each name, then an empty string: all zero-terminated.
    out = run.info.directory;
    out += u'\0';
    for (const auto& n : names) {
      out += n;
      out += u'\0';
    }
  } else {
    out = join(run.info.directory, names[0]);
    out += u'\0';
  }
  if (ofn.Flags & OFN_ALLOWMULTISELECT) out += u'\0';
  if (out.size() > ofn.nMaxFile) {
    lastError = FNERR_BUFFERTOOSMALL;
    if (ofn.nMaxFile >= 1) {
      auto needed = static_cast<WORD>(std::min<size_t>(out.size(), 0xFFFF));
      std::memcpy(ofn.lpstrFile, &needed, sizeof needed);
    }
    return false;
  }
  std::memcpy(ofn.lpstrFile, out.data(), out.size() * sizeof(WCHAR));
  if (multi) {
    ofn.nFileOffset = static_cast<WORD>(run.info.directory.size() + 1);
    ofn.nFileExtension = 0;
  } else {
    std::u16string path(ofn.lpstrFile);
    size_t slash = path.find_last_of(u"/\\");
    size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of(u'.');
    ofn.nFileOffset = static_cast<WORD>(nameStart);
    ofn.nFileExtension = static_cast<WORD>(dot != std::u16string::npos && dot > nameStart ? dot + 1 : 0);
  }
  ofn.nFilterIndex = static_cast<DWORD>(run.info.filterIndex + 1);
  return true;
}

// Tells the user why the dialog stays open; true, the command is handled.
bool warn(HWND dialog, const std::u16string& text) {
  WCHAR title[256];
  GetWindowTextW(dialog, title, 256);
  MessageBoxW(dialog, text.c_str(), title, MB_OK | MB_ICONWARNING);
  return true;
}

Run* runOf(HWND dialog) {
  Guard g(lock());
  Window* w = get(dialog);
  DialogInfo* info = w ? dialogInfoOf(*w) : nullptr;
  return info ? static_cast<Run*>(info->context) : nullptr;
}

bool onCommand(HWND dialog, int id) {
  Run* run = runOf(dialog);
  if (!run) return false;
  if (id == IDCANCEL) {
    lastError = 0;
    endDialog(dialog, FALSE);
    return true;
  }
  if (id != IDOK) return true;
  WCHAR field[4096];
  GetWindowTextW(GetDlgItem(dialog, kFileNameId), field, 4096);
  std::vector<std::u16string> names = namesOf(field);
  if (names.empty()) return true;  // nothing chosen yet: the dialog stays
  for (const auto& n : names) {
    std::u16string path = join(run->info.directory, n);
    size_t slash = path.find_last_of(u"/\\");
    std::u16string parent =
        slash == std::u16string::npos ? run->info.directory : path.substr(0, slash ? slash : 1);
    DWORD flags = run->ofn->Flags;
    // A path the dialog refuses leaves it open after a warning, owned by the dialog.
    if ((flags & OFN_PATHMUSTEXIST) && !isDirectory(parent))
      return warn(dialog, path + u"\nThe path does not exist.\nCheck the path and try again.");
    if ((flags & OFN_FILEMUSTEXIST) && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
      return warn(dialog, path + u"\nFile not found.\nCheck the file name and try again.");
    if (isDirectory(path)) return true;
  }
  endDialog(dialog, deliver(*run, names) ? TRUE : FALSE);
  return true;
}

BOOL showFileDialog(LPOPENFILENAMEW ofn, bool save) {
  lastError = 0;
  // Accepted sizes: this build's structure, the form without the last three
  // fields, and the 76 bytes of that form on 32-bit Windows.
  if (!ofn || (ofn->lStructSize != sizeof(OPENFILENAMEW) &&
               ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400W && ofn->lStructSize != 76)) {
    lastError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (!ofn->lpstrFile || ofn->nMaxFile == 0 || (ofn->hwndOwner && !IsWindow(ofn->hwndOwner))) {
    lastError = CDERR_INITIALIZATION;
    return FALSE;
  }
  Run run;
  run.ofn = ofn;
  run.info.kind = save ? DialogInfo::Save : DialogInfo::Open;
  run.info.onCommand = onCommand;
  run.info.context = &run;
  for (LPCWSTR p = ofn->lpstrFilter; p && *p;) {
    std::u16string description(p);
    p += description.size() + 1;
    std::u16string pattern(p);
    p += pattern.size() + 1;
    run.info.filters.emplace_back(description, pattern);
    if (pattern.empty()) break;
  }
  int index = static_cast<int>(ofn->nFilterIndex);
  run.info.filterIndex = index >= 1 && index <= static_cast<int>(run.info.filters.size()) ? index - 1 : 0;
  // The proposed name; a directory in front of it is where the dialog opens.
  std::u16string proposal(ofn->lpstrFile, std::find(ofn->lpstrFile, ofn->lpstrFile + ofn->nMaxFile, u'\0'));
  size_t slash = proposal.find_last_of(u"/\\");
  std::u16string directory = ofn->lpstrInitialDir ? std::u16string(ofn->lpstrInitialDir) : std::u16string();
  if (slash != std::u16string::npos) {
    if (slash > 0) directory = proposal.substr(0, slash);
    proposal = proposal.substr(slash + 1);
  }
  if (directory.empty() || !isDirectory(directory)) directory = currentDirectory();
  run.info.directory = directory;
  run.info.proposedName = proposal;

  HWND owner = ofn->hwndOwner ? GetAncestor(ofn->hwndOwner, GA_ROOT) : nullptr;
  LPCWSTR title = ofn->lpstrTitle ? ofn->lpstrTitle : save ? u"Save As" : u"Open";
  HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME, u"#32770", title, WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                212, 184, 600, 400, owner, nullptr, nullptr, nullptr);
  if (!dialog) {
    lastError = CDERR_INITIALIZATION;
    return FALSE;
  }
  setDialogInfo(dialog, &run.info);
  auto control = [&](LPCWSTR cls, LPCWSTR text, DWORD style, int x, int y, int w, int h, int id) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, dialog,
                           reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
  };
  control(u"Static", directory.c_str(), SS_NOPREFIX, 10, 10, 570, 20, kDirectoryLabel);
  control(u"Static", u"File &name:", 0, 10, 290, 90, 20, 0x442);
  HWND name = control(u"Edit", proposal.c_str(), WS_TABSTOP | ES_AUTOHSCROLL, 110, 290, 360, 22, kFileNameId);
  SendMessageW(name, EM_LIMITTEXT, 0, 0);
  control(u"Static", save ? u"Save as &type:" : u"Files of &type:", 0, 10, 320, 90, 20, 0x441);
  control(u"Static", run.info.filters.empty() ? u"" : run.info.filters[run.info.filterIndex].first.c_str(),
          SS_NOPREFIX, 110, 320, 360, 20, kFilterLabel);
  control(u"Button", save ? u"&Save" : u"&Open", WS_TABSTOP | BS_DEFPUSHBUTTON, 490, 290, 90, 23, IDOK);
  control(u"Button", u"Cancel", WS_TABSTOP, 490, 320, 90, 23, IDCANCEL);
  SendMessageW(name, EM_SETSEL, 0, -1);
  return static_cast<BOOL>(runModal(dialog, owner, name));
}

}  // namespace

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn) { return showFileDialog(ofn, false); }
BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn) { return showFileDialog(ofn, true); }
DWORD WINAPI CommDlgExtendedError() { return lastError; }
