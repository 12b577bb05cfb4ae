// The system's texts on Windows: the message table through GetLastErrorText, and
// the UTF-8/UTF-16 conversions.
#include <string>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "platform/win32/Win32Text.h"

TEST(Win32Text, LastErrorTextIsTheMessageTablesTextWhole)
{
    // 193 has an insert ("%1 is not a valid..."); the others end in a full stop.
    const DWORD CODES[] = {ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_TIMEOUT, ERROR_BAD_EXE_FORMAT};
    for (DWORD dwCode : CODES)
    {
        SCOPED_TRACE(dwCode);
        wchar_t szTable[512] = {};
        WIN_DWORD dwLen = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode,
                                         0, szTable, 512, nullptr);
        ASSERT_GT(dwLen, 0u);
        while (dwLen > 0 && (szTable[dwLen - 1] == L'\r' || szTable[dwLen - 1] == L'\n'))
            szTable[--dwLen] = L'\0';
        SetLastErrorCode(dwCode);
        EXPECT_EQ(std::string(GetLastErrorText()), WideToUtf8(szTable));
    }
    SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    std::string strText = GetLastErrorText();
    ASSERT_FALSE(strText.empty());
    EXPECT_EQ(strText.back(), '.') << "the table's full stop is kept";

    SetLastErrorCode(987654);
    EXPECT_STREQ(GetLastErrorText(), "");
}

TEST(Win32Text, ErrorTextIsCutToTheBuffer)
{
    char szShort[8];
    FormatErrorText(ERROR_FILE_NOT_FOUND, szShort, sizeof(szShort));
    SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    std::string strWhole = GetLastErrorText();
    EXPECT_EQ(std::string(szShort), strWhole.substr(0, 7));
}

TEST(Win32Text, Utf8AndUtf16RoundTrip)
{
    const char* TEXTS[] = {"", "Tessik_Console.exe", "ControlPanel\\DeviceInfo", "gr\xC3\xBC\xC3\x9F", "\xF0\x9F\x93\xB1"};
    for (const char* pszText : TEXTS)
    {
        SCOPED_TRACE(pszText);
        EXPECT_EQ(WideToUtf8(Utf8ToWide(pszText).c_str()), pszText);
    }
    EXPECT_EQ(Utf8ToWide("\xC3\xBC"), std::wstring(L"\u00FC"));
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x93\xB1").size(), 2u) << "a surrogate pair";
}
