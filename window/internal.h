// Names shared inside the window library: window properties and the decimal text of numbers.
#pragma once

#include <cstdint>

// Window properties (on top-level windows unless said otherwise).
inline constexpr char16_t WINDOW_PROP_ID[] = u"RT_WindowID";      // window number + 1
inline constexpr char16_t WINDOW_PROP_FOCUS[] = u"RT_Focus";      // focus saved at deactivation
inline constexpr char16_t WINDOW_PROP_DROP[] = u"RT_DropAccept";  // registered drop target
inline constexpr char16_t WINDOW_PROP_MDI[] = u"RT_MDI_Gadget";   // multiple-document client
inline constexpr char16_t WINDOW_PROP_HOTKEY[] = u"RT_Hotkey";    // on a hot-key control

// Room for the decimal text of any pointer-wide number, its sign and a terminator.
constexpr int WINDOW_DECIMAL_CAPACITY = 22;

// Writes the decimal text of `value` at `out` (room for WINDOW_DECIMAL_CAPACITY
// characters), terminated; returns the number of characters before the terminator.
inline int32_t Window_FormatDecimal(char16_t* out, intptr_t value) {
  char16_t digits[WINDOW_DECIMAL_CAPACITY];
  // Work on the magnitude as unsigned, so that the most negative value has one.
  uintptr_t magnitude = value < 0 ? 0 - static_cast<uintptr_t>(value) : static_cast<uintptr_t>(value);
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  int length = 0;
  if (value < 0) out[length++] = u'-';
  while (count) out[length++] = digits[--count];
  out[length] = 0;
  return length;
}

// Copies `prefix` to `out` and appends the decimal text of `value`; `out` must
// hold the prefix's length plus WINDOW_DECIMAL_CAPACITY characters.
inline void Window_FormatName(char16_t* out, const char16_t* prefix, intptr_t value) {
  while (*prefix) *out++ = *prefix++;
  Window_FormatDecimal(out, value);
}
