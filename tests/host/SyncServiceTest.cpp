// The device-connectivity service control, against the simulated host's service.
#include <atomic>
#include <functional>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/LastError.h"
#include "host/HostTestFixture.h"

namespace
{
// The service's control and start calls, in order.
std::vector<std::string> Commands(CSimHost& host)
{
    std::vector<std::string> commands;
    for (const std::string& strCall : host.Calls())
        if (strCall.rfind("ControlService", 0) == 0 || strCall == "StartService")
            commands.push_back(strCall);
    return commands;
}

bool WaitRealFor(const std::function<bool()>& fnDone, int nRealMs = 5000)
{
    for (int i = 0; i < nRealMs; ++i)
    {
        if (fnDone())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return fnDone();
}
}

class ControlSyncService : public CHostTest
{
};

struct COMMAND_CASE
{
    const char* pszCommand;
    DWORD dwBefore;
    DWORD dwAfter;
    std::vector<std::string> commands;
};

TEST_F(ControlSyncService, EachCommandActsOnlyInItsState)
{
    const COMMAND_CASE CASES[] = {
        {"STOP", SERVICE_STATE_RUNNING, SERVICE_STATE_STOPPED, {"ControlService 1"}},
        {"stop", SERVICE_STATE_RUNNING, SERVICE_STATE_STOPPED, {"ControlService 1"}},
        {"STOP", SERVICE_STATE_STOPPED, SERVICE_STATE_STOPPED, {}},
        {"STOP", SERVICE_STATE_PAUSED, SERVICE_STATE_PAUSED, {}},
        {"START", SERVICE_STATE_STOPPED, SERVICE_STATE_RUNNING, {"StartService"}},
        {"Start", SERVICE_STATE_STOPPED, SERVICE_STATE_RUNNING, {"StartService"}},
        {"START", SERVICE_STATE_RUNNING, SERVICE_STATE_RUNNING, {}},
        {"START", SERVICE_STATE_PAUSED, SERVICE_STATE_PAUSED, {}},
        // A pause settles in the paused state: neither a start nor a stop follows.
        {"PAUSE", SERVICE_STATE_RUNNING, SERVICE_STATE_PAUSED, {"ControlService 2"}},
        {"pause", SERVICE_STATE_STOPPED, SERVICE_STATE_STOPPED, {}},
        {"CONTINUE", SERVICE_STATE_PAUSED, SERVICE_STATE_RUNNING, {"ControlService 3"}},
        {"CONTINUE", SERVICE_STATE_RUNNING, SERVICE_STATE_RUNNING, {}},
        {"RESTART", SERVICE_STATE_RUNNING, SERVICE_STATE_RUNNING, {}},
        {"", SERVICE_STATE_STOPPED, SERVICE_STATE_STOPPED, {}},
    };
    for (const COMMAND_CASE& c : CASES)
    {
        SCOPED_TRACE(std::string(c.pszCommand) + " in state " + std::to_string(c.dwBefore));
        CSimHost host(&m_Clock);
        CSyncServiceControl service;
        PlatformContext platform = m_Platform;
        AttachHost(platform, host);
        host.SetServiceState(c.dwBefore);
        host.SetPendingQueries(1);

        EXPECT_EQ(::ControlSyncService(platform, service, c.pszCommand), 0);
        EXPECT_EQ(host.GetServiceState(), c.dwAfter);
        EXPECT_EQ(Commands(host), c.commands);
        if (c.commands.empty())
        {
            EXPECT_EQ(host.CountServiceQueries(), 1);   // asked once, then returned at once
        }
    }
    EXPECT_TRUE(m_Box.Boxes().empty());
}

TEST_F(ControlSyncService, PendingStatesAreAskedOnceASecond)
{
    m_Host.SetServiceState(SERVICE_STATE_RUNNING);
    m_Host.SetPendingQueries(3);
    DWORD dwStart = m_Clock.GetTickCount();
    ::ControlSyncService(m_Platform, m_SyncService, "STOP");
    DWORD dwElapsed = m_Clock.GetTickCount() - dwStart;

    EXPECT_EQ(m_Host.GetServiceState(), static_cast<DWORD>(SERVICE_STATE_STOPPED));
    // The first query, three pending answers, and the one that saw the service stopped.
    EXPECT_EQ(m_Host.CountServiceQueries(), 5);
    EXPECT_GE(dwElapsed, 4000u);
    EXPECT_LT(dwElapsed, 30000u);
}

TEST_F(ControlSyncService, HandlesAreOpenedOnceAndKept)
{
    m_Host.SetServiceState(SERVICE_STATE_RUNNING);
    ::ControlSyncService(m_Platform, m_SyncService, "STOP");
    ::ControlSyncService(m_Platform, m_SyncService, "START");
    EXPECT_EQ(m_Host.CallsStartingWith("OpenServiceManager").size(), 1u);
    EXPECT_EQ(m_Host.CallsStartingWith("OpenService ").size(), 1u);
    EXPECT_EQ(m_Host.CallsStartingWith("OpenService ").front(), "OpenService wcesComm");
}

TEST_F(ControlSyncService, AServiceThatNeverSettlesIsGivenOneMinute)
{
    m_Host.SetServiceState(SERVICE_STATE_RUNNING);
    m_Host.SetStuckPending(true);
    DWORD dwStart = m_Clock.GetTickCount();
    EXPECT_EQ(::ControlSyncService(m_Platform, m_SyncService, "STOP"), 0);
    DWORD dwElapsed = m_Clock.GetTickCount() - dwStart;

    EXPECT_GE(dwElapsed, 60000u);
    EXPECT_LT(dwElapsed, 120000u);
    std::vector<RECORDED_BOX> boxes = m_Box.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].strText.rfind("API: ControlService ERR: ", 0), 0u) << boxes[0].strText;
    EXPECT_EQ(boxes[0].strCaption, "Error");
    EXPECT_EQ(boxes[0].uStyle, MB_STYLE_ICONINFORMATION);
}

struct FAILURE_CASE
{
    const char* pszName;
    const char* pszCommand;
    DWORD dwBefore;
    bool bQueryFails;
    bool bControlFails;
    bool bStartFails;
    const char* pszApi;
};

TEST_F(ControlSyncService, FailuresAreReportedAndTheCallReturns)
{
    const FAILURE_CASE CASES[] = {
        {"query", "STOP", SERVICE_STATE_RUNNING, true, false, false, "QueryServiceStatus"},
        {"stop", "STOP", SERVICE_STATE_RUNNING, false, true, false, "ControlService"},
        {"pause", "PAUSE", SERVICE_STATE_RUNNING, false, true, false, "ControlService"},
        {"continue", "CONTINUE", SERVICE_STATE_PAUSED, false, true, false, "ControlService"},
        {"start", "START", SERVICE_STATE_STOPPED, false, false, true, "StartService"},
    };
    for (const FAILURE_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszName);
        CSimHost host(&m_Clock);
        CSyncServiceControl service;
        CRecordingMessageBox box;
        PlatformContext platform = m_Platform;
        AttachHost(platform, host);
        platform.pMessageBox = &box;
        host.SetServiceState(c.dwBefore);
        host.SetServiceErrorCode(5);
        host.SetQueryFailsAfter(c.bQueryFails ? 0 : -1);
        host.SetControlFails(c.bControlFails);
        host.SetStartFails(c.bStartFails);

        // Still here afterwards: the failure no longer ends the program.
        EXPECT_EQ(::ControlSyncService(platform, service, c.pszCommand), 0);
        std::vector<RECORDED_BOX> boxes = box.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        char szErrorText[256];
        FormatErrorText(5, szErrorText, sizeof(szErrorText));
        EXPECT_EQ(boxes[0].strText, std::string("API: ") + c.pszApi + " ERR: 5 MSG: " + szErrorText);
        EXPECT_EQ(boxes[0].strCaption, "Error");
        EXPECT_EQ(host.GetServiceState(), c.dwBefore);
    }
}

TEST_F(ControlSyncService, AFailedQueryEndsAPauseWaitQuietly)
{
    // After the pause the next query fails: the wait ends with the last state read
    // (pending), so neither a start nor a stop follows, and nothing is reported.
    m_Host.SetServiceState(SERVICE_STATE_RUNNING);
    m_Host.SetPendingQueries(5);
    m_Host.SetQueryFailsAfter(1);
    ::ControlSyncService(m_Platform, m_SyncService, "PAUSE");
    EXPECT_EQ(Commands(m_Host), std::vector<std::string>{"ControlService 2"});
    EXPECT_TRUE(m_Box.Boxes().empty());
}

TEST_F(ControlSyncService, OpenFailuresShowTheirStatusBox)
{
    m_Host.SetOpenServiceManagerFails(true);
    ::ControlSyncService(m_Platform, m_SyncService, "STOP");
    m_Host.SetOpenServiceManagerFails(false);
    m_Host.SetOpenServiceFails(true);
    ::ControlSyncService(m_Platform, m_SyncService, "STOP");

    std::vector<RECORDED_BOX> boxes = m_Box.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].strText, "Fail OpenSCManager");
    EXPECT_EQ(boxes[0].strCaption, "Status");
    EXPECT_EQ(boxes[1].strText, "Fail OpenService");
    EXPECT_EQ(boxes[1].strCaption, "Status");
    EXPECT_TRUE(m_Host.CallsStartingWith("QueryServiceState").empty());
}

class KeepServiceStopped : public CHostTest
{
};

TEST_F(KeepServiceStopped, StopsTheServiceUntilTheFlagIsSet)
{
    m_Host.SetServiceState(SERVICE_STATE_RUNNING);
    std::atomic<int> nDone{0};
    std::atomic<int> nResult{-1};
    std::thread keeper([&] { nResult = ::KeepServiceStopped(m_Platform, m_SyncService, &nDone); });

    EXPECT_TRUE(WaitRealFor([&] { return m_Host.GetServiceState() == SERVICE_STATE_STOPPED; }));
    // The sync software starts its service again: it is stopped again.
    m_Host.SetServiceState(SERVICE_STATE_RUNNING);
    EXPECT_TRUE(WaitRealFor([&] { return m_Host.GetServiceState() == SERVICE_STATE_STOPPED; }));

    nDone = 1;
    EXPECT_TRUE(WaitRealFor([&] { return nResult.load() == 0; }));
    keeper.join();
    EXPECT_EQ(nResult.load(), 0);
    EXPECT_EQ(Commands(m_Host), (std::vector<std::string>{"ControlService 1", "ControlService 1"}));
    EXPECT_TRUE(m_Box.Boxes().empty());
}

TEST_F(KeepServiceStopped, FailuresAreTracedNeverShownOrFatal)
{
    m_Host.SetServiceState(SERVICE_STATE_RUNNING);
    m_Host.SetControlFails(true);
    std::atomic<int> nDone{0};
    std::thread keeper([&] { ::KeepServiceStopped(m_Platform, m_SyncService, &nDone); });

    EXPECT_TRUE(WaitRealFor([&] { return m_Trace.Count("API: ControlService ERR: ") >= 2; }));
    nDone = 1;
    keeper.join();
    EXPECT_TRUE(m_Box.Boxes().empty());
    EXPECT_EQ(m_Host.GetServiceState(), static_cast<DWORD>(SERVICE_STATE_RUNNING));
}

TEST_F(KeepServiceStopped, EndsAtOnceWhenTheFlagIsAlreadySet)
{
    std::atomic<int> nDone{1};
    EXPECT_EQ(::KeepServiceStopped(m_Platform, m_SyncService, &nDone), 0);
    EXPECT_TRUE(m_Host.Calls().empty());
}
