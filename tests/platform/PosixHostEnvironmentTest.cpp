// The Linux host's version, environment and files, and the sync software's
// facilities that Linux does not have (the desktop windows, registry and service
// manager are absent from its platform context; see the host tests).
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/posix/NoRemoteApi.h"
#include "platform/posix/PosixHostEnvironment.h"

namespace fs = std::filesystem;

TEST(PosixHostEnvironment, SyncSoftwareFacilitiesAreAbsent)
{
    CPosixHostEnvironment host;
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    EXPECT_TRUE(host.GetVersion(&dwMajor, &dwMinor));
    EXPECT_EQ(dwMajor, 6u);
    EXPECT_EQ(dwMinor, 1u);

    CNoRemoteApi remoteApi;
    CEvent initEvent(true, false);
    RAPIINIT init{12, &initEvent, -1};
    EXPECT_NE(remoteApi.CeRapiInitEx(&init), 0);
    EXPECT_FALSE(initEvent.IsSignalled());
}

TEST(PosixHostEnvironment, EnvironmentDirectoryFreeSpaceAndDelete)
{
    CPosixHostEnvironment host;
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
