// The desktop host's environment and files on Windows: environment variables, the
// current directory, free disk space and deleting files, through the narrow (A)
// calls. A text that does not fit the caller's buffer fails with
// ERROR_INSUFFICIENT_BUFFER; every other failure keeps the system's own error.
#pragma once

#include "platform/HostEnvironment.h"

class CWin32HostEnvironment : public IHostEnvironment
{
public:
    // A variable that is set but empty is the empty text; one that is not set
    // fails (ERROR_ENVVAR_NOT_FOUND).
    bool GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen) override;
    bool GetCurrentDir(char* pszBuf, DWORD dwLen) override;
    bool SetCurrentDir(const char* pszPath) override;
    // The free bytes of the whole volume that holds the path (a folder), not only
    // those the user's quota leaves.
    bool GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes) override;
    bool DeleteFile(const char* pszPath) override;
};
