// The desktop's service control manager: open a service by name, read its state,
// send it controls and start it. Each call sets the thread's last error on failure.
#pragma once

#include <cstdint>

#include "common/Types.h"

typedef intptr_t SC_HANDLE_T;     // 0: not opened

// Service states and controls (the desktop's own values).
enum SERVICE_STATE_VALUE
{
    SERVICE_STATE_STOPPED = 1,
    SERVICE_STATE_START_PENDING = 2,
    SERVICE_STATE_STOP_PENDING = 3,
    SERVICE_STATE_RUNNING = 4,
    SERVICE_STATE_CONTINUE_PENDING = 5,
    SERVICE_STATE_PAUSE_PENDING = 6,
    SERVICE_STATE_PAUSED = 7,
};
enum SERVICE_CONTROL_VALUE
{
    SERVICE_CONTROL_CODE_STOP = 1,
    SERVICE_CONTROL_CODE_PAUSE = 2,
    SERVICE_CONTROL_CODE_CONTINUE = 3,
};

class IServiceManager
{
public:
    virtual ~IServiceManager() = default;

    // The manager of the local machine, and a service of it by name; 0 on failure.
    virtual SC_HANDLE_T OpenServiceManager() = 0;
    virtual SC_HANDLE_T OpenService(SC_HANDLE_T hManager, const char* pszName) = 0;
    virtual bool QueryServiceState(SC_HANDLE_T hService, DWORD* pdwState) = 0;
    // Sends a control; *pdwState is the state the service reports in answer.
    virtual bool ControlService(SC_HANDLE_T hService, DWORD dwControl, DWORD* pdwState) = 0;
    virtual bool StartService(SC_HANDLE_T hService) = 0;
};
