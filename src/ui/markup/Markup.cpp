#include "ui/markup/Markup.h"

#include <cstddef>
#include <cstring>

// The text is scanned byte by byte. That is safe for the double-byte ANSI code pages
// (932 Shift-JIS, 936 GBK, 949 UHC, 950 Big5): their lead bytes are 0x81 and above
// and their trail bytes 0x40 and above, so the bytes the markup looks for (the
// slash 0x2F, the space 0x20, the digits 0x30..0x39) never occur inside a
// double-byte character. Only the character that "/B" and "/b" swallow may be two
// bytes long, which is what the lead-byte test is for.

namespace
{
struct COLOR_WORD
{
    const char* pszWord;
    DWORD crColor;
};

// Looked up in this order, without regard to case.
const COLOR_WORD COLOR_WORDS[] = {
    {"black", 0x000000},
    {"blue", 0xFF0000},
    {"orange", 0x3278F0},
    {"red", 0x0000FF},
};

char LowerAscii(char cChar)
{
    return (cChar >= 'A' && cChar <= 'Z') ? static_cast<char>(cChar - 'A' + 'a') : cChar;
}

bool FindColorWord(const char* pWord, size_t nLen, DWORD* pcrColor)
{
    for (const COLOR_WORD& color : COLOR_WORDS)
    {
        if (std::strlen(color.pszWord) != nLen)
            continue;
        size_t nPos = 0;
        while (nPos < nLen && LowerAscii(pWord[nPos]) == color.pszWord[nPos])
            ++nPos;
        if (nPos == nLen)
        {
            *pcrColor = color.crColor;
            return true;
        }
    }
    return false;
}

// The leading decimal digits of the word as a height; none gives 0. A digit string
// beyond the record's range saturates at MARKUP_HEIGHT_MAX instead of wrapping, and
// the rest of its digits are read over without effect.
LONG ReadHeight(const char* pWord, size_t nLen)
{
    LONG lHeight = 0;
    for (size_t nPos = 0; nPos < nLen && pWord[nPos] >= '0' && pWord[nPos] <= '9'; ++nPos)
    {
        const LONG lDigit = pWord[nPos] - '0';
        if (lHeight > (MARKUP_HEIGHT_MAX - lDigit) / 10)
            lHeight = MARKUP_HEIGHT_MAX;
        else
            lHeight = lHeight * 10 + lDigit;
    }
    return lHeight;
}

bool IsTokenLetter(char cChar)
{
    return cChar == 'B' || cChar == 'b' || cChar == 'c' || cChar == 'C' || cChar == 's';
}

// The first slash in pszRest that begins a token, or null. Other slashes stay text.
const char* FindTokenSlash(const char* pszRest)
{
    for (const char* pszSlash = std::strchr(pszRest, '/'); pszSlash != nullptr;
         pszSlash = std::strchr(pszSlash + 1, '/'))
    {
        if (IsTokenLetter(pszSlash[1]))
            return pszSlash;
    }
    return nullptr;
}

// Applies the token at pszSlash to *pWorking; returns the text after the characters
// it consumes.
const char* ApplyToken(const char* pszSlash, MARKUP_FORMAT* pWorking, MARKUP_LEAD_BYTE_FN pfnIsLeadByte)
{
    const char cLetter = pszSlash[1];
    const char* pszAfter = pszSlash + 2;
    if (cLetter == 'B' || cLetter == 'b')
    {
        pWorking->dwMask |= MARKUP_MASK_BOLD;
        if (cLetter == 'B')
            pWorking->dwEffects |= MARKUP_EFFECT_BOLD;
        else
            pWorking->dwEffects &= ~MARKUP_EFFECT_BOLD;
        // One character is swallowed, whatever it is; at the end of the text, none.
        if (*pszAfter == '\0')
            return pszAfter;
        const bool bDoubleByte = pfnIsLeadByte != nullptr && pfnIsLeadByte(static_cast<BYTE>(*pszAfter)) &&
                                 pszAfter[1] != '\0';
        return pszAfter + (bDoubleByte ? 2 : 1);
    }

    // "/c", "/C" and "/s" take the word up to the first space (a line break does not
    // end it); with no space left, the word is empty and only the token is consumed.
    const char* pszSpace = std::strchr(pszAfter, ' ');
    const size_t nWordLen = pszSpace != nullptr ? static_cast<size_t>(pszSpace - pszAfter) : 0;
    const char* pszNext = pszSpace != nullptr ? pszSpace + 1 : pszAfter;
    if (cLetter == 's')
    {
        pWorking->dwMask |= MARKUP_MASK_SIZE;
        pWorking->lHeight = ReadHeight(pszAfter, nWordLen);
    }
    else
    {
        pWorking->dwMask |= MARKUP_MASK_COLOR;
        pWorking->dwEffects &= ~MARKUP_EFFECT_AUTOCOLOR;
        DWORD crColor = 0;
        if (FindColorWord(pszAfter, nWordLen, &crColor))
            pWorking->crTextColor = crColor;
    }
    return pszNext;
}

void AddAppend(std::vector<MARKUP_STEP>* pSteps, const char* pszBegin, const char* pszEnd)
{
    MARKUP_STEP step;
    step.nKind = MARKUP_APPEND_TEXT;
    step.strText.assign(pszBegin, pszEnd);
    pSteps->push_back(step);
}

void AddFormat(std::vector<MARKUP_STEP>* pSteps, MARKUP_STEP_KIND nKind, const MARKUP_FORMAT& format)
{
    MARKUP_STEP step;
    step.nKind = nKind;
    step.format = format;
    pSteps->push_back(step);
}
}

void ParseMarkup(const char* pszText, const MARKUP_FORMAT& entry, std::vector<MARKUP_STEP>* pSteps,
                 MARKUP_LEAD_BYTE_FN pfnIsLeadByte)
{
    pSteps->clear();
    const char* pszRest = pszText != nullptr ? pszText : "";

    // Only the attributes a token names are applied: the working mask starts empty
    // and only grows, so an attribute set once stays applied with its latest value.
    MARKUP_FORMAT working = entry;
    working.dwMask = 0;

    while (*pszRest != '\0')
    {
        const char* pszSlash = FindTokenSlash(pszRest);
        if (pszSlash == nullptr)
            break;
        AddAppend(pSteps, pszRest, pszSlash);
        pszRest = ApplyToken(pszSlash, &working, pfnIsLeadByte);
        AddFormat(pSteps, MARKUP_SET_FORMAT, working);
    }
    AddAppend(pSteps, pszRest, pszRest + std::strlen(pszRest));
    AddFormat(pSteps, MARKUP_RESTORE_FORMAT, entry);
}
