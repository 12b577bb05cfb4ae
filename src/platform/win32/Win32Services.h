// The Windows service control manager of the local machine.
//
// The manager is opened with SC_MANAGER_CONNECT and a service with the rights to
// query, start, stop, pause and continue it: what the calls need, no more. The
// handles opened stay valid for the life of this object (the interface has no
// close) and are closed when it is destroyed. States and controls are mapped
// between the system's values and SERVICE_STATE_* / SERVICE_CONTROL_CODE_*.
#pragma once

#include <mutex>
#include <vector>

#include "platform/ServiceManager.h"

class CWin32ServiceManager : public IServiceManager
{
public:
    CWin32ServiceManager() = default;
    CWin32ServiceManager(const CWin32ServiceManager&) = delete;
    CWin32ServiceManager& operator=(const CWin32ServiceManager&) = delete;
    ~CWin32ServiceManager() override;

    SC_HANDLE_T OpenServiceManager() override;
    SC_HANDLE_T OpenService(SC_HANDLE_T hManager, const char* pszName) override;
    bool QueryServiceState(SC_HANDLE_T hService, DWORD* pdwState) override;
    // A control other than stop, pause and continue fails (ERROR_INVALID_PARAMETER).
    bool ControlService(SC_HANDLE_T hService, DWORD dwControl, DWORD* pdwState) override;
    bool StartService(SC_HANDLE_T hService) override;

private:
    SC_HANDLE_T Keep(SC_HANDLE_T hHandle);

    std::mutex m_csHandles;
    std::vector<SC_HANDLE_T> m_Handles;   // in the order opened
};
