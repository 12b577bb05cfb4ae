// The Windows API as the host implementations include it, next to the seam's own
// types:
// - <windows.h> declares DWORD and LONG as long types, common/Types.h as the
//   fixed-width ones (the same size on Windows, other types to the compiler).
//   Here the Windows headers declare them under other names, so both can be
//   included in one file; Windows calls that write to a DWORD or LONG take
//   ULONG and LSTATUS-sized locals, which are those long types.
// - <windows.h> defines several names of the seam's interfaces as macros
//   (DeleteFile becomes DeleteFileA, GetFreeSpace a constant...); they are
//   undefined here, so that the interfaces read the same in every file and the
//   code calls the narrow (A) functions by their own names.
// Every Windows header of these files comes in through this one.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define DWORD WINDOWS_DWORD
#define LONG WINDOWS_LONG
#include <windows.h>

#include <tlhelp32.h>
#include <winsvc.h>
#undef DWORD
#undef LONG

#undef DeleteFile
#undef EnumProcesses
#undef GetFreeSpace
#undef MessageBox
#undef OpenService
#undef RegOpenKey
#undef StartService

#include "common/LastError.h"

// Stores the calling thread's Windows error as its last error; returns false, so
// that a failing call can end with `return FailWithSystemError();`.
inline bool FailWithSystemError()
{
    SetLastErrorCode(GetLastError());
    return false;
}

// Stores a Windows error code as the thread's last error; returns false.
inline bool FailWithError(DWORD dwError)
{
    SetLastErrorCode(dwError);
    return false;
}
