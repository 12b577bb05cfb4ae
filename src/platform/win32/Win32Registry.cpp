#include "platform/win32/Win32Registry.h"

#include <cstring>

#include "platform/win32/Win32HostApi.h"

namespace
{
HKEY KeyOf(REG_KEY hKey)
{
    return reinterpret_cast<HKEY>(hKey);
}

bool IsTextType(ULONG ulType)
{
    return ulType == REG_SZ || ulType == REG_EXPAND_SZ;
}

LONG Fail(LONG lResult)
{
    SetLastErrorCode(static_cast<DWORD>(lResult));
    return lResult;
}
}

LONG CWin32Registry::RegOpenKey(const char* pszSubKey, REG_KEY* phKey)
{
    HKEY hKey = nullptr;
    LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszSubKey, 0, KEY_READ, &hKey);
    if (lResult != ERROR_SUCCESS)
    {
        *phKey = 0;
        return Fail(lResult);
    }
    *phKey = reinterpret_cast<REG_KEY>(hKey);
    return ERROR_SUCCESS;
}

LONG CWin32Registry::RegQueryText(REG_KEY hKey, const char* pszValueName, char* pszBuf, DWORD dwLen)
{
    if (pszBuf == nullptr || dwLen == 0)
        return Fail(ERROR_INVALID_PARAMETER);

    // The type first: a value of another type fails as such, whatever its size.
    ULONG ulType = REG_NONE;
    LONG lResult = RegQueryValueExA(KeyOf(hKey), pszValueName, nullptr, &ulType, nullptr, nullptr);
    if (lResult != ERROR_SUCCESS)
        return Fail(lResult);
    if (!IsTextType(ulType))
        return Fail(ERROR_UNSUPPORTED_TYPE);

    ULONG ulSize = dwLen;
    lResult = RegQueryValueExA(KeyOf(hKey), pszValueName, nullptr, &ulType, reinterpret_cast<BYTE*>(pszBuf), &ulSize);
    if (lResult != ERROR_SUCCESS)
        return Fail(lResult);
    if (!IsTextType(ulType))   // the value was replaced between the two reads
        return Fail(ERROR_UNSUPPORTED_TYPE);

    // The stored data need not end with a terminator: the text ends at the first
    // one, or else at the end of the data, and must leave room for its terminator.
    const void* pTerminator = std::memchr(pszBuf, '\0', ulSize);
    size_t nText =
        pTerminator != nullptr ? static_cast<size_t>(static_cast<const char*>(pTerminator) - pszBuf) : ulSize;
    if (nText + 1 > dwLen)
        return Fail(ERROR_MORE_DATA);
    pszBuf[nText] = '\0';
    return ERROR_SUCCESS;
}

void CWin32Registry::RegCloseKey(REG_KEY hKey)
{
    if (hKey != 0)
        ::RegCloseKey(KeyOf(hKey));
}
