#include "platform/posix/PosixProcesses.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/LastError.h"

extern char** environ;

namespace
{
// Copies a text with its terminator into a buffer of dwLen bytes; false when it does not fit.
bool CopyText(const char* pszText, char* pszBuf, DWORD dwLen)
{
    size_t nLen = std::strlen(pszText);
    if (pszBuf == nullptr || nLen + 1 > dwLen)
    {
        SetLastErrorCode(ERANGE);
        return false;
    }
    std::memcpy(pszBuf, pszText, nLen + 1);
    return true;
}

bool IsRunning(pid_t pid)
{
    // The state is the field after the parenthesised name, which may itself hold blanks.
    char szPath[64];
    std::snprintf(szPath, sizeof(szPath), "/proc/%d/stat", static_cast<int>(pid));
    std::FILE* pFile = std::fopen(szPath, "r");
    if (pFile == nullptr)
        return false;
    char szStat[512];
    size_t nRead = std::fread(szStat, 1, sizeof(szStat) - 1, pFile);
    std::fclose(pFile);
    szStat[nRead] = '\0';
    const char* pszClose = std::strrchr(szStat, ')');
    if (pszClose == nullptr || pszClose[1] == '\0' || pszClose[2] == '\0')
        return false;
    char cState = pszClose[2];
    return cState != 'Z' && cState != 'X' && cState != 'x';
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
    char szPath[64];
    std::snprintf(szPath, sizeof(szPath), "/proc/%u", dwPid);
    if (dwPid == 0 || access(szPath, F_OK) != 0)
    {
        SetLastErrorCode(dwPid == 0 ? EINVAL : ESRCH);
        return 0;
    }
    return static_cast<PROCESS_HANDLE>(dwPid);
}

bool CPosixProcesses::GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen)
{
    char szPath[64];
    char szTarget[4096];
    std::snprintf(szPath, sizeof(szPath), "/proc/%ld/exe", static_cast<long>(hProcess));
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
        return CopyText(pszBase != nullptr ? pszBase + 1 : szTarget, pszBuf, dwLen);
    }

    std::snprintf(szPath, sizeof(szPath), "/proc/%ld/comm", static_cast<long>(hProcess));
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
    return CopyText(szComm, pszBuf, dwLen);
}

bool CPosixProcesses::GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode)
{
    if (!IsRunning(static_cast<pid_t>(hProcess)))
    {
        SetLastErrorCode(ESRCH);
        return false;
    }
    *pdwExitCode = PROCESS_STILL_ACTIVE;
    return true;
}

bool CPosixProcesses::TerminateProcess(PROCESS_HANDLE hProcess, DWORD)
{
    if (hProcess <= 0 || kill(static_cast<pid_t>(hProcess), SIGKILL) != 0)
    {
        SetLastErrorCode(hProcess <= 0 ? EINVAL : static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

void CPosixProcesses::CloseProcess(PROCESS_HANDLE)
{
}
