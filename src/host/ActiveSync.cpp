// Closing, killing and restarting the desktop sync software around an update.
// A facility the host does not have (see PlatformContext) finds nothing.
#include <cstdio>
#include <system_error>

#include "common/LastError.h"
#include "common/Text.h"
#include "common/Trace.h"
#include "host/HostConnection.h"

namespace
{
WINDOW_HANDLE FindWindowOfClass(const PlatformContext& platform, const char* pszClass)
{
    return platform.pDesktopWindows != nullptr ? platform.pDesktopWindows->FindWindowByClass(pszClass) : 0;
}

// Sends the close message to the first window of a class, if there is one.
void CloseWindowOfClass(const PlatformContext& platform, const char* pszClass)
{
    WINDOW_HANDLE hWnd = FindWindowOfClass(platform, pszClass);
    if (hWnd != 0)
        platform.pDesktopWindows->SendCloseWithTimeout(hWnd, SYNC_WINDOW_CLOSE_TIMEOUT_MS);
}

// Closes the windows of a class and tells whether one is still there.
bool CloseAndCheckGone(const PlatformContext& platform, const char* pszClass)
{
    CloseWindowOfClass(platform, pszClass);
    return FindWindowOfClass(platform, pszClass) == 0;
}

bool ManagerEventExists(const PlatformContext& platform)
{
    if (platform.pDesktopWindows == nullptr)
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return false;
    }
    return platform.pDesktopWindows->OpenNamedEvent(SYNC_MANAGER_EVENT);
}

LONG OpenRegistryKey(const PlatformContext& platform, const char* pszKey, REG_KEY* phKey)
{
    if (platform.pRegistry == nullptr)
    {
        *phKey = 0;
        SetLastErrorCode(static_cast<DWORD>(REG_RESULT_FILE_NOT_FOUND));
        return REG_RESULT_FILE_NOT_FOUND;
    }
    return platform.pRegistry->RegOpenKey(pszKey, phKey);
}

bool StartProgram(const PlatformContext& platform, const char* pszCommandLine)
{
    if (platform.pProcesses == nullptr)
    {
        SetLastErrorCondition(std::errc::function_not_supported);
        return false;
    }
    return platform.pProcesses->StartProcess(pszCommandLine);
}
}

bool ReadSyncManagerPath(const PlatformContext& platform, char* pszPath, size_t nLen)
{
    if (pszPath == nullptr || nLen == 0)
        return false;
    pszPath[0] = '\0';
    REG_KEY hKey = 0;
    if (OpenRegistryKey(platform, SYNC_MANAGER_KEY_QUIT, &hKey) != REG_RESULT_SUCCESS)
        return false;
    LONG lResult = platform.pRegistry->RegQueryText(hKey, nullptr, pszPath, static_cast<DWORD>(nLen));
    platform.pRegistry->RegCloseKey(hKey);
    return lResult == REG_RESULT_SUCCESS && pszPath[0] != '\0';
}

bool QuitActiveSync(const PlatformContext& platform)
{
    char szPath[MAX_PATH_LEN] = {};
    if (!ReadSyncManagerPath(platform, szPath, sizeof(szPath)))
        return false;

    char szCommandLine[MAX_PATH_LEN + 16];
    std::snprintf(szCommandLine, sizeof(szCommandLine), "\"%s\" /quit", szPath);
    return StartProgram(platform, szCommandLine);
}

bool CloseActiveSync(const PlatformContext& platform)
{
    CloseWindowOfClass(platform, SYNC_CLASS_APP_MANAGER);
    CloseWindowOfClass(platform, SYNC_CLASS_SYNC_MANAGER);
    if (ManagerEventExists(platform))
        QuitActiveSync(platform);
    CloseWindowOfClass(platform, SYNC_CLASS_SYNC_MANAGER);
    if (!CloseAndCheckGone(platform, SYNC_CLASS_CONNECTION_MANAGER))
        return false;
    if (!CloseAndCheckGone(platform, SYNC_CLASS_APP_MANAGER))
        return false;
    if (!CloseAndCheckGone(platform, SYNC_CLASS_SYNC_MANAGER))
        return false;
    return true;
}

void KillActiveSyncProcesses(const PlatformContext& platform)
{
    IProcesses* pProcesses = platform.pProcesses;
    if (pProcesses == nullptr)
        return;
    DWORD dwPids[SYNC_PROCESS_LIST_SIZE];
    DWORD dwCount = 0;
    if (!pProcesses->EnumProcesses(dwPids, SYNC_PROCESS_LIST_SIZE, &dwCount))
    {
        std::fputs("EnumProcesses error\n", stdout);
        std::fflush(stdout);
        return;
    }
    for (DWORD i = 0; i < dwCount && i < SYNC_PROCESS_LIST_SIZE; ++i)
    {
        char szName[MAX_PATH_LEN] = "<unknown>";
        PROCESS_HANDLE hProcess = pProcesses->OpenProcess(dwPids[i]);
        if (hProcess != 0 && !pProcesses->GetProcessBaseName(hProcess, szName, sizeof(szName)))
            std::snprintf(szName, sizeof(szName), "<unknown>");
        bool bSync = SameTextNoCase(szName, SYNC_MANAGER_PROCESS) || SameTextNoCase(szName, SYNC_COMM_PROCESS);
        if (hProcess != 0 && bSync)
        {
            DWORD dwExitCode = 0;
            pProcesses->GetProcessExitCode(hProcess, &dwExitCode);
            pProcesses->TerminateProcess(hProcess, dwExitCode);
        }
        if (hProcess != 0)
            pProcesses->CloseProcess(hProcess);
    }
}

void RestartActiveSync(const PlatformContext& platform)
{
    REG_KEY hKey = 0;
    if (OpenRegistryKey(platform, SYNC_MANAGER_KEY_RESTART, &hKey) != REG_RESULT_SUCCESS)
    {
        ShowAppMessage(platform, "RegOpenKey error");
        return;
    }
    char szPath[MAX_PATH_LEN] = {};
    LONG lResult = platform.pRegistry->RegQueryText(hKey, nullptr, szPath, sizeof(szPath));
    platform.pRegistry->RegCloseKey(hKey);
    if (lResult != REG_RESULT_SUCCESS)
    {
        ShowAppMessage(platform, "RegQueryKey error: ActiveSync in Finish.");
        return;
    }
    if (!StartProgram(platform, szPath))
        ShowAppMessage(platform, "CreateProcess failed: ActiveSync in Finish.");
}
