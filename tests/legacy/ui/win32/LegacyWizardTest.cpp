// The legacy updater through its real dialogs, on the paths that end before the
// download: the agent's way onto the handset, the confirmations, the cancel question
// on each page, the step-3 page's wait for the port, the About box. The runs that
// download are in LegacyWizardRunTest.cpp.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "legacy/ui/win32/LegacyHarness.h"

namespace
{
// What the sync manager is started with after an update or a cancel: its path in
// quotes, then the same path as the restart runs it.
const std::vector<std::string> SYNC_STARTS = {std::string("\"") + SIM_MANAGER_PATH + "\"", SIM_MANAGER_PATH};

constexpr char CANCEL_TEXT[] = "The Update procedure is incomplete, do you want to exit?";
constexpr char CANCEL_CAPTION[] = "- CANCEL UPDATE -";

class LegacyWizard : public testing::Test
{
protected:
    void SetUp() override { m_App.WriteFiles(); }

    // The program has returned and left no window.
    void ExpectEnded()
    {
        EXPECT_TRUE(m_App.WaitForEnd());
        EXPECT_TRUE(m_App.VisibleWindows().empty());
    }

    CLegacyHarness m_App;
};
}

// The first confirmation: its text under "VUQ"; No keeps the first page, and
// nothing reaches the handset.
TEST_F(LegacyWizard, DecliningTheEraseConfirmationStaysOnTheFirstPage)
{
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    PressButton(hFirst, IDC_LEGACY_FIRST_NEXT);
    HWND hBox = m_App.WaitForBox("VUQ");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(MessageBoxText(hBox),
              "The data on the Flashdisk and RAM will be erased during the upgrading process, \nplease confirm all data "
              "had been backuped to other storage media.\n\nTo continue upgrading, please press \"Yes\"; to cancel "
              "the process, please press \"No\".");
    EXPECT_NE(GetDlgItem(hBox, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(hBox, IDNO), nullptr);
    PressButton(hBox, IDNO);

    EXPECT_TRUE(StaysOpen(hFirst, 300));
    EXPECT_EQ(m_App.WaitFor(LEGACY_WINDOW_STEP2, nullptr, 100), nullptr);
    EXPECT_FALSE(m_App.Desk().RemoteApi().HasFile("Tessik_Console.exe"));
    EXPECT_EQ(m_App.TempFilesLeft(), LEGACY_FILES_BEFORE_RUN);
}

// No agent in the current directory: the stop-icon box "Can not open file." under
// "ERROR!", then the clean-up and the end, without starting the sync software.
TEST_F(LegacyWizard, AgentFileMissingStopsWithTheErrorBox)
{
    std::remove((m_App.TempPath() + "/Tessik_Console.exe").c_str());
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    PressButton(hFirst, IDC_LEGACY_FIRST_NEXT);
    HWND hConfirm = m_App.WaitForBox("VUQ");
    ASSERT_NE(hConfirm, nullptr);
    PressButton(hConfirm, IDYES);

    HWND hBox = m_App.WaitForBox("ERROR!");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(MessageBoxText(hBox), "Can not open file.");
    EXPECT_EQ(CLegacyHarness::BoxIcon(hBox), LoadIconA(nullptr, IDI_HAND));
    EXPECT_FALSE(IsWindow(hFirst)) << "the first page closes before the agent is opened";
    PressButton(hBox, IDOK);

    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
    EXPECT_TRUE(m_App.SyncStarts().empty());
    EXPECT_FALSE(m_App.Desk().RemoteApi().HasFile("Tessik_Console.exe"));
}

struct AGENT_FAULT_CASE
{
    const char* pszName;
    void (*pfnBreak)(CLegacyHarness& app);
    bool bAgentCopied;   // the copy went through and the start failed
};

void PrintTo(const AGENT_FAULT_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

const AGENT_FAULT_CASE AGENT_FAULTS[] = {
    {"CreateFails", [](CLegacyHarness& app) { app.Desk().RemoteApi().SetCreateFails(true); }, false},
    {"FirstWriteFails", [](CLegacyHarness& app) { app.Desk().RemoteApi().SetWriteFailsAt(1); }, false},
    {"ShortWrite", [](CLegacyHarness& app) { app.Desk().RemoteApi().SetShortWriteAt(2, 10); }, false},
    {"NoConnection", [](CLegacyHarness& app) { app.Desk().RemoteApi().SetConnectMode(SIM_CONNECT_NEVER); }, false},
    {"StartWithoutConnection", [](CLegacyHarness& app) { app.SetRemoteConnectsLeft(1); }, true},
};

class LegacyAgentFault : public LegacyWizard, public testing::WithParamInterface<AGENT_FAULT_CASE>
{
};

// An agent that cannot be copied, or copied but not started (no connection for the
// start): the agent-failed page, titled "PDA
// initials failed." (set at run time) with the warning icon and its two texts; OK
// without "restart program" cleans up and ends. The agent file is closed by then,
// so the clean-up can delete it.
TEST_P(LegacyAgentFault, AgentFailedPageWithoutRestartEnds)
{
    GetParam().pfnBreak(m_App);
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    PressButton(hFirst, IDC_LEGACY_FIRST_NEXT);
    HWND hConfirm = m_App.WaitForBox("VUQ");
    ASSERT_NE(hConfirm, nullptr);
    PressButton(hConfirm, IDYES);

    HWND hFailed = m_App.WaitFor(LEGACY_WINDOW_AGENT_FAILED);
    ASSERT_NE(hFailed, nullptr);
    EXPECT_EQ(WindowText(hFailed), "PDA initials failed.");
    EXPECT_EQ(CLegacyHarness::PageText(hFailed),
              "Can not connect to PDA device.\n  Please make sure the Microsoft ActiveSync\nis working normally.");
    EXPECT_EQ(ItemText(hFailed, IDC_LEGACY_RESTART), "restart program");
    EXPECT_EQ(SendDlgItemMessageA(hFailed, IDC_LEGACY_RESTART, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(m_App.VisibleWindows().size(), 1u);
    EXPECT_EQ(m_App.Desk().RemoteApi().GetFile("Tessik_Console.exe") == m_App.AgentBytes(), GetParam().bAgentCopied);
    EXPECT_TRUE(m_App.Desk().RemoteApi().StartedPrograms().empty());
    PressButton(hFailed, IDC_LEGACY_AGENT_OK);

    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
    EXPECT_TRUE(m_App.SyncStarts().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, LegacyAgentFault, testing::ValuesIn(AGENT_FAULTS),
                         [](const testing::TestParamInfo<AGENT_FAULT_CASE>& paramInfo) {
                             return paramInfo.param.pszName;
                         });

// "restart program" ticked on the agent-failed page: the sync software is started
// and a new first page opens with the whole welcome text; the files stay.
TEST_F(LegacyWizard, AgentFailedRestartOpensANewFirstPage)
{
    m_App.Desk().RemoteApi().SetCreateFails(true);
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    std::string strWelcome = CLegacyHarness::PageText(hFirst);
    PressButton(hFirst, IDC_LEGACY_FIRST_NEXT);
    HWND hConfirm = m_App.WaitForBox("VUQ");
    ASSERT_NE(hConfirm, nullptr);
    PressButton(hConfirm, IDYES);
    HWND hFailed = m_App.WaitFor(LEGACY_WINDOW_AGENT_FAILED);
    ASSERT_NE(hFailed, nullptr);
    ASSERT_TRUE(CLegacyHarness::Tick(hFailed, IDC_LEGACY_RESTART));
    PressButton(hFailed, IDC_LEGACY_AGENT_OK);

    HWND hNewFirst = m_App.WaitFor(LEGACY_WINDOW_FIRST);
    ASSERT_NE(hNewFirst, nullptr);
    EXPECT_FALSE(IsWindow(hFailed));
    EXPECT_EQ(m_App.VisibleWindows().size(), 1u);
    EXPECT_EQ(CLegacyHarness::PageText(hNewFirst), strWelcome);
    EXPECT_EQ(m_App.SyncStarts(), SYNC_STARTS);
    EXPECT_EQ(m_App.TempFilesLeft(), LEGACY_FILES_BEFORE_RUN);

    // The new pass ends as the first did: CANCEL and Yes.
    PressButton(hNewFirst, IDC_LEGACY_FIRST_CANCEL);
    HWND hQuestion = m_App.WaitForBox(CANCEL_CAPTION);
    ASSERT_NE(hQuestion, nullptr);
    PressButton(hQuestion, IDYES);
    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
}

struct CANCEL_CASE
{
    const char* pszName;
    int nPage;
    int nCancelId;
    bool bStartsSync;   // Yes starts the sync software again (it was stopped)
};

void PrintTo(const CANCEL_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

const CANCEL_CASE CANCEL_CASES[] = {
    {"First", LEGACY_WINDOW_FIRST, IDC_LEGACY_FIRST_CANCEL, false},
    {"Step2", LEGACY_WINDOW_STEP2, IDC_LEGACY_STEP2_CANCEL, true},
    {"Step3", LEGACY_WINDOW_STEP3, IDC_LEGACY_STEP3_CANCEL, true},
};

class LegacyCancelQuestion : public LegacyWizard, public testing::WithParamInterface<CANCEL_CASE>
{
protected:
    HWND StartAtPage()
    {
        switch (GetParam().nPage)
        {
        case LEGACY_WINDOW_FIRST:
            return m_App.StartAtFirst();
        case LEGACY_WINDOW_STEP2:
            return m_App.StartAtStep2();
        default:
            return m_App.StartAtStep3();
        }
    }
};

// CANCEL asks the cancel question (exclamation icon, owned by the page): No keeps the
// page and the files; Yes cleans up and ends, and starts the sync software again
// from the pages after the first, which have stopped it.
TEST_P(LegacyCancelQuestion, NoStaysYesCleansUpAndEnds)
{
    HWND hPage = StartAtPage();
    ASSERT_NE(hPage, nullptr);
    std::vector<std::string> filesBefore = m_App.TempFilesLeft();

    PressButton(hPage, GetParam().nCancelId);
    HWND hQuestion = m_App.WaitForBox(CANCEL_CAPTION);
    ASSERT_NE(hQuestion, nullptr);
    EXPECT_EQ(MessageBoxText(hQuestion), CANCEL_TEXT);
    EXPECT_EQ(CLegacyHarness::BoxIcon(hQuestion), LoadIconA(nullptr, IDI_EXCLAMATION));
    EXPECT_EQ(GetWindow(hQuestion, GW_OWNER), hPage);
    PressButton(hQuestion, IDNO);
    EXPECT_TRUE(StaysOpen(hPage, 300));
    EXPECT_EQ(m_App.TempFilesLeft(), filesBefore);
    EXPECT_TRUE(m_App.SyncStarts().empty());

    PressButton(hPage, GetParam().nCancelId);
    hQuestion = m_App.WaitForBox(CANCEL_CAPTION);
    ASSERT_NE(hQuestion, nullptr);
    PressButton(hQuestion, IDYES);
    ExpectEnded();
    EXPECT_TRUE(m_App.TempFilesLeft().empty());
    EXPECT_EQ(m_App.SyncStarts(), GetParam().bStartsSync ? SYNC_STARTS : std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Pages, LegacyCancelQuestion, testing::ValuesIn(CANCEL_CASES),
                         [](const testing::TestParamInfo<CANCEL_CASE>& paramInfo) { return paramInfo.param.pszName; });

// The step-2 page stops the sync software (its windows, its processes), which lets
// the agent put the handset into its USB-downloader mode; the handset is there
// before the step-3 page opens, and UPDATE comes on. Declining the second
// confirmation keeps the page with UPDATE enabled and sends nothing.
TEST_F(LegacyWizard, HandsetAlreadyWaitingEnablesUpdateAndNoKeepsIt)
{
    HWND hStep2 = m_App.StartAtStep2();
    ASSERT_NE(hStep2, nullptr);
    EXPECT_TRUE(m_App.Desk().RemoteApi().GetFile("Tessik_Console.exe") == m_App.AgentBytes());
    ASSERT_TRUE(m_App.Desk().Handset().WaitForArrivals(1, LEGACY_WAIT_MS));
    EXPECT_FALSE(m_App.Desk().Host().IsSyncLinkHeld());
    EXPECT_EQ(m_App.Desk().Host().CountProcesses(SIM_MANAGER_PROCESS), 0);

    PressButton(hStep2, IDC_LEGACY_STEP2_NEXT);
    HWND hStep3 = m_App.WaitFor(LEGACY_WINDOW_STEP3);
    ASSERT_NE(hStep3, nullptr);
    EXPECT_FALSE(IsWindow(hStep2));
    ASSERT_TRUE(CLegacyHarness::WaitEnabled(hStep3, IDC_LEGACY_UPDATE, true));

    PressButton(hStep3, IDC_LEGACY_UPDATE);
    HWND hWarning = m_App.WaitForBox("Warning");
    ASSERT_NE(hWarning, nullptr);
    EXPECT_EQ(MessageBoxText(hWarning),
              "Update procedure will begin now\nPlease don't remove usb connection, cancel update program, reset "
              "PDA,\nremove PDA battery or other abnormal actions during update.\nIt could be unable to startup the "
              "PDA if update fail.\n\nPress Y to start updating.");
    EXPECT_EQ(CLegacyHarness::BoxIcon(hWarning), LoadIconA(nullptr, IDI_EXCLAMATION));
    PressButton(hWarning, IDNO);

    EXPECT_TRUE(StaysOpen(hStep3, 300));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hStep3, IDC_LEGACY_UPDATE)));
    EXPECT_EQ(m_App.WaitFor(LEGACY_WINDOW_PROGRESS, nullptr, 100), nullptr);
    EXPECT_EQ(m_App.Desk().Handset().FrameCount(), 0u);
}

// A handset that never enters its USB-downloader mode: UPDATE stays disabled while
// the page watches for the port. CANCEL and Yes end the watch with the page: the
// port is not tried again afterwards.
TEST_F(LegacyWizard, CancelBeforeThePortOpensStopsTheWatch)
{
    m_App.Desk().RemoteApi().SetAgentStartHook(nullptr);
    HWND hStep3 = m_App.StartAtStep3();
    ASSERT_NE(hStep3, nullptr);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hStep3, IDC_LEGACY_UPDATE)));
    int nOpens = m_App.PortOpens();
    ASSERT_TRUE(WaitUntil(LEGACY_WAIT_MS, [&] { return m_App.PortOpens() >= nOpens + 3; }))
        << "the page does not watch for the port";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hStep3, IDC_LEGACY_UPDATE)));

    PressButton(hStep3, IDC_LEGACY_STEP3_CANCEL);
    HWND hQuestion = m_App.WaitForBox(CANCEL_CAPTION);
    ASSERT_NE(hQuestion, nullptr);
    PressButton(hQuestion, IDYES);
    ExpectEnded();

    // 300 ms of real time are many watch intervals at this scale.
    int nOpensAtEnd = m_App.PortOpens();
    Sleep(300);
    EXPECT_EQ(m_App.PortOpens(), nOpensAtEnd) << "the watch goes on after its page has closed";
}

// The first page carries the program's icon; command 16 of its system menu ("About
// VUQ(&A)...") opens the About box modally over the page, with its "Version 1.0"
// line; OK closes it and the page goes on.
TEST_F(LegacyWizard, AboutBoxFromTheSystemMenu)
{
    HWND hFirst = m_App.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    EXPECT_NE(SendMessageA(hFirst, WM_GETICON, ICON_BIG, 0), 0) << "the program's icon, large";
    EXPECT_NE(SendMessageA(hFirst, WM_GETICON, ICON_SMALL, 0), 0) << "the program's icon, small";
    EXPECT_NE(SendMessageA(hFirst, WM_QUERYDRAGICON, 0, 0), 0) << "the icon dragged while minimised";
    HMENU hMenu = GetSystemMenu(hFirst, FALSE);
    ASSERT_NE(hMenu, nullptr);
    char szItem[64] = {};
    GetMenuStringA(hMenu, IDM_LEGACY_ABOUT, szItem, sizeof(szItem), MF_BYCOMMAND);
    EXPECT_STREQ(szItem, "About VUQ(&A)...");

    PostMessageA(hFirst, WM_SYSCOMMAND, IDM_LEGACY_ABOUT, 0);
    HWND hAbout = m_App.WaitFor(LEGACY_WINDOW_ABOUT);
    ASSERT_NE(hAbout, nullptr);
    EXPECT_FALSE(WindowText(hAbout).empty());
    EXPECT_EQ(GetWindow(hAbout, GW_OWNER), hFirst);
    EXPECT_FALSE(IsWindowEnabled(hFirst)) << "the About box is modal";
    PressButton(hAbout, IDOK);

    EXPECT_TRUE(WaitUntil(LEGACY_WAIT_MS, [&] { return !IsWindow(hAbout); }));
    EXPECT_TRUE(WaitUntil(LEGACY_WAIT_MS, [&] { return IsWindowEnabled(hFirst) != FALSE; }));
    EXPECT_TRUE(StaysOpen(hFirst, 100));
}
