// CSimHost: a simulated desktop host with the sync software on it. It holds the
// sync manager's windows (which close on the close message or refuse to), its
// named event, the registry key with the manager's path, the processes of the
// sync software, the device-connectivity service with its state machine, the
// environment, the current directory, free space and files, and the host version.
// It serves every host facility of the platform context (see AttachHost); every
// call through them is recorded as a short text for tests.
//
// Sync link: the sync software holds the USB link to the handset while
// "wcesmgr.exe" or "wcescomm.exe" runs or while its service is not stopped.
// IsSyncLinkHeld tells; the virtual handset's agent waits for it to let go.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/DesktopWindows.h"
#include "platform/HostEnvironment.h"
#include "platform/HostVersion.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/ServiceManager.h"

// What the sync software consists of on the desktop.
constexpr char SIM_CLASS_APP_MANAGER[] = "CEAppMgr";
constexpr char SIM_CLASS_SYNC_MANAGER[] = "SyncMgrUI";
constexpr char SIM_CLASS_CONNECTION_MANAGER[] = "DccMan Class";
constexpr char SIM_MANAGER_EVENT[] = "Microsoft Windows CE Services Manager Event";
constexpr char SIM_MANAGER_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WCESMGR.EXE";
constexpr char SIM_MANAGER_PATH[] = "C:\\Program Files\\Microsoft ActiveSync\\WCESMGR.EXE";
constexpr char SIM_MANAGER_PROCESS[] = "wcesmgr.exe";
constexpr char SIM_COMM_PROCESS[] = "wcescomm.exe";
constexpr char SIM_SERVICE_NAME[] = "wcesComm";

// Exit code reported for a process that still runs.
constexpr DWORD SIM_STILL_ACTIVE = 259;

class CSimHost : public IHostVersion,
                 public IHostEnvironment,
                 public IDesktopWindows,
                 public IRegistry,
                 public IProcesses,
                 public IServiceManager
{
public:
    // pClock, when given, spends the time-out of a close that a window refuses.
    explicit CSimHost(IClock* pClock = nullptr);

    // ---- Set-up and inspection (tests, simulated runs) ----
    // Host version; 5.1 at the start.
    void SetVersion(DWORD dwMajor, DWORD dwMinor);
    // An environment variable; a null value removes it.
    void SetEnvironment(const char* pszName, const char* pszValue);
    std::string GetCurrentDirText();
    void SetFreeSpaceBytes(QWORD qwBytes);
    // Files: an in-memory file by its full path. DeleteFile deletes such a file, or
    // else a real file (a relative path is taken from the current directory).
    void AddFile(const char* pszPath);
    bool HasFile(const char* pszPath);
    // Makes DeleteFile of this path (as given to DeleteFile) fail with dwError.
    void SetDeleteFailure(const char* pszPath, DWORD dwError);

    // Windows: one per class. A refusing window does not handle the close message:
    // the close spends its time-out and fails, and the window stays.
    void AddWindow(const char* pszClass, bool bRefusesClose = false);
    void SetWindowRefusesClose(const char* pszClass, bool bRefuses);
    bool HasWindow(const char* pszClass);
    // The time-outs the closes were sent with, in order.
    std::vector<DWORD> CloseTimeouts();

    void SetManagerEvent(bool bExists);
    bool HasManagerEvent();

    // Registry text values under the local-machine root; keys and value names are
    // compared without case, as on the desktop. A null value name is the default value.
    void SetRegistryText(const char* pszKey, const char* pszValueName, const char* pszText);
    void RemoveRegistryValue(const char* pszKey, const char* pszValueName);
    void RemoveRegistryKey(const char* pszKey);

    // Processes. StartProcess of the manager's path (from the registry key) starts
    // the sync software (see StartSyncSoftware); the path in quotes followed by
    // " /quit" ends the manager: its process, its event, and every window that
    // does not refuse to close. Any other command line starts a process named
    // after the program's base name.
    DWORD AddProcess(const char* pszName);
    int CountProcesses(const char* pszName);
    void SetProcessUnopenable(DWORD dwPid);
    void SetStartProcessFails(bool bFails);
    void SetEnumProcessesFails(bool bFails);

    // The service "wcesComm": present and stopped at the start.
    void SetServicePresent(bool bPresent);
    void SetServiceState(DWORD dwState);
    DWORD GetServiceState();
    // How many queries a pending state lasts before it reaches its goal (2 at the
    // start); 0 makes every change immediate.
    void SetPendingQueries(int nQueries);
    // A pending state that never reaches its goal.
    void SetStuckPending(bool bStuck);
    // Query failures: after nGoodQueries more successful queries every query
    // fails; -1 (the start) never.
    void SetQueryFailsAfter(int nGoodQueries);
    void SetControlFails(bool bFails);
    void SetStartFails(bool bFails);
    void SetOpenServiceManagerFails(bool bFails);
    void SetOpenServiceFails(bool bFails);
    // The last error code injected failures report (EIO at the start).
    void SetServiceErrorCode(DWORD dwError);
    int CountServiceQueries();

    // The sync software running as after the user started it: the manager and
    // comm processes, the three windows, the manager event, the manager's path
    // under the registry key (when not set already), and the service running
    // when it is present.
    void StartSyncSoftware();
    bool IsSyncLinkHeld();

    // Every call through the host interfaces, in order.
    std::vector<std::string> Calls();
    // The calls that start with strPrefix, in order.
    std::vector<std::string> CallsStartingWith(const std::string& strPrefix);
    void ClearCalls();

    // ---- IHostVersion ----
    bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) override;
    // ---- IHostEnvironment ----
    bool GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen) override;
    bool GetCurrentDir(char* pszBuf, DWORD dwLen) override;
    bool SetCurrentDir(const char* pszPath) override;
    bool GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes) override;
    bool DeleteFile(const char* pszPath) override;
    // ---- IDesktopWindows ----
    WINDOW_HANDLE FindWindowByClass(const char* pszClass) override;
    bool SendCloseWithTimeout(WINDOW_HANDLE hWnd, DWORD dwTimeoutMs) override;
    bool OpenNamedEvent(const char* pszName) override;
    // ---- IRegistry ----
    LONG RegOpenKey(const char* pszSubKey, REG_KEY* phKey) override;
    LONG RegQueryText(REG_KEY hKey, const char* pszValueName, char* pszBuf, DWORD dwLen) override;
    void RegCloseKey(REG_KEY hKey) override;
    // ---- IProcesses ----
    bool StartProcess(const char* pszCommandLine) override;
    bool EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount) override;
    PROCESS_HANDLE OpenProcess(DWORD dwPid) override;
    bool GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen) override;
    bool GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode) override;
    bool TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode) override;
    void CloseProcess(PROCESS_HANDLE hProcess) override;
    // ---- IServiceManager ----
    SC_HANDLE_T OpenServiceManager() override;
    SC_HANDLE_T OpenService(SC_HANDLE_T hManager, const char* pszName) override;
    bool QueryServiceState(SC_HANDLE_T hService, DWORD* pdwState) override;
    bool ControlService(SC_HANDLE_T hService, DWORD dwControl, DWORD* pdwState) override;
    bool StartService(SC_HANDLE_T hService) override;

private:
    struct SIM_WINDOW
    {
        std::string strClass;
        bool bRefusesClose;
    };
    struct SIM_PROCESS
    {
        std::string strName;
        bool bUnopenable;
    };

    void Record(const std::string& strCall);
    std::string ManagerPathLocked();
    void StartSyncSoftwareLocked();
    void QuitManagerLocked();
    DWORD AddProcessLocked(const char* pszName);
    bool EnterPendingLocked(DWORD dwPending, DWORD dwGoal);

    IClock* m_pClock;
    std::mutex m_csState;
    std::vector<std::string> m_Calls;

    DWORD m_dwMajor = 5;
    DWORD m_dwMinor = 1;
    std::map<std::string, std::string> m_Environment;
    std::string m_strCurrentDir = "C:\\";
    QWORD m_qwFreeSpace = 1ull << 32;
    std::set<std::string> m_Files;
    std::map<std::string, DWORD> m_DeleteFailures;

    std::map<WINDOW_HANDLE, SIM_WINDOW> m_Windows;
    WINDOW_HANDLE m_hNextWindow = 0x100;
    std::vector<DWORD> m_CloseTimeouts;
    bool m_bManagerEvent = false;

    // Lower-case key -> (lower-case value name, "" for the default) -> text.
    std::map<std::string, std::map<std::string, std::string>> m_Registry;
    std::map<REG_KEY, std::string> m_OpenKeys;
    REG_KEY m_hNextKey = 0x200;

    std::map<DWORD, SIM_PROCESS> m_Processes;
    DWORD m_dwNextPid = 1000;
    bool m_bStartProcessFails = false;
    bool m_bEnumProcessesFails = false;

    bool m_bServicePresent = true;
    DWORD m_dwServiceState = SERVICE_STATE_STOPPED;
    DWORD m_dwServiceGoal = SERVICE_STATE_STOPPED;
    int m_nPendingQueries = 2;
    int m_nPendingLeft = 0;
    bool m_bStuckPending = false;
    int m_nQueriesBeforeFailure = -1;
    bool m_bControlFails = false;
    bool m_bStartFails = false;
    bool m_bOpenManagerFails = false;
    bool m_bOpenServiceFails = false;
    DWORD m_dwServiceError = 5;
    int m_nServiceQueries = 0;
};
