// The markup rendered into a real rich-edit control ("RichEdit20A"), read back
// character by character: the text shown, bold, colour, automatic colour and size
// of each range, and the format at the insertion point after a rendering.
#include "ui/RichText.h"

#include <gtest/gtest.h>

#include <string>

#include "res/Strings.h"
#include "support/win32/DialogWindows.h"

namespace
{
struct SHOWN_FORMAT
{
    bool bBold = false;
    bool bAutoColor = false;
    COLORREF crColor = 0;
    LONG lHeight = 0;
};

class RichText : public testing::Test
{
protected:
    void SetUp() override
    {
        m_hRich = CreateLooseRichEdit();
        ASSERT_NE(m_hRich, nullptr);
        // A known entry format: automatic colour with a colour value of its own
        // (so "value kept" differs from every colour word), not bold, 10 points.
        CHARFORMATA entry = {};
        entry.cbSize = sizeof(entry);
        entry.dwMask = CFM_BOLD | CFM_COLOR | CFM_SIZE | CFM_ITALIC;
        entry.dwEffects = CFE_AUTOCOLOR | CFE_ITALIC;
        entry.yHeight = 200;
        entry.crTextColor = RGB(0x56, 0x34, 0x12);
        SendMessageA(m_hRich, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&entry));
    }

    void TearDown() override
    {
        if (m_hRich != nullptr)
            DestroyWindow(m_hRich);
    }

    // The control's text, line breaks as "\n".
    std::string Text() { return RichEditText(m_hRich); }

    // The format of the characters from nFirst (a character index) to nEnd; false
    // when they differ in an attribute the markup sets.
    bool FormatOf(LONG nFirst, LONG nEnd, SHOWN_FORMAT* pFormat)
    {
        CHARRANGE range = {nFirst, nEnd};
        SendMessageA(m_hRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMATA format = {};
        format.cbSize = sizeof(format);
        SendMessageA(m_hRich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        pFormat->bBold = (format.dwEffects & CFE_BOLD) != 0;
        pFormat->bAutoColor = (format.dwEffects & CFE_AUTOCOLOR) != 0;
        pFormat->crColor = format.crTextColor;
        pFormat->lHeight = format.yHeight;
        const WIN_DWORD dwNeeded = CFM_BOLD | CFM_COLOR | CFM_SIZE;
        return (format.dwMask & dwNeeded) == dwNeeded;
    }

    // The format of the first occurrence of strPart in the text; the whole part
    // must have one format.
    SHOWN_FORMAT At(const std::string& strPart)
    {
        SHOWN_FORMAT format;
        size_t nPos = Text().find(strPart);
        EXPECT_NE(nPos, std::string::npos) << strPart;
        if (nPos == std::string::npos)
            return format;
        EXPECT_TRUE(FormatOf(static_cast<LONG>(nPos), static_cast<LONG>(nPos + strPart.size()), &format))
            << "\"" << strPart << "\" is not of one format";
        return format;
    }

    // The format at the insertion point (the end of the text).
    CHARFORMATA Insertion()
    {
        CHARRANGE range = {-1, -1};
        SendMessageA(m_hRich, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMATA format = {};
        format.cbSize = sizeof(format);
        SendMessageA(m_hRich, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format;
    }

    static void ExpectSameFormat(const CHARFORMATA& actual, const CHARFORMATA& expected)
    {
        EXPECT_EQ(actual.dwEffects & (CFE_BOLD | CFE_AUTOCOLOR | CFE_ITALIC),
                  expected.dwEffects & (CFE_BOLD | CFE_AUTOCOLOR | CFE_ITALIC));
        EXPECT_EQ(actual.yHeight, expected.yHeight);
        EXPECT_EQ(actual.crTextColor, expected.crTextColor);
    }

    HWND m_hRich = nullptr;
};

const COLORREF ENTRY_COLOUR = RGB(0x56, 0x34, 0x12);
const COLORREF ORANGE = RGB(240, 120, 50);
const COLORREF RED = RGB(255, 0, 0);
}

// A heading, body text and a highlighted warning: the tokens and the spaces they
// take are not shown, and each range has the attributes its tokens set.
TEST_F(RichText, HeadingBodyAndWarning)
{
    AppendRichText("/cblack /B /s240 Welcome\n/b /s180 Connect the device. /corange Do not unplug it.", m_hRich);

    EXPECT_EQ(Text(), "Welcome\nConnect the device. Do not unplug it.");
    SHOWN_FORMAT heading = At("Welcome");
    EXPECT_TRUE(heading.bBold);
    EXPECT_FALSE(heading.bAutoColor);
    EXPECT_EQ(heading.crColor, RGB(0, 0, 0));
    EXPECT_EQ(heading.lHeight, 240);
    SHOWN_FORMAT body = At("Connect the device. ");
    EXPECT_FALSE(body.bBold);
    EXPECT_EQ(body.crColor, RGB(0, 0, 0));
    EXPECT_EQ(body.lHeight, 180);
    SHOWN_FORMAT warning = At("Do not unplug it.");
    EXPECT_FALSE(warning.bBold);
    EXPECT_EQ(warning.crColor, ORANGE);
    EXPECT_EQ(warning.lHeight, 180);
}

// "/B" directly followed by a letter swallows that letter; the rest of the word is bold.
TEST_F(RichText, BoldSwallowsTheLetterAfterIt)
{
    AppendRichText("plain /Bxbold", m_hRich);

    EXPECT_EQ(Text(), "plain bold");
    EXPECT_FALSE(At("plain ").bBold);
    EXPECT_TRUE(At("bold").bBold);
}

// A colour word not in the table still clears automatic colour, keeps the previous
// colour value, and takes the word and its space with it.
TEST_F(RichText, UnknownColourWordKeepsTheColourValue)
{
    AppendRichText("/cpurple first /cred second /cmauve third", m_hRich);

    EXPECT_EQ(Text(), "first second third");
    SHOWN_FORMAT first = At("first ");
    EXPECT_FALSE(first.bAutoColor);
    EXPECT_EQ(first.crColor, ENTRY_COLOUR);
    EXPECT_EQ(At("second third").crColor, RED);
}

// Colour words match in any letter case.
TEST_F(RichText, ColourWordInCapitals)
{
    AppendRichText("/cred a /cBLACK b", m_hRich);

    EXPECT_EQ(Text(), "a b");
    EXPECT_EQ(At("a ").crColor, RED);
    EXPECT_EQ(At("b").crColor, RGB(0, 0, 0));
}

// "/s" with its number at the very end of the text, without a space: the number
// is no word, the height becomes 0, and the digits follow as text of that height.
TEST_F(RichText, SizeAtTheEnd)
{
    CHARFORMATA before = Insertion();
    AppendRichText("small /s240", m_hRich);
    CHARFORMATA after = Insertion();

    EXPECT_EQ(Text(), "small 240");
    EXPECT_EQ(At("small ").lHeight, 200);
    EXPECT_EQ(At("240").lHeight, 0);
    ExpectSameFormat(after, before);
}

// A colour word followed by a line break runs on to the next space: the break and
// the next word go with it, and the combined word is no colour.
TEST_F(RichText, ColourWordRunsOnOverALineBreak)
{
    AppendRichText("/cred a /corange\nWarning text", m_hRich);

    EXPECT_EQ(Text(), "a text");
    EXPECT_EQ(At("a ").crColor, RED);
    EXPECT_EQ(At("text").crColor, RED);
}

// A text without tokens is appended unchanged and leaves the insertion format as it was.
TEST_F(RichText, TextWithoutTokens)
{
    CHARFORMATA before = Insertion();
    AppendRichText("Plain text\nsecond line", m_hRich);

    EXPECT_EQ(Text(), "Plain text\nsecond line");
    SHOWN_FORMAT plain = At("Plain text\nsecond line");
    EXPECT_TRUE(plain.bAutoColor);
    EXPECT_EQ(plain.lHeight, 200);
    ExpectSameFormat(Insertion(), before);
}

// The entry format is set back after a rendering that changed every attribute.
TEST_F(RichText, EntryFormatRestored)
{
    CHARFORMATA before = Insertion();
    AppendRichText("/B /cred /s300 loud", m_hRich);

    EXPECT_EQ(Text(), "loud");
    ExpectSameFormat(Insertion(), before);
}

// Two renderings append one after the other; the second starts from the entry format.
TEST_F(RichText, TwoRenderingsAppend)
{
    AppendRichText("/B /cred first ", m_hRich);
    AppendRichText("second /s300 third", m_hRich);

    EXPECT_EQ(Text(), "first second third");
    SHOWN_FORMAT first = At("first ");
    EXPECT_TRUE(first.bBold);
    EXPECT_EQ(first.crColor, RED);
    SHOWN_FORMAT second = At("second ");
    EXPECT_FALSE(second.bBold);
    EXPECT_TRUE(second.bAutoColor);
    EXPECT_EQ(second.lHeight, 200);
    EXPECT_EQ(At("third").lHeight, 300);
}

// A slash that begins no token is shown as text, also at the very end; the
// renderer neither stops nor repeats on it.
TEST_F(RichText, StraySlashesAreText)
{
    AppendRichText("1.20/x WWE a// /Bc/", m_hRich);

    EXPECT_EQ(Text(), "1.20/x WWE a// /");
    EXPECT_FALSE(At("1.20/x WWE a// ").bBold);
    SHOWN_FORMAT last;
    ASSERT_TRUE(FormatOf(15, 16, &last));
    EXPECT_TRUE(last.bBold);
}

// A page text from the string table, by its resource id.
TEST_F(RichText, ResourceText)
{
    AppendRichTextResource(IDS_WELCOME_TEXT, m_hRich);

    std::string strText = Text();
    EXPECT_EQ(strText.rfind("Welcome to the Device Software Update\nUtility.\n\nThis program", 0), 0u) << strText;
    EXPECT_EQ(strText.find('/'), std::string::npos);
    SHOWN_FORMAT heading = At("Welcome to the Device Software Update");
    EXPECT_TRUE(heading.bBold);
    EXPECT_EQ(heading.lHeight, 240);
    SHOWN_FORMAT body = At("This program will take you");
    EXPECT_FALSE(body.bBold);
    EXPECT_EQ(body.lHeight, 180);
    EXPECT_EQ(body.crColor, RGB(0, 0, 0));
}

// A resource id without a string renders nothing.
TEST_F(RichText, MissingResourceRendersNothing)
{
    AppendRichText("kept", m_hRich);
    AppendRichTextResource(9999, m_hRich);

    EXPECT_EQ(Text(), "kept");
}

// A text taller than the control (by half here) is zoomed down until its last line lies inside the
// control; one that fits is left as it is. The formats are not changed.
TEST_F(RichText, FitToControl)
{
    AppendRichText("/s240 short", m_hRich);
    EXPECT_EQ(FitRichTextToControl(m_hRich), 100);

    std::string strLong = "/s240 ";
    for (int nLine = 0; nLine < 20; ++nLine)
        strLong += "line " + std::to_string(nLine) + "\n";
    strLong += "last";
    AppendRichText(strLong.c_str(), m_hRich);
    int nZoom = FitRichTextToControl(m_hRich);
    EXPECT_LT(nZoom, 100);
    EXPECT_GT(nZoom, 0);

    RECT rcFormat;
    SendMessageA(m_hRich, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rcFormat));
    std::string strText = Text();
    POINTL ptLast = {};
    SendMessageA(m_hRich, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&ptLast), static_cast<LPARAM>(strText.size() - 1));
    EXPECT_LT(ptLast.y, rcFormat.bottom) << "the last line starts below the control";
    EXPECT_EQ(At("last").lHeight, 240);
}
