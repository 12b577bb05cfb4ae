#include "platform/posix/PosixHostEnvironment.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/LastError.h"
#include "common/Text.h"


bool CPosixHostEnvironment::GetVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    *pdwMajor = POSIX_HOST_VERSION_MAJOR;
    *pdwMinor = POSIX_HOST_VERSION_MINOR;
    return true;
}

bool CPosixHostEnvironment::GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen)
{
    const char* pszValue = std::getenv(pszName);
    if (pszValue == nullptr)
    {
        SetLastErrorCode(ENOENT);
        return false;
    }
    return CopyTextToBuffer(pszValue, pszBuf, dwLen);
}

bool CPosixHostEnvironment::GetCurrentDir(char* pszBuf, DWORD dwLen)
{
    if (pszBuf == nullptr || dwLen == 0 || getcwd(pszBuf, dwLen) == nullptr)
    {
        SetLastErrorCode(pszBuf == nullptr || dwLen == 0 ? ERANGE : static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

bool CPosixHostEnvironment::SetCurrentDir(const char* pszPath)
{
    if (chdir(pszPath) != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

bool CPosixHostEnvironment::GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes)
{
    struct statvfs st;
    if (statvfs(pszPath, &st) != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    *pqwFreeBytes = static_cast<QWORD>(st.f_bavail) * static_cast<QWORD>(st.f_frsize);
    return true;
}

bool CPosixHostEnvironment::DeleteFile(const char* pszPath)
{
    if (unlink(pszPath) != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}
