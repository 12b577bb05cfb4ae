#include "common/Text.h"

#include <cctype>

bool SameTextNoCase(const char* pszA, const char* pszB)
{
    for (; *pszA != '\0' && *pszB != '\0'; ++pszA, ++pszB)
        if (std::tolower(static_cast<unsigned char>(*pszA)) != std::tolower(static_cast<unsigned char>(*pszB)))
            return false;
    return *pszA == *pszB;
}
