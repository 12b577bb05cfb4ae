// <windows.h> for the Windows implementations, next to the project's own types.
//
// The project's DWORD and LONG (common/Types.h: uint32_t and int32_t) have the same
// sizes as the system's (unsigned long and long on Windows) but are other types, so
// the two sets of declarations cannot meet in one file. While the system header is
// read its two names are renamed WIN_DWORD and WIN_LONG; the rest of the file keeps
// the project's names. Values convert freely; a system call that writes through a
// DWORD pointer gets a WIN_DWORD variable. The system's functions are called by
// their wide (W) names, with texts converted from and to UTF-8 (Win32Text.h).
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
#include <tlhelp32.h>
#include <winsvc.h>
#undef DWORD
#undef LONG

// <windows.h> defines several names of the seam's interfaces as macros (the
// narrow/wide switch renames MessageBox, DeleteFile, OpenService...; GetFreeSpace
// becomes a constant): they are undefined here, so the interfaces read the same in
// every file, and the system's functions are called by their A or W names.
#undef DeleteFile
#undef EnumProcesses
#undef GetFreeSpace
#undef MessageBox
#undef OpenService
#undef RegOpenKey
#undef StartService

#include "common/Types.h"
