// The wizard through its real dialogs: the pages found among the wizard thread's
// windows, their buttons pressed, message boxes answered, texts read back. These
// paths end before the progress window; the runs that download are in
// WizardRunTest.cpp.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "app/WizardPages.h"
#include "app/win32/WizardHarness.h"
#include "res/Strings.h"
#include "res/VuqResource.h"
#include "support/TraceCapture.h"

namespace
{
constexpr const char* TEMP_FILES[] = {"Tessik_Console.exe", "temp.dat", "Brenmor.exe"};

class Wizard : public testing::Test
{
protected:
    void SetUp() override { m_Wizard.WriteTempFiles(); }

    HWND StartAtWelcome()
    {
        m_Wizard.Start();
        return m_Wizard.WaitForPage(PAGE_WELCOME);
    }

    // Next on the welcome page with a handset whose link never comes up.
    HWND StartAtNotConnected()
    {
        m_Wizard.Desk().RemoteApi().SetConnectMode(SIM_CONNECT_NEVER);
        HWND hWelcome = StartAtWelcome();
        if (hWelcome == nullptr)
            return nullptr;
        CWizardHarness::Press(hWelcome, IDOK);
        return m_Wizard.WaitForPage(PAGE_NOT_CONNECTED);
    }

    HWND StartAtConfirm()
    {
        HWND hWelcome = StartAtWelcome();
        if (hWelcome == nullptr)
            return nullptr;
        CWizardHarness::Press(hWelcome, IDOK);
        return m_Wizard.WaitForPage(PAGE_CONFIRM);
    }

    void ExpectTempFiles(bool bPresent)
    {
        for (const char* pszName : TEMP_FILES)
            EXPECT_EQ(m_Wizard.TempFileExists(pszName), bPresent) << pszName;
    }

    // The wizard has returned and left no window.
    void ExpectEnded()
    {
        EXPECT_TRUE(m_Wizard.WaitForEnd());
        EXPECT_TRUE(m_Wizard.VisibleWindows().empty());
    }

    CWizardHarness m_Wizard;
};
}

// Try again nests a new welcome page each time; Exit and Yes on the newest page end
// the program once every nested run has returned.
TEST_F(Wizard, NotConnectedTryAgainTwiceThenExit)
{
    HWND hNotConnected = StartAtNotConnected();
    ASSERT_NE(hNotConnected, nullptr);
    std::string strText = CWizardHarness::PageText(hNotConnected);
    EXPECT_EQ(strText.rfind("ERROR:Connection\n\n\nThe Device Software Utility is having trouble", 0), 0u) << strText;

    HWND hWelcome = nullptr;
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        CWizardHarness::Press(hNotConnected, IDOK);
        HWND hNewWelcome = m_Wizard.WaitForPage(PAGE_WELCOME, hWelcome);
        ASSERT_NE(hNewWelcome, nullptr) << "try " << nTry;
        hWelcome = hNewWelcome;
        // Only the newest page is on screen.
        EXPECT_EQ(m_Wizard.VisibleWindows().size(), 1u);
        CWizardHarness::Press(hWelcome, IDOK);
        HWND hNext = m_Wizard.WaitForPage(PAGE_NOT_CONNECTED, hNotConnected);
        ASSERT_NE(hNext, nullptr) << "try " << nTry;
        hNotConnected = hNext;
    }

    CWizardHarness::Press(hNotConnected, IDCANCEL);
    HWND hQuestion = m_Wizard.WaitForMessageBox("Palomux");
    ASSERT_NE(hQuestion, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hQuestion), "Do you really want to cancel the update process?");
    CWizardHarness::Press(hQuestion, IDYES);

    ExpectEnded();
    ExpectTempFiles(false);
}

struct CANCEL_CASE
{
    const char* pszName;
    int nPage;
    const char* pszTracePage;
};

void PrintTo(const CANCEL_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

class CancelQuestion : public Wizard, public testing::WithParamInterface<CANCEL_CASE>
{
};

// The cancel question: No keeps the page and the files; Yes deletes the files and
// ends the wizard. Each page traces its own name around the question.
TEST_P(CancelQuestion, NoThenYes)
{
    CTraceCapture trace;
    HWND hPage = nullptr;
    if (GetParam().nPage == PAGE_WELCOME)
        hPage = StartAtWelcome();
    else if (GetParam().nPage == PAGE_NOT_CONNECTED)
        hPage = StartAtNotConnected();
    else
        hPage = StartAtConfirm();
    ASSERT_NE(hPage, nullptr);

    CWizardHarness::Press(hPage, IDCANCEL);
    HWND hQuestion = m_Wizard.WaitForMessageBox("Palomux");
    ASSERT_NE(hQuestion, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hQuestion), "Do you really want to cancel the update process?");
    EXPECT_EQ(CWizardHarness::MessageBoxOwner(hQuestion), hPage);
    CWizardHarness::Press(hQuestion, IDNO);

    EXPECT_TRUE(m_Wizard.StaysOpen(hPage, 300));
    ExpectTempFiles(true);
    std::string strPage = GetParam().pszTracePage;
    EXPECT_EQ(trace.Count(strPage + " :: OnBnClickedCancel ++"), 1);
    EXPECT_EQ(trace.Count(strPage + " :: OnBnClickedCancel --"), 1);
    EXPECT_FALSE(trace.Contains("User exit!!!"));

    CWizardHarness::Press(hPage, IDCANCEL);
    hQuestion = m_Wizard.WaitForMessageBox("Palomux");
    ASSERT_NE(hQuestion, nullptr);
    CWizardHarness::Press(hQuestion, IDYES);

    ExpectEnded();
    ExpectTempFiles(false);
    int nEntry = trace.Find(strPage + " :: OnBnClickedCancel ++", trace.Find(strPage + " :: OnBnClickedCancel --") + 1);
    int nExit = trace.Find("User exit!!!", nEntry);
    EXPECT_GE(nEntry, 0);
    EXPECT_GT(nExit, nEntry);
    EXPECT_GT(trace.Find(strPage + " :: OnBnClickedCancel --", nExit), nExit);
}

INSTANTIATE_TEST_SUITE_P(Pages, CancelQuestion,
                         testing::Values(CANCEL_CASE{"Welcome", PAGE_WELCOME, "CVUQB1Dlg"},
                                         CANCEL_CASE{"NotConnected", PAGE_NOT_CONNECTED, "CNOTSyncDialog"},
                                         CANCEL_CASE{"Confirmation", PAGE_CONFIRM, "CVUQC1Dlg"}),
                         [](const testing::TestParamInfo<CANCEL_CASE>& paramInfo) { return paramInfo.param.pszName; });

struct FREE_SPACE_CASE
{
    const char* pszName;
    QWORD qwFree;
    bool bEnough;
};

void PrintTo(const FREE_SPACE_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

class FreeSpace : public Wizard, public testing::WithParamInterface<FREE_SPACE_CASE>
{
};

// 20 MiB free in TEMP lead to the confirmation page; one byte less to the warning,
// after which the wizard ends with the files left. More than 4 GiB is enough
// whatever the low 32 bits of the count.
TEST_P(FreeSpace, DecidesTheNextPage)
{
    m_Wizard.m_Environment.SetFreeSpaceBytes(GetParam().qwFree);
    HWND hWelcome = StartAtWelcome();
    ASSERT_NE(hWelcome, nullptr);
    CWizardHarness::Press(hWelcome, IDOK);

    if (GetParam().bEnough)
    {
        HWND hConfirm = m_Wizard.WaitForPage(PAGE_CONFIRM);
        ASSERT_NE(hConfirm, nullptr);
        EXPECT_EQ(m_Wizard.VisibleWindows().size(), 1u);
        return;
    }
    HWND hBox = m_Wizard.WaitForMessageBox("warning");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hBox), "Free space of target device is not enought");
    EXPECT_EQ(m_Wizard.WaitForPage(PAGE_CONFIRM, nullptr, 200), nullptr);
    CWizardHarness::Press(hBox, IDOK);
    ExpectEnded();
    ExpectTempFiles(true);
}

INSTANTIATE_TEST_SUITE_P(Counts, FreeSpace,
                         testing::Values(FREE_SPACE_CASE{"ExactlyEnough", 20971520, true},
                                         FREE_SPACE_CASE{"OneByteShort", 20971519, false},
                                         FREE_SPACE_CASE{"None", 0, false},
                                         FREE_SPACE_CASE{"FourGiB", 0x100000000ull, true},
                                         FREE_SPACE_CASE{"OverFourGiBSmallLowWord", 0x300000010ull, true}),
                         [](const testing::TestParamInfo<FREE_SPACE_CASE>& paramInfo) { return paramInfo.param.pszName; });

// The link to the handset is gone when Continue is pressed: text 108 under caption
// 127, then the end, with the files left.
TEST_F(Wizard, LinkLostOnContinue)
{
    HWND hConfirm = StartAtConfirm();
    ASSERT_NE(hConfirm, nullptr);
    m_Wizard.Desk().RemoteApi().SetConnectMode(SIM_CONNECT_NEVER);
    CWizardHarness::Press(hConfirm, IDOK);

    HWND hBox = m_Wizard.WaitForMessageBox("Palomux");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hBox), "Link to PC is disconnect.\nPlease install again.");
    EXPECT_EQ(CWizardHarness::MessageBoxOwner(hBox), hConfirm);
    EXPECT_EQ(m_Wizard.WaitForPage(PAGE_PROGRESS, nullptr, 200), nullptr);
    CWizardHarness::Press(hBox, IDOK);
    ExpectEnded();
    ExpectTempFiles(true);
}

// The confirmation page shows the handset's versions and the image's version text.
TEST_F(Wizard, ConfirmationPageShowsTheVersions)
{
    HWND hConfirm = StartAtConfirm();
    ASSERT_NE(hConfirm, nullptr);

    EXPECT_EQ(CWizardHarness::PageText(hConfirm),
              "Your device software is about to be update\nFrom : \nDevice CE image version : 1.20.00 WWE \t\t\t   \n"
              "GSM Version : 4.1.13.12\nTo : \nDevice CE Image version : VUQ 1.00.07 WWE\nGSM Version :  \n\n\n\n"
              "While the update is in progress, your device will act as\nthough it is outside of network coverage, so "
              "all you\ncalls will be diverted to your Answer Phone, an any\nmessage will be delivered once the "
              "update is completed.\n\nPlease click Continue to continue");
}

struct VERSION_CASE
{
    const char* pszName;
    std::string strStored;   // the plain version text the image carries
    std::string strShown;
};

void PrintTo(const VERSION_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

class VersionText : public Wizard, public testing::WithParamInterface<VERSION_CASE>
{
};

// The image's version text as the confirmation page shows it: up to a zero among the
// unscrambled bytes, and at most 63 characters of a longer one.
TEST_P(VersionText, Shown)
{
    CImageBuilder image;
    image.SetVersionText(GetParam().strStored);
    m_Wizard.WriteTempFiles(image);
    HWND hConfirm = StartAtConfirm();
    ASSERT_NE(hConfirm, nullptr);

    std::string strText = CWizardHarness::PageText(hConfirm);
    EXPECT_NE(strText.find("\nDevice CE Image version : " + GetParam().strShown + "\nGSM Version :  \n"),
              std::string::npos)
        << strText;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionText,
    testing::Values(VERSION_CASE{"Plain", "VUQ 2.01.00 WWE", "VUQ 2.01.00 WWE"},
                    VERSION_CASE{"ZeroEndsIt", std::string("VUQ\0 2.01", 9), "VUQ"},
                    VERSION_CASE{"SixtyThree", std::string(63, 'a'), std::string(63, 'a')},
                    VERSION_CASE{"SixtyFourCut", std::string(63, 'b') + "X", std::string(63, 'b')},
                    VERSION_CASE{"LongCut", std::string(200, 'c'), std::string(63, 'c')},
                    VERSION_CASE{"SlashShownAsText", "1.0/x", "1.0/x"}),
    [](const testing::TestParamInfo<VERSION_CASE>& paramInfo) { return paramInfo.param.pszName; });
