#include "platform/win32/Win32Text.h"

#include <cstring>

#include "platform/win32/Win32SystemHeaders.h"

void FormatWin32ErrorText(DWORD dwError, char* pszBuf, size_t nLen)
{
    if (pszBuf == nullptr || nLen == 0)
        return;
    pszBuf[0] = '\0';
    constexpr WIN_DWORD FLAGS = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    wchar_t szText[512];
    WIN_DWORD dwLen = FormatMessageW(FLAGS, nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), szText,
                                     sizeof(szText) / sizeof(szText[0]), nullptr);
    // A table without the user's language: the system's own choice of language.
    if (dwLen == 0 && GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND)
        dwLen = FormatMessageW(FLAGS, nullptr, dwError, 0, szText, sizeof(szText) / sizeof(szText[0]), nullptr);
    if (dwLen == 0)
        return;
    while (dwLen > 0 && (szText[dwLen - 1] == L'\n' || szText[dwLen - 1] == L'\r' || szText[dwLen - 1] == L' '))
        --dwLen;
    szText[dwLen] = L'\0';
    std::string strText = WideToUtf8(szText);
    size_t nCopy = strText.size();
    if (nCopy > nLen - 1)
    {
        nCopy = nLen - 1;
        // Never end inside a character: back off over continuation bytes and the lead.
        while (nCopy > 0 && (static_cast<unsigned char>(strText[nCopy]) & 0xC0) == 0x80)
            --nCopy;
    }
    std::memcpy(pszBuf, strText.data(), nCopy);
    pszBuf[nCopy] = '\0';
}

std::wstring Utf8ToWide(const char* pszUtf8)
{
    if (pszUtf8 == nullptr || pszUtf8[0] == '\0')
        return std::wstring();
    int nLen = MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, nullptr, 0);
    if (nLen <= 0)
        return std::wstring();
    std::wstring strWide(static_cast<size_t>(nLen), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, strWide.data(), nLen);
    strWide.resize(static_cast<size_t>(nLen) - 1);
    return strWide;
}

std::string WideToUtf8(const wchar_t* pszWide)
{
    if (pszWide == nullptr || pszWide[0] == L'\0')
        return std::string();
    int nLen = WideCharToMultiByte(CP_UTF8, 0, pszWide, -1, nullptr, 0, nullptr, nullptr);
    if (nLen <= 0)
        return std::string();
    std::string strText(static_cast<size_t>(nLen), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pszWide, -1, strText.data(), nLen, nullptr, nullptr);
    strText.resize(static_cast<size_t>(nLen) - 1);
    return strText;
}
