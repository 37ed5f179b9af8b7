// Runtime text is char16_t; the Windows API speaks WCHAR. These casts mark the boundary.
#pragma once

#include <cstddef>

// WCHAR is wchar_t on Windows (16 bits there) and char16_t in the substitute,
// so the casts are free on both and no text is ever converted here.
static_assert(sizeof(WCHAR) == sizeof(char16_t), "WCHAR must be a UTF-16 code unit");

inline WCHAR* W(char16_t* s) { return reinterpret_cast<WCHAR*>(s); }
inline const WCHAR* W(const char16_t* s) { return reinterpret_cast<const WCHAR*>(s); }
inline char16_t* U(WCHAR* s) { return reinterpret_cast<char16_t*>(s); }
inline const char16_t* U(const WCHAR* s) { return reinterpret_cast<const char16_t*>(s); }
