#include "common/LastError.h"

#include <cstring>
#include <string>
#include <system_error>

namespace
{
thread_local DWORD t_dwLastError = 0;
thread_local char t_szLastErrorText[256];
}

void SetLastErrorCode(DWORD dwError)
{
    t_dwLastError = dwError;
}

DWORD GetLastErrorCode()
{
    return t_dwLastError;
}

void FormatErrorText(DWORD dwError, char* pszBuf, size_t nLen)
{
    if (pszBuf == nullptr || nLen == 0)
        return;
    pszBuf[0] = '\0';
    std::string strText = std::error_code(static_cast<int>(dwError), std::system_category()).message();
    // The C library names codes it does not know "Unknown error N": that is no text.
    if (strText.rfind("Unknown error", 0) == 0)
        return;
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    std::strncpy(pszBuf, strText.c_str(), nLen - 1);
    pszBuf[nLen - 1] = '\0';
}

const char* GetLastErrorText()
{
    FormatErrorText(t_dwLastError, t_szLastErrorText, sizeof(t_szLastErrorText));
    return t_szLastErrorText;
}
