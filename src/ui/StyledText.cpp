#include "ui/StyledText.h"

namespace
{
// The position after the last character: the paragraph marks count one each, as
// the control's character positions do.
WIN_LONG EndOfText(HWND hRichEdit)
{
    GETTEXTLENGTHEX length = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    LRESULT nLen = SendMessageA(hRichEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    return nLen < 0 ? 0 : static_cast<WIN_LONG>(nLen);
}
}

void AppendStyledText(HWND hRichEdit, BOOL bBold, COLORREF crColour, LONG lSizeTwips, const char* pszText)
{
    CHARFORMATA entry = {};
    entry.cbSize = sizeof(entry);
    SendMessageA(hRichEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&entry));

    CHARFORMATA piece = entry;
    piece.dwMask |= CFM_BOLD;
    if (bBold)
        piece.dwEffects |= CFE_BOLD;
    else
        piece.dwEffects &= ~static_cast<WIN_DWORD>(CFE_BOLD);
    if (crColour != 0)
    {
        // An automatic colour would win over the value.
        piece.dwMask |= CFM_COLOR;
        piece.dwEffects &= ~static_cast<WIN_DWORD>(CFE_AUTOCOLOR);
        piece.crTextColor = crColour;
    }
    if (lSizeTwips != 0)
    {
        piece.dwMask |= CFM_SIZE;
        piece.yHeight = lSizeTwips;
    }

    MoveCaretToEnd(hRichEdit);
    SendMessageA(hRichEdit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&piece));
    SendMessageA(hRichEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pszText != nullptr ? pszText : ""));
    SendMessageA(hRichEdit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&entry));
}

void MoveCaretToEnd(HWND hRichEdit)
{
    WIN_LONG nEnd = EndOfText(hRichEdit);
    CHARRANGE caret = {nEnd, nEnd};
    SendMessageA(hRichEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
}

void AppendDefaultText(HWND hRichEdit, const char* pszText)
{
    SendMessageA(hRichEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pszText != nullptr ? pszText : ""));
}

void AppendTextInStyle(HWND hRichEdit, int nStyle, const char* pszText)
{
    if (nStyle < 0 || nStyle >= TEXT_STYLE_COUNT || !TEXT_STYLES[nStyle].bStyled)
    {
        AppendDefaultText(hRichEdit, pszText);
        return;
    }
    const TEXT_STYLE& style = TEXT_STYLES[nStyle];
    AppendStyledText(hRichEdit, style.bBold, style.crColour, style.lSizeTwips, pszText);
}
