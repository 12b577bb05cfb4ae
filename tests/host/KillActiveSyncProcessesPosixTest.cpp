// Terminating the sync software's processes by name on Linux, with real children.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "host/HostConnection.h"
#include "platform/posix/PosixProcesses.h"

extern char** environ;

namespace fs = std::filesystem;

namespace
{
pid_t SpawnSleeper(const fs::path& program)
{
    std::string strProgram = program.string();
    std::string strSeconds = "30";
    char* argv[] = {strProgram.data(), strSeconds.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, strProgram.c_str(), nullptr, nullptr, argv, environ) != 0)
        return 0;
    return pid;
}

// Waits for the child to end (up to 5 s); true with its status when it did.
bool WaitChild(pid_t pid, int* pnStatus)
{
    for (int i = 0; i < 5000; ++i)
    {
        if (waitpid(pid, pnStatus, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The base name shows in /proc once the child has executed its program.
bool WaitForName(CPosixProcesses& host, pid_t pid, const char* pszName)
{
    for (int i = 0; i < 5000; ++i)
    {
        char szName[260];
        PROCESS_HANDLE hProcess = host.OpenProcess(static_cast<DWORD>(pid));
        bool bNamed = hProcess != 0 && host.GetProcessBaseName(hProcess, szName, sizeof(szName)) &&
                      std::string(szName) == pszName;
        if (hProcess != 0)
            host.CloseProcess(hProcess);
        if (bNamed)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
}

TEST(KillActiveSyncProcessesOnLinux, TerminatesOnlyTheSyncProcessNames)
{
    char szTemplate[] = "/tmp/vuq_kill_XXXXXX";
    fs::path folder = mkdtemp(szTemplate);
    fs::copy_file("/bin/sleep", folder / "wcesmgr.exe");
    fs::copy_file("/bin/sleep", folder / "wcesmgr2.exe");

    CPosixProcesses host;
    CClock clock(1000);
    PlatformContext platform;
    platform.pClock = &clock;
    AttachHost(platform, host);

    pid_t pidSync = SpawnSleeper(folder / "wcesmgr.exe");
    pid_t pidOther = SpawnSleeper(folder / "wcesmgr2.exe");
    ASSERT_NE(pidSync, 0);
    ASSERT_NE(pidOther, 0);
    ASSERT_TRUE(WaitForName(host, pidSync, "wcesmgr.exe"));
    ASSERT_TRUE(WaitForName(host, pidOther, "wcesmgr2.exe"));

    KillActiveSyncProcesses(platform);

    int nStatus = 0;
    bool bSyncEnded = WaitChild(pidSync, &nStatus);
    if (!bSyncEnded)
    {
        kill(pidSync, SIGKILL);
        waitpid(pidSync, nullptr, 0);
    }
    int nOtherStatus = 0;
    bool bOtherRunning = waitpid(pidOther, &nOtherStatus, WNOHANG) == 0;
    kill(pidOther, SIGKILL);
    waitpid(pidOther, nullptr, 0);
    fs::remove_all(folder);

    ASSERT_TRUE(bSyncEnded);
    EXPECT_TRUE(WIFSIGNALED(nStatus));
    EXPECT_EQ(WTERMSIG(nStatus), SIGKILL);
    EXPECT_TRUE(bOtherRunning);
}
