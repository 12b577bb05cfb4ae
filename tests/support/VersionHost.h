// A host that reports one version (or none) and has nothing else: no windows,
// registry, processes or services. For tests where only the host generation matters.
#pragma once

#include "platform/HostSystem.h"

class CVersionHost : public IHostSystem
{
public:
    CVersionHost(bool bKnown, DWORD dwMajor, DWORD dwMinor) : m_bKnown(bKnown), m_dwMajor(dwMajor), m_dwMinor(dwMinor)
    {
    }
    bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) override
    {
        *pdwMajor = m_dwMajor;
        *pdwMinor = m_dwMinor;
        return m_bKnown;
    }
    bool GetEnvironment(const char*, char*, DWORD) override { return false; }
    bool GetCurrentDir(char*, DWORD) override { return false; }
    bool SetCurrentDir(const char*) override { return false; }
    bool GetFreeSpace(const char*, QWORD*) override { return false; }
    bool DeleteFile(const char*) override { return false; }
    WINDOW_HANDLE FindWindowByClass(const char*) override { return 0; }
    bool SendCloseWithTimeout(WINDOW_HANDLE, DWORD) override { return false; }
    bool OpenNamedEvent(const char*) override { return false; }
    LONG RegOpenKey(const char*, REG_KEY*) override { return REG_RESULT_FILE_NOT_FOUND; }
    LONG RegQueryText(REG_KEY, const char*, char*, DWORD) override { return REG_RESULT_FILE_NOT_FOUND; }
    void RegCloseKey(REG_KEY) override {}
    bool StartProcess(const char*) override { return false; }
    bool EnumProcesses(DWORD*, DWORD, DWORD*) override { return false; }
    PROCESS_HANDLE OpenProcess(DWORD) override { return 0; }
    bool GetProcessBaseName(PROCESS_HANDLE, char*, DWORD) override { return false; }
    bool GetProcessExitCode(PROCESS_HANDLE, DWORD*) override { return false; }
    bool TerminateProcess(PROCESS_HANDLE, DWORD) override { return false; }
    void CloseProcess(PROCESS_HANDLE) override {}
    SC_HANDLE_T OpenServiceManager() override { return 0; }
    SC_HANDLE_T OpenService(SC_HANDLE_T, const char*) override { return 0; }
    bool QueryServiceState(SC_HANDLE_T, DWORD*) override { return false; }
    bool ControlService(SC_HANDLE_T, DWORD, DWORD*) override { return false; }
    bool StartService(SC_HANDLE_T) override { return false; }

private:
    bool m_bKnown;
    DWORD m_dwMajor;
    DWORD m_dwMinor;
};
