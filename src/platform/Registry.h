// Text values of the desktop's registry under the local-machine root.
#pragma once

#include <cstdint>

#include "common/Types.h"

typedef intptr_t REG_KEY;

// Registry results (the desktop's own values, so that error texts match).
constexpr LONG REG_RESULT_SUCCESS = 0;
constexpr LONG REG_RESULT_FILE_NOT_FOUND = 2;

class IRegistry
{
public:
    virtual ~IRegistry() = default;

    // Opens a key for reading; *phKey is 0 when it fails.
    virtual LONG RegOpenKey(const char* pszSubKey, REG_KEY* phKey) = 0;
    // A text value copied with its terminator into dwLen bytes. A null value name
    // is the key's default value.
    virtual LONG RegQueryText(REG_KEY hKey, const char* pszValueName, char* pszBuf, DWORD dwLen) = 0;
    virtual void RegCloseKey(REG_KEY hKey) = 0;
};
