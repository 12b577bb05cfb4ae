// The desktop's remote API to the handset while it is linked through the sync
// software: connect, files, processes and registry on the handset. No such service
// exists on Linux; the virtual handset provides one.
#pragma once

#include "common/Types.h"
#include "platform/Clock.h"

typedef intptr_t CE_HANDLE;
constexpr CE_HANDLE CE_INVALID_HANDLE = -1;
typedef intptr_t CE_HKEY;
constexpr CE_HKEY CE_HKEY_LOCAL_MACHINE = 0x80000002;

// Connection start record: size 12, the completion event, a result field.
struct RAPIINIT
{
    DWORD cbSize;
    CEvent* heRapiInit;
    LONG hrRapiInit;
};

// Access, share and creation values of CeCreateFile.
constexpr DWORD CE_GENERIC_READ = 0x80000000u;
constexpr DWORD CE_GENERIC_WRITE = 0x40000000u;
constexpr DWORD CE_FILE_SHARE_READ = 0x1;
constexpr DWORD CE_FILE_SHARE_WRITE = 0x2;
constexpr DWORD CE_CREATE_ALWAYS = 2;
constexpr DWORD CE_OPEN_ALWAYS = 4;
constexpr DWORD CE_FILE_ATTRIBUTE_NORMAL = 0x80;

// Registry value types and results.
constexpr DWORD CE_REG_SZ = 1;
constexpr LONG CE_ERROR_SUCCESS = 0;

class IRemoteApi
{
public:
    virtual ~IRemoteApi() = default;
    // Starts connecting; 0 when the start was accepted, and the record's event is
    // set once the connection is ready. Any other value: no connection.
    virtual LONG CeRapiInitEx(RAPIINIT* pInit) = 0;
    virtual LONG CeRapiUninit() = 0;
    // Names are UTF-8 here; the handset's side converts them.
    virtual CE_HANDLE CeCreateFile(const char* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation,
                                   DWORD dwAttributes) = 0;
    virtual bool CeWriteFile(CE_HANDLE hFile, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) = 0;
    virtual bool CeCloseHandle(CE_HANDLE hFile) = 0;
    // Starts a program on the handset; false when the handset reports failure.
    virtual bool CeCreateProcess(const char* pszImageName, const char* pszCommandLine) = 0;
    virtual LONG CeRegOpenKeyEx(CE_HKEY hRoot, const char* pszSubKey, CE_HKEY* phKey) = 0;
    // Reads a value's raw data; string values are UTF-16LE with their terminator.
    // On entry *pcbData is the buffer size; on return the size of the value. A value
    // larger than the buffer fails and copies nothing.
    virtual LONG CeRegQueryValueEx(CE_HKEY hKey, const char* pszValueName, DWORD* pdwType, BYTE* pData,
                                   DWORD* pcbData) = 0;
    virtual LONG CeRegCloseKey(CE_HKEY hKey) = 0;
};
