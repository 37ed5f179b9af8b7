// Kernel services of the Linux substitute: heaps, locks, thread-local storage,
// one-time initialisation, modules, file look-up and sleeping. Semantics follow
// the Windows documentation for the subset the runtime uses.
#pragma once

#include "platform/linux/wintypes.h"

// ---- Heaps --------------------------------------------------------------
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010

// A private heap: every block allocated from it is released by HeapDestroy.
// maximumSize 0 means growable without limit; otherwise the total of live
// block sizes may not exceed it and allocations beyond fail with null.
HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
BOOL WINAPI HeapDestroy(HANDLE heap);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// Resizes a block; the contents up to the smaller size are kept and, with
// HEAP_ZERO_MEMORY, the grown part is zero. Fails with null and leaves the
// block untouched. HEAP_REALLOC_IN_PLACE_ONLY fails unless the block can stay.
LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
SIZE_T WINAPI HeapSize(HANDLE heap, DWORD flags, LPCVOID block);
HANDLE WINAPI GetProcessHeap();

// Test hook: after `count` more successful allocations or growths on any
// private heap, every further one fails until the hook is cleared with -1.
// Lets the runtime's tests prove that exhausted memory leaves state intact.
void Platform_FailHeapAfter(long count);

// Test hook: what all heaps hold now, and how many allocations or growths the
// failure hook refused since it was last set. Lets the tests prove that a
// failed operation left nothing allocated.
struct PlatformHeapCounters {
  long liveBlocks;
  SIZE_T liveBytes;
  long refused;
};
PlatformHeapCounters Platform_HeapCounters();

// ---- Locks ---------------------------------------------------------------
// A critical section is recursive, as on Windows: the owning thread may enter
// it again and must leave it as often.
typedef struct _CRITICAL_SECTION {
  alignas(16) unsigned char opaque[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);

LONG WINAPI InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand);
LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value);
LONG WINAPI InterlockedIncrement(LONG volatile* target);
LONG WINAPI InterlockedDecrement(LONG volatile* target);

// ---- Thread-local storage -----------------------------------------------
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)
DWORD WINAPI TlsAlloc();
BOOL WINAPI TlsFree(DWORD index);
LPVOID WINAPI TlsGetValue(DWORD index);
BOOL WINAPI TlsSetValue(DWORD index, LPVOID value);

// ---- One-time initialisation ---------------------------------------------
typedef union _RTL_RUN_ONCE {
  void* Ptr;
} INIT_ONCE, *PINIT_ONCE, *LPINIT_ONCE;
#define INIT_ONCE_STATIC_INIT \
  { 0 }
typedef BOOL(WINAPI* PINIT_ONCE_FN)(PINIT_ONCE initOnce, LPVOID parameter, LPVOID* context);
BOOL WINAPI InitOnceExecuteOnce(PINIT_ONCE initOnce, PINIT_ONCE_FN fn, LPVOID parameter, LPVOID* context);

// ---- Threads and time ------------------------------------------------------
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetCurrentThreadId();
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);
DWORD WINAPI GetTickCount();
void WINAPI GetLocalTime(SYSTEMTIME* time);

// ---- Modules ---------------------------------------------------------------
// The substitute knows the platform libraries by name ("kernel32.dll",
// "ws2_32.dll", ... case-insensitive, with or without ".dll") and hands out the
// entry points it implements; anything else is not found.
HMODULE WINAPI LoadLibraryA(LPCSTR name);
HMODULE WINAPI LoadLibraryW(LPCWSTR name);
HMODULE WINAPI GetModuleHandleW(LPCWSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
// Adds an entry point that GetProcAddress hands out for `module`; used by
// the substitute's own libraries (sockets) to publish what they implement.
void Platform_RegisterProc(const char* module, const char* name, FARPROC proc);

// ---- Files -----------------------------------------------------------------
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// Paths are UTF-16 and name Linux files ('/' separated; '\' is taken as a
// separator too). The last component may hold the wildcards '*' and '?'.
HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindClose(HANDLE find);
DWORD WINAPI GetFileAttributesW(LPCWSTR path);
// Linux has no drive letters: "X:\" is not a root directory, "/" is fixed.
UINT WINAPI GetDriveTypeW(LPCWSTR rootPath);

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPVOID security, DWORD creation,
                          DWORD flags, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID overlapped);
BOOL WINAPI GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003
// A regular file is FILE_TYPE_DISK, a character device FILE_TYPE_CHAR, a FIFO
// or socket FILE_TYPE_PIPE; anything else, or a bad handle, FILE_TYPE_UNKNOWN.
DWORD WINAPI GetFileType(HANDLE file);
BOOL WINAPI CloseHandle(HANDLE handle);

// ---- Process ---------------------------------------------------------------
[[noreturn]] void WINAPI ExitProcess(UINT exitCode);

// ---- Runtime library ---------------------------------------------------------
// The wide formatted output of the Windows runtime: %d %i %u %x %s (a UTF-16
// string) %c %f with flags, width and precision, and %%. Writes at most `count`
// characters; returns the number written, or -1 when the output did not fit
// (then no terminator is written, as on Windows).
#include <cstdarg>
int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
