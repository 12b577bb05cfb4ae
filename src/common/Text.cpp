#include "common/Text.h"

#include <cctype>
#include <cstring>

#include "common/LastError.h"

bool SameTextNoCase(const char* pszA, const char* pszB)
{
    for (; *pszA != '\0' && *pszB != '\0'; ++pszA, ++pszB)
        if (std::tolower(static_cast<unsigned char>(*pszA)) != std::tolower(static_cast<unsigned char>(*pszB)))
            return false;
    return *pszA == *pszB;
}

bool CopyTextToBuffer(const char* pszText, char* pszBuf, DWORD dwLen)
{
    size_t nLen = pszText != nullptr ? std::strlen(pszText) : 0;
    if (pszBuf == nullptr || nLen + 1 > dwLen)
    {
        SetLastErrorCondition(std::errc::result_out_of_range);
        return false;
    }
    std::memcpy(pszBuf, pszText != nullptr ? pszText : "", nLen + 1);
    return true;
}
