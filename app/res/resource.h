// Resource numbers of tilepost.exe, shared by the resource script and the code.
#pragma once

// The program's icon; Window_Init loads it as every window's default icon.
#define TILEPOST_ICON 1
