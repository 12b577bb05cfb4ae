// Texts of the Windows implementations: the system message table's text of an error
// code, and the conversions between the project's UTF-8 and the system's UTF-16.
// Declared without system types, so portable code can call them.
#pragma once

#include <cstddef>
#include <string>

#include "common/Types.h"

// The system's text for a Windows error code (system message table, the user's
// default language), without trailing line breaks, cut to fit pszBuf (nLen bytes
// with the terminator) without splitting a character. An unknown code gives an
// empty text.
void FormatWin32ErrorText(DWORD dwError, char* pszBuf, size_t nLen);

// UTF-8 to UTF-16 and back; bytes that form no character become U+FFFD.
std::wstring Utf8ToWide(const char* pszUtf8);
std::string WideToUtf8(const wchar_t* pszWide);
