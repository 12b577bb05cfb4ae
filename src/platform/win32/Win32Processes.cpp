#include "platform/win32/Win32Processes.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/Win32HostApi.h"

namespace
{
// Query (limited), terminate, and wait for the end.
constexpr ULONG PROCESS_RIGHTS = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE;
// Longest full image name the system gives (characters, terminator included).
constexpr ULONG MAX_IMAGE_NAME = 32768;

HANDLE HandleOf(PROCESS_HANDLE hProcess)
{
    return reinterpret_cast<HANDLE>(hProcess);
}
}

bool CWin32Processes::StartProcess(const char* pszCommandLine)
{
    if (pszCommandLine == nullptr)
        return FailWithError(ERROR_INVALID_PARAMETER);
    // CreateProcessA may write into the command line; it gets its own copy.
    std::vector<char> commandLine(pszCommandLine, pszCommandLine + std::strlen(pszCommandLine) + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return FailWithSystemError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool CWin32Processes::EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount)
{
    *pdwCount = 0;
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return FailWithSystemError();
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    BOOL bEntry = Process32FirstW(hSnapshot, &entry);
    ULONG ulError = bEntry ? ERROR_SUCCESS : GetLastError();
    while (bEntry && *pdwCount < dwMax)
    {
        pdwPids[(*pdwCount)++] = entry.th32ProcessID;
        bEntry = Process32NextW(hSnapshot, &entry);
    }
    CloseHandle(hSnapshot);
    // An empty snapshot ends at once with "no more files"; anything else is a failure.
    if (ulError != ERROR_SUCCESS && ulError != ERROR_NO_MORE_FILES)
        return FailWithError(ulError);
    return true;
}

PROCESS_HANDLE CWin32Processes::OpenProcess(DWORD dwPid)
{
    HANDLE hProcess = ::OpenProcess(PROCESS_RIGHTS, FALSE, dwPid);
    if (hProcess == nullptr)
    {
        FailWithSystemError();
        return 0;
    }
    return reinterpret_cast<PROCESS_HANDLE>(hProcess);
}

bool CWin32Processes::GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen)
{
    std::string strPath(MAX_IMAGE_NAME, '\0');
    ULONG ulSize = MAX_IMAGE_NAME;
    if (!QueryFullProcessImageNameA(HandleOf(hProcess), 0, strPath.data(), &ulSize))
        return FailWithSystemError();
    strPath.resize(ulSize);
    size_t nSlash = strPath.find_last_of("\\/");
    std::string strBase = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    if (pszBuf == nullptr || strBase.size() + 1 > dwLen)
        return FailWithError(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(pszBuf, strBase.c_str(), strBase.size() + 1);
    return true;
}

bool CWin32Processes::GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode)
{
    ULONG ulExitCode = 0;
    if (!GetExitCodeProcess(HandleOf(hProcess), &ulExitCode))
        return FailWithSystemError();
    *pdwExitCode = ulExitCode;
    return true;
}

bool CWin32Processes::TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode)
{
    // Not every system refuses to terminate a process that has exited (Wine
    // reports success): the handle is asked first.
    ULONG ulWait = WaitForSingleObject(HandleOf(hProcess), 0);
    if (ulWait == WAIT_OBJECT_0)
        return FailWithError(ERROR_ACCESS_DENIED);
    if (ulWait == WAIT_FAILED)
        return FailWithSystemError();
    if (!::TerminateProcess(HandleOf(hProcess), dwExitCode))
        return FailWithSystemError();
    return true;
}

void CWin32Processes::CloseProcess(PROCESS_HANDLE hProcess)
{
    if (hProcess != 0)
        CloseHandle(HandleOf(hProcess));
}
