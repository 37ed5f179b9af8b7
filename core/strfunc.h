// String and number functions: float formatting, counting, replacing, path parts, file sizes.
#pragma once

#include <cstdint>

// Writes `value` with `decimals` decimals at accumulator offset `start`
// (-1: up to 10 decimals, trailing zeros dropped; clamped to 0..512 otherwise).
// Infinities read "+Infinity" / "-Infinity", NaN reads "NaN".
void String_FormatFloat(double value, int32_t decimals, int32_t start);

constexpr int32_t STRING_REPLACE_NOCASE = 1;   // compare case-insensitively
constexpr int32_t STRING_REPLACE_INPLACE = 2;  // overwrite the text itself

// Writes `text` with occurrences of `search` replaced at offset `start`, from
// position `from` (1-based) and at most `count` times (-1: all). In-place mode
// writes nothing to the accumulator and changes `text`; it refuses a
// replacement of another length than `search`.
void String_Replace(char16_t* text, const char16_t* search, const char16_t* replacement, int32_t mode,
                    int32_t from, int32_t count, int32_t start);
// The short form: every occurrence, exact comparison.
void String_Replace(const char16_t* text, const char16_t* search, const char16_t* replacement, int32_t start);
// Non-overlapping occurrences of `search` in `text`; 0 when either is empty.
int32_t String_Count(const char16_t* text, const char16_t* search);
// Writes the directory part of `path` (up to and including its last separator)
// at offset `start`.
void String_PathPart(const char16_t* path, int32_t start);
// The size of a file in bytes, -1 when there is none, -2 for a directory or drive.
int64_t File_Size(const char16_t* path);
