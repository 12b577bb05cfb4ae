// The desktop host on Linux. Processes, files, environment and free space are the
// real ones (/proc, kill, posix_spawn, unlink, statvfs). The desktop sync
// software's facilities (its windows, named events, the registry, the service
// manager) do not exist on Linux and report themselves absent.
//
// GetVersion reports 6.1. Linux is no desktop generation of the sync software;
// 6.1 is a version the link maps to OS_OTHERS (the file transport, no service
// control), which is what a Linux host uses.
#pragma once

#include <string>
#include <vector>

#include "platform/HostSystem.h"

// Exit code reported for a process that still runs.
constexpr DWORD PROCESS_STILL_ACTIVE = 259;

constexpr DWORD POSIX_HOST_VERSION_MAJOR = 6;
constexpr DWORD POSIX_HOST_VERSION_MINOR = 1;

class CPosixHostSystem : public IHostSystem
{
public:
    bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) override;

    bool GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen) override;
    bool GetCurrentDir(char* pszBuf, DWORD dwLen) override;
    bool SetCurrentDir(const char* pszPath) override;
    bool GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes) override;
    bool DeleteFile(const char* pszPath) override;

    WINDOW_HANDLE FindWindowByClass(const char* pszClass) override;
    bool SendCloseWithTimeout(WINDOW_HANDLE hWnd, DWORD dwTimeoutMs) override;
    bool OpenNamedEvent(const char* pszName) override;

    LONG RegOpenKey(const char* pszSubKey, REG_KEY* phKey) override;
    LONG RegQueryText(REG_KEY hKey, const char* pszValueName, char* pszBuf, DWORD dwLen) override;
    void RegCloseKey(REG_KEY hKey) override;

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

    SC_HANDLE_T OpenServiceManager() override;
    SC_HANDLE_T OpenService(SC_HANDLE_T hManager, const char* pszName) override;
    bool QueryServiceState(SC_HANDLE_T hService, DWORD* pdwState) override;
    bool ControlService(SC_HANDLE_T hService, DWORD dwControl, DWORD* pdwState) override;
    bool StartService(SC_HANDLE_T hService) override;
};

// Splits a command line into the program and its arguments: a leading path in
// double quotes is taken whole, everything else is split on blanks. False when
// there is no program.
bool SplitCommandLine(const char* pszCommandLine, std::vector<std::string>* pArgs);
