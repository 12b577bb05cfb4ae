// The desktop host's version and environment on Linux: the real environment
// variables, current directory and files (getenv, getcwd, chdir, statvfs, unlink).
//
// GetVersion reports 6.1. Linux is no desktop generation of the sync software;
// 6.1 is a version the link maps to OS_OTHERS (the file transport, no service
// control), which is what a Linux host uses.
#pragma once

#include "platform/HostEnvironment.h"
#include "platform/HostVersion.h"

constexpr DWORD POSIX_HOST_VERSION_MAJOR = 6;
constexpr DWORD POSIX_HOST_VERSION_MINOR = 1;

class CPosixHostEnvironment : public IHostVersion, public IHostEnvironment
{
public:
    bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) override;

    bool GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen) override;
    bool GetCurrentDir(char* pszBuf, DWORD dwLen) override;
    bool SetCurrentDir(const char* pszPath) override;
    bool GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes) override;
    bool DeleteFile(const char* pszPath) override;
};
