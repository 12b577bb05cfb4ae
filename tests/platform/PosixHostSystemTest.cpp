// The Linux host system: real processes, files and environment; the desktop
// sync software's facilities reported absent.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/posix/NoRemoteApi.h"
#include "platform/posix/PosixHostSystem.h"

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

TEST(PosixHostSystem, SplitCommandLineTakesAQuotedPathWhole)
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

TEST(PosixHostSystem, StartProcessRunsQuotedPathsWithArguments)
{
    char szTemplate[] = "/tmp/vuq_start_XXXXXX";
    fs::path folder = mkdtemp(szTemplate);
    fs::create_directory(folder / "with blank");
    fs::copy_file("/usr/bin/touch", folder / "with blank" / "my touch");

    CPosixHostSystem host;
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

TEST(PosixHostSystem, ProcessesAreListedNamedAndAlive)
{
    CPosixHostSystem host;
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

TEST(PosixHostSystem, SyncSoftwareFacilitiesAreAbsent)
{
    CPosixHostSystem host;
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    EXPECT_TRUE(host.GetVersion(&dwMajor, &dwMinor));
    EXPECT_EQ(dwMajor, 6u);
    EXPECT_EQ(dwMinor, 1u);

    EXPECT_EQ(host.FindWindowByClass("CEAppMgr"), 0);
    EXPECT_FALSE(host.OpenNamedEvent("Microsoft Windows CE Services Manager Event"));
    REG_KEY hKey = 1;
    EXPECT_EQ(host.RegOpenKey("Software\\Microsoft", &hKey), REG_RESULT_FILE_NOT_FOUND);
    EXPECT_EQ(hKey, 0);
    EXPECT_EQ(host.OpenServiceManager(), 0);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ENOSYS));
    DWORD dwState = 0;
    EXPECT_FALSE(host.QueryServiceState(0, &dwState));

    CNoRemoteApi remoteApi;
    CEvent initEvent(true, false);
    RAPIINIT init{12, &initEvent, -1};
    EXPECT_NE(remoteApi.CeRapiInitEx(&init), 0);
    EXPECT_FALSE(initEvent.IsSignalled());
}

TEST(PosixHostSystem, EnvironmentDirectoryFreeSpaceAndDelete)
{
    CPosixHostSystem host;
    setenv("VUQ_HOST_TEST", "value", 1);
    char szBuf[16];
    EXPECT_TRUE(host.GetEnvironment("VUQ_HOST_TEST", szBuf, sizeof(szBuf)));
    EXPECT_STREQ(szBuf, "value");
    EXPECT_FALSE(host.GetEnvironment("VUQ_HOST_TEST", szBuf, 5));   // no room for the terminator
    unsetenv("VUQ_HOST_TEST");
    EXPECT_FALSE(host.GetEnvironment("VUQ_HOST_TEST", szBuf, sizeof(szBuf)));

    char szTemplate[] = "/tmp/vuq_dir_XXXXXX";
    fs::path folder = mkdtemp(szTemplate);
    char szSaved[4096];
    ASSERT_TRUE(host.GetCurrentDir(szSaved, sizeof(szSaved)));
    ASSERT_TRUE(host.SetCurrentDir(folder.c_str()));
    std::ofstream("file.bin") << "x";
    EXPECT_TRUE(host.DeleteFile("file.bin"));
    EXPECT_FALSE(host.DeleteFile("file.bin"));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ENOENT));
    EXPECT_TRUE(host.SetCurrentDir(szSaved));
    EXPECT_FALSE(host.SetCurrentDir((folder / "none").c_str()));

    QWORD qwFree = 0;
    EXPECT_TRUE(host.GetFreeSpace(folder.c_str(), &qwFree));
    EXPECT_GT(qwFree, 0u);
    EXPECT_FALSE(host.GetFreeSpace((folder / "none").c_str(), &qwFree));
    fs::remove_all(folder);
}
