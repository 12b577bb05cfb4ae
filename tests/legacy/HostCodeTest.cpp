#include <gtest/gtest.h>

#include "legacy/HostCode.h"
#include "platform/HostSystem.h"

namespace
{
// Only the version matters here; everything else reports itself absent.
class CVersionHost : public IHostSystem
{
public:
    CVersionHost(bool bKnown, DWORD dwMajor, DWORD dwMinor) : m_bKnown(bKnown), m_dwMajor(dwMajor), m_dwMinor(dwMinor)
    {
    }
    bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) override
    {
        *pdwMajor = m_dwMajor;
        *pdwMinor = m_dwMinor;
        return m_bKnown;
    }
    bool GetEnvironment(const char*, char*, DWORD) override { return false; }
    bool GetCurrentDir(char*, DWORD) override { return false; }
    bool SetCurrentDir(const char*) override { return false; }
    bool GetFreeSpace(const char*, QWORD*) override { return false; }
    bool DeleteFile(const char*) override { return false; }
    WINDOW_HANDLE FindWindowByClass(const char*) override { return 0; }
    bool SendCloseWithTimeout(WINDOW_HANDLE, DWORD) override { return false; }
    bool OpenNamedEvent(const char*) override { return false; }
    LONG RegOpenKey(const char*, REG_KEY*) override { return REG_RESULT_FILE_NOT_FOUND; }
    LONG RegQueryText(REG_KEY, const char*, char*, DWORD) override { return REG_RESULT_FILE_NOT_FOUND; }
    void RegCloseKey(REG_KEY) override {}
    bool StartProcess(const char*) override { return false; }
    bool EnumProcesses(DWORD*, DWORD, DWORD*) override { return false; }
    PROCESS_HANDLE OpenProcess(DWORD) override { return 0; }
    bool GetProcessBaseName(PROCESS_HANDLE, char*, DWORD) override { return false; }
    bool GetProcessExitCode(PROCESS_HANDLE, DWORD*) override { return false; }
    bool TerminateProcess(PROCESS_HANDLE, DWORD) override { return false; }
    void CloseProcess(PROCESS_HANDLE) override {}
    SC_HANDLE_T OpenServiceManager() override { return 0; }
    SC_HANDLE_T OpenService(SC_HANDLE_T, const char*) override { return 0; }
    bool QueryServiceState(SC_HANDLE_T, DWORD*) override { return false; }
    bool ControlService(SC_HANDLE_T, DWORD, DWORD*) override { return false; }
    bool StartService(SC_HANDLE_T) override { return false; }

private:
    bool m_bKnown;
    DWORD m_dwMajor;
    DWORD m_dwMinor;
};
}

TEST(LegacyHostCode, FollowsTheHostVersion)
{
    struct
    {
        bool bKnown;
        DWORD dwMajor;
        DWORD dwMinor;
        DWORD dwCode;
    } cases[] = {
        {true, 5, 0, 1000}, {true, 5, 1, 1001}, {true, 5, 2, 1003}, {true, 6, 0, 1003},
        {true, 4, 0, 1003}, {true, 6, 1, 1003}, {false, 5, 1, 1000},
    };
    for (const auto& test : cases)
    {
        CVersionHost host(test.bKnown, test.dwMajor, test.dwMinor);
        EXPECT_EQ(GetLegacyHostCode(&host), test.dwCode) << test.dwMajor << "." << test.dwMinor;
    }
    EXPECT_EQ(GetLegacyHostCode(nullptr), 1000u);
}
