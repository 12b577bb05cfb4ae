#include "platform/posix/PosixProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36 declares the pidfd calls without C linkage for C++; the headers it
// includes are already in, so only its own declarations fall in this block.
extern "C" {
#include <sys/pidfd.h>
}

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/LastError.h"
#include "common/Text.h"

extern char** environ;

namespace
{
// An open process is its pidfd plus one, so that no open process is 0.
PROCESS_HANDLE HandleOf(int nPidFd)
{
    return static_cast<PROCESS_HANDLE>(nPidFd) + 1;
}

int PidFdOf(PROCESS_HANDLE hProcess)
{
    return hProcess > 0 && hProcess <= static_cast<PROCESS_HANDLE>(INT_MAX) ? static_cast<int>(hProcess - 1) : -1;
}

// A pidfd turns readable once its process has ended (it is a zombie or gone).
bool HasEnded(int nPidFd)
{
    struct pollfd pollFd = {nPidFd, POLLIN, 0};
    int nReady = poll(&pollFd, 1, 0);
    return nReady != 0;   // an error is taken as ended: nothing is signalled then
}

// The id, in this /proc, of the process a pidfd holds (its fdinfo's "Pid:" line);
// 0 once the process has been collected.
pid_t PidOf(int nPidFd)
{
    char szPath[64];
    std::snprintf(szPath, sizeof(szPath), "/proc/self/fdinfo/%d", nPidFd);
    std::FILE* pFile = std::fopen(szPath, "r");
    if (pFile == nullptr)
        return 0;
    long lPid = 0;
    char szLine[256];
    while (std::fgets(szLine, sizeof(szLine), pFile) != nullptr)
    {
        if (std::sscanf(szLine, "Pid: %ld", &lPid) == 1)
            break;
    }
    std::fclose(pFile);
    return lPid > 0 ? static_cast<pid_t>(lPid) : 0;
}

// The base name of /proc/PID/exe's target, else the kernel's name in /proc/PID/comm.
bool ReadBaseName(pid_t pid, char* pszBuf, DWORD dwLen)
{
    char szPath[64];
    char szTarget[4096];
    std::snprintf(szPath, sizeof(szPath), "/proc/%d/exe", static_cast<int>(pid));
    ssize_t nLen = readlink(szPath, szTarget, sizeof(szTarget) - 1);
    if (nLen > 0)
    {
        szTarget[nLen] = '\0';
        // A program whose file was replaced or removed shows " (deleted)" after its path.
        constexpr char DELETED[] = " (deleted)";
        size_t nTarget = static_cast<size_t>(nLen);
        if (nTarget > sizeof(DELETED) - 1 && std::strcmp(szTarget + nTarget - (sizeof(DELETED) - 1), DELETED) == 0)
            szTarget[nTarget - (sizeof(DELETED) - 1)] = '\0';
        const char* pszBase = std::strrchr(szTarget, '/');
        return CopyTextToBuffer(pszBase != nullptr ? pszBase + 1 : szTarget, pszBuf, dwLen);
    }

    std::snprintf(szPath, sizeof(szPath), "/proc/%d/comm", static_cast<int>(pid));
    std::FILE* pFile = std::fopen(szPath, "r");
    if (pFile == nullptr)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    char szComm[64] = {};
    bool bRead = std::fgets(szComm, sizeof(szComm), pFile) != nullptr;
    std::fclose(pFile);
    if (!bRead)
    {
        SetLastErrorCode(EIO);
        return false;
    }
    szComm[std::strcspn(szComm, "\n")] = '\0';
    return CopyTextToBuffer(szComm, pszBuf, dwLen);
}
}

bool SplitCommandLine(const char* pszCommandLine, std::vector<std::string>* pArgs)
{
    pArgs->clear();
    if (pszCommandLine == nullptr)
        return false;
    const char* p = pszCommandLine;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '"')
    {
        const char* pszEnd = std::strchr(p + 1, '"');
        if (pszEnd == nullptr)
            return false;
        pArgs->emplace_back(p + 1, pszEnd);
        p = pszEnd + 1;
    }
    while (*p != '\0')
    {
        while (*p == ' ' || *p == '\t')
            ++p;
        const char* pszStart = p;
        while (*p != '\0' && *p != ' ' && *p != '\t')
            ++p;
        if (p != pszStart)
            pArgs->emplace_back(pszStart, p);
    }
    return !pArgs->empty() && !(*pArgs)[0].empty();
}

bool CPosixProcesses::StartProcess(const char* pszCommandLine)
{
    std::vector<std::string> args;
    if (!SplitCommandLine(pszCommandLine, &args))
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    std::vector<char*> argv;
    for (std::string& strArg : args)
        argv.push_back(strArg.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int nErr = args[0].find('/') == std::string::npos
                   ? posix_spawnp(&pid, args[0].c_str(), nullptr, nullptr, argv.data(), environ)
                   : posix_spawn(&pid, args[0].c_str(), nullptr, nullptr, argv.data(), environ);
    if (nErr != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(nErr));
        return false;
    }
    // Nobody waits for the started program; reap it when it ends so it leaves no zombie.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

bool CPosixProcesses::EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount)
{
    *pdwCount = 0;
    DIR* pDir = opendir("/proc");
    if (pDir == nullptr)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    while (struct dirent* pEntry = readdir(pDir))
    {
        char* pszEnd = nullptr;
        unsigned long ulPid = std::strtoul(pEntry->d_name, &pszEnd, 10);
        if (pszEnd == pEntry->d_name || *pszEnd != '\0' || ulPid == 0)
            continue;
        if (*pdwCount >= dwMax)
            break;   // the list holds what fits, like the desktop's own listing
        pdwPids[(*pdwCount)++] = static_cast<DWORD>(ulPid);
    }
    closedir(pDir);
    return true;
}

PROCESS_HANDLE CPosixProcesses::OpenProcess(DWORD dwPid)
{
    if (dwPid == 0 || dwPid > static_cast<DWORD>(INT_MAX))
    {
        SetLastErrorCode(EINVAL);
        return 0;
    }
    int nPidFd = pidfd_open(static_cast<pid_t>(dwPid), 0);
    if (nPidFd < 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return 0;
    }
    return HandleOf(nPidFd);
}

bool CPosixProcesses::GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen)
{
    int nPidFd = PidFdOf(hProcess);
    if (nPidFd < 0)
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    pid_t pid = PidOf(nPidFd);
    bool bRead = pid != 0 && ReadBaseName(pid, pszBuf, dwLen);
    // A process that has not ended by now was alive through the whole read, so
    // /proc/PID was this process and not one that was given its id after it.
    if (pid == 0 || HasEnded(nPidFd))
    {
        SetLastErrorCode(ESRCH);
        return false;
    }
    return bRead;
}

bool CPosixProcesses::GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode)
{
    int nPidFd = PidFdOf(hProcess);
    if (nPidFd < 0 || HasEnded(nPidFd))
    {
        SetLastErrorCode(nPidFd < 0 ? EINVAL : ESRCH);
        return false;
    }
    *pdwExitCode = PROCESS_STILL_ACTIVE;
    return true;
}

bool CPosixProcesses::TerminateProcess(PROCESS_HANDLE hProcess, DWORD)
{
    int nPidFd = PidFdOf(hProcess);
    if (nPidFd < 0 || HasEnded(nPidFd))
    {
        SetLastErrorCode(nPidFd < 0 ? EINVAL : ESRCH);
        return false;
    }
    // The signal goes to the process the pidfd holds; once that one has been
    // collected the call fails with ESRCH, whatever process has its id now.
    if (pidfd_send_signal(nPidFd, SIGKILL, nullptr, 0) != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

void CPosixProcesses::CloseProcess(PROCESS_HANDLE hProcess)
{
    int nPidFd = PidFdOf(hProcess);
    if (nPidFd >= 0)
        close(nPidFd);
}
