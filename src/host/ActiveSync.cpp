// Closing, killing and restarting the desktop sync software around an update.
#include <cstdio>

#include "common/Text.h"
#include "common/Trace.h"
#include "host/HostConnection.h"

namespace
{
// Sends the close message to the first window of a class, if there is one.
void CloseWindowOfClass(IHostSystem* pHost, const char* pszClass)
{
    WINDOW_HANDLE hWnd = pHost->FindWindowByClass(pszClass);
    if (hWnd != 0)
        pHost->SendCloseWithTimeout(hWnd, SYNC_WINDOW_CLOSE_TIMEOUT_MS);
}

// Closes the windows of a class and tells whether one is still there.
bool CloseAndCheckGone(IHostSystem* pHost, const char* pszClass)
{
    CloseWindowOfClass(pHost, pszClass);
    return pHost->FindWindowByClass(pszClass) == 0;
}
}

bool QuitActiveSync(const PlatformContext& platform)
{
    IHostSystem* pHost = platform.pHost;
    REG_KEY hKey = 0;
    char szPath[MAX_PATH_LEN] = {};
    if (pHost->RegOpenKey(SYNC_MANAGER_KEY_QUIT, &hKey) != REG_RESULT_SUCCESS)
        return false;
    LONG lResult = pHost->RegQueryText(hKey, nullptr, szPath, sizeof(szPath));
    pHost->RegCloseKey(hKey);
    if (lResult != REG_RESULT_SUCCESS || szPath[0] == '\0')
        return false;

    char szCommandLine[MAX_PATH_LEN + 16];
    std::snprintf(szCommandLine, sizeof(szCommandLine), "\"%s\" /quit", szPath);
    return pHost->StartProcess(szCommandLine);
}

bool CloseActiveSync(const PlatformContext& platform)
{
    IHostSystem* pHost = platform.pHost;
    CloseWindowOfClass(pHost, SYNC_CLASS_APP_MANAGER);
    CloseWindowOfClass(pHost, SYNC_CLASS_SYNC_MANAGER);
    if (pHost->OpenNamedEvent(SYNC_MANAGER_EVENT))
        QuitActiveSync(platform);
    CloseWindowOfClass(pHost, SYNC_CLASS_SYNC_MANAGER);
    if (!CloseAndCheckGone(pHost, SYNC_CLASS_CONNECTION_MANAGER))
        return false;
    if (!CloseAndCheckGone(pHost, SYNC_CLASS_APP_MANAGER))
        return false;
    if (!CloseAndCheckGone(pHost, SYNC_CLASS_SYNC_MANAGER))
        return false;
    return true;
}

void KillActiveSyncProcesses(const PlatformContext& platform)
{
    IHostSystem* pHost = platform.pHost;
    DWORD dwPids[SYNC_PROCESS_LIST_SIZE];
    DWORD dwCount = 0;
    if (!pHost->EnumProcesses(dwPids, SYNC_PROCESS_LIST_SIZE, &dwCount))
    {
        std::fputs("EnumProcesses error\n", stdout);
        std::fflush(stdout);
        return;
    }
    for (DWORD i = 0; i < dwCount && i < SYNC_PROCESS_LIST_SIZE; ++i)
    {
        char szName[MAX_PATH_LEN] = "<unknown>";
        PROCESS_HANDLE hProcess = pHost->OpenProcess(dwPids[i]);
        if (hProcess != 0 && !pHost->GetProcessBaseName(hProcess, szName, sizeof(szName)))
            std::snprintf(szName, sizeof(szName), "<unknown>");
        bool bSync = SameTextNoCase(szName, SYNC_MANAGER_PROCESS) || SameTextNoCase(szName, SYNC_COMM_PROCESS);
        if (hProcess != 0 && bSync)
        {
            DWORD dwExitCode = 0;
            pHost->GetProcessExitCode(hProcess, &dwExitCode);
            pHost->TerminateProcess(hProcess, dwExitCode);
        }
        if (hProcess != 0)
            pHost->CloseProcess(hProcess);
    }
}

void RestartActiveSync(const PlatformContext& platform)
{
    IHostSystem* pHost = platform.pHost;
    REG_KEY hKey = 0;
    if (pHost->RegOpenKey(SYNC_MANAGER_KEY_RESTART, &hKey) != REG_RESULT_SUCCESS)
    {
        ShowAppMessage(platform, "RegOpenKey error");
        return;
    }
    char szPath[MAX_PATH_LEN] = {};
    LONG lResult = pHost->RegQueryText(hKey, nullptr, szPath, sizeof(szPath));
    pHost->RegCloseKey(hKey);
    if (lResult != REG_RESULT_SUCCESS)
    {
        ShowAppMessage(platform, "RegQueryKey error: ActiveSync in Finish.");
        return;
    }
    if (!pHost->StartProcess(szPath))
        ShowAppMessage(platform, "CreateProcess failed: ActiveSync in Finish.");
}
