// Resource numbers and the version of tilepost.exe, shared by the resource script and the code.
#pragma once

// The program's icon; Window_Init loads it as every window's default icon.
#define TILEPOST_ICON 1

#define TILEPOST_VERSION 1, 0, 0, 0
#define TILEPOST_VERSION_TEXT "1.0.0.0"
