// The desktop host's environment and files: environment variables, the current
// directory, free space, and deleting a file. Each call sets the thread's last
// error on failure.
#pragma once

#include "common/Types.h"

class IHostEnvironment
{
public:
    virtual ~IHostEnvironment() = default;

    // Texts are copied with their terminator into buffers of dwLen bytes; a text
    // that does not fit fails.
    virtual bool GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen) = 0;
    virtual bool GetCurrentDir(char* pszBuf, DWORD dwLen) = 0;
    virtual bool SetCurrentDir(const char* pszPath) = 0;
    virtual bool GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes) = 0;
    // A relative path is taken from the current directory.
    virtual bool DeleteFile(const char* pszPath) = 0;
};
