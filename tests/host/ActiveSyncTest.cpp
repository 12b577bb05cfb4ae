// Closing, killing and restarting the sync software, against the simulated host.
#include <string>
#include <vector>

#include "host/HostTestFixture.h"

namespace
{
// The calls that act on the desktop: window look-ups and closes, the event, process starts.
std::vector<std::string> Actions(CSimHost& host)
{
    std::vector<std::string> actions;
    for (const std::string& strCall : host.Calls())
        if (strCall.rfind("FindWindow", 0) == 0 || strCall.rfind("SendClose", 0) == 0 ||
            strCall.rfind("OpenNamedEvent", 0) == 0 || strCall.rfind("StartProcess", 0) == 0)
            actions.push_back(strCall);
    return actions;
}

const std::string QUIT_COMMAND = std::string("StartProcess \"") + SIM_MANAGER_PATH + "\" /quit";
}

class CloseActiveSync : public CHostTest
{
};

TEST_F(CloseActiveSync, ClosesWindowsAndQuitsTheManagerInOrder)
{
    m_Host.StartSyncSoftware();
    m_Host.ClearCalls();
    // The manager takes its windows along when it quits.
    EXPECT_TRUE(::CloseActiveSync(m_Platform));

    const std::vector<std::string> EXPECTED = {
        "FindWindow CEAppMgr",
        "SendClose CEAppMgr",
        "FindWindow SyncMgrUI",
        "SendClose SyncMgrUI",
        "OpenNamedEvent Microsoft Windows CE Services Manager Event",
        QUIT_COMMAND,
        "FindWindow SyncMgrUI",
        "FindWindow DccMan Class",
        "FindWindow DccMan Class",
        "FindWindow CEAppMgr",
        "FindWindow CEAppMgr",
        "FindWindow SyncMgrUI",
        "FindWindow SyncMgrUI",
    };
    EXPECT_EQ(Actions(m_Host), EXPECTED);
    for (DWORD dwTimeout : m_Host.CloseTimeouts())
        EXPECT_EQ(dwTimeout, 2000u);
    EXPECT_EQ(m_Host.CountProcesses("wcesmgr.exe"), 0);
    EXPECT_FALSE(m_Host.HasManagerEvent());
}

TEST_F(CloseActiveSync, NothingRunningSendsAndStartsNothing)
{
    EXPECT_TRUE(::CloseActiveSync(m_Platform));
    EXPECT_TRUE(m_Host.CallsStartingWith("SendClose").empty());
    EXPECT_TRUE(m_Host.CallsStartingWith("StartProcess").empty());
}

struct REFUSAL_CASE
{
    const char* pszRefusing;   // null: every window closes
    bool bResult;
    const char* pszLastLookup;   // the last window class looked for
};

TEST_F(CloseActiveSync, AWindowThatStaysMakesItFail)
{
    const REFUSAL_CASE CASES[] = {
        {nullptr, true, "SyncMgrUI"},
        {"DccMan Class", false, "DccMan Class"},
        {"CEAppMgr", false, "CEAppMgr"},
        {"SyncMgrUI", false, "SyncMgrUI"},
    };
    for (const REFUSAL_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszRefusing != nullptr ? c.pszRefusing : "none");
        CSimHost host(&m_Clock);
        PlatformContext platform = m_Platform;
        AttachHost(platform, host);
        host.StartSyncSoftware();
        if (c.pszRefusing != nullptr)
            host.SetWindowRefusesClose(c.pszRefusing, true);

        EXPECT_EQ(::CloseActiveSync(platform), c.bResult);
        std::vector<std::string> lookups = host.CallsStartingWith("FindWindow ");
        ASSERT_FALSE(lookups.empty());
        EXPECT_EQ(lookups.back(), std::string("FindWindow ") + c.pszLastLookup);
        for (DWORD dwTimeout : host.CloseTimeouts())
            EXPECT_EQ(dwTimeout, 2000u);
        if (c.pszRefusing != nullptr)
        {
            EXPECT_TRUE(host.HasWindow(c.pszRefusing));
        }
    }
}

TEST_F(CloseActiveSync, ManagerEventWithoutPathClosesEveryWindowItself)
{
    m_Host.SetManagerEvent(true);
    m_Host.AddWindow("DccMan Class");
    m_Host.AddWindow("CEAppMgr");
    m_Host.AddWindow("SyncMgrUI");
    EXPECT_TRUE(::CloseActiveSync(m_Platform));

    const std::vector<std::string> EXPECTED = {
        "FindWindow CEAppMgr",
        "SendClose CEAppMgr",
        "FindWindow SyncMgrUI",
        "SendClose SyncMgrUI",
        "OpenNamedEvent Microsoft Windows CE Services Manager Event",
        "FindWindow SyncMgrUI",
        "FindWindow DccMan Class",
        "SendClose DccMan Class",
        "FindWindow DccMan Class",
        "FindWindow CEAppMgr",
        "FindWindow CEAppMgr",
        "FindWindow SyncMgrUI",
        "FindWindow SyncMgrUI",
    };
    EXPECT_EQ(Actions(m_Host), EXPECTED);
    EXPECT_EQ(m_Host.CloseTimeouts(), (std::vector<DWORD>{2000, 2000, 2000}));

    m_Host.SetRegistryText(SIM_MANAGER_KEY, nullptr, "");
    EXPECT_FALSE(QuitActiveSync(m_Platform));
    EXPECT_TRUE(m_Host.CallsStartingWith("StartProcess").empty());
}

class KillActiveSyncProcesses : public CHostTest
{
};

TEST_F(KillActiveSyncProcesses, TerminatesTheSyncProcessesByNameWithoutCase)
{
    m_Host.AddProcess("explorer.exe");
    m_Host.AddProcess("wcesmgr.exe");
    m_Host.AddProcess("WCESCOMM.EXE");
    m_Host.AddProcess("wcesmgr.exe.bak");
    DWORD dwHidden = m_Host.AddProcess("wcescomm.exe");
    m_Host.SetProcessUnopenable(dwHidden);   // its name reads "<unknown>": left alone

    ::KillActiveSyncProcesses(m_Platform);

    EXPECT_EQ(m_Host.CallsStartingWith("TerminateProcess"),
              (std::vector<std::string>{"TerminateProcess wcesmgr.exe 259", "TerminateProcess WCESCOMM.EXE 259"}));
    EXPECT_EQ(m_Host.CountProcesses("explorer.exe"), 1);
    EXPECT_EQ(m_Host.CountProcesses("wcesmgr.exe.bak"), 1);
    EXPECT_EQ(m_Host.CountProcesses("wcescomm.exe"), 1);
    // Every handle that was opened is closed again.
    EXPECT_EQ(m_Host.CallsStartingWith("CloseProcess").size(), 4u);
}

TEST_F(KillActiveSyncProcesses, ListingFailureTerminatesNothing)
{
    m_Host.AddProcess("wcesmgr.exe");
    m_Host.SetEnumProcessesFails(true);
    ::testing::internal::CaptureStdout();
    ::KillActiveSyncProcesses(m_Platform);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "EnumProcesses error\n");
    EXPECT_EQ(m_Host.CountProcesses("wcesmgr.exe"), 1);
    EXPECT_TRUE(m_Host.CallsStartingWith("TerminateProcess").empty());
}

class RestartActiveSync : public CHostTest
{
};

struct RESTART_CASE
{
    const char* pszName;
    bool bKey;
    bool bValue;
    bool bStartFails;
    const char* pszBox;   // null: no box
};

TEST_F(RestartActiveSync, ReportsEachFailureInItsOwnMessage)
{
    const RESTART_CASE CASES[] = {
        {"started", true, true, false, nullptr},
        {"no key", false, false, false, "RegOpenKey error"},
        {"no value", true, false, false, "RegQueryKey error: ActiveSync in Finish."},
        {"start fails", true, true, true, "CreateProcess failed: ActiveSync in Finish."},
    };
    for (const RESTART_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszName);
        CSimHost host(&m_Clock);
        CRecordingMessageBox box;
        PlatformContext platform = m_Platform;
        AttachHost(platform, host);
        platform.pMessageBox = &box;
        if (c.bKey)
            host.SetRegistryText(SIM_MANAGER_KEY, "other", "x");
        if (c.bValue)
            host.SetRegistryText(SIM_MANAGER_KEY, nullptr, SIM_MANAGER_PATH);
        host.SetStartProcessFails(c.bStartFails);

        ::RestartActiveSync(platform);

        // The key is read under its upper-case spelling.
        EXPECT_EQ(host.CallsStartingWith("RegOpenKey").front(),
                  "RegOpenKey SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WCESMGR.EXE");
        std::vector<RECORDED_BOX> boxes = box.Boxes();
        if (c.pszBox == nullptr)
        {
            EXPECT_TRUE(boxes.empty());
            // The path is the whole command line, unquoted.
            EXPECT_EQ(host.CallsStartingWith("StartProcess"),
                      std::vector<std::string>{std::string("StartProcess ") + SIM_MANAGER_PATH});
            EXPECT_TRUE(host.IsSyncLinkHeld());
            EXPECT_TRUE(host.HasWindow("CEAppMgr"));
        }
        else
        {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].strText, c.pszBox);
            EXPECT_EQ(boxes[0].strCaption, "VUQ");
            EXPECT_EQ(boxes[0].uStyle, MB_STYLE_OK);
        }
    }
}

TEST(KillActiveSyncProcessesAndRestart, ReleaseThenRestoreTheSyncLink)
{
    // The update's release of the link and its restoration at the end, on a host
    // without the service.
    CClock clock(1000);
    CSimHost host(&clock);
    CRecordingMessageBox box;
    PlatformContext platform;
    platform.pClock = &clock;
    AttachHost(platform, host);
    platform.pMessageBox = &box;
    host.SetServicePresent(false);
    host.StartSyncSoftware();
    ASSERT_TRUE(host.IsSyncLinkHeld());

    EXPECT_TRUE(CloseActiveSync(platform));
    KillActiveSyncProcesses(platform);
    EXPECT_FALSE(host.IsSyncLinkHeld());

    RestartActiveSync(platform);
    EXPECT_TRUE(host.IsSyncLinkHeld());
    EXPECT_TRUE(box.Boxes().empty());
}
