// Each page of the legacy updater as it stands on the screen: its title, the styled
// pieces of its rich text read back from the box (text, bold, colour and size of
// each piece), and what Esc and Enter do on it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "legacy/ui/win32/LegacyHarness.h"
#include "res/Strings.h"

namespace
{
// ---- Styled text ----

enum TEXT_STYLE
{
    STYLE_PLAIN_12,
    STYLE_BOLD_12,
    STYLE_BOLD_RED,
    STYLE_RED_12,
    STYLE_GREY_15,
    STYLE_DEFAULT,
};

constexpr COLORREF COLOUR_RED = 0x0000FF;
constexpr COLORREF COLOUR_GREY = 0x646464;

struct TEXT_PIECE
{
    UINT nStringId;
    int nStyle;
};

struct PAGE_TEXT_CASE
{
    const char* pszName;
    int nPage;
    std::vector<TEXT_PIECE> pieces;   // in the order they are appended
};

void PrintTo(const PAGE_TEXT_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

const PAGE_TEXT_CASE PAGE_TEXTS[] = {
    {"First",
     LEGACY_WINDOW_FIRST,
     {{IDS_LEGACY_FIRST_WELCOME, STYLE_PLAIN_12},
      {IDS_LEGACY_FIRST_WARNING, STYLE_BOLD_RED},
      {IDS_LEGACY_FIRST_STEPS, STYLE_DEFAULT},
      {IDS_LEGACY_FIRST_BACKUP, STYLE_BOLD_RED},
      {IDS_LEGACY_FIRST_RESET, STYLE_DEFAULT},
      {IDS_LEGACY_FIRST_POWER, STYLE_BOLD_RED},
      {IDS_LEGACY_FIRST_CLOSE_APPS, STYLE_DEFAULT},
      {IDS_LEGACY_FIRST_DISK_SPACE, STYLE_DEFAULT},
      {IDS_LEGACY_FIRST_NO_CARD, STYLE_DEFAULT},
      {IDS_LEGACY_FIRST_SYNC_READY, STYLE_BOLD_RED},
      {IDS_LEGACY_FIRST_CLICK_NEXT, STYLE_DEFAULT}}},
    {"Step2",
     LEGACY_WINDOW_STEP2,
     {{IDS_LEGACY_STEP2_TEXT, STYLE_PLAIN_12},
      {IDS_LEGACY_STEP2_FIGURE, STYLE_BOLD_RED},
      {IDS_LEGACY_STEP2_CLICK_NEXT, STYLE_PLAIN_12},
      {IDS_LEGACY_STEP2_NOTE, STYLE_GREY_15}}},
    {"Step3",
     LEGACY_WINDOW_STEP3,
     {{IDS_LEGACY_STEP3_TEXT, STYLE_PLAIN_12},
      {IDS_LEGACY_STEP3_SCREEN, STYLE_BOLD_RED},
      {IDS_LEGACY_STEP3_TRANSFER, STYLE_PLAIN_12},
      {IDS_LEGACY_STEP3_NOTE, STYLE_RED_12}}},
    {"Final", LEGACY_WINDOW_FINAL, {{IDS_LEGACY_FINAL_TEXT, STYLE_PLAIN_12}}},
    {"TransferFailed", LEGACY_WINDOW_TRANSFER_FAILED, {{IDS_LEGACY_TRANSFER_FAILED_TEXT, STYLE_BOLD_12}}},
    {"AgentFailed",
     LEGACY_WINDOW_AGENT_FAILED,
     {{IDS_LEGACY_AGENT_FAILED_TEXT, STYLE_BOLD_RED}, {IDS_LEGACY_AGENT_FAILED_HINT, STYLE_BOLD_12}}},
};

// The character format of a range of the box, or of its default format (nStart < 0).
CHARFORMAT2A FormatOf(HWND hRich, LONG nStart, LONG nEnd)
{
    CHARFORMAT2A format = {};
    format.cbSize = sizeof(format);
    if (nStart < 0)
    {
        SendMessageA(hRich, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
        return format;
    }
    CHARRANGE range = {nStart, nEnd};
    SendMessageA(hRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageA(hRich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
}

bool IsBold(const CHARFORMAT2A& format)
{
    return (format.dwEffects & CFE_BOLD) != 0;
}

bool IsAutoColour(const CHARFORMAT2A& format)
{
    return (format.dwEffects & CFE_AUTOCOLOR) != 0;
}

// The piece's format against its style; the box's default format stands for what a
// style leaves unchanged.
void ExpectStyle(const CHARFORMAT2A& piece, int nStyle, const CHARFORMAT2A& box)
{
    // Every property is the same over the whole piece.
    EXPECT_EQ(piece.dwMask & CFM_BOLD, static_cast<WIN_DWORD>(CFM_BOLD)) << "bold differs within the piece";
    EXPECT_EQ(piece.dwMask & CFM_COLOR, static_cast<WIN_DWORD>(CFM_COLOR)) << "colour differs within the piece";
    EXPECT_EQ(piece.dwMask & CFM_SIZE, static_cast<WIN_DWORD>(CFM_SIZE)) << "size differs within the piece";

    bool bBold = nStyle == STYLE_BOLD_12 || nStyle == STYLE_BOLD_RED;
    EXPECT_EQ(IsBold(piece), nStyle == STYLE_DEFAULT ? IsBold(box) : bBold) << "bold";
    if (nStyle == STYLE_BOLD_RED || nStyle == STYLE_RED_12 || nStyle == STYLE_GREY_15)
    {
        EXPECT_FALSE(IsAutoColour(piece)) << "colour";
        EXPECT_EQ(piece.crTextColor, nStyle == STYLE_GREY_15 ? COLOUR_GREY : COLOUR_RED) << "colour";
    }
    else
    {
        EXPECT_EQ(IsAutoColour(piece), IsAutoColour(box)) << "colour";
        if (!IsAutoColour(box))
        {
            EXPECT_EQ(piece.crTextColor, box.crTextColor) << "colour";
        }
    }
    LONG yExpected = nStyle == STYLE_DEFAULT ? box.yHeight : nStyle == STYLE_GREY_15 ? 300 : 240;
    EXPECT_EQ(piece.yHeight, yExpected) << "size in twips";
}

class LegacyPageText : public testing::TestWithParam<PAGE_TEXT_CASE>
{
protected:
    void SetUp() override { m_App.WriteFiles(); }
    CLegacyHarness m_App;
};

// ---- Esc and Enter ----

enum KEY_OUTCOME
{
    KEY_ASKS_CANCEL,         // the cancel question, over the page
    KEY_ASKS_ERASE,          // NEXT, the page's default button: the erase confirmation
    KEY_IGNORED,             // the page stays, nothing else opens
    KEY_ENDS_AS_IS,          // the program ends without the clean-up and without the sync software
    KEY_RUN_GOES_ON,         // the progress window stays until the update is done
    KEY_ASKS_START,          // UPDATE, the page's default button: the second confirmation
};

struct KEY_CASE
{
    const char* pszName;
    int nPage;
    WPARAM wKey;
    int nOutcome;
    bool bNoHandset = false;   // the handset never enters its downloader: UPDATE stays disabled
};

void PrintTo(const KEY_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

const KEY_CASE KEY_CASES[] = {
    {"FirstEsc", LEGACY_WINDOW_FIRST, VK_ESCAPE, KEY_ASKS_CANCEL},
    {"FirstEnter", LEGACY_WINDOW_FIRST, VK_RETURN, KEY_ASKS_ERASE},
    {"Step2Esc", LEGACY_WINDOW_STEP2, VK_ESCAPE, KEY_ASKS_CANCEL},
    {"Step3Esc", LEGACY_WINDOW_STEP3, VK_ESCAPE, KEY_ASKS_CANCEL},
    {"Step3Enter", LEGACY_WINDOW_STEP3, VK_RETURN, KEY_ASKS_START},
    {"Step3EnterWhileUpdateIsDisabled", LEGACY_WINDOW_STEP3, VK_RETURN, KEY_IGNORED, true},
    {"ProgressEsc", LEGACY_WINDOW_PROGRESS, VK_ESCAPE, KEY_RUN_GOES_ON},
    {"ProgressEnter", LEGACY_WINDOW_PROGRESS, VK_RETURN, KEY_RUN_GOES_ON},
    {"FinalEsc", LEGACY_WINDOW_FINAL, VK_ESCAPE, KEY_ENDS_AS_IS},
    {"TransferFailedEsc", LEGACY_WINDOW_TRANSFER_FAILED, VK_ESCAPE, KEY_IGNORED},
    {"AgentFailedEsc", LEGACY_WINDOW_AGENT_FAILED, VK_ESCAPE, KEY_IGNORED},
};

class LegacyPageKey : public testing::TestWithParam<KEY_CASE>
{
protected:
    void SetUp() override { m_App.WriteFiles(); }
    CLegacyHarness m_App;
};
}

// The page's title, its whole text in the order of the pieces, and each piece's
// bold, colour and size as the box holds them.
TEST_P(LegacyPageText, PiecesReadBackWithTheirStyles)
{
    HWND hPage = m_App.StartAt(GetParam().nPage);
    ASSERT_NE(hPage, nullptr);
    EXPECT_EQ(WindowText(hPage), LegacyWindowTitle(GetParam().nPage));
    HWND hRich = GetDlgItem(hPage, IDC_LEGACY_RICH_TEXT);
    ASSERT_NE(hRich, nullptr);

    std::string strExpected;
    for (const TEXT_PIECE& piece : GetParam().pieces)
        strExpected += LoadLegacyString(piece.nStringId);
    ASSERT_EQ(CLegacyHarness::PageText(hPage), strExpected);

    CHARFORMAT2A box = FormatOf(hRich, -1, -1);
    LONG nStart = 0;
    for (const TEXT_PIECE& piece : GetParam().pieces)
    {
        SCOPED_TRACE("string " + std::to_string(piece.nStringId));
        LONG nEnd = nStart + static_cast<LONG>(std::string(LoadLegacyString(piece.nStringId)).size());
        ExpectStyle(FormatOf(hRich, nStart, nEnd), piece.nStyle, box);
        nStart = nEnd;
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, LegacyPageText, testing::ValuesIn(PAGE_TEXTS),
                         [](const testing::TestParamInfo<PAGE_TEXT_CASE>& paramInfo) {
                             return paramInfo.param.pszName;
                         });

// The first page leaves the caret at the end of its text.
TEST(LegacyFirstPage, CaretAtTheEnd)
{
    CLegacyHarness app;
    app.WriteFiles();
    HWND hFirst = app.StartAtFirst();
    ASSERT_NE(hFirst, nullptr);
    CHARRANGE range = {};
    SendDlgItemMessageA(hFirst, IDC_LEGACY_RICH_TEXT, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    LONG nLength = static_cast<LONG>(CLegacyHarness::PageText(hFirst).size());
    EXPECT_EQ(range.cpMin, nLength);
    EXPECT_EQ(range.cpMax, nLength);
}

// Esc and Enter as the keyboard types them into the page.
TEST_P(LegacyPageKey, DoesWhatThePageSays)
{
    if (GetParam().nOutcome == KEY_RUN_GOES_ON)
    {
        // The handset takes its time to come back after phase 1, so the progress
        // window is up when the key comes.
        m_App.Desk().Handset().SetDelays(500, 1000, 40000);
    }
    if (GetParam().bNoHandset)
        m_App.Desk().RemoteApi().SetAgentStartHook(nullptr);
    HWND hPage = m_App.StartAt(GetParam().nPage);
    ASSERT_NE(hPage, nullptr);
    if (GetParam().nOutcome == KEY_ASKS_START)
    {
        ASSERT_TRUE(CLegacyHarness::WaitEnabled(hPage, IDC_LEGACY_UPDATE, true));
    }
    std::vector<std::string> filesBefore = m_App.TempFilesLeft();
    TypeKey(hPage, GetParam().wKey);

    switch (GetParam().nOutcome)
    {
    case KEY_ASKS_CANCEL:
    {
        HWND hQuestion = m_App.WaitForBox("- CANCEL UPDATE -");
        ASSERT_NE(hQuestion, nullptr);
        EXPECT_EQ(GetWindow(hQuestion, GW_OWNER), hPage);
        PressButton(hQuestion, IDNO);
        EXPECT_TRUE(StaysOpen(hPage, 200));
        break;
    }
    case KEY_ASKS_ERASE:
    {
        HWND hConfirm = m_App.WaitForBox("VUQ");
        ASSERT_NE(hConfirm, nullptr);
        PressButton(hConfirm, IDNO);
        EXPECT_TRUE(StaysOpen(hPage, 200));
        break;
    }
    case KEY_ASKS_START:
    {
        HWND hConfirm = m_App.WaitForBox("Warning");
        ASSERT_NE(hConfirm, nullptr);
        PressButton(hConfirm, IDNO);
        EXPECT_TRUE(StaysOpen(hPage, 200));
        break;
    }
    case KEY_IGNORED:
        EXPECT_TRUE(StaysOpen(hPage, 300));
        EXPECT_EQ(m_App.VisibleWindows().size(), 1u);
        break;
    case KEY_ENDS_AS_IS:
        EXPECT_TRUE(m_App.WaitForEnd());
        EXPECT_TRUE(m_App.VisibleWindows().empty());
        EXPECT_EQ(m_App.TempFilesLeft(), filesBefore) << "the clean-up ran";
        EXPECT_TRUE(m_App.SyncStarts().empty());
        break;
    case KEY_RUN_GOES_ON:
    {
        HWND hFinal = m_App.WaitFor(LEGACY_WINDOW_FINAL, nullptr, LEGACY_RUN_WAIT_MS);
        ASSERT_NE(hFinal, nullptr);
        // The final page came after the update, not after the key: the handset, slow
        // to come back, had only phase 1 when the key was typed.
        EXPECT_GE(m_App.Desk().Handset().FrameCount(), 3u);
        EXPECT_TRUE(m_App.WaitFor(LEGACY_WINDOW_TRANSFER_FAILED, nullptr, 0) == nullptr);
        break;
    }
    default:
        FAIL();
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, LegacyPageKey, testing::ValuesIn(KEY_CASES),
                         [](const testing::TestParamInfo<KEY_CASE>& paramInfo) { return paramInfo.param.pszName; });
