// The system headers of the dialogs: <windows.h> as every Windows implementation
// reads it (Win32SystemHeaders.h: the system's DWORD and LONG as WIN_DWORD and
// WIN_LONG next to the project's own types), and the common-control and rich-edit
// declarations read the same way.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#define DWORD WIN_DWORD
#define LONG WIN_LONG
#include <commctrl.h>
#include <richedit.h>
#undef DWORD
#undef LONG
