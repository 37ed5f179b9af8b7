// String engine: UTF-16 string variables on the string heap and the accumulator
// in which string expressions and string results are built.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

// A string variable: an owned zero-terminated UTF-16 block, null meaning empty.
using StringVar = char16_t*;

struct StringAccumulator {
  char16_t* buffer;  // holds at least `capacity` bytes
  int32_t position;  // bytes; the end of the text built so far, always even
  int32_t capacity;  // bytes
};

// The process-wide accumulator; main thread only.
extern StringAccumulator String_Accumulator;
// The string heap every string block lives on.
extern HANDLE String_Heap;

// Creates the string heap and a 16-byte accumulator.
void String_Init();
// Releases the accumulator and destroys the string heap.
void String_End();

// Appends a zero-terminated text (null: appends nothing, writes a terminator at
// `position`).
void String_Append(const char16_t* text);
// Moves the text from `start` to `position` into *variable and sets `position`
// back to `start`. The variable always receives a block (an empty text gives a
// block holding only the terminator).
void String_Store(StringVar* variable, int32_t start);
// *variable receives a copy of `text`, re-using its block; null empties it.
void String_Assign(StringVar* variable, const char16_t* text);
// *variable receives a fresh copy of `text` without reading or releasing what
// it held; null leaves it untouched.
void String_AssignNew(StringVar* variable, const char16_t* text);
// Releases a string block; null is ignored. Safe from any thread.
void String_Free(char16_t* block);

// Room for `count` characters at byte offset `start` (the current position):
// grows the accumulator if needed, sets `position` = start + 2 * count and
// returns buffer + start, taken after any growth.
char16_t* String_Reserve(int32_t count, int32_t start);
// Gives back `count` reserved characters that were not written.
void String_GiveBack(int32_t count);
// 0 if `address` lies outside the accumulator's text (its terminator's place
// counts as inside), else its byte offset + 1.
int32_t String_OffsetOf(const void* address);
// Turns a value of String_OffsetOf back into an address after the buffer moved.
char16_t* String_AddressOf(int32_t offsetPlusOne);
// Copies `count` characters and writes a terminator after them.
void String_CopyChars(char16_t* destination, const char16_t* source, int32_t count);
// Formats into a caller's buffer (%d %i %s %.Nf %%, with %s a UTF-16 string);
// returns the number of characters written.
int32_t String_Print(char16_t* destination, const char16_t* format, ...);

// Length in characters of a zero-terminated text; null counts as empty.
int32_t String_Length(const char16_t* text);
