// The desktop's remote API to the handset on Windows: "rapi.dll" of the desktop's
// sync software, loaded by name when the object is made (the standard search: the
// program's folder first, then the system's) and its nine functions resolved by
// name. Our names are UTF-8 and go to the library as UTF-16; the handset's root
// keys take the system's form of them.
//
// The connection start hands the library a Win32 event of our own. A small thread
// waits on it and sets the caller's CEvent once the library signals it, copying
// the record's result; CeRapiUninit (or a new start, or the object's end) ends that
// thread before it returns, so the caller's event and record are never touched
// after the caller has ended the connection.
//
// A PC without the library, or with one that lacks a function, behaves as one
// whose handset is not connected: the start fails with a failure result and every
// other call fails, with the loader's error as the thread's last error.
#pragma once

#include <memory>
#include <string>

#include "platform/RemoteApi.h"

struct WIN32_RAPI_STATE;

class CWin32RemoteApi : public IRemoteApi
{
public:
    // pszLibrary: the module to load, UTF-8; the library's own name by default.
    explicit CWin32RemoteApi(const char* pszLibrary = "rapi.dll");
    ~CWin32RemoteApi() override;
    CWin32RemoteApi(const CWin32RemoteApi&) = delete;
    CWin32RemoteApi& operator=(const CWin32RemoteApi&) = delete;

    // True when the library loaded and offers all nine functions.
    bool IsAvailable() const;

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

private:
    bool Unavailable();
    void EndInitWait();

    std::unique_ptr<WIN32_RAPI_STATE> m_pState;
};
