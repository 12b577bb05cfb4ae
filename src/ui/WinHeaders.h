// <windows.h> and the common-control and rich-edit headers for the dialogs, next
// to the project's own types.
//
// The project's DWORD and LONG (common/Types.h: uint32_t and int32_t) have the sizes
// of the system's (unsigned long and long on Windows) but are other types, so the
// two sets of declarations cannot meet in one file. While the system headers are
// read, their two names are renamed WIN_DWORD and WIN_LONG; the rest of the file
// keeps the project's names. Values convert freely; a system call that writes
// through a DWORD or LONG pointer gets a WIN_DWORD or WIN_LONG variable. Include
// this file before any other header that might include <windows.h>.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#define DWORD WIN_DWORD
#define LONG WIN_LONG
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <richedit.h>
#undef DWORD
#undef LONG

// Names of the platform seam that the system headers define as macros (the A and W
// forms of a function, or an old 16-bit call). The code of the dialogs calls the A
// forms by their own names.
#undef DeleteFile
#undef GetFreeSpace
#undef MessageBox
#undef OpenService
#undef RegOpenKey
#undef StartService

#include "common/Types.h"
