// CWin32Registry on values the test writes under its own key of HKEY_LOCAL_MACHINE.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/Win32Registry.h"
#include "support/win32/Win32TestSupport.h"

namespace
{
struct QUERY_CASE
{
    const char* pszCase;
    const char* pszValueName;   // null: the default value
    ULONG ulType;
    std::string strData;        // the bytes stored, terminator included or not
    DWORD dwLen;                // the caller's buffer
    LONG lResult;
    std::string strText;        // the text read when it succeeds
};
}

TEST(Win32Registry, ReadsTextValuesThatFitTheBuffer)
{
    const std::string PATH = "C:\\Program Files\\Microsoft ActiveSync\\WCESMGR.EXE";
    const std::string LONGEST(259, 'a');
    const QUERY_CASE CASES[] = {
        {"named text", "Path", REG_SZ, PATH + '\0', 260, ERROR_SUCCESS, PATH},
        {"default value", nullptr, REG_SZ, PATH + '\0', 260, ERROR_SUCCESS, PATH},
        {"expandable text, as stored", "Expand", REG_EXPAND_SZ, std::string("%ProgramFiles%\\x.exe") + '\0', 260,
         ERROR_SUCCESS, "%ProgramFiles%\\x.exe"},
        {"empty text", "Empty", REG_SZ, "", 260, ERROR_SUCCESS, ""},
        {"stored without terminator", "Bare", REG_SZ, "abc", 4, ERROR_SUCCESS, "abc"},
        {"without terminator, no room for one", "Bare", REG_SZ, "abc", 3, ERROR_MORE_DATA, ""},
        {"longest that fits", "Long", REG_SZ, LONGEST + '\0', 260, ERROR_SUCCESS, LONGEST},
        {"one too long", "Long", REG_SZ, LONGEST + "a" + '\0', 260, ERROR_MORE_DATA, ""},
        {"a number", "Number", REG_DWORD, std::string("\x01\x00\x00\x00", 4), 260, ERROR_UNSUPPORTED_TYPE, ""},
        {"large binary", "Binary", REG_BINARY, std::string(1000, 'b'), 260, ERROR_UNSUPPORTED_TYPE, ""},
        {"text list", "List", REG_MULTI_SZ, std::string("a\0b\0\0", 5), 260, ERROR_UNSUPPORTED_TYPE, ""},
    };
    for (const QUERY_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszCase);
        CTestRegistryKey key;
        ASSERT_TRUE(key.IsCreated());
        ASSERT_TRUE(key.SetValue(c.pszValueName, c.ulType, c.strData.data(), c.strData.size()));
        CWin32Registry registry;
        REG_KEY hKey = 0;
        ASSERT_EQ(registry.RegOpenKey(key.SubKey().c_str(), &hKey), REG_RESULT_SUCCESS);
        ASSERT_NE(hKey, 0);

        char szBuf[1024];
        std::memset(szBuf, 'x', sizeof(szBuf));
        SetLastErrorCode(0);
        EXPECT_EQ(registry.RegQueryText(hKey, c.pszValueName, szBuf, c.dwLen), c.lResult);
        if (c.lResult == ERROR_SUCCESS)
            EXPECT_EQ(std::string(szBuf), c.strText);
        else
            EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(c.lResult));
        registry.RegCloseKey(hKey);
    }
}

TEST(Win32Registry, AMissingValueOrKeyIsNotFound)
{
    CTestRegistryKey key;
    ASSERT_TRUE(key.IsCreated());
    ASSERT_TRUE(key.SetText("Other", "x"));
    CWin32Registry registry;
    REG_KEY hKey = 0;
    ASSERT_EQ(registry.RegOpenKey(key.SubKey().c_str(), &hKey), REG_RESULT_SUCCESS);
    char szBuf[260];
    EXPECT_EQ(registry.RegQueryText(hKey, "Path", szBuf, sizeof(szBuf)), REG_RESULT_FILE_NOT_FOUND);
    EXPECT_EQ(registry.RegQueryText(hKey, nullptr, szBuf, sizeof(szBuf)), REG_RESULT_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(REG_RESULT_FILE_NOT_FOUND));
    registry.RegCloseKey(hKey);

    hKey = 0x1234;
    SetLastErrorCode(0);
    EXPECT_EQ(registry.RegOpenKey((key.SubKey() + "\\Missing").c_str(), &hKey), REG_RESULT_FILE_NOT_FOUND);
    EXPECT_EQ(hKey, 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(REG_RESULT_FILE_NOT_FOUND));
}

TEST(Win32Registry, KeysAreOpenedForReadingOnly)
{
    CTestRegistryKey key;
    ASSERT_TRUE(key.IsCreated());
    CWin32Registry registry;
    REG_KEY hKey = 0;
    ASSERT_EQ(registry.RegOpenKey(key.SubKey().c_str(), &hKey), REG_RESULT_SUCCESS);
    const char szText[] = "x";
    EXPECT_EQ(RegSetValueExA(reinterpret_cast<HKEY>(hKey), "Written", 0, REG_SZ, reinterpret_cast<const BYTE*>(szText),
                             sizeof(szText)),
              ERROR_ACCESS_DENIED);
    registry.RegCloseKey(hKey);
}
