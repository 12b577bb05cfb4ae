#include "platform/posix/NoRemoteApi.h"

#include <cerrno>

#include "common/LastError.h"

LONG CNoRemoteApi::CeRapiInitEx(RAPIINIT*)
{
    SetLastErrorCode(ENOSYS);
    return NO_REMOTE_API_RESULT;
}

LONG CNoRemoteApi::CeRapiUninit()
{
    return NO_REMOTE_API_RESULT;
}

CE_HANDLE CNoRemoteApi::CeCreateFile(const char*, DWORD, DWORD, DWORD, DWORD)
{
    SetLastErrorCode(ENOSYS);
    return CE_INVALID_HANDLE;
}

bool CNoRemoteApi::CeWriteFile(CE_HANDLE, const BYTE*, DWORD, DWORD* pdwWritten)
{
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    SetLastErrorCode(ENOSYS);
    return false;
}

bool CNoRemoteApi::CeCloseHandle(CE_HANDLE)
{
    SetLastErrorCode(ENOSYS);
    return false;
}

bool CNoRemoteApi::CeCreateProcess(const char*, const char*)
{
    SetLastErrorCode(ENOSYS);
    return false;
}

LONG CNoRemoteApi::CeRegOpenKeyEx(CE_HKEY, const char*, CE_HKEY* phKey)
{
    if (phKey != nullptr)
        *phKey = 0;
    return ENOSYS;
}

LONG CNoRemoteApi::CeRegQueryValueEx(CE_HKEY, const char*, DWORD*, BYTE*, DWORD*)
{
    return ENOSYS;
}

LONG CNoRemoteApi::CeRegCloseKey(CE_HKEY)
{
    return ENOSYS;
}
