// Platform services on Windows: '\' separates file names, and the debugger's
// output is the system's.
#include "platform/services.h"

#include "platform/win32.h"

char16_t Platform_PathSeparator() { return u'\\'; }

bool Platform_IsPathSeparator(char16_t c) { return c == u'\\'; }

void Platform_DebugOutput(const char* text) { OutputDebugStringA(text); }
