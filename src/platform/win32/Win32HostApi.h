// The Windows API as the host implementations include it (through
// Win32SystemHeaders.h, next to the seam's own types), and the two helpers their
// failing calls end with. The host implementations call the narrow (A) functions.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"
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
