// The Linux host's processes: started, listed, named and checked alive for real.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/posix/PosixProcesses.h"

namespace fs = std::filesystem;

namespace
{
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
