// CWin32Processes on real processes: copies of the sleeper helper started under
// the sync manager's process name.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/win32/Win32Processes.h"
#include "support/ImageBuilder.h"
#include "support/win32/Win32TestSupport.h"

namespace fs = std::filesystem;

namespace
{
std::vector<DWORD> ListProcesses(CWin32Processes& processes)
{
    std::vector<DWORD> pids(4096);
    DWORD dwCount = 0;
    if (!processes.EnumProcesses(pids.data(), static_cast<DWORD>(pids.size()), &dwCount))
        return {};
    pids.resize(dwCount);
    return pids;
}

bool Contains(const std::vector<DWORD>& pids, DWORD dwPid)
{
    return std::find(pids.begin(), pids.end(), dwPid) != pids.end();
}
}

class Win32ProcessesTest : public ::testing::Test
{
protected:
    CTempDir m_Folder;
    CWin32Processes m_Processes;
};

TEST_F(Win32ProcessesTest, StartsACommandLineWithAQuotedPath)
{
    // A folder with a blank in its name: the path is one argument only in quotes.
    fs::path program = CopySleeper(fs::path(m_Folder.Path()) / "Sync Software", "WCESMGR.EXE");
    fs::path marker = fs::path(m_Folder.Path()) / "started.txt";
    std::string strCommandLine = Quoted(program) + " 0 " + Quoted(marker);

    ASSERT_TRUE(m_Processes.StartProcess(strCommandLine.c_str()));
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(marker); }));
}

TEST_F(Win32ProcessesTest, AProgramThatIsNotThereDoesNotStart)
{
    std::string strCommandLine = Quoted(fs::path(m_Folder.Path()) / "missing.exe") + " /quit";
    EXPECT_FALSE(m_Processes.StartProcess(strCommandLine.c_str()));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_STRNE(GetLastErrorText(), "");
}

TEST_F(Win32ProcessesTest, ListsNamesAndTerminatesAProcessThroughItsHandle)
{
    CDesktopLock lock;   // a process named "wcesmgr.exe"
    ASSERT_TRUE(lock.IsHeld());
    CHelperProcess sleeper(Quoted(CopySleeper(m_Folder.Path(), "wcesmgr.exe")));
    ASSERT_TRUE(sleeper.IsStarted());

    EXPECT_TRUE(Contains(ListProcesses(m_Processes), sleeper.Pid()));
    PROCESS_HANDLE hProcess = m_Processes.OpenProcess(sleeper.Pid());
    ASSERT_NE(hProcess, 0);
    char szName[MAX_PATH_LEN] = {};
    EXPECT_TRUE(m_Processes.GetProcessBaseName(hProcess, szName, sizeof(szName)));
    EXPECT_STREQ(szName, "wcesmgr.exe");
    DWORD dwExitCode = 0;
    EXPECT_TRUE(m_Processes.GetProcessExitCode(hProcess, &dwExitCode));
    EXPECT_EQ(dwExitCode, WIN32_PROCESS_STILL_ACTIVE);

    EXPECT_TRUE(m_Processes.TerminateProcess(hProcess, 42));
    EXPECT_TRUE(sleeper.WaitForEnd(5000));
    EXPECT_EQ(sleeper.ExitCode(), 42u);
    EXPECT_TRUE(m_Processes.GetProcessExitCode(hProcess, &dwExitCode));
    EXPECT_EQ(dwExitCode, 42u);
    m_Processes.CloseProcess(hProcess);
}

TEST_F(Win32ProcessesTest, AProcessThatEndedBeforeTheKillIsNotTerminated)
{
    // Listed and opened while it runs, then it exits on its own before the kill.
    CHelperProcess sleeper(Quoted(CopySleeper(m_Folder.Path(), "vuq_short.exe")) + " 300");
    ASSERT_TRUE(sleeper.IsStarted());
    EXPECT_TRUE(Contains(ListProcesses(m_Processes), sleeper.Pid()));
    PROCESS_HANDLE hProcess = m_Processes.OpenProcess(sleeper.Pid());
    ASSERT_NE(hProcess, 0);
    ASSERT_TRUE(sleeper.WaitForEnd());

    SetLastErrorCode(0);
    EXPECT_FALSE(m_Processes.TerminateProcess(hProcess, 259));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sleeper.ExitCode(), 0u);   // its own exit code, not the one of the kill
    m_Processes.CloseProcess(hProcess);
}

TEST_F(Win32ProcessesTest, TheListHoldsAsManyAsFit)
{
    DWORD dwPids[2] = {};
    DWORD dwCount = 99;
    EXPECT_TRUE(m_Processes.EnumProcesses(dwPids, 1, &dwCount));
    EXPECT_EQ(dwCount, 1u);
    EXPECT_TRUE(m_Processes.EnumProcesses(dwPids, 0, &dwCount));
    EXPECT_EQ(dwCount, 0u);
}

TEST_F(Win32ProcessesTest, AProcessThatIsNotThereIsNotOpened)
{
    DWORD dwPid = 0;
    {
        CHelperProcess sleeper(Quoted(CopySleeper(m_Folder.Path(), "vuq_short.exe")) + " 0");
        ASSERT_TRUE(sleeper.IsStarted());
        dwPid = sleeper.Pid();
        ASSERT_TRUE(sleeper.WaitForEnd());
    }   // its last handle is closed: the process goes with its id
    // Wine lets go of an ended process a moment after its last handle is closed.
    EXPECT_TRUE(WaitUntil([&] {
        SetLastErrorCode(0);
        PROCESS_HANDLE hProcess = m_Processes.OpenProcess(dwPid);
        m_Processes.CloseProcess(hProcess);
        return hProcess == 0;
    }));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Win32ProcessesTest, ANameThatDoesNotFitFails)
{
    PROCESS_HANDLE hProcess = m_Processes.OpenProcess(GetCurrentProcessId());
    ASSERT_NE(hProcess, 0);
    char szName[MAX_PATH_LEN] = {};
    ASSERT_TRUE(m_Processes.GetProcessBaseName(hProcess, szName, sizeof(szName)));
    DWORD dwFits = static_cast<DWORD>(std::strlen(szName) + 1);
    EXPECT_TRUE(m_Processes.GetProcessBaseName(hProcess, szName, dwFits));
    EXPECT_FALSE(m_Processes.GetProcessBaseName(hProcess, szName, dwFits - 1));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    m_Processes.CloseProcess(hProcess);
}
