// The legacy pages' operations on the desktop: the sync software stopped before
// the link is needed and started twice afterwards, and the four temporary files
// deleted from TEMP, on the simulated host.
#include <cstdio>
#include <string>
#include <vector>

#include "host/HostTestFixture.h"
#include "legacy/HostCode.h"
#include "legacy/LegacyDesk.h"
#include "legacy/LegacyRapi.h"
#include "legacy/LegacyRun.h"
#include "legacy/PortWatcher.h"
#include "platform/sim/SampleFiles.h"
#include "platform/sim/SimDesk.h"
#include "support/ImageBuilder.h"

namespace
{
constexpr char TEMP_DIR[] = "C:\\Temp";
const char* const TEMP_FILES[] = {"Tessik_Console.exe", "VUQ.exe", "temp.dat", "TempFileToDown"};

std::string InTemp(const char* pszName)
{
    return std::string(TEMP_DIR) + "\\" + pszName;
}
}

class LegacyDesk : public CHostTest
{
protected:
    void AddTempFiles()
    {
        m_Host.SetEnvironment("TEMP", TEMP_DIR);
        for (const char* pszName : TEMP_FILES)
            m_Host.AddFile(InTemp(pszName).c_str());
        m_Host.AddFile(InTemp("other.txt").c_str());
    }
};

TEST_F(LegacyDesk, StopFreesTheLink)
{
    // A desktop of the generation without the connectivity service.
    m_Host.SetServicePresent(false);
    m_Host.StartSyncSoftware();
    ASSERT_TRUE(m_Host.IsSyncLinkHeld());

    StopSyncSoftware(m_Platform);

    EXPECT_FALSE(m_Host.IsSyncLinkHeld());
    EXPECT_EQ(m_Host.CountProcesses(SIM_MANAGER_PROCESS), 0);
    EXPECT_EQ(m_Host.CountProcesses(SIM_COMM_PROCESS), 0);
    EXPECT_TRUE(m_Box.Boxes().empty());
}

TEST_F(LegacyDesk, StopKillsProcessesEvenWhenAWindowStays)
{
    // A window that refuses to close does not keep the processes alive.
    m_Host.StartSyncSoftware();
    m_Host.SetWindowRefusesClose(SIM_CLASS_CONNECTION_MANAGER, true);

    StopSyncSoftware(m_Platform);

    EXPECT_EQ(m_Host.CountProcesses(SIM_MANAGER_PROCESS), 0);
    EXPECT_EQ(m_Host.CountProcesses(SIM_COMM_PROCESS), 0);
}

struct START_CASE
{
    const char* pszName;
    bool bRegistered;
    bool bStartFails;
    std::vector<std::string> starts;   // the StartProcess calls made
    const char* pszBox;                // null: no box
    bool bResult;
};

TEST_F(LegacyDesk, StartRunsTheManagerTwice)
{
    const std::string QUOTED = std::string("StartProcess \"") + SIM_MANAGER_PATH + "\"";
    const std::string PLAIN = std::string("StartProcess ") + SIM_MANAGER_PATH;
    const START_CASE CASES[] = {
        {"registered", true, false, {QUOTED, PLAIN}, nullptr, true},
        {"no key", false, false, {}, "RegOpenKey error", false},
        {"starts fail", true, true, {QUOTED, PLAIN}, "CreateProcess failed: ActiveSync in Finish.", false},
    };
    for (const START_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszName);
        CSimHost host(&m_Clock);
        CRecordingMessageBox box;
        PlatformContext platform = m_Platform;
        AttachHost(platform, host);
        platform.pMessageBox = &box;
        if (c.bRegistered)
            host.SetRegistryText(SIM_MANAGER_KEY, nullptr, SIM_MANAGER_PATH);
        host.SetStartProcessFails(c.bStartFails);

        EXPECT_EQ(StartSyncSoftware(platform), c.bResult);

        EXPECT_EQ(host.CallsStartingWith("StartProcess"), c.starts);
        std::vector<RECORDED_BOX> boxes = box.Boxes();
        if (c.pszBox == nullptr)
        {
            EXPECT_TRUE(boxes.empty());
        }
        else
        {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].strText, c.pszBox);
        }
    }
}

TEST_F(LegacyDesk, CleanUpDeletesTheFourFilesInTemp)
{
    AddTempFiles();
    // One file that cannot go does not keep the others.
    m_Host.SetDeleteFailure("VUQ.exe", 32);

    EXPECT_TRUE(DeleteLegacyTempFiles(m_Platform));

    EXPECT_EQ(m_Host.GetCurrentDirText(), TEMP_DIR);
    EXPECT_EQ(m_Host.CallsStartingWith("DeleteFile"),
              (std::vector<std::string>{"DeleteFile Tessik_Console.exe", "DeleteFile VUQ.exe", "DeleteFile temp.dat",
                                        "DeleteFile TempFileToDown"}));
    EXPECT_FALSE(m_Host.HasFile(InTemp("Tessik_Console.exe").c_str()));
    EXPECT_TRUE(m_Host.HasFile(InTemp("VUQ.exe").c_str()));
    EXPECT_FALSE(m_Host.HasFile(InTemp("temp.dat").c_str()));
    EXPECT_FALSE(m_Host.HasFile(InTemp("TempFileToDown").c_str()));
    EXPECT_TRUE(m_Host.HasFile(InTemp("other.txt").c_str()));
}

TEST_F(LegacyDesk, NothingIsDeletedWithoutTemp)
{
    // The names are relative: without TEMP they would hit whatever folder is current.
    AddTempFiles();
    m_Host.SetEnvironment("TEMP", "");

    EXPECT_FALSE(DeleteLegacyTempFiles(m_Platform));
    EXPECT_FALSE(DeleteLegacyStagingFile(m_Platform));

    EXPECT_TRUE(m_Host.CallsStartingWith("DeleteFile").empty());
}

TEST_F(LegacyDesk, RestartDeletesOnlyTheStagingFile)
{
    AddTempFiles();

    EXPECT_TRUE(DeleteLegacyStagingFile(m_Platform));
    EXPECT_FALSE(DeleteLegacyStagingFile(m_Platform));   // gone already

    EXPECT_FALSE(m_Host.HasFile(InTemp("TempFileToDown").c_str()));
    for (const char* pszName : {"Tessik_Console.exe", "VUQ.exe", "temp.dat"})
        EXPECT_TRUE(m_Host.HasFile(InTemp(pszName).c_str())) << pszName;
}

// The pages' sequence on the simulated desk of vuq-legacy --simulate, without the
// dialogs: the agent copied and started, the sync software stopped, the port
// awaited as the step-3 page does, the update run over the bus's alias.
TEST(LegacySimulatedDesk, AgentReleaseWatchAndUpdate)
{
    CTempDir dir;
    ASSERT_TRUE(WriteMissingSampleFiles(dir.Path()));
    CSimDesk desk(50, nullptr, nullptr, HANDSET_DIALECT_LEGACY);
    const PlatformContext& platform = desk.Platform();

    std::FILE* pAgent = std::fopen(dir.File(SAMPLE_AGENT_FILE).c_str(), "rb");
    ASSERT_NE(pAgent, nullptr);
    bool bCopied = CopyAgentToDevice(*platform.pRemoteApi, desk.Clock(), pAgent);
    std::fclose(pAgent);
    ASSERT_TRUE(bCopied);
    ASSERT_EQ(StartAgentOnDevice(*platform.pRemoteApi, desk.Clock()), 1);
    // The handset stays with the sync software until it lets go.
    EXPECT_FALSE(desk.Handset().IsPresent());
    StopSyncSoftware(platform);

    CPortWatcher watcher(*platform.pPortDriver, desk.Clock(), SIM_PORT_ALIAS);
    CEvent ready(true, false);
    ASSERT_TRUE(watcher.Start([&ready](bool bReady) {
        if (bReady)
            ready.Set();
    }));
    ASSERT_EQ(desk.Clock().WaitForEvent(ready, 60000), EVENT_SIGNALLED);
    watcher.Stop();

    LEGACY_RUN_CONFIG config{desk.Clock(), *platform.pPortDriver, nullptr, "", dir.Path(), SIM_PORT_ALIAS,
                             GetLegacyHostCode(platform.pHostVersion), nullptr};
    EXPECT_EQ(config.dwHostCode, LEGACY_HOST_CODE_51);
    EXPECT_EQ(RunLegacyUpdate(config), LEGACY_RUN_DONE);
    EXPECT_TRUE(desk.Handset().WaitForFrames(1, 1000));
}
