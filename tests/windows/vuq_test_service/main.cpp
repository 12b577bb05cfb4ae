// A service of its own process for the service manager tests. It starts, pauses,
// continues and stops on request, each time through the pending state for
// PENDING_MS, as a real service does while it works:
//   vuq_test_service.exe               the service as described
//   vuq_test_service.exe --stuck-start stays START_PENDING for ever, accepting no
//                                      control (the tests terminate its process)
// The service's name is the one it was installed under.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <mutex>

namespace
{
constexpr DWORD PENDING_MS = 100;
constexpr DWORD ACCEPTED_CONTROLS = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;

// What the service's threads share: its status and the one request its main
// thread carries out. ServiceMain has no parameter for it, so it is the one
// object of the process.
struct SERVICE_RUN
{
    bool bStuckStart = false;
    SERVICE_STATUS_HANDLE hStatus = nullptr;
    std::mutex csStatus;
    SERVICE_STATUS status = {};
    DWORD dwRequest = 0;   // the control to finish, 0 when none
    HANDLE hRequest = nullptr;
};
SERVICE_RUN s_Run;

void Report(DWORD dwState, DWORD dwAccepted)
{
    std::lock_guard<std::mutex> lock(s_Run.csStatus);
    s_Run.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s_Run.status.dwCurrentState = dwState;
    s_Run.status.dwControlsAccepted = dwAccepted;
    s_Run.status.dwWin32ExitCode = NO_ERROR;
    s_Run.status.dwCheckPoint = dwState == SERVICE_RUNNING || dwState == SERVICE_STOPPED ||
                                        dwState == SERVICE_PAUSED
                                    ? 0
                                    : s_Run.status.dwCheckPoint + 1;
    s_Run.status.dwWaitHint = dwState == SERVICE_START_PENDING ? 10000 : 2000;
    SetServiceStatus(s_Run.hStatus, &s_Run.status);
}

DWORD WINAPI Handler(DWORD dwControl, DWORD, void*, void*)
{
    DWORD dwPending = 0;
    switch (dwControl)
    {
    case SERVICE_CONTROL_STOP:
        dwPending = SERVICE_STOP_PENDING;
        break;
    case SERVICE_CONTROL_PAUSE:
        dwPending = SERVICE_PAUSE_PENDING;
        break;
    case SERVICE_CONTROL_CONTINUE:
        dwPending = SERVICE_CONTINUE_PENDING;
        break;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    Report(dwPending, ACCEPTED_CONTROLS);
    {
        std::lock_guard<std::mutex> lock(s_Run.csStatus);
        s_Run.dwRequest = dwControl;
    }
    SetEvent(s_Run.hRequest);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD dwArgc, char** ppszArgv)
{
    s_Run.hStatus = RegisterServiceCtrlHandlerExA(dwArgc > 0 ? ppszArgv[0] : "", Handler, nullptr);
    if (s_Run.hStatus == nullptr)
        return;
    Report(SERVICE_START_PENDING, 0);
    if (s_Run.bStuckStart)
    {
        Sleep(INFINITE);
        return;
    }
    Sleep(PENDING_MS);
    Report(SERVICE_RUNNING, ACCEPTED_CONTROLS);
    for (;;)
    {
        WaitForSingleObject(s_Run.hRequest, INFINITE);
        Sleep(PENDING_MS);
        DWORD dwRequest = 0;
        {
            std::lock_guard<std::mutex> lock(s_Run.csStatus);
            dwRequest = s_Run.dwRequest;
            s_Run.dwRequest = 0;
        }
        if (dwRequest == SERVICE_CONTROL_STOP)
        {
            Report(SERVICE_STOPPED, 0);
            return;
        }
        if (dwRequest == SERVICE_CONTROL_PAUSE)
            Report(SERVICE_PAUSED, ACCEPTED_CONTROLS);
        else if (dwRequest == SERVICE_CONTROL_CONTINUE)
            Report(SERVICE_RUNNING, ACCEPTED_CONTROLS);
    }
}
}

int main(int argc, char** argv)
{
    s_Run.bStuckStart = argc > 1 && std::strcmp(argv[1], "--stuck-start") == 0;
    s_Run.hRequest = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    char szName[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{szName, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
