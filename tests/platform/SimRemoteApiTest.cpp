// The virtual handset's remote-API side and the agent's wait for the sync link.
#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/SimHost.h"
#include "platform/sim/SimRemoteApi.h"

namespace
{
bool Connect(CSimRemoteApi& remoteApi)
{
    CEvent initEvent(true, false);
    RAPIINIT init{12, &initEvent, -1};
    return remoteApi.CeRapiInitEx(&init) == 0 && initEvent.IsSignalled();
}
}

TEST(SimRemoteApi, FileStoreCreatesAlwaysOrKeeps)
{
    CSimRemoteApi remoteApi;
    ASSERT_TRUE(Connect(remoteApi));
    remoteApi.PutFile("a.bin", {1, 2, 3, 4});

    CE_HANDLE hFile = remoteApi.CeCreateFile("A.BIN", CE_GENERIC_WRITE, 0, CE_OPEN_ALWAYS, 0);
    ASSERT_NE(hFile, CE_INVALID_HANDLE);
    BYTE byNine = 9;
    DWORD dwWritten = 0;
    EXPECT_TRUE(remoteApi.CeWriteFile(hFile, &byNine, 1, &dwWritten));
    EXPECT_TRUE(remoteApi.CeCloseHandle(hFile));
    EXPECT_EQ(remoteApi.GetFile("a.bin"), (std::vector<BYTE>{9, 2, 3, 4}));

    hFile = remoteApi.CeCreateFile("a.bin", CE_GENERIC_WRITE, 0, CE_CREATE_ALWAYS, 0);
    EXPECT_TRUE(remoteApi.CeCloseHandle(hFile));
    EXPECT_TRUE(remoteApi.GetFile("a.bin").empty());

    // Nothing works once the connection is ended.
    remoteApi.CeRapiUninit();
    EXPECT_EQ(remoteApi.CeCreateFile("b.bin", CE_GENERIC_WRITE, 0, CE_CREATE_ALWAYS, 0), CE_INVALID_HANDLE);
    EXPECT_FALSE(remoteApi.CeCreateProcess("a.bin", nullptr));
}

TEST(SimRemoteApi, VersionValuesAreUtf16Texts)
{
    CSimRemoteApi remoteApi;
    ASSERT_TRUE(Connect(remoteApi));
    remoteApi.SetRegistryText("RomVer", "1.2");
    CE_HKEY hKey = 0;
    ASSERT_EQ(remoteApi.CeRegOpenKeyEx(CE_HKEY_LOCAL_MACHINE, "ControlPanel\\DeviceInfo", &hKey), CE_ERROR_SUCCESS);
    BYTE data[64];
    DWORD dwType = 0;
    DWORD cbData = 4;
    EXPECT_EQ(remoteApi.CeRegQueryValueEx(hKey, "RomVer", &dwType, data, &cbData), SIM_CE_ERROR_MORE_DATA);
    EXPECT_EQ(cbData, 8u);
    cbData = sizeof(data);
    ASSERT_EQ(remoteApi.CeRegQueryValueEx(hKey, "RomVer", &dwType, data, &cbData), CE_ERROR_SUCCESS);
    EXPECT_EQ(dwType, CE_REG_SZ);
    EXPECT_EQ(std::vector<BYTE>(data, data + cbData), (std::vector<BYTE>{'1', 0, '.', 0, '2', 0, 0, 0}));
    EXPECT_EQ(remoteApi.CeRegCloseKey(hKey), CE_ERROR_SUCCESS);
}

TEST(SimAgentStart, EntersTheDownloaderOnlyOnceTheSyncLinkIsFree)
{
    CClock clock(1000);
    CSimHost host(&clock);
    host.SetVersion(6, 0);
    host.StartSyncSoftware();
    std::atomic<int> nEntered{0};
    CSimAgentStart agent(&host, &clock, [&nEntered] { ++nEntered; });
    CSimRemoteApi remoteApi;
    remoteApi.SetAgentStartHook(agent.Hook());
    remoteApi.PutFile("Tessik_Console.exe", {0x4D, 0x5A});
    ASSERT_TRUE(Connect(remoteApi));

    EXPECT_TRUE(remoteApi.CeCreateProcess("Tessik_Console.exe", nullptr));
    EXPECT_FALSE(agent.WaitEntered(30));
    EXPECT_EQ(nEntered.load(), 0);

    // The processes go, but the service still holds the link.
    host.StartProcess((std::string("\"") + SIM_MANAGER_PATH + "\" /quit").c_str());
    for (DWORD dwPid = 0; dwPid < 2000; ++dwPid)
    {
        PROCESS_HANDLE hProcess = host.OpenProcess(dwPid);
        if (hProcess != 0)
            host.TerminateProcess(hProcess, 0);
    }
    EXPECT_TRUE(host.IsSyncLinkHeld());
    EXPECT_FALSE(agent.WaitEntered(30));

    host.SetServiceState(SERVICE_STATE_STOPPED);
    EXPECT_FALSE(host.IsSyncLinkHeld());
    EXPECT_TRUE(agent.WaitEntered(5000));
    EXPECT_EQ(nEntered.load(), 1);
}

TEST(SimHost, ManagerStartsAndQuitsThroughItsCommandLines)
{
    CSimHost host;
    host.SetServicePresent(false);
    host.SetRegistryText(SIM_MANAGER_KEY, nullptr, SIM_MANAGER_PATH);
    EXPECT_FALSE(host.IsSyncLinkHeld());
    EXPECT_TRUE(host.StartProcess(SIM_MANAGER_PATH));
    EXPECT_EQ(host.CountProcesses("wcesmgr.exe"), 1);
    EXPECT_TRUE(host.HasManagerEvent());
    EXPECT_TRUE(host.HasWindow("DccMan Class"));
    EXPECT_TRUE(host.StartProcess((std::string("\"") + SIM_MANAGER_PATH + "\" /quit").c_str()));
    EXPECT_EQ(host.CountProcesses("wcesmgr.exe"), 0);
    EXPECT_FALSE(host.HasManagerEvent());
    // The comm process stays until it is terminated.
    EXPECT_TRUE(host.IsSyncLinkHeld());
    // Registry keys are found under either spelling.
    REG_KEY hKey = 0;
    EXPECT_EQ(host.RegOpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WCESMGR.EXE", &hKey),
              REG_RESULT_SUCCESS);
    char szPath[260];
    EXPECT_EQ(host.RegQueryText(hKey, nullptr, szPath, sizeof(szPath)), REG_RESULT_SUCCESS);
    EXPECT_STREQ(szPath, SIM_MANAGER_PATH);
    host.RegCloseKey(hKey);
}
