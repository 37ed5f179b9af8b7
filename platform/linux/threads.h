// Threads and the multimedia timer of the Linux substitute.
#pragma once

#include "platform/linux/wintypes.h"

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);
#define CREATE_SUSPENDED 0x00000004
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000

// Starts `start(parameter)` on a new thread and returns a handle for it, or
// null (GetLastError says why). The thread runs detached: the handle holds no
// resource, so closing it at once, as callers do, is all that is needed.
// `stackSize` is the stack committed at first on Windows, where the thread may
// grow its stack up to the program's reserve (1 MiB); the substitute gives
// every thread at least that much. CREATE_SUSPENDED is not supported.
HANDLE WINAPI CreateThread(LPVOID security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD flags, LPDWORD threadId);

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97
// Timer resolution requests: Linux sleeps are already fine-grained, so these
// only check the period (1 ms or more) and succeed.
UINT WINAPI timeBeginPeriod(UINT period);
UINT WINAPI timeEndPeriod(UINT period);
