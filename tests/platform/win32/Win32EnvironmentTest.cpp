// CWin32HostEnvironment on the real environment, folders and files.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/Win32Environment.h"
#include "support/ImageBuilder.h"
#include "support/win32/Win32TestSupport.h"

namespace fs = std::filesystem;

namespace
{
const char VARIABLE[] = "VUQ_TEST_VARIABLE";

// Keeps the current directory of the test program and restores it at the end.
class CSavedCurrentDir
{
public:
    CSavedCurrentDir() : m_Path(fs::current_path()) {}
    ~CSavedCurrentDir()
    {
        std::error_code ec;
        fs::current_path(m_Path, ec);
    }

private:
    fs::path m_Path;
};
}

TEST(Win32HostEnvironment, ReadsVariablesThatFitTheBuffer)
{
    struct ENV_CASE
    {
        const char* pszValue;   // null: not set
        DWORD dwLen;
        bool bResult;
        DWORD dwError;   // the last error when it fails
    };
    const ENV_CASE CASES[] = {
        {"C:\\Temp", 8, true, 0},
        {"C:\\Temp", 7, false, ERROR_INSUFFICIENT_BUFFER},   // no room for the terminator
        {"C:\\Temp", 1, false, ERROR_INSUFFICIENT_BUFFER},
        {"", 1, true, 0},                                     // set but empty
        {nullptr, 64, false, ERROR_ENVVAR_NOT_FOUND},
    };
    CWin32HostEnvironment environment;
    for (const ENV_CASE& c : CASES)
    {
        SCOPED_TRACE(std::string(c.pszValue != nullptr ? c.pszValue : "(not set)") + " in " + std::to_string(c.dwLen));
        SetEnvironmentVariableA(VARIABLE, c.pszValue);
        char szBuf[64];
        std::memset(szBuf, 'x', sizeof(szBuf));
        SetLastErrorCode(0);
        EXPECT_EQ(environment.GetEnvironment(VARIABLE, szBuf, c.dwLen), c.bResult);
        if (c.bResult)
            EXPECT_STREQ(szBuf, c.pszValue);
        else
            EXPECT_EQ(GetLastErrorCode(), c.dwError);
    }
    SetEnvironmentVariableA(VARIABLE, nullptr);
}

TEST(Win32HostEnvironment, TempIsAFolder)
{
    CWin32HostEnvironment environment;
    char szTemp[MAX_PATH_LEN] = {};
    ASSERT_TRUE(environment.GetEnvironment("TEMP", szTemp, sizeof(szTemp)));
    EXPECT_TRUE(fs::is_directory(szTemp)) << szTemp;
}

TEST(Win32HostEnvironment, ChangesAndReadsTheCurrentDirectory)
{
    CSavedCurrentDir saved;
    CTempDir folder;
    CWin32HostEnvironment environment;

    ASSERT_TRUE(environment.SetCurrentDir(folder.Path().c_str()));
    char szDir[MAX_PATH_LEN] = {};
    ASSERT_TRUE(environment.GetCurrentDir(szDir, sizeof(szDir)));
    EXPECT_TRUE(fs::equivalent(szDir, folder.Path())) << szDir;

    // Exactly the text and its terminator fit; one byte less does not.
    DWORD dwFits = static_cast<DWORD>(std::strlen(szDir) + 1);
    char szExact[MAX_PATH_LEN] = {};
    EXPECT_TRUE(environment.GetCurrentDir(szExact, dwFits));
    EXPECT_STREQ(szExact, szDir);
    EXPECT_FALSE(environment.GetCurrentDir(szExact, dwFits - 1));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    std::string strMissing = folder.File("missing");
    EXPECT_FALSE(environment.SetCurrentDir(strMissing.c_str()));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), folder.Path()));
}

TEST(Win32HostEnvironment, ReportsTheFreeSpaceOfAVolume)
{
    CTempDir folder;
    CWin32HostEnvironment environment;
    QWORD qwFree = 0;
    ASSERT_TRUE(environment.GetFreeSpace(folder.Path().c_str(), &qwFree));
    EXPECT_GT(qwFree, 0u);

    std::string strMissing = folder.File("missing\\");
    EXPECT_FALSE(environment.GetFreeSpace(strMissing.c_str(), &qwFree));
    EXPECT_NE(GetLastErrorCode(), 0u);
}

TEST(Win32HostEnvironment, DeletesFilesRelativeToTheCurrentDirectory)
{
    CSavedCurrentDir saved;
    CTempDir folder(true);
    std::ofstream(folder.File("temp.dat")) << "x";
    CWin32HostEnvironment environment;

    EXPECT_TRUE(environment.DeleteFile("temp.dat"));
    EXPECT_FALSE(fs::exists(folder.File("temp.dat")));

    EXPECT_FALSE(environment.DeleteFile("temp.dat"));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Unlike Linux, Windows keeps a file that is open without delete sharing: the image
// container must let go of the image file before it can be deleted.
TEST(Win32HostEnvironment, AFileHeldOpenIsNotDeleted)
{
    CTempDir folder;
    std::string strFile = folder.File("temp.dat");
    std::ofstream(strFile) << "x";
    HANDLE hFile = CreateFileA(strFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    CWin32HostEnvironment environment;

    EXPECT_FALSE(environment.DeleteFile(strFile.c_str()));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(hFile);
    EXPECT_TRUE(environment.DeleteFile(strFile.c_str()));
}
