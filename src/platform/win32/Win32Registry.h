// Text values of the Windows registry under HKEY_LOCAL_MACHINE, read with KEY_READ
// through the narrow (A) calls. The results are the registry's own codes, which
// are also stored as the thread's last error on failure.
#pragma once

#include "platform/Registry.h"

class CWin32Registry : public IRegistry
{
public:
    LONG RegOpenKey(const char* pszSubKey, REG_KEY* phKey) override;
    // Reads REG_SZ and REG_EXPAND_SZ values (the latter as stored, not expanded);
    // a value stored without its terminator gets one. A value of another type
    // fails with ERROR_UNSUPPORTED_TYPE, a text that does not fit dwLen bytes with
    // ERROR_MORE_DATA, a missing value with ERROR_FILE_NOT_FOUND.
    LONG RegQueryText(REG_KEY hKey, const char* pszValueName, char* pszBuf, DWORD dwLen) override;
    void RegCloseKey(REG_KEY hKey) override;
};
