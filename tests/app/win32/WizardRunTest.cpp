// Whole updates through the wizard's real dialogs on the simulated desk: the virtual
// handset on the in-process bus, announced to the progress window as the system
// announces a device, records every frame it receives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/worker/UpdateWorker.h"
#include "app/win32/WizardHarness.h"
#include "link/Downloader.h"
#include "res/VuqResource.h"

namespace
{
constexpr const char* TEMP_FILES[] = {"Tessik_Console.exe", "temp.dat", "Brenmor.exe"};
constexpr DWORD RUN_WAIT_MS = 60000;

// The payloads a full update sends, in order: the phase-1 image (boot loader and
// USB downloader), the reserve region with Vantor and IPL, the operating system
// raw, and the closing frame's 106 header bytes; every header carries "Key10" 1001.
std::vector<std::vector<BYTE>> ExpectedPayloads(const CImageBuilder& image)
{
    CImageBuilder held = image;
    held.SetHeaderWord(10, UPDATE_KEY10);
    std::vector<BYTE> closing = held.PreparedImage(0, OS_TYPE_OS);
    closing.resize(IMAGE_HEADER_SIZE - FRAME_OVERHEAD);
    return {held.PreparedImage(image.ImageFlag() & PHASE1_MASK, OS_TYPE_OS),
            held.PreparedImage(image.ImageFlag() & ~PHASE2_CLEAR_MASK, OS_TYPE_RESERVE), image.PartBytes(PART_OS),
            closing};
}

class WizardRun : public testing::Test
{
protected:
    void SetUp() override { m_Wizard.WriteTempFiles(m_Image); }

    // Next on the welcome page, then Continue; the confirmation page's window.
    HWND ContinueFromConfirm()
    {
        m_Wizard.Start();
        HWND hWelcome = m_Wizard.WaitForPage(PAGE_WELCOME);
        if (hWelcome == nullptr)
            return nullptr;
        CWizardHarness::Press(hWelcome, IDOK);
        HWND hConfirm = m_Wizard.WaitForPage(PAGE_CONFIRM);
        if (hConfirm != nullptr)
            CWizardHarness::Press(hConfirm, IDOK);
        return hConfirm;
    }

    void ExpectTempFiles(bool bPresent)
    {
        for (const char* pszName : TEMP_FILES)
            EXPECT_EQ(m_Wizard.TempFileExists(pszName), bPresent) << pszName;
    }

    CImageBuilder m_Image;
    CWizardHarness m_Wizard;
};
}

// Next, Continue and Finish: the handset receives the four frames byte for byte, the
// agent is copied to it, the sync software runs again afterwards, and after Finish
// the files are gone from TEMP and no window is left.
TEST_F(WizardRun, WholeWizardToFinish)
{
    ASSERT_NE(ContinueFromConfirm(), nullptr);
    HWND hProgress = m_Wizard.WaitForPage(PAGE_PROGRESS);
    ASSERT_NE(hProgress, nullptr);
    std::string strText = CWizardHarness::PageText(hProgress);
    EXPECT_EQ(strText.rfind("The current software is now being updated from your\nDevice.", 0), 0u) << strText;

    HWND hFinish = m_Wizard.WaitForPage(PAGE_FINISH, nullptr, RUN_WAIT_MS);
    ASSERT_NE(hFinish, nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
    EXPECT_EQ(CWizardHarness::PageText(hFinish).rfind("Congratulations\n\nYou have now almost completed", 0), 0u);

    std::vector<HANDSET_FRAME> frames = m_Wizard.Desk().Handset().Frames();
    std::vector<std::vector<BYTE>> expected = ExpectedPayloads(m_Image);
    ASSERT_EQ(frames.size(), expected.size());
    const int KINDS[] = {HANDSET_FRAME_PHASE1, HANDSET_FRAME_RESERVE, HANDSET_FRAME_OS, HANDSET_FRAME_CLOSING};
    for (size_t i = 0; i < frames.size(); ++i)
    {
        EXPECT_EQ(frames[i].nKind, KINDS[i]) << "frame " << i;
        EXPECT_TRUE(frames[i].bComplete && frames[i].bChecksumOk) << "frame " << i;
        EXPECT_TRUE(frames[i].Payload == expected[i]) << "frame " << i << " differs from the image";
    }
    EXPECT_EQ(frames.back().dwCommand, CLOSING_COMMAND);
    EXPECT_TRUE(m_Wizard.Desk().RemoteApi().GetFile(AGENT_FILE_NAME) == m_Wizard.AgentBytes());
    EXPECT_TRUE(m_Wizard.Desk().Host().IsSyncLinkHeld());

    CWizardHarness::Press(hFinish, IDOK);
    EXPECT_TRUE(m_Wizard.WaitForEnd());
    EXPECT_TRUE(m_Wizard.VisibleWindows().empty());
    ExpectTempFiles(false);
}

// A handset that answers the reserve region with "Flash Incorrect.\n": the link's
// box on the progress window, then a fresh confirmation page that asks the handset
// for its versions again; the files stay until Cancel and Yes.
TEST_F(WizardRun, FailedUpdateReturnsToAFreshConfirmationPage)
{
    m_Wizard.Desk().Handset().ScriptReplies(1, {"Flash Incorrect.\n"});
    HWND hFirstConfirm = ContinueFromConfirm();
    ASSERT_NE(hFirstConfirm, nullptr);
    HWND hProgress = m_Wizard.WaitForPage(PAGE_PROGRESS);
    ASSERT_NE(hProgress, nullptr);

    HWND hBox = m_Wizard.WaitForMessageBox("ERROR", RUN_WAIT_MS);
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hBox), "flash type not match");
    EXPECT_EQ(CWizardHarness::MessageBoxOwner(hBox), hProgress);
    m_Wizard.Desk().RemoteApi().SetRegistryText(SIM_ROM_VERSION_VALUE, "1.21.00 WWE");
    CWizardHarness::Press(hBox, IDOK);

    HWND hConfirm = m_Wizard.WaitForPage(PAGE_CONFIRM, hFirstConfirm, RUN_WAIT_MS);
    ASSERT_NE(hConfirm, nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
    std::string strText = CWizardHarness::PageText(hConfirm);
    EXPECT_NE(strText.find("Device CE image version : 1.21.00 WWE"), std::string::npos) << strText;
    EXPECT_NE(strText.find("Device CE Image version : VUQ 1.00.07 WWE"), std::string::npos) << strText;
    EXPECT_EQ(m_Wizard.WaitForPage(PAGE_FINISH, nullptr, 100), nullptr);
    // Phase 1, the refused reserve region, and the closing frame.
    std::vector<HANDSET_FRAME> frames = m_Wizard.Desk().Handset().Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].nKind, HANDSET_FRAME_CLOSING);
    ExpectTempFiles(true);

    CWizardHarness::Press(hConfirm, IDCANCEL);
    HWND hQuestion = m_Wizard.WaitForMessageBox("Palomux");
    ASSERT_NE(hQuestion, nullptr);
    CWizardHarness::Press(hQuestion, IDYES);
    EXPECT_TRUE(m_Wizard.WaitForEnd());
    EXPECT_TRUE(m_Wizard.VisibleWindows().empty());
    ExpectTempFiles(false);
}
