// Platform services on Linux: '/' separates file names (with '\' taken as
// well, as the substitute's file functions take it), and no debugger output
// exists beside standard error.
#include "platform/services.h"

char16_t Platform_PathSeparator() { return u'/'; }

bool Platform_IsPathSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

void Platform_DebugOutput(const char*) {}
