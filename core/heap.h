// The main heap every runtime record comes from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

// ---- Main heap ---------------------------------------------------------------
// The private heap every runtime record comes from. Start-up creates it before
// anything else (HeapCreate(0, 4096, 0)) and destroys it last.
extern HANDLE Heap_Main;

// Zero-filled block of `bytes` from the main heap; null when the heap is exhausted.
void* Heap_Alloc(size_t bytes);
// Uninitialised block of `bytes` from the main heap; null when exhausted.
void* Heap_AllocRaw(size_t bytes);
// Resizes a main-heap block (contents kept); null on failure, the block untouched.
void* Heap_ReAlloc(void* block, size_t bytes);
// Releases a main-heap block; null is ignored.
void Heap_Free(void* block);

// Ends the process with a message on standard error (and the debugger output on
// Windows) when memory runs out where no failure result exists.
[[noreturn]] void Heap_Exhausted(const char* what);
