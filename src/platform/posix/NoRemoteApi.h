// The remote API on Linux: no desktop sync service exists there, so a connection
// never starts and every handset call fails.
#pragma once

#include "platform/RemoteApi.h"

// The value a refused connection start reports (the desktop's generic failure code).
constexpr LONG NO_REMOTE_API_RESULT = static_cast<LONG>(0x80004005u);

class CNoRemoteApi : public IRemoteApi
{
public:
    LONG CeRapiInitEx(RAPIINIT* pInit) override;
    LONG CeRapiUninit() override;
    CE_HANDLE CeCreateFile(const char* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation,
                           DWORD dwAttributes) override;
    bool CeWriteFile(CE_HANDLE hFile, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool CeCloseHandle(CE_HANDLE hFile) override;
    bool CeCreateProcess(const char* pszImageName, const char* pszCommandLine) override;
    LONG CeRegOpenKeyEx(CE_HKEY hRoot, const char* pszSubKey, CE_HKEY* phKey) override;
    LONG CeRegQueryValueEx(CE_HKEY hKey, const char* pszValueName, DWORD* pdwType, BYTE* pData,
                           DWORD* pcbData) override;
    LONG CeRegCloseKey(CE_HKEY hKey) override;
};
