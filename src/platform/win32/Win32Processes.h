// The desktop's processes on Windows: CreateProcess, a Toolhelp snapshot of the
// running processes, and process handles.
//
// An opened process is the process handle itself (query, terminate and wait
// rights). It holds that process object: a process that ends keeps its id
// reserved while the handle is open, so the name read and the process terminated
// through one handle are always the same process.
#pragma once

#include "platform/Processes.h"

// Exit code reported for a process that still runs (the system's STILL_ACTIVE).
constexpr DWORD WIN32_PROCESS_STILL_ACTIVE = 259;

class CWin32Processes : public IProcesses
{
public:
    // CreateProcess with the command line as given (a path with blanks belongs in
    // double quotes), no inherited handles, the caller's environment and folder.
    // Its handles are closed at once; nobody waits for it.
    bool StartProcess(const char* pszCommandLine) override;
    // The ids in a Toolhelp snapshot, as many as fit.
    bool EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount) override;
    PROCESS_HANDLE OpenProcess(DWORD dwPid) override;
    // The last part of the process's full image name.
    bool GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen) override;
    // WIN32_PROCESS_STILL_ACTIVE while the process runs.
    bool GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode) override;
    // False (ERROR_ACCESS_DENIED, as the system reports it for a process that has
    // exited) when the process has ended already; it is not touched then.
    bool TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode) override;
    void CloseProcess(PROCESS_HANDLE hProcess) override;
};
