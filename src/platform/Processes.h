// The desktop's processes: starting a program, listing the running processes,
// and opening one to read its name and terminate it. Each call sets the thread's
// last error on failure.
#pragma once

#include <cstdint>

#include "common/Types.h"

// An opened process. It stands for that one process, not for its id: a process
// that ends and whose id is given to another one is never reached through it.
// 0: not opened.
typedef intptr_t PROCESS_HANDLE;

class IProcesses
{
public:
    virtual ~IProcesses() = default;

    // Starts a program from a command line; nobody waits for it.
    virtual bool StartProcess(const char* pszCommandLine) = 0;
    // The ids of the running processes, as many as fit in dwMax.
    virtual bool EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount) = 0;

    // Opens the process that has this id now; 0 when there is none or it may not
    // be opened. Every handle opened is closed with CloseProcess.
    virtual PROCESS_HANDLE OpenProcess(DWORD dwPid) = 0;
    // Base name of the process's main module (its executable), e.g. "wcesmgr.exe".
    virtual bool GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen) = 0;
    virtual bool GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode) = 0;
    // Ends the process with an exit code; false when it has ended already.
    virtual bool TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode) = 0;
    virtual void CloseProcess(PROCESS_HANDLE hProcess) = 0;
};
