// What the desktop host provides: its version, environment and files, the sync
// manager's windows and event, the registry, processes and the service manager.
// On Linux the facilities that do not exist there (windows, named events,
// registry, services) report themselves absent.
#pragma once

#include <cstdint>

#include "common/Types.h"

typedef intptr_t WINDOW_HANDLE;   // 0: no window
typedef intptr_t REG_KEY;
typedef intptr_t PROCESS_HANDLE;  // 0: not opened
typedef intptr_t SC_HANDLE_T;     // 0: not opened

// Registry results (Windows' own values, so that error texts match).
constexpr LONG REG_RESULT_SUCCESS = 0;
constexpr LONG REG_RESULT_FILE_NOT_FOUND = 2;

// Service states and controls.
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

class IHostSystem
{
public:
    virtual ~IHostSystem() = default;

    // Version of the host system (major, minor): 5.0, 5.1, 6.0... false when unknown.
    virtual bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) = 0;

    // Environment and files. Texts are copied with their terminator into buffers of
    // dwLen bytes; a text that does not fit fails.
    virtual bool GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen) = 0;
    virtual bool GetCurrentDir(char* pszBuf, DWORD dwLen) = 0;
    virtual bool SetCurrentDir(const char* pszPath) = 0;
    virtual bool GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes) = 0;
    virtual bool DeleteFile(const char* pszPath) = 0;

    // Top-level windows: the first one of a class, and the close message sent with
    // a time-out (false when the window did not handle it in time).
    virtual WINDOW_HANDLE FindWindowByClass(const char* pszClass) = 0;
    virtual bool SendCloseWithTimeout(WINDOW_HANDLE hWnd, DWORD dwTimeoutMs) = 0;

    // True when a named event exists and could be opened for modification; the
    // handle is closed again at once.
    virtual bool OpenNamedEvent(const char* pszName) = 0;

    // Text values under the local-machine root. A null value name is the default value.
    virtual LONG RegOpenKey(const char* pszSubKey, REG_KEY* phKey) = 0;
    virtual LONG RegQueryText(REG_KEY hKey, const char* pszValueName, char* pszBuf, DWORD dwLen) = 0;
    virtual void RegCloseKey(REG_KEY hKey) = 0;

    // Processes: start from a command line (handles closed at once, no wait), list,
    // open, name, terminate.
    virtual bool StartProcess(const char* pszCommandLine) = 0;
    virtual bool EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount) = 0;
    virtual PROCESS_HANDLE OpenProcess(DWORD dwPid) = 0;
    // Base name of the process's main module (its executable), e.g. "wcesmgr.exe".
    virtual bool GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen) = 0;
    virtual bool GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode) = 0;
    virtual bool TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode) = 0;
    virtual void CloseProcess(PROCESS_HANDLE hProcess) = 0;

    // Service control manager. Each call sets the thread's last error on failure.
    virtual SC_HANDLE_T OpenServiceManager() = 0;
    virtual SC_HANDLE_T OpenService(SC_HANDLE_T hManager, const char* pszName) = 0;
    virtual bool QueryServiceState(SC_HANDLE_T hService, DWORD* pdwState) = 0;
    virtual bool ControlService(SC_HANDLE_T hService, DWORD dwControl, DWORD* pdwState) = 0;
    virtual bool StartService(SC_HANDLE_T hService) = 0;
};
