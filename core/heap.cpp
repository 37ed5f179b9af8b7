// The main heap: the private heap every runtime record comes from.
#include "core/heap.h"

#include <cstdio>
#include <cstdlib>

#include "platform/services.h"

HANDLE Heap_Main;

void* Heap_Alloc(size_t bytes) { return HeapAlloc(Heap_Main, HEAP_ZERO_MEMORY, bytes); }

void* Heap_AllocRaw(size_t bytes) { return HeapAlloc(Heap_Main, 0, bytes); }

void* Heap_ReAlloc(void* block, size_t bytes) { return HeapReAlloc(Heap_Main, 0, block, bytes); }

void Heap_Free(void* block) {
  if (block) HeapFree(Heap_Main, 0, block);
}

void Heap_Exhausted(const char* what) {
  std::fprintf(stderr, "Tilepost: out of memory (%s)\n", what);
  Platform_DebugOutput("Tilepost: out of memory\n");
  std::abort();
}
