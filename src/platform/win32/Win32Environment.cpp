#include "platform/win32/Win32Environment.h"

#include "platform/win32/Win32HostApi.h"

namespace
{
// Checks the result of a call that copies a text into a buffer of dwLen bytes and
// returns its length without the terminator when it fits, the size it needs
// otherwise, or 0 on failure (with the thread's Windows error set before the
// call cleared, so that an empty text is told from a failure).
bool CheckCopiedText(ULONG ulResult, char* pszBuf, DWORD dwLen)
{
    if (ulResult == 0)
    {
        ULONG ulError = GetLastError();
        if (ulError != ERROR_SUCCESS)
            return FailWithError(ulError);
        if (dwLen == 0)
            return FailWithError(ERROR_INSUFFICIENT_BUFFER);
        pszBuf[0] = '\0';
        return true;
    }
    if (ulResult >= dwLen)
        return FailWithError(ERROR_INSUFFICIENT_BUFFER);
    return true;
}
}

bool CWin32HostEnvironment::GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen)
{
    if (pszBuf == nullptr)
        return FailWithError(ERROR_INVALID_PARAMETER);
    SetLastError(ERROR_SUCCESS);
    return CheckCopiedText(GetEnvironmentVariableA(pszName, pszBuf, dwLen), pszBuf, dwLen);
}

bool CWin32HostEnvironment::GetCurrentDir(char* pszBuf, DWORD dwLen)
{
    if (pszBuf == nullptr)
        return FailWithError(ERROR_INVALID_PARAMETER);
    SetLastError(ERROR_SUCCESS);
    return CheckCopiedText(GetCurrentDirectoryA(dwLen, pszBuf), pszBuf, dwLen);
}

bool CWin32HostEnvironment::SetCurrentDir(const char* pszPath)
{
    if (!SetCurrentDirectoryA(pszPath))
        return FailWithSystemError();
    return true;
}

bool CWin32HostEnvironment::GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes)
{
    ULARGE_INTEGER freeToCaller = {};
    ULARGE_INTEGER total = {};
    ULARGE_INTEGER totalFree = {};
    if (!GetDiskFreeSpaceExA(pszPath, &freeToCaller, &total, &totalFree))
        return FailWithSystemError();
    *pqwFreeBytes = totalFree.QuadPart;
    return true;
}

bool CWin32HostEnvironment::DeleteFile(const char* pszPath)
{
    if (!DeleteFileA(pszPath))
        return FailWithSystemError();
    return true;
}
