// CWin32ServiceManager on a real service: the test service installed in the
// service manager under a name of the test's own.
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/Win32Services.h"
#include "support/win32/Win32TestSupport.h"

class Win32ServiceManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Service.IsInstalled()) << "CreateService failed: " << m_Service.CreateError();
        m_hManager = m_Services.OpenServiceManager();
        ASSERT_NE(m_hManager, 0);
        m_hService = m_Services.OpenService(m_hManager, m_Service.Name().c_str());
        ASSERT_NE(m_hService, 0);
    }

    DWORD State()
    {
        DWORD dwState = 0;
        return m_Services.QueryServiceState(m_hService, &dwState) ? dwState : 0;
    }

    bool WaitForState(DWORD dwState)
    {
        return WaitUntil([&] { return State() == dwState; });
    }

    CTestService m_Service{UniqueTestName("VUQTestService")};
    CWin32ServiceManager m_Services;
    SC_HANDLE_T m_hManager = 0;
    SC_HANDLE_T m_hService = 0;
};

TEST_F(Win32ServiceManagerTest, StartsPausesContinuesAndStopsAService)
{
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STATE_STOPPED));
    ASSERT_TRUE(m_Services.StartService(m_hService)) << GetLastErrorCode();
    ASSERT_TRUE(WaitForState(SERVICE_STATE_RUNNING));

    // Each control is answered with the state the service reports at once (its
    // pending state), and the state it reaches is read by later queries.
    struct CONTROL_STEP
    {
        DWORD dwControl;
        DWORD dwPending;
        DWORD dwReached;
    };
    const CONTROL_STEP STEPS[] = {
        {SERVICE_CONTROL_CODE_PAUSE, SERVICE_STATE_PAUSE_PENDING, SERVICE_STATE_PAUSED},
        {SERVICE_CONTROL_CODE_CONTINUE, SERVICE_STATE_CONTINUE_PENDING, SERVICE_STATE_RUNNING},
        {SERVICE_CONTROL_CODE_STOP, SERVICE_STATE_STOP_PENDING, SERVICE_STATE_STOPPED},
    };
    for (const CONTROL_STEP& step : STEPS)
    {
        SCOPED_TRACE(step.dwControl);
        DWORD dwState = 0;
        ASSERT_TRUE(m_Services.ControlService(m_hService, step.dwControl, &dwState));
        EXPECT_EQ(dwState, step.dwPending);
        EXPECT_TRUE(WaitForState(step.dwReached));
        EXPECT_EQ(m_Service.State(), static_cast<ULONG>(step.dwReached));   // as the manager itself reports it
    }
}

TEST_F(Win32ServiceManagerTest, RefusesWhatTheServiceStateDoesNotAllow)
{
    DWORD dwState = 0;
    EXPECT_FALSE(m_Services.ControlService(m_hService, SERVICE_CONTROL_CODE_STOP, &dwState));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

    ASSERT_TRUE(m_Services.StartService(m_hService)) << GetLastErrorCode();
    ASSERT_TRUE(WaitForState(SERVICE_STATE_RUNNING));
    EXPECT_FALSE(m_Services.StartService(m_hService));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

    // Only stop, pause and continue are controls of the interface.
    SetLastErrorCode(0);
    EXPECT_FALSE(m_Services.ControlService(m_hService, 4, &dwState));   // the system's interrogate
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STATE_RUNNING));
}

TEST(Win32ServiceManager, AServiceThatIsNotInstalledDoesNotOpen)
{
    CWin32ServiceManager services;
    SC_HANDLE_T hManager = services.OpenServiceManager();
    ASSERT_NE(hManager, 0);
    SetLastErrorCode(0);
    EXPECT_EQ(services.OpenService(hManager, UniqueTestName("VUQMissingService").c_str()), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}
