// The sync software's device-connectivity service: pause, continue, start and
// stop it, keep it stopped during a download, and report failures.
#include <cstdio>
#include <system_error>

#include "common/LastError.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "host/HostConnection.h"

namespace
{
void ReportStatus(const PlatformContext& platform, const char* pszText, bool bQuiet)
{
    if (bQuiet || platform.pMessageBox == nullptr)
        Trace(false, "%s\r\n", pszText);
    else
        platform.pMessageBox->MessageBox(pszText, "Status", MB_STYLE_OK);
}
}

void ApiErrorExit(const PlatformContext& platform, const char* pszApiName, bool bTraceOnly)
{
    if (pszApiName == nullptr)
        return;
    DWORD dwError = GetLastErrorCode();
    char szSystemText[256];
    FormatErrorText(dwError, szSystemText, sizeof(szSystemText));
    char szText[4096];
    std::snprintf(szText, sizeof(szText), "API: %s ERR: %ld MSG: %s", pszApiName, static_cast<long>(dwError),
                  szSystemText);
    if (bTraceOnly || platform.pMessageBox == nullptr)
        Trace(false, "%s\r\n", szText);
    else
        platform.pMessageBox->MessageBox(szText, "Error", MB_STYLE_OK | MB_STYLE_ICONINFORMATION);
}

bool CSyncServiceControl::OpenHandles(const PlatformContext& platform, bool bQuiet)
{
    IServiceManager* pServices = platform.pServiceManager;
    if (pServices == nullptr)
    {
        // A host without a service manager cannot open one.
        SetLastErrorCondition(std::errc::function_not_supported);
        ReportStatus(platform, "Fail OpenSCManager", bQuiet);
        return false;
    }
    if (m_hManager == 0)
    {
        m_hManager = pServices->OpenServiceManager();
        if (m_hManager == 0)
        {
            ReportStatus(platform, "Fail OpenSCManager", bQuiet);
            return false;
        }
    }
    if (m_hService == 0)
    {
        m_hService = pServices->OpenService(m_hManager, SYNC_SERVICE_NAME);
        if (m_hService == 0)
        {
            ReportStatus(platform, "Fail OpenService", bQuiet);
            return false;
        }
    }
    return true;
}

bool CSyncServiceControl::WaitForState(const PlatformContext& platform, DWORD* pdwState, DWORD dwState, bool bUntil,
                                       const char* pszApi, bool bQuiet)
{
    DWORD dwStart = platform.pClock->GetTickCount();
    while ((*pdwState == dwState) != bUntil)
    {
        if (platform.pClock->GetTickCount() - dwStart >= SYNC_SERVICE_WAIT_LIMIT_MS)
        {
            // A service that never settles must not hold the caller for ever.
            SetLastErrorCondition(std::errc::timed_out);
            ApiErrorExit(platform, pszApi, bQuiet);
            return false;
        }
        platform.pClock->Sleep(SYNC_SERVICE_POLL_MS);
        DWORD dwNow = 0;
        if (!platform.pServiceManager->QueryServiceState(m_hService, &dwNow))
            return true;
        *pdwState = dwNow;
    }
    return true;
}

int CSyncServiceControl::Control(const PlatformContext& platform, const char* pszCommand, bool bQuiet)
{
    std::lock_guard<std::mutex> lock(m_csControl);
    if (!OpenHandles(platform, bQuiet))
        return 0;
    IServiceManager* pServices = platform.pServiceManager;

    DWORD dwState = 0;
    if (!pServices->QueryServiceState(m_hService, &dwState))
    {
        ApiErrorExit(platform, "QueryServiceStatus", bQuiet);
        return 0;
    }

    if (SameTextNoCase(pszCommand, "PAUSE") && dwState == SERVICE_STATE_RUNNING)
    {
        if (!pServices->ControlService(m_hService, SERVICE_CONTROL_CODE_PAUSE, &dwState))
        {
            ApiErrorExit(platform, "ControlService", bQuiet);
            return 0;
        }
        if (!WaitForState(platform, &dwState, SERVICE_STATE_PAUSED, true, "ControlService", bQuiet))
            return 0;
    }
    else if (SameTextNoCase(pszCommand, "CONTINUE") && dwState == SERVICE_STATE_PAUSED)
    {
        if (!pServices->ControlService(m_hService, SERVICE_CONTROL_CODE_CONTINUE, &dwState))
        {
            ApiErrorExit(platform, "ControlService", bQuiet);
            return 0;
        }
        if (!WaitForState(platform, &dwState, SERVICE_STATE_RUNNING, true, "ControlService", bQuiet))
            return 0;
    }

    if (SameTextNoCase(pszCommand, "START") && dwState == SERVICE_STATE_STOPPED)
    {
        if (!pServices->StartService(m_hService))
        {
            ApiErrorExit(platform, "StartService", bQuiet);
            return 0;
        }
        dwState = SERVICE_STATE_START_PENDING;
        WaitForState(platform, &dwState, SERVICE_STATE_START_PENDING, false, "StartService", bQuiet);
    }
    else if (SameTextNoCase(pszCommand, "STOP") && dwState == SERVICE_STATE_RUNNING)
    {
        if (!pServices->ControlService(m_hService, SERVICE_CONTROL_CODE_STOP, &dwState))
        {
            ApiErrorExit(platform, "ControlService", bQuiet);
            return 0;
        }
        WaitForState(platform, &dwState, SERVICE_STATE_STOP_PENDING, false, "ControlService", bQuiet);
    }
    return 0;
}

int ControlSyncService(const PlatformContext& platform, CSyncServiceControl& service, const char* pszCommand)
{
    return service.Control(platform, pszCommand, false);
}

int KeepServiceStopped(const PlatformContext& platform, CSyncServiceControl& service, std::atomic<int>* pDone)
{
    if (pDone == nullptr)
        return 0;
    while (pDone->load() == 0)
    {
        service.Control(platform, "STOP", true);
        platform.pClock->Sleep(SYNC_KEEP_STOPPED_POLL_MS);
    }
    return 0;
}
