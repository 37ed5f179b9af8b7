// What the string tests share about the accumulator: reading text at a byte
// offset of its buffer, and whether a growing re-allocation always moves it.
#pragma once

#include <cstdint>

#include "core/string.h"

// Under the sanitizers a growing re-allocation always moves the block and the
// old one is poisoned, so a stale argument address is caught there for certain;
// a plain build may grow the block in place.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TP_REALLOC_MOVES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TP_REALLOC_MOVES 1
#endif
#endif
#ifdef TP_REALLOC_MOVES
inline constexpr bool kReallocAlwaysMoves = true;
#else
inline constexpr bool kReallocAlwaysMoves = false;
#endif

// The text at byte offset `byteOffset` of the accumulator's buffer as it is now.
inline char16_t* at(int32_t byteOffset) {
  return reinterpret_cast<char16_t*>(reinterpret_cast<char*>(String_Accumulator.buffer) + byteOffset);
}
