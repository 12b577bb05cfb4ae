// The Linux host's processes: started, listed, named, checked alive and
// terminated for real, including processes that end between being opened and
// being terminated.
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/posix/PosixProcesses.h"

extern char** environ;

namespace fs = std::filesystem;

namespace
{
// A child running "sleep 30"; 0 when it could not be started.
pid_t SpawnSleeper()
{
    char szProgram[] = "/bin/sleep";
    char szSeconds[] = "30";
    char* argv[] = {szProgram, szSeconds, nullptr};
    pid_t pid = 0;
    return posix_spawn(&pid, szProgram, nullptr, nullptr, argv, environ) == 0 ? pid : 0;
}

// Ends a child and collects it; the signal that ended it (0: it exited).
int KillAndReap(pid_t pid, int nSignal)
{
    kill(pid, nSignal);
    int nStatus = 0;
    if (waitpid(pid, &nStatus, 0) != pid)
        return -1;
    return WIFSIGNALED(nStatus) ? WTERMSIG(nStatus) : 0;
}

// What the reused-id scenario found, as the exit status of the process that ran
// it: the faults it saw as bits, or one of the two statuses that ran no check.
enum REUSE_RESULT
{
    REUSE_OK = 0,
    REUSE_NAMED_THE_NEW_PROCESS = 1,
    REUSE_TERMINATE_SUCCEEDED = 2,
    REUSE_NEW_PROCESS_KILLED = 4,
    REUSE_SETUP_FAILED = 100,
    REUSE_UNSUPPORTED = 101,   // no private pid namespace with a settable next id here
};

// The first process of a fresh pid namespace opens a child, which then ends and
// is collected; the child's id is given to a new process at once (ns_last_pid).
// The handle must neither name nor terminate the new process.
int RunReusedIdScenario()
{
    CPosixProcesses host;
    pid_t pidFirst = SpawnSleeper();
    if (pidFirst <= 1)
        return REUSE_SETUP_FAILED;
    PROCESS_HANDLE hFirst = host.OpenProcess(static_cast<DWORD>(pidFirst));
    if (hFirst == 0)
        return REUSE_SETUP_FAILED;
    KillAndReap(pidFirst, SIGKILL);

    std::FILE* pLastPid = std::fopen("/proc/sys/kernel/ns_last_pid", "w");
    if (pLastPid == nullptr)
        return REUSE_UNSUPPORTED;
    bool bSet = std::fprintf(pLastPid, "%d", static_cast<int>(pidFirst) - 1) > 0;
    bSet = std::fclose(pLastPid) == 0 && bSet;
    pid_t pidSecond = bSet ? SpawnSleeper() : 0;
    if (pidSecond != pidFirst)
    {
        if (pidSecond > 0)
            KillAndReap(pidSecond, SIGKILL);
        return bSet ? REUSE_SETUP_FAILED : REUSE_UNSUPPORTED;
    }

    char szName[260];
    bool bNamed = host.GetProcessBaseName(hFirst, szName, sizeof(szName));
    bool bTerminated = host.TerminateProcess(hFirst, 0);
    host.CloseProcess(hFirst);
    // A SIGKILL sent through the handle would have ended the new process already;
    // otherwise it ends by this SIGTERM.
    bool bKilled = KillAndReap(pidSecond, SIGTERM) == SIGKILL;
    return (bNamed ? REUSE_NAMED_THE_NEW_PROCESS : 0) | (bTerminated ? REUSE_TERMINATE_SUCCEEDED : 0) |
           (bKilled ? REUSE_NEW_PROCESS_KILLED : 0);
}

// Runs the scenario as process 1 of a new pid namespace (with its own /proc, in
// a new mount and user namespace) and returns its result.
int RunInOwnPidNamespace()
{
    pid_t pidOuter = fork();
    if (pidOuter < 0)
        return REUSE_SETUP_FAILED;
    if (pidOuter == 0)
    {
        if (unshare(CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNS) != 0)
            _exit(REUSE_UNSUPPORTED);
        pid_t pidInit = fork();
        if (pidInit == 0)
        {
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
                _exit(REUSE_UNSUPPORTED);
            _exit(RunReusedIdScenario());
        }
        int nStatus = 0;
        if (pidInit < 0 || waitpid(pidInit, &nStatus, 0) != pidInit || !WIFEXITED(nStatus))
            _exit(REUSE_SETUP_FAILED);
        _exit(WEXITSTATUS(nStatus));
    }
    int nStatus = 0;
    if (waitpid(pidOuter, &nStatus, 0) != pidOuter || !WIFEXITED(nStatus))
        return REUSE_SETUP_FAILED;
    return WEXITSTATUS(nStatus);
}

bool WaitForFile(const fs::path& path)
{
    for (int i = 0; i < 5000; ++i)
    {
        if (fs::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

struct SPLIT_CASE
{
    const char* pszLine;
    bool bOk;
    std::vector<std::string> args;
};
}

TEST(PosixProcesses, SplitCommandLineTakesAQuotedPathWhole)
{
    const SPLIT_CASE CASES[] = {
        {"\"C:\\Program Files\\WCESMGR.EXE\" /quit", true, {"C:\\Program Files\\WCESMGR.EXE", "/quit"}},
        {"/usr/bin/touch  a   b", true, {"/usr/bin/touch", "a", "b"}},
        {"  prog", true, {"prog"}},
        {"\"/a b/c\"", true, {"/a b/c"}},
        {"\"unterminated", false, {}},
        {"", false, {}},
        {"\"\" x", false, {"", "x"}},
    };
    for (const SPLIT_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszLine);
        std::vector<std::string> args;
        EXPECT_EQ(SplitCommandLine(c.pszLine, &args), c.bOk);
        if (c.bOk)
        {
            EXPECT_EQ(args, c.args);
        }
    }
}

TEST(PosixProcesses, StartProcessRunsQuotedPathsWithArguments)
{
    char szTemplate[] = "/tmp/vuq_start_XXXXXX";
    fs::path folder = mkdtemp(szTemplate);
    fs::create_directory(folder / "with blank");
    fs::copy_file("/usr/bin/touch", folder / "with blank" / "my touch");

    CPosixProcesses host;
    std::string strLine = "\"" + (folder / "with blank" / "my touch").string() + "\" " + (folder / "a").string() +
                          " " + (folder / "b").string();
    EXPECT_TRUE(host.StartProcess(strLine.c_str()));
    EXPECT_TRUE(WaitForFile(folder / "a"));
    EXPECT_TRUE(WaitForFile(folder / "b"));

    // A bare name is looked up in PATH.
    EXPECT_TRUE(host.StartProcess(("touch " + (folder / "c").string()).c_str()));
    EXPECT_TRUE(WaitForFile(folder / "c"));

    EXPECT_FALSE(host.StartProcess((folder / "missing").string().c_str()));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ENOENT));
    fs::remove_all(folder);
}

TEST(PosixProcesses, ProcessesAreListedNamedAndAlive)
{
    CPosixProcesses host;
    std::vector<DWORD> pids(65536);
    DWORD dwCount = 0;
    ASSERT_TRUE(host.EnumProcesses(pids.data(), static_cast<DWORD>(pids.size()), &dwCount));
    DWORD dwSelf = static_cast<DWORD>(getpid());
    EXPECT_NE(std::find(pids.begin(), pids.begin() + dwCount, dwSelf), pids.begin() + dwCount);

    DWORD dwFew = 0;
    ASSERT_TRUE(host.EnumProcesses(pids.data(), 2, &dwFew));
    EXPECT_LE(dwFew, 2u);

    PROCESS_HANDLE hSelf = host.OpenProcess(dwSelf);
    ASSERT_NE(hSelf, 0);
    char szName[260];
    ASSERT_TRUE(host.GetProcessBaseName(hSelf, szName, sizeof(szName)));
    EXPECT_EQ(std::string(szName), fs::read_symlink("/proc/self/exe").filename().string());
    char szSmall[4];
    EXPECT_FALSE(host.GetProcessBaseName(hSelf, szSmall, sizeof(szSmall)));
    DWORD dwExitCode = 0;
    EXPECT_TRUE(host.GetProcessExitCode(hSelf, &dwExitCode));
    EXPECT_EQ(dwExitCode, PROCESS_STILL_ACTIVE);
    host.CloseProcess(hSelf);

    EXPECT_EQ(host.OpenProcess(0), 0);
}

TEST(PosixProcesses, AProcessThatEndedAfterItWasOpenedIsNeverSignalled)
{
    CPosixProcesses host;
    pid_t pid = SpawnSleeper();
    ASSERT_NE(pid, 0);
    PROCESS_HANDLE hProcess = host.OpenProcess(static_cast<DWORD>(pid));
    ASSERT_NE(hProcess, 0);

    // It ends between being opened and being terminated; its exit is not collected
    // yet, so its id still names it.
    kill(pid, SIGKILL);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
    char szName[260];
    DWORD dwExitCode = 0;
    EXPECT_FALSE(host.GetProcessBaseName(hProcess, szName, sizeof(szName)));
    EXPECT_FALSE(host.GetProcessExitCode(hProcess, &dwExitCode));
    EXPECT_FALSE(host.TerminateProcess(hProcess, 0));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ESRCH));

    // Collected: the id is free for the next process.
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    EXPECT_FALSE(host.TerminateProcess(hProcess, 0));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ESRCH));
    host.CloseProcess(hProcess);
}

TEST(PosixProcesses, AHandleNeverReachesTheNextProcessWithTheSameId)
{
    int nResult = RunInOwnPidNamespace();
    if (nResult == REUSE_UNSUPPORTED)
        GTEST_SKIP() << "no private pid namespace with a settable next id on this system";
    ASSERT_NE(nResult, REUSE_SETUP_FAILED);
    EXPECT_EQ(nResult & REUSE_NEW_PROCESS_KILLED, 0) << "the process that got the id was killed";
    EXPECT_EQ(nResult & REUSE_TERMINATE_SUCCEEDED, 0) << "terminating the ended process succeeded";
    EXPECT_EQ(nResult & REUSE_NAMED_THE_NEW_PROCESS, 0) << "the ended process took the new process's name";
    EXPECT_EQ(nResult, REUSE_OK);
}
