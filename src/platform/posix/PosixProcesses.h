// The desktop host's processes on Linux: the real ones (/proc, posix_spawn, kill).
#pragma once

#include <string>
#include <vector>

#include "platform/Processes.h"

// Exit code reported for a process that still runs.
constexpr DWORD PROCESS_STILL_ACTIVE = 259;

class CPosixProcesses : public IProcesses
{
public:
    // The command line is a program path, in double quotes when it holds blanks,
    // followed by arguments separated by blanks. A path without a slash is looked
    // up in PATH. The child is reaped in the background, so it never lingers.
    bool StartProcess(const char* pszCommandLine) override;
    bool EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount) override;
    // The process handle is the process id.
    PROCESS_HANDLE OpenProcess(DWORD dwPid) override;
    // The base name of /proc/PID/exe's target, else the kernel's name in /proc/PID/comm.
    bool GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen) override;
    // PROCESS_STILL_ACTIVE while the process runs; false once it is gone (or a zombie).
    bool GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode) override;
    // Sends SIGKILL; Linux sets the exit status itself, so dwExitCode is not used.
    bool TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode) override;
    void CloseProcess(PROCESS_HANDLE hProcess) override;
};

// Splits a command line into the program and its arguments: a leading path in
// double quotes is taken whole, everything else is split on blanks. False when
// there is no program.
bool SplitCommandLine(const char* pszCommandLine, std::vector<std::string>* pArgs);
