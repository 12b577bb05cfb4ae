// Styled pieces appended to a real rich-edit control ("RichEdit20A"), read back over
// selections: the bold, colour and size of each piece, the format restored after it,
// the caret moved to the end, and default pieces in the box's default format.
#include "ui/StyledText.h"

#include <gtest/gtest.h>

#include <string>

#include "support/win32/DialogWindows.h"

namespace
{
// A colour value of the box's own: with automatic colour on, it is what "colour
// unchanged" keeps; red or grey must turn the automatic colour off to show.
const COLORREF BOX_COLOUR = RGB(0x56, 0x34, 0x12);
const LONG BOX_SIZE = 200;

struct SHOWN_FORMAT
{
    bool bUniform = false;   // bold, colour and size the same over the whole range
    bool bBold = false;
    bool bAutoColour = false;
    COLORREF crColour = 0;
    LONG lSize = 0;
};

class StyledText : public testing::Test
{
protected:
    void SetUp() override
    {
        m_hRich = CreateLooseRichEdit();
        ASSERT_NE(m_hRich, nullptr);
        SetBoxFormat(false);
    }

    void TearDown() override
    {
        if (m_hRich != nullptr)
            DestroyWindow(m_hRich);
    }

    // The box's default format: automatic colour with a value of its own, 10 pt,
    // italic, bold as asked.
    void SetBoxFormat(bool bBold)
    {
        CHARFORMATA format = {};
        format.cbSize = sizeof(format);
        format.dwMask = CFM_BOLD | CFM_COLOR | CFM_SIZE | CFM_ITALIC;
        format.dwEffects = CFE_AUTOCOLOR | CFE_ITALIC | (bBold ? CFE_BOLD : 0);
        format.yHeight = BOX_SIZE;
        format.crTextColor = BOX_COLOUR;
        SendMessageA(m_hRich, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
        SendMessageA(m_hRich, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    }

    // The box's text, line breaks as "\n".
    std::string Text() { return RichEditText(m_hRich); }

    static SHOWN_FORMAT Shown(const CHARFORMATA& format)
    {
        SHOWN_FORMAT shown;
        const WIN_DWORD dwNeeded = CFM_BOLD | CFM_COLOR | CFM_SIZE;
        shown.bUniform = (format.dwMask & dwNeeded) == dwNeeded;
        shown.bBold = (format.dwEffects & CFE_BOLD) != 0;
        shown.bAutoColour = (format.dwEffects & CFE_AUTOCOLOR) != 0;
        shown.crColour = format.crTextColor;
        shown.lSize = format.yHeight;
        return shown;
    }

    // The format of the first occurrence of strPart (a text without line breaks).
    SHOWN_FORMAT At(const std::string& strPart)
    {
        size_t nPos = Text().find(strPart);
        EXPECT_NE(nPos, std::string::npos) << strPart;
        if (nPos == std::string::npos)
            return SHOWN_FORMAT();
        CHARRANGE range = {static_cast<WIN_LONG>(nPos), static_cast<WIN_LONG>(nPos + strPart.size())};
        SendMessageA(m_hRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMATA format = {};
        format.cbSize = sizeof(format);
        SendMessageA(m_hRich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        SHOWN_FORMAT shown = Shown(format);
        EXPECT_TRUE(shown.bUniform) << "\"" << strPart << "\" is not of one format";
        return shown;
    }

    // The format at the insertion point, with the caret where it is.
    SHOWN_FORMAT Insertion()
    {
        CHARFORMATA format = {};
        format.cbSize = sizeof(format);
        SendMessageA(m_hRich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return Shown(format);
    }

    void CaretTo(WIN_LONG nPos)
    {
        CHARRANGE range = {nPos, nPos};
        SendMessageA(m_hRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    }

    // The box's own format, as a range shows it.
    static void ExpectBoxFormat(const SHOWN_FORMAT& shown, bool bBold, const char* pszWhat)
    {
        EXPECT_EQ(shown.bBold, bBold) << pszWhat;
        EXPECT_TRUE(shown.bAutoColour) << pszWhat;
        EXPECT_EQ(shown.crColour, BOX_COLOUR) << pszWhat;
        EXPECT_EQ(shown.lSize, BOX_SIZE) << pszWhat;
    }

    HWND m_hRich = nullptr;
};

// One styled piece between two default pieces.
struct PIECE_CASE
{
    const char* pszName;
    bool bBoxBold;          // the box's default format is bold
    BOOL bBold;
    COLORREF crColour;      // 0: unchanged
    LONG lSize;             // 0: unchanged
    bool bShownBold;
    bool bShownAutoColour;
    COLORREF crShown;
    LONG lShownSize;
};

const PIECE_CASE PIECE_CASES[] = {
    {"plain 12 pt", false, FALSE, 0, 240, false, true, BOX_COLOUR, 240},
    {"bold 12 pt", false, TRUE, 0, 240, true, true, BOX_COLOUR, 240},
    {"bold red", false, TRUE, 0x0000FF, 240, true, false, 0x0000FF, 240},
    {"red 12 pt", false, FALSE, 0x0000FF, 240, false, false, 0x0000FF, 240},
    {"grey 15 pt", false, FALSE, 0x646464, 300, false, false, 0x646464, 300},
    {"bold only: colour and size unchanged", false, TRUE, 0, 0, true, true, BOX_COLOUR, BOX_SIZE},
    {"not bold in a bold box: bold cleared", true, FALSE, 0, 240, false, true, BOX_COLOUR, 240},
    {"bold in a bold box", true, TRUE, 0x0000FF, 0, true, false, 0x0000FF, BOX_SIZE},
};

// The piece shows its own bold, colour and size; the default pieces before and after
// it, and the insertion point afterwards, keep the box's format.
TEST_F(StyledText, PieceHasItsFormatAndTheBoxFormatIsRestored)
{
    for (const PIECE_CASE& test : PIECE_CASES)
    {
        SCOPED_TRACE(test.pszName);
        SetWindowTextA(m_hRich, "");
        SetBoxFormat(test.bBoxBold);

        AppendDefaultText(m_hRich, "before ");
        AppendStyledText(m_hRich, test.bBold, test.crColour, test.lSize, "styled");
        SHOWN_FORMAT insertion = Insertion();
        AppendDefaultText(m_hRich, " after");

        EXPECT_EQ(Text(), "before styled after");
        SHOWN_FORMAT piece = At("styled");
        EXPECT_EQ(piece.bBold, test.bShownBold);
        EXPECT_EQ(piece.bAutoColour, test.bShownAutoColour);
        if (!test.bShownAutoColour)
        {
            EXPECT_EQ(piece.crColour, test.crShown);
        }
        EXPECT_EQ(piece.lSize, test.lShownSize);
        ExpectBoxFormat(insertion, test.bBoxBold, "insertion point after the piece");
        ExpectBoxFormat(At("before "), test.bBoxBold, "default piece before");
        ExpectBoxFormat(At(" after"), test.bBoxBold, "default piece after");
    }
}

// A styled piece goes to the end of the text wherever the caret was; a default piece
// goes where the caret is.
TEST_F(StyledText, StyledPieceGoesToTheEndDefaultPieceToTheCaret)
{
    AppendDefaultText(m_hRich, "first");
    CaretTo(0);
    AppendStyledText(m_hRich, TRUE, 0x0000FF, 240, " second");
    EXPECT_EQ(Text(), "first second");

    CaretTo(0);
    AppendDefaultText(m_hRich, ">");
    EXPECT_EQ(Text(), ">first second");
}

// The six styles of the pages, through the style table: each piece of a text built
// like a page's (styled and default pieces in turn, with line breaks) shows its style.
TEST_F(StyledText, StyleTableGivesThePagesStyles)
{
    struct STYLE_CASE
    {
        int nStyle;
        const char* pszText;
        bool bBold;
        bool bAutoColour;
        COLORREF crColour;
        LONG lSize;
    };
    const STYLE_CASE cases[] = {
        {TEXT_STYLE_PLAIN_12, "plain", false, true, BOX_COLOUR, 240},
        {TEXT_STYLE_DEFAULT, "default1", false, true, BOX_COLOUR, BOX_SIZE},
        {TEXT_STYLE_BOLD_12, "boldtwelve", true, true, BOX_COLOUR, 240},
        {TEXT_STYLE_BOLD_RED, "boldred", true, false, 0x0000FF, 240},
        {TEXT_STYLE_DEFAULT, "default2", false, true, BOX_COLOUR, BOX_SIZE},
        {TEXT_STYLE_RED_12, "redtwelve", false, false, 0x0000FF, 240},
        {TEXT_STYLE_GREY_15, "greyfifteen", false, false, 0x646464, 300},
        {TEXT_STYLE_DEFAULT, "default3", false, true, BOX_COLOUR, BOX_SIZE},
    };
    std::string strExpected;
    for (const STYLE_CASE& piece : cases)
    {
        std::string strPiece = std::string(piece.pszText) + "\n";
        AppendTextInStyle(m_hRich, piece.nStyle, strPiece.c_str());
        strExpected += strPiece;
    }
    EXPECT_EQ(Text(), strExpected);
    for (const STYLE_CASE& piece : cases)
    {
        SCOPED_TRACE(piece.pszText);
        SHOWN_FORMAT shown = At(piece.pszText);
        EXPECT_EQ(shown.bBold, piece.bBold);
        EXPECT_EQ(shown.bAutoColour, piece.bAutoColour);
        if (!piece.bAutoColour)
        {
            EXPECT_EQ(shown.crColour, piece.crColour);
        }
        EXPECT_EQ(shown.lSize, piece.lSize);
    }
}
}
