// The desktop host's processes on Linux: the real ones (/proc, posix_spawn).
//
// An opened process is a process file descriptor (pidfd_open), which holds that
// one process and not its id. Its name is read from /proc for the process the
// descriptor holds, and it is terminated through pidfd_send_signal: a process
// that ended and was collected, even if its id has been given to another process
// since, is never named or signalled. A kernel without process file descriptors
// (before Linux 5.3) opens no process.
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
    // The handle holds a pidfd; CloseProcess closes it.
    PROCESS_HANDLE OpenProcess(DWORD dwPid) override;
    // The base name of /proc/PID/exe's target, else the kernel's name in
    // /proc/PID/comm. False (ESRCH) once the process has ended, also when it ends
    // during the read.
    bool GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen) override;
    // PROCESS_STILL_ACTIVE while the process runs; false once it has ended (a
    // zombie or collected).
    bool GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode) override;
    // Sends SIGKILL; Linux sets the exit status itself, so dwExitCode is not used.
    // False (ESRCH) when the process has ended: nothing is signalled then.
    bool TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode) override;
    void CloseProcess(PROCESS_HANDLE hProcess) override;
};

// Splits a command line into the program and its arguments: a leading path in
// double quotes is taken whole, everything else is split on blanks. False when
// there is no program.
bool SplitCommandLine(const char* pszCommandLine, std::vector<std::string>* pArgs);
