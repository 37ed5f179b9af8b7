// Services the runtime asks of the platform where the system's own interface
// differs between platforms: file-name separators and the debugger's output.
// Each platform's folder implements them, so no runtime folder needs to know
// which platform it runs on.
#pragma once

// The separator the platform's file dialogs and file names write between a
// directory and a name: '\' on Windows, '/' on the substitute.
char16_t Platform_PathSeparator();

// Whether `c` separates directories in the platform's file names. Windows
// takes only '\' (its '/' is no file-name character at all); the substitute
// takes '/' and keeps '\' as well, as its file functions do.
bool Platform_IsPathSeparator(char16_t c);

// Writes the NUL-terminated `text` to the debugger's output where the platform
// has one; elsewhere it does nothing.
void Platform_DebugOutput(const char* text);
