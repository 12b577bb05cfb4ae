// Fuzzes the page-text markup parser ParseMarkup. The input after its first byte is
// the text, up to its first zero byte, in a buffer of exactly that size so a read
// past the terminator is caught. Bit 0 of the first byte makes every byte from 0x81
// to 0xFE a lead byte of a two-byte character (as in the GBK code page).
//
// The steps are walked along the text, and the run stops with abort() unless:
//  - the steps are append and set-format in turn, ending with the entry format;
//  - each appended segment is the text at that place, with no slash in it that
//    begins a token (a stray slash stays text);
//  - each set-format step follows a token at that place, and the characters
//    skipped are exactly the ones the token consumes: "/B" and "/b" one character
//    more (two bytes for a lead byte, none at the end), "/c", "/C" and "/s" up to
//    and including the next space, or only the token when no space follows;
//  - each working format is the one before with its token applied: bold on or off,
//    the colour of a colour word (any letter case; another word keeps the value),
//    the leading digits as the height (held at the largest height), the mask bit
//    added;
//  - the walk ends exactly at the end of the text.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "ui/markup/Markup.h"

namespace
{
constexpr BYTE MODE_DOUBLE_BYTE = 0x01;

struct COLOR_WORD
{
    const char* pszWord;
    DWORD crColor;
};
const COLOR_WORD COLOR_WORDS[] = {{"black", 0x000000}, {"blue", 0xFF0000}, {"orange", 0x3278F0}, {"red", 0x0000FF}};

bool IsGbkLeadByte(BYTE bByte)
{
    return bByte >= 0x81 && bByte <= 0xFE;
}

bool IsTokenLetter(char cChar)
{
    return cChar == 'B' || cChar == 'b' || cChar == 'c' || cChar == 'C' || cChar == 's';
}

void Check(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

bool SameFormat(const MARKUP_FORMAT& a, const MARKUP_FORMAT& b)
{
    return a.dwMask == b.dwMask && a.dwEffects == b.dwEffects && a.lHeight == b.lHeight &&
           a.crTextColor == b.crTextColor;
}

// The characters the token at nPos consumes.
size_t TokenLength(const char* pszText, size_t nLen, size_t nPos, bool bDoubleByte)
{
    const char cLetter = pszText[nPos + 1];
    const size_t nAfter = nPos + 2;
    if (cLetter == 'B' || cLetter == 'b')
    {
        if (nAfter >= nLen)
            return 2;
        const bool bLead = bDoubleByte && IsGbkLeadByte(static_cast<BYTE>(pszText[nAfter])) && nAfter + 1 < nLen;
        return bLead ? 4 : 3;
    }
    const void* pSpace = std::memchr(pszText + nAfter, ' ', nLen - nAfter);
    if (pSpace == nullptr)
        return 2;
    return static_cast<size_t>(static_cast<const char*>(pSpace) - pszText) + 1 - nPos;
}

// The colour a word names (compared without regard to ASCII case), if any.
bool ColorOfWord(const char* pWord, size_t nLen, DWORD* pcrColor)
{
    for (const COLOR_WORD& color : COLOR_WORDS)
    {
        bool bSame = std::strlen(color.pszWord) == nLen;
        for (size_t nAt = 0; bSame && nAt < nLen; ++nAt)
            bSame = std::tolower(static_cast<unsigned char>(pWord[nAt])) == color.pszWord[nAt];
        if (bSame)
        {
            *pcrColor = color.crColor;
            return true;
        }
    }
    return false;
}

// The leading digits of a word, the value held at the largest height.
LONG HeightOfWord(const char* pWord, size_t nLen)
{
    uint64_t qwHeight = 0;
    for (size_t nAt = 0; nAt < nLen && pWord[nAt] >= '0' && pWord[nAt] <= '9'; ++nAt)
    {
        qwHeight = qwHeight * 10 + static_cast<uint64_t>(pWord[nAt] - '0');
        if (qwHeight > static_cast<uint64_t>(MARKUP_HEIGHT_MAX))
            qwHeight = MARKUP_HEIGHT_MAX;
    }
    return static_cast<LONG>(qwHeight);
}

// The working format after the token of nTokenLen characters at pToken.
MARKUP_FORMAT ExpectedFormat(const char* pToken, size_t nTokenLen, const MARKUP_FORMAT& before)
{
    MARKUP_FORMAT expected = before;
    const char cLetter = pToken[1];
    if (cLetter == 'B' || cLetter == 'b')
    {
        expected.dwMask |= MARKUP_MASK_BOLD;
        expected.dwEffects = cLetter == 'B' ? (before.dwEffects | MARKUP_EFFECT_BOLD)
                                            : (before.dwEffects & ~MARKUP_EFFECT_BOLD);
        return expected;
    }
    // The word lies between the token's letter and its closing space.
    const char* pWord = pToken + 2;
    const size_t nWordLen = nTokenLen > 2 ? nTokenLen - 3 : 0;
    if (cLetter == 's')
    {
        expected.dwMask |= MARKUP_MASK_SIZE;
        expected.lHeight = HeightOfWord(pWord, nWordLen);
        return expected;
    }
    expected.dwMask |= MARKUP_MASK_COLOR;
    expected.dwEffects &= ~MARKUP_EFFECT_AUTOCOLOR;
    DWORD crColor = 0;
    if (ColorOfWord(pWord, nWordLen, &crColor))
        expected.crTextColor = crColor;
    return expected;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    const bool bDoubleByte = (pData[0] & MODE_DOUBLE_BYTE) != 0;
    const char* pInput = reinterpret_cast<const char*>(pData + 1);
    const void* pZero = std::memchr(pInput, '\0', nSize - 1);
    const size_t nLen = pZero != nullptr ? static_cast<size_t>(static_cast<const char*>(pZero) - pInput) : nSize - 1;
    std::unique_ptr<char[]> pText(new char[nLen + 1]);
    std::memcpy(pText.get(), pInput, nLen);
    pText[nLen] = '\0';

    MARKUP_FORMAT entry;
    entry.dwMask = 0xE0000003u;
    entry.dwEffects = MARKUP_EFFECT_AUTOCOLOR | 0x00000006u;
    entry.lHeight = 200;
    entry.crTextColor = 0x00123456u;

    std::vector<MARKUP_STEP> steps;
    ParseMarkup(pText.get(), entry, &steps, bDoubleByte ? IsGbkLeadByte : nullptr);

    Check(steps.size() >= 2 && steps.size() % 2 == 0);
    Check(steps.back().nKind == MARKUP_RESTORE_FORMAT && SameFormat(steps.back().format, entry));
    MARKUP_FORMAT working = entry;
    working.dwMask = 0;
    size_t nPos = 0;
    for (size_t nIndex = 0; nIndex + 1 < steps.size(); nIndex += 2)
    {
        const MARKUP_STEP& append = steps[nIndex];
        Check(append.nKind == MARKUP_APPEND_TEXT);
        const size_t nSegment = append.strText.size();
        Check(nSegment <= nLen - nPos && std::memcmp(append.strText.data(), pText.get() + nPos, nSegment) == 0);
        for (size_t nAt = nPos; nAt < nPos + nSegment; ++nAt)
            Check(pText[nAt] != '/' || !IsTokenLetter(pText[nAt + 1]));
        nPos += nSegment;
        if (nIndex + 2 == steps.size())
            break;

        const MARKUP_STEP& set = steps[nIndex + 1];
        Check(set.nKind == MARKUP_SET_FORMAT);
        Check(nPos + 1 < nLen && pText[nPos] == '/' && IsTokenLetter(pText[nPos + 1]));
        const size_t nTokenLen = TokenLength(pText.get(), nLen, nPos, bDoubleByte);
        Check(SameFormat(set.format, ExpectedFormat(pText.get() + nPos, nTokenLen, working)));
        working = set.format;
        nPos += nTokenLen;
        Check(nPos <= nLen);
    }
    Check(nPos == nLen);
    return 0;
}
