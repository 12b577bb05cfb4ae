// The sync software's calls on a host that lacks some of its facilities (null in
// the platform context): on Linux there are no desktop windows, no registry and no
// service manager; a fake may serve no processes or environment either.
#include <functional>
#include <string>
#include <vector>

#include "common/LastError.h"
#include "host/HostTestFixture.h"

namespace
{
struct ABSENT_CASE
{
    const char* pszName;
    std::function<bool(const PlatformContext&)> fnCall;
    bool bResult;
    std::errc eLastError;   // the condition the thread's last error stands for
    std::vector<std::string> boxes;
};

DWORD CodeOf(std::errc eCondition)
{
    SetLastErrorCondition(eCondition);
    return GetLastErrorCode();
}
}

// The platform context of a Linux host: environment and processes, nothing else.
class HostWithoutDesktopFacilities : public CHostTest
{
protected:
    HostWithoutDesktopFacilities()
    {
        m_Platform.pDesktopWindows = nullptr;
        m_Platform.pRegistry = nullptr;
        m_Platform.pServiceManager = nullptr;
    }
};

TEST_F(HostWithoutDesktopFacilities, SyncSoftwareCallsFindNothing)
{
    const ABSENT_CASE CASES[] = {
        // No window is left, and no manager event says there is a manager to ask.
        {"close", [](const PlatformContext& platform) { return ::CloseActiveSync(platform); }, true, std::errc::no_such_file_or_directory, {}},
        // No key holds the manager's path.
        {"quit", [](const PlatformContext& platform) { return ::QuitActiveSync(platform); }, false, std::errc::no_such_file_or_directory, {}},
        {"restart",
         [](const PlatformContext& platform) {
             ::RestartActiveSync(platform);
             return true;
         },
         true, std::errc::no_such_file_or_directory, {"RegOpenKey error"}},
        // The service manager cannot be opened.
        {"service",
         [](const PlatformContext& platform) {
             CSyncServiceControl service;
             return ::ControlSyncService(platform, service, "START") == 0;
         }, true, std::errc::function_not_supported,
         {"Fail OpenSCManager"}},
    };
    for (const ABSENT_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszName);
        m_Box.Clear();
        SetLastErrorCode(0);
        EXPECT_EQ(c.fnCall(m_Platform), c.bResult);
        DWORD dwLastError = GetLastErrorCode();
        EXPECT_EQ(dwLastError, CodeOf(c.eLastError));
        EXPECT_EQ(m_Box.Texts(), c.boxes);
        EXPECT_TRUE(m_Host.CallsStartingWith("StartProcess").empty());
    }
}

TEST_F(HostWithoutDesktopFacilities, TheQuietServiceControlOnlyTraces)
{
    // As the keep-stopped thread sends it: a failure never raises a box.
    EXPECT_EQ(m_SyncService.Control(m_Platform, "STOP", true), 0);
    EXPECT_TRUE(m_Box.Boxes().empty());
    EXPECT_TRUE(m_Trace.Contains("Fail OpenSCManager"));
}

// A host that serves neither processes nor an environment.
class HostWithoutProcessesOrEnvironment : public CHostTest
{
protected:
    HostWithoutProcessesOrEnvironment()
    {
        m_Platform.pProcesses = nullptr;
        m_Platform.pHostEnvironment = nullptr;
        m_Host.StartSyncSoftware();
        m_Host.SetEnvironment("TEMP", "C:\\Temp");
        m_Host.ClearCalls();
    }
};

TEST_F(HostWithoutProcessesOrEnvironment, NothingIsListedStartedOrDeleted)
{
    ::testing::internal::CaptureStdout();
    ::KillActiveSyncProcesses(m_Platform);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(m_Host.CountProcesses("wcesmgr.exe"), 1);

    EXPECT_FALSE(::QuitActiveSync(m_Platform));
    ::RestartActiveSync(m_Platform);
    EXPECT_EQ(m_Box.Texts(), std::vector<std::string>{"CreateProcess failed: ActiveSync in Finish."});

    EXPECT_FALSE(::DeleteFiles(m_Platform, nullptr));
    EXPECT_TRUE(m_Trace.Contains("Delete files: TEMP is not usable"));

    EXPECT_TRUE(m_Host.CallsStartingWith("EnumProcesses").empty());
    EXPECT_TRUE(m_Host.CallsStartingWith("StartProcess").empty());
    EXPECT_TRUE(m_Host.CallsStartingWith("GetEnvironment").empty());
    EXPECT_TRUE(m_Host.CallsStartingWith("DeleteFile").empty());
    EXPECT_EQ(m_Host.CountProcesses("wcesmgr.exe"), 1);
}
