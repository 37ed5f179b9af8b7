// Files of the Linux substitute: look-up with wildcards, attributes, drive types
// and file handles over POSIX descriptors. Paths arrive as UTF-16 and reach the
// file system as UTF-8, with '\' taken as a separator.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/linux/kernel32.h"
#include "platform/linux/utf8.h"

namespace {

constexpr DWORD kErrorAccessDenied = 5;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorGeneric = 31;  // "a device attached to the system is not functioning"

DWORD errorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return kErrorGeneric;
  }
}

// The path in the file system's terms: UTF-8 with '/' separators.
std::string nativePath(LPCWSTR path) {
  std::string s = Utf8_FromUtf16(path);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Windows matching of one name component: '*' any run, '?' any one character,
// letters compared without regard to ASCII case. Works on UTF-8 bytes, so '?'
// stands for one byte of a non-ASCII character.
bool wildcardMatch(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && asciiLower(*pattern) == asciiLower(*name))) {
      pattern++;
      name++;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') pattern++;
  return *pattern == 0;
}

// 100-nanosecond intervals since 1601-01-01.
FILETIME fileTime(const timespec& t) {
  constexpr uint64_t kEpochDifference = 11644473600ull;  // seconds from 1601 to 1970
  uint64_t ticks = (static_cast<uint64_t>(t.tv_sec) + kEpochDifference) * 10000000ull + t.tv_nsec / 100;
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

DWORD attributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

void fillFindData(const struct stat& st, const std::string& name, LPWIN32_FIND_DATAW data) {
  *data = {};
  data->dwFileAttributes = attributesOf(st);
  data->ftCreationTime = fileTime(st.st_ctim);
  data->ftLastAccessTime = fileTime(st.st_atim);
  data->ftLastWriteTime = fileTime(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    auto size = static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
  }
  std::u16string wide = Utf16_FromUtf8(name);
  size_t n = std::min(wide.size(), static_cast<size_t>(MAX_PATH - 1));
  std::copy_n(wide.data(), n, data->cFileName);
  data->cFileName[n] = 0;
}

// stat, or for a dangling link the link itself.
bool statEntry(const std::string& path, struct stat* st) {
  return ::stat(path.c_str(), st) == 0 || ::lstat(path.c_str(), st) == 0;
}

// An open search: the matching names of one directory, sorted, and the next one to report.
struct FindSearch {
  std::string directory;  // with a trailing '/', or empty for the current directory
  std::vector<std::string> names;
  size_t next = 0;
};

struct FileObject {
  int fd;
};

// Live handles, so that a stale or foreign handle fails instead of being used.
std::mutex handleLock;
std::unordered_set<void*>& liveSearches() {
  static std::unordered_set<void*> set;
  return set;
}
std::unordered_set<void*>& liveFiles() {
  static std::unordered_set<void*> set;
  return set;
}

template <typename T>
T* lookUp(std::unordered_set<void*>& set, HANDLE handle) {
  std::lock_guard<std::mutex> guard(handleLock);
  return set.count(handle) ? static_cast<T*>(handle) : nullptr;
}

template <typename T>
HANDLE publish(std::unordered_set<void*>& set, T* object) {
  std::lock_guard<std::mutex> guard(handleLock);
  try {
    set.insert(object);
  } catch (...) {
    delete object;
    return INVALID_HANDLE_VALUE;
  }
  return object;
}

template <typename T>
T* withdraw(std::unordered_set<void*>& set, HANDLE handle) {
  std::lock_guard<std::mutex> guard(handleLock);
  return set.erase(handle) ? static_cast<T*>(handle) : nullptr;
}

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// Reports the search's next entry that still exists; false when none is left.
bool reportNext(FindSearch* search, LPWIN32_FIND_DATAW data) {
  while (search->next < search->names.size()) {
    const std::string& name = search->names[search->next++];
    struct stat st;
    if (statEntry(search->directory + name, &st)) {
      fillFindData(st, name, data);
      return true;
    }
  }
  return false;
}

}  // namespace

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!pattern || !data || !*pattern) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = nativePath(pattern);
  size_t slash = path.find_last_of('/');
  std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);

  if (last.empty()) {
    // Windows finds nothing for "dir\"; the root alone is reported as a directory,
    // since Linux has no drive that would stand for it.
    if (path.find_first_not_of('/') != std::string::npos) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    last.assign(1, '/');
  }

  auto* search = new (std::nothrow) FindSearch;
  if (!search) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  search->directory = directory;
  try {
    if (!hasWildcard(last)) {
      if (last == "/") search->directory.clear();
      search->names.push_back(last);
    } else {
      DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
      if (!dir) {
        SetLastError(errorFromErrno(errno) == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND
                                                                   : errorFromErrno(errno));
        delete search;
        return INVALID_HANDLE_VALUE;
      }
      while (dirent* entry = ::readdir(dir))
        if (wildcardMatch(last.c_str(), entry->d_name)) search->names.emplace_back(entry->d_name);
      ::closedir(dir);
      // A stable order, whatever order the directory keeps.
      std::sort(search->names.begin(), search->names.end());
    }
  } catch (const std::bad_alloc&) {
    delete search;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  if (!reportNext(search, data)) {
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return publish(liveSearches(), search);
}

BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
  auto* search = lookUp<FindSearch>(liveSearches(), find);
  if (!search || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (reportNext(search, data)) return TRUE;
  SetLastError(ERROR_NO_MORE_FILES);
  return FALSE;
}

BOOL WINAPI FindClose(HANDLE find) {
  auto* search = withdraw<FindSearch>(liveSearches(), find);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete search;
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st;
  if (::stat(nativePath(path).c_str(), &st) != 0) {
    SetLastError(errorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributesOf(st);
}

UINT WINAPI GetDriveTypeW(LPCWSTR rootPath) {
  // No path means the current directory's root, which is "/".
  if (!rootPath) return DRIVE_FIXED;
  std::string path = nativePath(rootPath);
  return !path.empty() && path.find_first_not_of('/') == std::string::npos ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD, LPVOID, DWORD creation, DWORD, HANDLE) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  bool reads = access & GENERIC_READ, writes = access & GENERIC_WRITE;
  flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  switch (creation) {
    case 1:
      flags |= O_CREAT | O_EXCL;
      break;  // CREATE_NEW
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case 4:
      flags |= O_CREAT;
      break;  // OPEN_ALWAYS
    case 5:
      flags |= O_TRUNC;
      break;  // TRUNCATE_EXISTING
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  // Opening never waits on Windows; a FIFO without a writer would hold a
  // blocking open here, so the open itself does not block and the handle
  // blocks again afterwards.
  int fd = ::open(nativePath(path).c_str(), flags | O_NONBLOCK, 0666);
  if (fd >= 0) {
    int mode = ::fcntl(fd, F_GETFL);
    if (mode != -1) ::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK);
  }
  if (fd < 0) {
    SetLastError(errorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  // Windows opens no directory as a file.
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    SetLastError(kErrorAccessDenied);
    return INVALID_HANDLE_VALUE;
  }
  auto* file = new (std::nothrow) FileObject{fd};
  if (!file) {
    ::close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = publish(liveFiles(), file);
  if (handle == INVALID_HANDLE_VALUE) {
    ::close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return handle;
}

namespace {

// Moves all `count` bytes between a file and memory, one system call at a
// time: `step(fd, done)` reads or writes the rest after the first `done`
// bytes. A call cut short by a signal is made again. A read that gives
// nothing has met the end of the file and stops with what it has; a write
// that takes nothing fails. `moved` receives how many bytes were moved, also
// on failure.
template <typename Step>
BOOL moveAll(HANDLE handle, DWORD count, LPDWORD moved, bool reading, Step step) {
  auto* file = lookUp<FileObject>(liveFiles(), handle);
  if (moved) *moved = 0;
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD done = 0;
  while (done < count) {
    ssize_t n = step(file->fd, done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && reading) break;
    if (n <= 0) {
      if (moved) *moved = done;
      SetLastError(n < 0 ? errorFromErrno(errno) : kErrorGeneric);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (moved) *moved = done;
  return TRUE;
}

}  // namespace

// A file read returns less than asked only at its end.
BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID) {
  return moveAll(handle, toRead, read, true, [&](int fd, DWORD done) {
    return ::read(fd, static_cast<char*>(buffer) + done, toRead - done);
  });
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID) {
  return moveAll(handle, toWrite, written, false, [&](int fd, DWORD done) {
    return ::write(fd, static_cast<const char*>(buffer) + done, toWrite - done);
  });
}

BOOL WINAPI GetFileSizeEx(HANDLE handle, LARGE_INTEGER* size) {
  auto* file = lookUp<FileObject>(liveFiles(), handle);
  struct stat st;
  if (!file || !size || ::fstat(file->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  size->QuadPart = st.st_size;
  return TRUE;
}

DWORD WINAPI GetFileType(HANDLE handle) {
  auto* file = lookUp<FileObject>(liveFiles(), handle);
  struct stat st;
  if (!file || ::fstat(file->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(0);
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;  // block devices and the rest: no file Windows would open as a disk file
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  auto* file = withdraw<FileObject>(liveFiles(), handle);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::close(file->fd);
  delete file;
  return TRUE;
}
