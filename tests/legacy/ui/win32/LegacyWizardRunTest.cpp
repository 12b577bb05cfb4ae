// Whole legacy updates through the real dialogs on the simulated desk: the virtual
// handset in its legacy dialect records every frame it receives, and the frames are
// compared byte for byte with those the legacy run sends for the same image and host
// code to a handset of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "legacy/HostCode.h"
#include "legacy/LegacyRun.h"
#include "legacy/ui/win32/LegacyHarness.h"
#include "platform/sim/SimPortBus.h"
#include "platform/sim/SimPortDriver.h"
#include "platform/sim/VirtualHandset.h"
#include "res/Strings.h"

namespace
{
const std::vector<std::string> SYNC_STARTS = {std::string("\"") + SIM_MANAGER_PATH + "\"", SIM_MANAGER_PATH};
constexpr DWORD HEADER_KEY10_OFFSET = 96;

// The frames RunLegacyUpdate sends for this image and host code, received by a
// handset of the legacy dialect on a bus of its own.
std::vector<HANDSET_FRAME> ReferenceFrames(const CLegacyImage& image, DWORD dwHostCode)
{
    CTempDir folder;
    std::string strImage = folder.File("temp.dat");
    EXPECT_TRUE(image.Write(strImage));
    CClock clock(50);
    CSimPortBus bus;
    CSimPortDriver ports(bus, 2000);
    CVirtualHandset handset(clock, bus, HANDSET_DIALECT_LEGACY);
    handset.SetDelays(0, 100, 300);
    EXPECT_TRUE(handset.EnterDownloaderMode());
    EXPECT_TRUE(handset.WaitForArrivals(1, LEGACY_WAIT_MS));
    LEGACY_RUN_CONFIG config{clock, ports, nullptr, strImage, folder.Path(), SIM_PORT_ALIAS, dwHostCode, nullptr};
    EXPECT_EQ(RunLegacyUpdate(config), LEGACY_RUN_DONE);
    handset.Shutdown();
    return handset.Frames();
}

DWORD HeaderWord(const HANDSET_FRAME& frame, DWORD dwOffset)
{
    if (frame.Payload.size() < dwOffset + 4)
        return 0;
    const BYTE* pWord = frame.Payload.data() + dwOffset;
    return pWord[0] | (DWORD(pWord[1]) << 8) | (DWORD(pWord[2]) << 16) | (DWORD(pWord[3]) << 24);
}

// The frames of one pass (from nFirst on) are those of the reference run, byte for
// byte, every header carrying dwHostCode. The handset may still be reading the last
// frame when the final page opens, so it is given the time to.
void ExpectFramesOfRun(CVirtualHandset& handset, size_t nFirst, const CLegacyImage& image, DWORD dwHostCode)
{
    std::vector<HANDSET_FRAME> expected = ReferenceFrames(image, dwHostCode);
    ASSERT_EQ(expected.size(), 4u);
    handset.WaitForFrames(nFirst + expected.size(), LEGACY_WAIT_MS);
    std::vector<HANDSET_FRAME> frames = handset.Frames();
    ASSERT_EQ(frames.size(), nFirst + expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        SCOPED_TRACE(i);
        const HANDSET_FRAME& frame = frames[nFirst + i];
        EXPECT_EQ(frame.nKind, expected[i].nKind);
        EXPECT_EQ(frame.dwCommand, expected[i].dwCommand);
        EXPECT_TRUE(frame.bComplete && frame.bChecksumOk);
        EXPECT_EQ(frame.wChecksum, expected[i].wChecksum);
        EXPECT_TRUE(frame.Payload == expected[i].Payload) << "the frame differs from the legacy run's";
        if (frame.bHeader && frame.nKind != HANDSET_FRAME_CLOSING)
        {
            EXPECT_EQ(HeaderWord(frame, HEADER_KEY10_OFFSET), dwHostCode);
        }
    }
}

class LegacyRun : public testing::Test
{
protected:
    void SetUp() override { m_App.WriteFiles(); }

    // From the first page given to the progress window.
    HWND ProgressFrom(HWND hFirst)
    {
        HWND hStep2 = m_App.NextFromFirst(hFirst);
        if (hStep2 == nullptr)
            return nullptr;
        PressButton(hStep2, IDC_LEGACY_STEP2_NEXT);
        HWND hStep3 = m_App.WaitFor(LEGACY_WINDOW_STEP3);
        return hStep3 != nullptr ? m_App.UpdateFromStep3(hStep3) : nullptr;
    }

    void ExpectEnded()
    {
        EXPECT_TRUE(m_App.WaitForEnd());
        EXPECT_TRUE(m_App.VisibleWindows().empty());
    }

    CLegacyHarness m_App;
};
}

// NEXT, Yes, NEXT, UPDATE, Yes and FINISH: the agent on the handset, the progress
// window while the run sends the legacy frames (those of the run, byte for byte, for
// host code 1001 of this desktop's version 5.1), the final page, and after FINISH
// the four temporary files gone and the sync manager started twice.
TEST_F(LegacyRun, WholeProgramToTheFinalPage)
{
    HWND hProgress = m_App.StartAtProgress();
    ASSERT_NE(hProgress, nullptr);
    EXPECT_EQ(WindowText(hProgress), "Updating, Please keep connected between PC and PDA.");
    EXPECT_EQ(ItemText(hProgress, IDC_LEGACY_HEADING_BOX), "--Update Progress--");

    HWND hFinal = m_App.WaitFor(LEGACY_WINDOW_FINAL, nullptr, LEGACY_RUN_WAIT_MS);
    ASSERT_NE(hFinal, nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
    EXPECT_EQ(WindowText(hFinal), "VUQ - FINAL STEP");
    EXPECT_EQ(m_App.VisibleWindows().size(), 1u);
    EXPECT_EQ(CLegacyHarness::PageText(hFinal), LoadLegacyString(IDS_LEGACY_FINAL_TEXT));

    ExpectFramesOfRun(m_App.Desk().Handset(), 0, m_App.Image(), LEGACY_HOST_CODE_51);
    EXPECT_TRUE(m_App.Desk().RemoteApi().GetFile("Tessik_Console.exe") == m_App.AgentBytes());
    std::vector<std::string> filesAtFinal = LEGACY_FILES_BEFORE_RUN;
    filesAtFinal.push_back("TempFileToDown");
    EXPECT_EQ(m_App.TempFilesLeft(), filesAtFinal);
    EXPECT_TRUE(m_App.SyncStarts().empty());

    PressButton(hFinal, IDC_LEGACY_FINISH);
    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
    EXPECT_EQ(m_App.SyncStarts(), SYNC_STARTS);
    EXPECT_TRUE(m_App.Desk().Host().IsSyncLinkHeld());
}

// The handset refuses the reserve region with "OS not compatible.": the progress
// window ends with the transfer-failed page. "restart program" ticked: the staging
// file is deleted (nothing else, and the sync software stays off) and a new first
// page opens, which reads the desktop's version again (now 5.0: host code 1000);
// the second pass sends the whole update anew.
TEST_F(LegacyRun, FailedTransferRestartsWithAFreshPass)
{
    m_App.Desk().Handset().ScriptReplies(1, {"OS not compatible.\n"});
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    std::string strWelcome = CLegacyHarness::PageText(hFirst);
    HWND hProgress = ProgressFrom(hFirst);
    ASSERT_NE(hProgress, nullptr);

    HWND hFailed = m_App.WaitFor(LEGACY_WINDOW_TRANSFER_FAILED, nullptr, LEGACY_RUN_WAIT_MS);
    ASSERT_NE(hFailed, nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
    EXPECT_EQ(WindowText(hFailed), "VUQ - TRANSFER FAILED");
    EXPECT_EQ(CLegacyHarness::PageText(hFailed), LoadLegacyString(IDS_LEGACY_TRANSFER_FAILED_TEXT));
    EXPECT_EQ(ItemText(hFailed, IDC_LEGACY_RESTART), "restart program");
    EXPECT_TRUE(m_App.TempFileExists("TempFileToDown"));
    m_App.Desk().Host().SetVersion(5, 0);
    ASSERT_TRUE(CLegacyHarness::Tick(hFailed, IDC_LEGACY_RESTART));
    PressButton(hFailed, IDC_LEGACY_TRANSFER_OK);
    HWND hNewFirst = m_App.WaitFor(LEGACY_WINDOW_FIRST);
    ASSERT_NE(hNewFirst, nullptr);
    EXPECT_FALSE(IsWindow(hFailed));
    EXPECT_EQ(m_App.VisibleWindows().size(), 1u);
    EXPECT_EQ(CLegacyHarness::PageText(hNewFirst), strWelcome);
    EXPECT_EQ(m_App.TempFilesLeft(), LEGACY_FILES_BEFORE_RUN) << "only the staging file is deleted";
    EXPECT_TRUE(m_App.SyncStarts().empty());
    // Phase 1 and the refused reserve region went before.
    size_t nFramesOfFirstPass = m_App.Desk().Handset().FrameCount();
    ASSERT_GE(nFramesOfFirstPass, 2u);
    EXPECT_EQ(m_App.Desk().Handset().Frames()[1].nKind, HANDSET_FRAME_RESERVE);

    HWND hSecondProgress = ProgressFrom(hNewFirst);
    ASSERT_NE(hSecondProgress, nullptr);
    HWND hFinal = m_App.WaitFor(LEGACY_WINDOW_FINAL, nullptr, LEGACY_RUN_WAIT_MS);
    ASSERT_NE(hFinal, nullptr);
    ExpectFramesOfRun(m_App.Desk().Handset(), nFramesOfFirstPass, m_App.Image(), LEGACY_HOST_CODE_50);

    PressButton(hFinal, IDC_LEGACY_FINISH);
    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
}

// The same failure without "restart program": the clean-up and the end, without the
// sync software.
TEST_F(LegacyRun, FailedTransferWithoutRestartCleansUpAndEnds)
{
    m_App.Desk().Handset().ScriptReplies(1, {"OS not compatible.\n"});
    ASSERT_NE(m_App.StartAtProgress(), nullptr);
    HWND hFailed = m_App.WaitFor(LEGACY_WINDOW_TRANSFER_FAILED, nullptr, LEGACY_RUN_WAIT_MS);
    ASSERT_NE(hFailed, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(hFailed, IDC_LEGACY_RESTART, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    PressButton(hFailed, IDC_LEGACY_TRANSFER_OK);
    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
    EXPECT_TRUE(m_App.SyncStarts().empty());
}

// After an agent that could not be copied, "restart program" leads to a new first
// page that reads the desktop's version again (now 6.0: host code 1003); with the
// handset's store working again, the new pass updates it.
TEST_F(LegacyRun, AgentFailedRestartReadsTheHostVersionAgain)
{
    m_App.Desk().RemoteApi().SetCreateFails(true);
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    PressButton(hFirst, IDC_LEGACY_FIRST_NEXT);
    HWND hConfirm = m_App.WaitForBox("VUQ");
    ASSERT_NE(hConfirm, nullptr);
    PressButton(hConfirm, IDYES);
    HWND hFailed = m_App.WaitFor(LEGACY_WINDOW_AGENT_FAILED);
    ASSERT_NE(hFailed, nullptr);

    m_App.Desk().Host().SetVersion(6, 0);
    m_App.Desk().RemoteApi().SetCreateFails(false);
    ASSERT_TRUE(CLegacyHarness::Tick(hFailed, IDC_LEGACY_RESTART));
    PressButton(hFailed, IDC_LEGACY_AGENT_OK);
    HWND hNewFirst = m_App.WaitFor(LEGACY_WINDOW_FIRST);
    ASSERT_NE(hNewFirst, nullptr);
    ASSERT_NE(ProgressFrom(hNewFirst), nullptr);
    HWND hFinal = m_App.WaitFor(LEGACY_WINDOW_FINAL, nullptr, LEGACY_RUN_WAIT_MS);
    ASSERT_NE(hFinal, nullptr);
    ExpectFramesOfRun(m_App.Desk().Handset(), 0, m_App.Image(), LEGACY_HOST_CODE_OTHER);
    EXPECT_TRUE(m_App.Desk().RemoteApi().GetFile("Tessik_Console.exe") == m_App.AgentBytes());

    PressButton(hFinal, IDC_LEGACY_FINISH);
    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
}

// A desktop whose version cannot be read: the box "Get OS version failed!" over the
// first page, which then stays empty; the update goes on with host code 1000.
TEST_F(LegacyRun, UnreadableHostVersionLeavesAnEmptyFirstPageAndCode1000)
{
    m_App.SetHostVersionUnreadable();
    m_App.Start();
    HWND hBox = m_App.WaitForBox("VUQ");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(MessageBoxText(hBox), "Get OS version failed!");
    PressButton(hBox, IDOK);
    HWND hFirst = m_App.WaitFor(LEGACY_WINDOW_FIRST);
    ASSERT_NE(hFirst, nullptr);
    EXPECT_EQ(CLegacyHarness::PageText(hFirst), "");

    ASSERT_NE(ProgressFrom(hFirst), nullptr);
    HWND hFinal = m_App.WaitFor(LEGACY_WINDOW_FINAL, nullptr, LEGACY_RUN_WAIT_MS);
    ASSERT_NE(hFinal, nullptr);
    ExpectFramesOfRun(m_App.Desk().Handset(), 0, m_App.Image(), LEGACY_HOST_CODE_50);
    PressButton(hFinal, IDC_LEGACY_FINISH);
    ExpectEnded();
}

// The sync software started again while the step-3 page waits (a user starting it
// by hand): the progress window stops it once more as it opens, and the update runs.
TEST_F(LegacyRun, ProgressWindowStopsTheSyncSoftwareAgain)
{
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    HWND hStep2 = m_App.NextFromFirst(hFirst);
    ASSERT_NE(hStep2, nullptr);
    PressButton(hStep2, IDC_LEGACY_STEP2_NEXT);
    HWND hStep3 = m_App.WaitFor(LEGACY_WINDOW_STEP3);
    ASSERT_NE(hStep3, nullptr);
    ASSERT_TRUE(CLegacyHarness::WaitEnabled(hStep3, IDC_LEGACY_UPDATE, true));
    m_App.Desk().Host().StartSyncSoftware();
    ASSERT_TRUE(m_App.Desk().Host().IsSyncLinkHeld());

    ASSERT_NE(m_App.UpdateFromStep3(hStep3), nullptr);
    HWND hFinal = m_App.WaitFor(LEGACY_WINDOW_FINAL, nullptr, LEGACY_RUN_WAIT_MS);
    ASSERT_NE(hFinal, nullptr);
    EXPECT_FALSE(m_App.Desk().Host().IsSyncLinkHeld());
    EXPECT_EQ(m_App.Desk().Host().CountProcesses(SIM_MANAGER_PROCESS), 0);
    EXPECT_FALSE(m_App.Desk().Host().HasWindow(SIM_CLASS_SYNC_MANAGER));
    EXPECT_TRUE(m_App.Desk().Handset().WaitForFrames(4, LEGACY_WAIT_MS));
}
