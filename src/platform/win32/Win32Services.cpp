#include "platform/win32/Win32Services.h"

#include "platform/win32/Win32HostApi.h"

namespace
{
constexpr ULONG SERVICE_RIGHTS = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE;

SC_HANDLE HandleOf(SC_HANDLE_T hHandle)
{
    return reinterpret_cast<SC_HANDLE>(hHandle);
}

// The system's service state as SERVICE_STATE_*; false for a value it does not define.
bool StateOf(ULONG ulSystemState, DWORD* pdwState)
{
    switch (ulSystemState)
    {
    case SERVICE_STOPPED:
        *pdwState = SERVICE_STATE_STOPPED;
        return true;
    case SERVICE_START_PENDING:
        *pdwState = SERVICE_STATE_START_PENDING;
        return true;
    case SERVICE_STOP_PENDING:
        *pdwState = SERVICE_STATE_STOP_PENDING;
        return true;
    case SERVICE_RUNNING:
        *pdwState = SERVICE_STATE_RUNNING;
        return true;
    case SERVICE_CONTINUE_PENDING:
        *pdwState = SERVICE_STATE_CONTINUE_PENDING;
        return true;
    case SERVICE_PAUSE_PENDING:
        *pdwState = SERVICE_STATE_PAUSE_PENDING;
        return true;
    case SERVICE_PAUSED:
        *pdwState = SERVICE_STATE_PAUSED;
        return true;
    default:
        return FailWithError(ERROR_INVALID_DATA);
    }
}

// SERVICE_CONTROL_CODE_* as the system's control; false for any other value.
bool SystemControlOf(DWORD dwControl, ULONG* pulControl)
{
    switch (dwControl)
    {
    case SERVICE_CONTROL_CODE_STOP:
        *pulControl = SERVICE_CONTROL_STOP;
        return true;
    case SERVICE_CONTROL_CODE_PAUSE:
        *pulControl = SERVICE_CONTROL_PAUSE;
        return true;
    case SERVICE_CONTROL_CODE_CONTINUE:
        *pulControl = SERVICE_CONTROL_CONTINUE;
        return true;
    default:
        return FailWithError(ERROR_INVALID_PARAMETER);
    }
}
}

CWin32ServiceManager::~CWin32ServiceManager()
{
    // Services before the managers they were opened from.
    for (auto it = m_Handles.rbegin(); it != m_Handles.rend(); ++it)
        CloseServiceHandle(HandleOf(*it));
}

SC_HANDLE_T CWin32ServiceManager::Keep(SC_HANDLE_T hHandle)
{
    std::lock_guard<std::mutex> lock(m_csHandles);
    m_Handles.push_back(hHandle);
    return hHandle;
}

SC_HANDLE_T CWin32ServiceManager::OpenServiceManager()
{
    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (hManager == nullptr)
    {
        FailWithSystemError();
        return 0;
    }
    return Keep(reinterpret_cast<SC_HANDLE_T>(hManager));
}

SC_HANDLE_T CWin32ServiceManager::OpenService(SC_HANDLE_T hManager, const char* pszName)
{
    SC_HANDLE hService = OpenServiceA(HandleOf(hManager), pszName, SERVICE_RIGHTS);
    if (hService == nullptr)
    {
        FailWithSystemError();
        return 0;
    }
    return Keep(reinterpret_cast<SC_HANDLE_T>(hService));
}

bool CWin32ServiceManager::QueryServiceState(SC_HANDLE_T hService, DWORD* pdwState)
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(HandleOf(hService), &status))
        return FailWithSystemError();
    return StateOf(status.dwCurrentState, pdwState);
}

bool CWin32ServiceManager::ControlService(SC_HANDLE_T hService, DWORD dwControl, DWORD* pdwState)
{
    ULONG ulControl = 0;
    if (!SystemControlOf(dwControl, &ulControl))
        return false;
    SERVICE_STATUS status = {};
    if (!::ControlService(HandleOf(hService), ulControl, &status))
        return FailWithSystemError();
    return StateOf(status.dwCurrentState, pdwState);
}

bool CWin32ServiceManager::StartService(SC_HANDLE_T hService)
{
    if (!StartServiceA(HandleOf(hService), 0, nullptr))
        return FailWithSystemError();
    return true;
}
