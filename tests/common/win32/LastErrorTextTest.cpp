// The texts of Windows error codes: the system's message table as it stands.
#include <string>

#include <gtest/gtest.h>

#include "common/LastError.h"

namespace
{
std::string TextOf(DWORD dwError)
{
    char szText[256];
    FormatErrorText(dwError, szText, sizeof(szText));
    return szText;
}
}

TEST(WindowsErrorText, IsTheWholeSystemTextWithoutTheLineBreak)
{
    std::string strText = TextOf(2);   // ERROR_FILE_NOT_FOUND
    ASSERT_FALSE(strText.empty());
    EXPECT_EQ(strText.back(), '.');
    EXPECT_EQ(strText.find_first_of("\r\n"), std::string::npos);
}

TEST(WindowsErrorText, ATextWithInsertsKeepsThemAsWritten)
{
    // ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.", what starting a
    // program that is no Windows program reports.
    EXPECT_NE(TextOf(193).find("%1"), std::string::npos) << TextOf(193);
}

// The system formats into a buffer of the full size and fails on a shorter one;
// the caller's buffer gets the start of the text instead.
TEST(WindowsErrorText, IsCutToTheBuffer)
{
    std::string strWhole = TextOf(2);
    char szShort[8];
    FormatErrorText(2, szShort, sizeof(szShort));
    EXPECT_EQ(std::string(szShort), strWhole.substr(0, 7));
}
