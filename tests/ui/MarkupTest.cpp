// The slash-token markup of the page texts: the steps a rich-edit renderer
// performs for a text (segments, working formats, the entry format restored), the
// characters each token swallows, stray slashes, and what a control shows after
// one or two renderings.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "res/Strings.h"
#include "ui/markup/Markup.h"

namespace
{
constexpr DWORD MARKUP_MASKS = MARKUP_MASK_BOLD | MARKUP_MASK_COLOR | MARKUP_MASK_SIZE;
constexpr DWORD MARKUP_EFFECTS = MARKUP_EFFECT_BOLD | MARKUP_EFFECT_AUTOCOLOR;
constexpr DWORD MASK_ITALIC = 0x00000002u;   // attributes the markup never names
constexpr DWORD MASK_FACE = 0x20000000u;
constexpr DWORD EFFECT_ITALIC = 0x00000002u;

// The control's format at the insertion point: automatic colour with a colour value
// of its own (so "value kept" differs from every colour word), italic, 10 points.
MARKUP_FORMAT EntryFormat()
{
    MARKUP_FORMAT entry;
    entry.dwMask = MARKUP_MASKS | MASK_ITALIC | MASK_FACE;
    entry.dwEffects = MARKUP_EFFECT_AUTOCOLOR | EFFECT_ITALIC;
    entry.lHeight = 200;
    entry.crTextColor = 0x00123456;
    return entry;
}

// Parses a copy of the text in a buffer of exactly its size, so that a read past
// the terminator is caught by AddressSanitizer.
std::vector<MARKUP_STEP> Parse(const char* pszText, const MARKUP_FORMAT& entry,
                               MARKUP_LEAD_BYTE_FN pfnIsLeadByte = nullptr)
{
    std::vector<MARKUP_STEP> steps;
    if (pszText == nullptr)
    {
        ParseMarkup(nullptr, entry, &steps, pfnIsLeadByte);
        return steps;
    }
    const size_t nLen = std::strlen(pszText);
    std::unique_ptr<char[]> pCopy(new char[nLen + 1]);
    std::memcpy(pCopy.get(), pszText, nLen + 1);
    ParseMarkup(pCopy.get(), entry, &steps, pfnIsLeadByte);
    return steps;
}

std::string DescribeText(const std::string& strText)
{
    std::string str = "\"";
    for (char cChar : strText)
    {
        if (cChar == '\n')
            str += "\\n";
        else if (cChar == '\\')
            str += "\\\\";
        else if (static_cast<unsigned char>(cChar) < 0x20 || static_cast<unsigned char>(cChar) >= 0x7F)
        {
            char szHex[8];
            std::snprintf(szHex, sizeof(szHex), "\\x%02X", static_cast<unsigned char>(cChar));
            str += szHex;
        }
        else
            str += cChar;
    }
    return str + "\"";
}

// Only the attributes the mask names: B or b for bold, c= the colour value
// (0xBBGGRR, "+auto" if automatic colour was left on), s= the height; any other
// mask bit as mask+XXXXXXXX.
std::string DescribeFormat(const MARKUP_FORMAT& format)
{
    std::vector<std::string> parts;
    char szPart[40];
    if (format.dwMask & MARKUP_MASK_BOLD)
        parts.push_back((format.dwEffects & MARKUP_EFFECT_BOLD) ? "B" : "b");
    if (format.dwMask & MARKUP_MASK_COLOR)
    {
        std::snprintf(szPart, sizeof(szPart), "c=%06X%s", static_cast<unsigned>(format.crTextColor),
                      (format.dwEffects & MARKUP_EFFECT_AUTOCOLOR) ? "+auto" : "");
        parts.push_back(szPart);
    }
    if (format.dwMask & MARKUP_MASK_SIZE)
        parts.push_back("s=" + std::to_string(format.lHeight));
    if (format.dwMask & ~MARKUP_MASKS)
    {
        std::snprintf(szPart, sizeof(szPart), "mask+%08X", static_cast<unsigned>(format.dwMask & ~MARKUP_MASKS));
        parts.push_back(szPart);
    }
    std::string str = "{";
    for (size_t nIndex = 0; nIndex < parts.size(); ++nIndex)
        str += (nIndex == 0 ? "" : " ") + parts[nIndex];
    return str + "}";
}

std::string Describe(const std::vector<MARKUP_STEP>& steps)
{
    std::string str;
    for (const MARKUP_STEP& step : steps)
    {
        if (!str.empty())
            str += ' ';
        if (step.nKind == MARKUP_APPEND_TEXT)
            str += DescribeText(step.strText);
        else if (step.nKind == MARKUP_SET_FORMAT)
            str += DescribeFormat(step.format);
        else
            str += "{entry}";
    }
    return str;
}

bool SameFormat(const MARKUP_FORMAT& a, const MARKUP_FORMAT& b)
{
    return a.dwMask == b.dwMask && a.dwEffects == b.dwEffects && a.lHeight == b.lHeight &&
           a.crTextColor == b.crTextColor;
}

// What holds for every rendering: append and set-format steps alternate, the last
// step restores the whole entry format, the working mask only grows and names only
// the markup's attributes, and effects the markup does not touch stay as entered.
void CheckShape(const std::vector<MARKUP_STEP>& steps, const MARKUP_FORMAT& entry)
{
    ASSERT_GE(steps.size(), 2u);
    ASSERT_EQ(steps.size() % 2, 0u);
    DWORD dwMask = 0;
    for (size_t nIndex = 0; nIndex + 1 < steps.size(); nIndex += 2)
    {
        EXPECT_EQ(steps[nIndex].nKind, MARKUP_APPEND_TEXT) << "step " << nIndex;
        if (nIndex + 2 == steps.size())
            break;
        const MARKUP_STEP& set = steps[nIndex + 1];
        EXPECT_EQ(set.nKind, MARKUP_SET_FORMAT) << "step " << nIndex + 1;
        EXPECT_EQ(set.format.dwMask & dwMask, dwMask) << "the mask lost a bit at step " << nIndex + 1;
        EXPECT_EQ(set.format.dwMask & ~MARKUP_MASKS, 0u);
        EXPECT_EQ(set.format.dwEffects & ~MARKUP_EFFECTS, entry.dwEffects & ~MARKUP_EFFECTS);
        dwMask = set.format.dwMask;
    }
    EXPECT_EQ(steps.back().nKind, MARKUP_RESTORE_FORMAT);
    EXPECT_TRUE(SameFormat(steps.back().format, entry));
}

struct MARKUP_CASE
{
    const char* pszName;
    const char* pszText;
    const char* pszSteps;
};

const MARKUP_CASE MARKUP_CASES[] = {
    // Texts without tokens: appended unchanged, then the entry format is set back.
    {"NoSlash", "Plain text\nsecond line", R"("Plain text\nsecond line" {entry})"},
    {"Empty", "", R"("" {entry})"},
    {"NullText", nullptr, R"("" {entry})"},

    // The openings the page texts use.
    {"HeadingOpening", "/cblack /B /s240 Welcome", R"("" {c=000000} "" {B c=000000} "" {B c=000000 s=240} "Welcome" {entry})"},
    {"BodyOpening", "/b /s180 Body", R"("" {b} "" {b s=180} "Body" {entry})"},
    {"WarningHighlight", "Note: /corange Do not unplug", R"("Note: " {c=3278F0} "Do not unplug" {entry})"},
    {"LargerBody", "/s220 Text", R"("" {s=220} "Text" {entry})"},
    {"HeadingThenBody", "/cblack /B /s240 Title\n/b /s180 Body",
     R"("" {c=000000} "" {B c=000000} "" {B c=000000 s=240} "Title\n" {b c=000000 s=240} "" {b c=000000 s=180} "Body" {entry})"},

    // Bold swallows exactly one character after its letter, whatever it is.
    {"BoldSwallowsLetter", "/Bword", R"("" {B} "ord" {entry})"},
    {"BoldOffSwallowsLetter", "a/bxy", R"("a" {b} "y" {entry})"},
    {"BoldSwallowsLineBreak", "a/B\nb", R"("a" {B} "b" {entry})"},
    {"BoldSwallowsSlash", "/B/b x", R"("" {B} "b x" {entry})"},
    {"BoldAtEnd", "x/B", R"("x" {B} "" {entry})"},
    {"BoldOffAtEnd", "x/b", R"("x" {b} "" {entry})"},
    {"BoldThenOneCharacter", "x/B!", R"("x" {B} "" {entry})"},

    // Colour words, in any letter case, with either token letter.
    {"Black", "/cblack x", R"("" {c=000000} "x" {entry})"},
    {"Blue", "/cblue x", R"("" {c=FF0000} "x" {entry})"},
    {"Orange", "/corange x", R"("" {c=3278F0} "x" {entry})"},
    {"Red", "/cred x", R"("" {c=0000FF} "x" {entry})"},
    {"CapitalToken", "/Cblue x", R"("" {c=FF0000} "x" {entry})"},
    {"BlackInCapitals", "/cBLACK x", R"("" {c=000000} "x" {entry})"},
    {"MixedCase", "/COrAnGe x", R"("" {c=3278F0} "x" {entry})"},
    // A word not in the table: the mask is set and automatic colour cleared, the
    // value stays (the entry's, or the last word's), and the word and its space go.
    {"UnknownColour", "/cpurple x", R"("" {c=123456} "x" {entry})"},
    {"UnknownKeepsLastColour", "/cred a/cpurple b", R"("" {c=0000FF} "a" {c=0000FF} "b" {entry})"},
    {"PrefixOfWord", "/cbl x", R"("" {c=123456} "x" {entry})"},
    {"WordWithTail", "/credish x", R"("" {c=123456} "x" {entry})"},
    {"EmptyWord", "/c x", R"("" {c=123456} "x" {entry})"},
    // The word ends only at a space: a line break runs on into the next word.
    {"ColourRunsOnOverLineBreak", "/cred\nWarning text", R"("" {c=123456} "text" {entry})"},
    {"ColourWordSwallowsToken", "/cred/B x", R"("" {c=123456} "x" {entry})"},
    // No space left: the word is empty and only the token's two characters go.
    {"ColourWithoutSpace", "x/cred", R"("x" {c=123456} "red" {entry})"},
    {"ColourAtEnd", "x/c", R"("x" {c=123456} "" {entry})"},

    // Size: the leading digits of the word, none gives 0.
    {"Size", "/s240 x", R"("" {s=240} "x" {entry})"},
    {"SizeLeadingDigits", "/s12pt x", R"("" {s=12} "x" {entry})"},
    {"SizeNoDigits", "/sbig x", R"("" {s=0} "x" {entry})"},
    {"SizeSignIsNoDigit", "/s-5 x", R"("" {s=0} "x" {entry})"},
    {"SizeEmptyWord", "/s x", R"("" {s=0} "x" {entry})"},
    {"SizeLeadingZeros", "/s00000000000000000000240 x", R"("" {s=240} "x" {entry})"},
    {"SizeLargest", "/s2147483647 x", R"("" {s=2147483647} "x" {entry})"},
    {"SizeOverflowSaturates", "/s2147483648 x", R"("" {s=2147483647} "x" {entry})"},
    {"SizeHugeSaturates", "/s99999999999999999999999999 x", R"("" {s=2147483647} "x" {entry})"},
    {"SizeRunsOnOverLineBreak", "/s240\n300 x", R"("" {s=240} "x" {entry})"},
    // No space after the number: height 0, the digits stay as text.
    {"SizeWithoutSpace", "x/s240", R"("x" {s=0} "240" {entry})"},
    {"SizeAtEnd", "x/s", R"("x" {s=0} "" {entry})"},

    // The mask only grows: an attribute set once stays with its latest value.
    {"MaskGrows", "/B a/s100 b/b c/cblue d",
     R"("" {B} "a" {B s=100} "b" {b s=100} "c" {b c=FF0000 s=100} "d" {entry})"},

    // A slash that begins no token is ordinary text.
    {"OtherLetter", "a/x b", R"("a/x b" {entry})"},
    {"CapitalSIsNoToken", "/S200 x", R"("/S200 x" {entry})"},
    {"SlashAtEnd", "a/", R"("a/" {entry})"},
    {"SlashOnly", "/", R"("/" {entry})"},
    {"TwoSlashes", "//", R"("//" {entry})"},
    {"SlashBeforeToken", "//b", R"("/" {b} "" {entry})"},
    {"StrayThenToken", "/x/B y", R"("/x" {B} "y" {entry})"},
    {"Path", "C:/temp/Vantor 1.2", R"("C:/temp/Vantor 1.2" {entry})"},
    {"SlashSpace", "a / b", R"("a / b" {entry})"},
    // A filled-in value that happens to hold a token is read as one.
    {"TokenInsideValue", "Ver 1.0/beta", R"("Ver 1.0" {b} "ta" {entry})"},
};

void PrintTo(const MARKUP_CASE& markupCase, std::ostream* pStream)
{
    *pStream << markupCase.pszName;
}

class MarkupCase : public testing::TestWithParam<MARKUP_CASE>
{
};

TEST_P(MarkupCase, Steps)
{
    const MARKUP_FORMAT entry = EntryFormat();
    const std::vector<MARKUP_STEP> steps = Parse(GetParam().pszText, entry);
    EXPECT_EQ(Describe(steps), GetParam().pszSteps);
    CheckShape(steps, entry);
}

INSTANTIATE_TEST_SUITE_P(Markup, MarkupCase, testing::ValuesIn(MARKUP_CASES),
                         [](const testing::TestParamInfo<MARKUP_CASE>& caseInfo) { return caseInfo.param.pszName; });

// Working formats are copies of the entry: bits of the mask and the effects the
// markup does not name are cleared from the mask but kept in the effects, and the
// unnamed height and colour keep the entry's values.
TEST(Markup, WorkingFormatStartsFromEntry)
{
    const MARKUP_FORMAT entry = EntryFormat();
    const std::vector<MARKUP_STEP> steps = Parse("/B x", entry);
    ASSERT_EQ(steps.size(), 4u);
    const MARKUP_FORMAT& working = steps[1].format;
    EXPECT_EQ(working.dwMask, MARKUP_MASK_BOLD);
    EXPECT_EQ(working.dwEffects, MARKUP_EFFECT_BOLD | MARKUP_EFFECT_AUTOCOLOR | EFFECT_ITALIC);
    EXPECT_EQ(working.lHeight, entry.lHeight);
    EXPECT_EQ(working.crTextColor, entry.crTextColor);
}

// The result replaces what the list held, and nothing carries over from one call
// to the next.
TEST(Markup, ParseReplacesSteps)
{
    const MARKUP_FORMAT entry = EntryFormat();
    std::vector<MARKUP_STEP> steps;
    ParseMarkup("/B /cred /s300 first", entry, &steps);
    ParseMarkup("second/s100 x", entry, &steps);
    EXPECT_EQ(Describe(steps), R"("second" {s=100} "x" {entry})");
}

// Shift-JIS lead bytes.
bool IsShiftJisLeadByte(BYTE bByte)
{
    return (bByte >= 0x81 && bByte <= 0x9F) || (bByte >= 0xE0 && bByte <= 0xFC);
}

struct DBCS_CASE
{
    const char* pszName;
    const char* pszText;
    const char* pszBytes;       // steps with every byte a character
    const char* pszShiftJis;    // steps with Shift-JIS lead bytes
};

const DBCS_CASE DBCS_CASES[] = {
    // Bold swallows the whole double-byte character, not half of it.
    {"BoldBeforeDoubleByte", "/B\x82\xA0x", R"("" {B} "\xA0x" {entry})", R"("" {B} "x" {entry})"},
    // A lead byte cut off by the end of the text: only that byte goes.
    {"BoldBeforeCutLeadByte", "/B\x82", R"("" {B} "" {entry})", R"("" {B} "" {entry})"},
    // A trail byte that is a letter or a backslash does not start a token.
    {"TrailBytesAreText", "\x83\x5C\x82\x62/B x", R"("\x83\\\x82b" {B} "x" {entry})",
     R"("\x83\\\x82b" {B} "x" {entry})"},
    {"DoubleByteWord", "/c\x82\xA0 x", R"("" {c=123456} "x" {entry})", R"("" {c=123456} "x" {entry})"},
};

void PrintTo(const DBCS_CASE& dbcsCase, std::ostream* pStream)
{
    *pStream << dbcsCase.pszName;
}

class MarkupDbcsCase : public testing::TestWithParam<DBCS_CASE>
{
};

TEST_P(MarkupDbcsCase, Steps)
{
    const MARKUP_FORMAT entry = EntryFormat();
    EXPECT_EQ(Describe(Parse(GetParam().pszText, entry)), GetParam().pszBytes);
    const std::vector<MARKUP_STEP> steps = Parse(GetParam().pszText, entry, IsShiftJisLeadByte);
    EXPECT_EQ(Describe(steps), GetParam().pszShiftJis);
    CheckShape(steps, entry);
}

INSTANTIATE_TEST_SUITE_P(Markup, MarkupDbcsCase, testing::ValuesIn(DBCS_CASES),
                         [](const testing::TestParamInfo<DBCS_CASE>& caseInfo) { return caseInfo.param.pszName; });

// A control as the renderer drives it: its text with each character's format,
// and the insertion point's format. Setting a format copies the attributes its
// mask names; appending gives the new characters the insertion format.
class CModelRichEdit
{
public:
    struct SHOWN
    {
        bool bBold;
        bool bAutoColor;
        DWORD crColor;
        LONG lHeight;

        // Field by field: the record has padding, whose bytes mean nothing.
        bool operator==(const SHOWN& other) const
        {
            return bBold == other.bBold && bAutoColor == other.bAutoColor && crColor == other.crColor &&
                   lHeight == other.lHeight;
        }
    };

    explicit CModelRichEdit(const MARKUP_FORMAT& insertion) : m_Insertion(insertion) {}

    void Render(const char* pszText)
    {
        std::vector<MARKUP_STEP> steps;
        ParseMarkup(pszText, m_Insertion, &steps);
        for (const MARKUP_STEP& step : steps)
        {
            if (step.nKind == MARKUP_APPEND_TEXT)
            {
                m_strText += step.strText;
                m_Shown.insert(m_Shown.end(), step.strText.size(), Shown(m_Insertion));
            }
            else if (step.nKind == MARKUP_SET_FORMAT)
                Apply(step.format);
            else
                m_Insertion = step.format;
        }
    }

    const std::string& Text() const { return m_strText; }
    const MARKUP_FORMAT& Insertion() const { return m_Insertion; }
    // The format of the first character of the first occurrence of pszPart.
    SHOWN At(const char* pszPart) const
    {
        const size_t nPos = m_strText.find(pszPart);
        EXPECT_NE(nPos, std::string::npos) << pszPart;
        return nPos == std::string::npos ? SHOWN{} : m_Shown[nPos];
    }
    // True when every character of the first occurrence of pszPart looks the same.
    bool Uniform(const char* pszPart) const
    {
        const size_t nPos = m_strText.find(pszPart);
        if (nPos == std::string::npos)
            return false;
        for (size_t nIndex = nPos; nIndex < nPos + std::strlen(pszPart); ++nIndex)
            if (!(m_Shown[nIndex] == m_Shown[nPos]))
                return false;
        return true;
    }

private:
    static SHOWN Shown(const MARKUP_FORMAT& format)
    {
        return SHOWN{(format.dwEffects & MARKUP_EFFECT_BOLD) != 0, (format.dwEffects & MARKUP_EFFECT_AUTOCOLOR) != 0,
                     format.crTextColor, format.lHeight};
    }

    void Apply(const MARKUP_FORMAT& format)
    {
        if (format.dwMask & MARKUP_MASK_BOLD)
            m_Insertion.dwEffects = (m_Insertion.dwEffects & ~MARKUP_EFFECT_BOLD) | (format.dwEffects & MARKUP_EFFECT_BOLD);
        if (format.dwMask & MARKUP_MASK_COLOR)
        {
            m_Insertion.dwEffects = (m_Insertion.dwEffects & ~MARKUP_EFFECT_AUTOCOLOR) |
                                    (format.dwEffects & MARKUP_EFFECT_AUTOCOLOR);
            m_Insertion.crTextColor = format.crTextColor;
        }
        if (format.dwMask & MARKUP_MASK_SIZE)
            m_Insertion.lHeight = format.lHeight;
    }

    std::string m_strText;
    std::vector<SHOWN> m_Shown;
    MARKUP_FORMAT m_Insertion;
};

TEST(MarkupRendering, PageTextShowsHeadingBodyAndWarning)
{
    CModelRichEdit control(EntryFormat());
    control.Render("/cblack /B /s240 Welcome\n/b /s180 Connect the device. /corange Do not unplug it.\n");

    EXPECT_EQ(control.Text(), "Welcome\nConnect the device. Do not unplug it.\n");
    ASSERT_TRUE(control.Uniform("Welcome\n"));
    EXPECT_TRUE(control.At("Welcome").bBold);
    EXPECT_FALSE(control.At("Welcome").bAutoColor);
    EXPECT_EQ(control.At("Welcome").crColor, 0x000000u);
    EXPECT_EQ(control.At("Welcome").lHeight, 240);
    ASSERT_TRUE(control.Uniform("Connect the device. "));
    EXPECT_FALSE(control.At("Connect").bBold);
    EXPECT_EQ(control.At("Connect").crColor, 0x000000u);
    EXPECT_EQ(control.At("Connect").lHeight, 180);
    ASSERT_TRUE(control.Uniform("Do not unplug it.\n"));
    EXPECT_FALSE(control.At("Do not").bBold);
    EXPECT_EQ(control.At("Do not").crColor, 0x3278F0u);
    EXPECT_EQ(control.At("Do not").lHeight, 180);
    EXPECT_TRUE(SameFormat(control.Insertion(), EntryFormat()));
}

// The progress window's text from the string table: black body text, and the
// closing warning in orange; the tokens and their spaces are not shown.
TEST(MarkupRendering, ProgressTextFromStringTable)
{
    CModelRichEdit control(EntryFormat());
    control.Render(LoadVuqString(IDS_PROGRESS_TEXT));

    EXPECT_EQ(control.Text().find('/'), std::string::npos);
    EXPECT_EQ(control.Text().rfind("The current software is now being updated", 0), 0u);
    const size_t nWarning = control.Text().find("Remember, please do not disconnect");
    ASSERT_NE(nWarning, std::string::npos);
    EXPECT_EQ(control.Text().substr(nWarning - 4, 4), "\n\n\n\n");
    ASSERT_TRUE(control.Uniform("The current software"));
    EXPECT_FALSE(control.At("The current").bAutoColor);
    EXPECT_EQ(control.At("The current").crColor, 0x000000u);
    EXPECT_EQ(control.At("Totally").crColor, 0x000000u);
    EXPECT_EQ(control.At("Remember").crColor, 0x3278F0u);
    EXPECT_EQ(control.At("completed.").crColor, 0x3278F0u);
    EXPECT_EQ(control.At("Remember").lHeight, 200);
    EXPECT_TRUE(SameFormat(control.Insertion(), EntryFormat()));
}

// Two renderings append one after the other; the second starts from the entry
// format again, so nothing the first one set leaks into it.
TEST(MarkupRendering, TwoRenderingsAppend)
{
    CModelRichEdit control(EntryFormat());
    control.Render("/B /cred first ");
    control.Render("second /s300 third");

    EXPECT_EQ(control.Text(), "first second third");
    EXPECT_TRUE(control.At("first").bBold);
    EXPECT_EQ(control.At("first").crColor, 0x0000FFu);
    const CModelRichEdit::SHOWN second = control.At("second");
    EXPECT_FALSE(second.bBold);
    EXPECT_TRUE(second.bAutoColor);
    EXPECT_EQ(second.crColor, 0x123456u);
    EXPECT_EQ(second.lHeight, 200);
    EXPECT_FALSE(control.At("third").bBold);
    EXPECT_TRUE(control.At("third").bAutoColor);
    EXPECT_EQ(control.At("third").lHeight, 300);
    EXPECT_TRUE(SameFormat(control.Insertion(), EntryFormat()));
}

TEST(MarkupRendering, TextWithoutSlashKeepsFormat)
{
    CModelRichEdit control(EntryFormat());
    control.Render("Line one\nLine two");
    EXPECT_EQ(control.Text(), "Line one\nLine two");
    EXPECT_TRUE(control.Uniform("Line one\nLine two"));
    EXPECT_FALSE(control.At("Line").bBold);
    EXPECT_TRUE(control.At("Line").bAutoColor);
    EXPECT_EQ(control.At("Line").lHeight, 200);
    EXPECT_TRUE(SameFormat(control.Insertion(), EntryFormat()));
}
}
