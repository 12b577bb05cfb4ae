// CWin32HostVersion against the version the system records, and against the
// compatibility version older calls report.
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/Win32Version.h"
#include "support/win32/Win32TestSupport.h"

namespace
{
const char VERSION_KEY[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char VERSION_PROGRAM[] = "vuq_test_version.exe";
const char WINE_PROGRAM_KEY[] = "Software\\Wine\\AppDefaults\\vuq_test_version.exe";

bool IsWine()
{
    HMODULE hNtDll = GetModuleHandleA("ntdll.dll");
    return hNtDll != nullptr && GetProcAddress(hNtDll, "wine_get_version") != nullptr;
}

// The version in the registry: the numbers Windows 10 and later keep, else the
// "M.m" text (which those versions leave at 6.3 for old programs).
bool ReadRecordedVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    ULONG ulMajor = 0;
    ULONG ulMinor = 0;
    ULONG ulSize = sizeof(ulMajor);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, VERSION_KEY, "CurrentMajorVersionNumber", RRF_RT_REG_DWORD, nullptr, &ulMajor,
                     &ulSize) == ERROR_SUCCESS)
    {
        ulSize = sizeof(ulMinor);
        RegGetValueA(HKEY_LOCAL_MACHINE, VERSION_KEY, "CurrentMinorVersionNumber", RRF_RT_REG_DWORD, nullptr, &ulMinor,
                     &ulSize);
        *pdwMajor = ulMajor;
        *pdwMinor = ulMinor;
        return true;
    }
    char szText[32] = {};
    ulSize = sizeof(szText);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, VERSION_KEY, "CurrentVersion", RRF_RT_REG_SZ, nullptr, szText, &ulSize) !=
        ERROR_SUCCESS)
        return false;
    unsigned uMajor = 0;
    unsigned uMinor = 0;
    if (std::sscanf(szText, "%u.%u", &uMajor, &uMinor) != 2)
        return false;
    *pdwMajor = uMajor;
    *pdwMinor = uMinor;
    return true;
}
}

TEST(Win32HostVersion, ReportsTheVersionTheSystemRecords)
{
    CWin32HostVersion version;
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    ASSERT_TRUE(version.GetVersion(&dwMajor, &dwMinor));

    DWORD dwRecordedMajor = 0;
    DWORD dwRecordedMinor = 0;
    ASSERT_TRUE(ReadRecordedVersion(&dwRecordedMajor, &dwRecordedMinor));
    EXPECT_EQ(dwMajor, dwRecordedMajor);
    EXPECT_EQ(dwMinor, dwRecordedMinor);
}

// GetVersionEx reports 6.2 on every later version to a program without a manifest
// that names them; the host version must be the real one. Wine gives a program the
// version set for it under its AppDefaults key, so each version is tried in turn on
// the helper program.
TEST(Win32HostVersion, ReportsTheRealVersionWhereTheCompatibilityVersionIsOlder)
{
    if (!IsWine())
        GTEST_SKIP() << "the program's own version is a Wine setting";
    struct VERSION_CASE
    {
        const char* pszWineVersion;
        int nExpected;   // major * 100 + minor
    };
    const VERSION_CASE CASES[] = {{"vista", 600}, {"win7", 601}, {"win81", 603}, {"win10", 1000}};
    for (const VERSION_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszWineVersion);
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, WINE_PROGRAM_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                                  nullptr),
                  ERROR_SUCCESS);
        std::string strVersion = c.pszWineVersion;
        RegSetValueExA(hKey, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(strVersion.c_str()),
                       static_cast<ULONG>(strVersion.size() + 1));
        RegCloseKey(hKey);

        CHelperProcess program(Quoted(TestProgramFolder() / VERSION_PROGRAM));
        ASSERT_TRUE(program.IsStarted());
        ASSERT_TRUE(program.WaitForEnd());
        int nReported = static_cast<int>(program.ExitCode());
        RegDeleteKeyA(HKEY_CURRENT_USER, WINE_PROGRAM_KEY);
        EXPECT_EQ(nReported, c.nExpected);
    }
}
