// COM stand-ins of the Linux substitute (OLE32): initialisation and drop targets.
#pragma once

#include "platform/linux/user32.h"

#define S_OK ((HRESULT)0L)
#define S_FALSE ((HRESULT)1L)
#define DRAGDROP_E_NOTREGISTERED ((HRESULT)0x80040100L)

// Counts initialisations per thread: S_OK the first time, S_FALSE after.
HRESULT WINAPI CoInitialize(LPVOID reserved);
// No window of the substitute accepts drops: always DRAGDROP_E_NOTREGISTERED.
HRESULT WINAPI RevokeDragDrop(HWND window);
