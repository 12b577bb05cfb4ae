#include "ui/RichText.h"

#include <vector>

#include "ui/markup/Markup.h"

namespace
{
bool IsAnsiLeadByte(BYTE bByte)
{
    return IsDBCSLeadByte(bByte) != FALSE;
}

// Moves the insertion point to the end of the text and inserts the segment there:
// the character index of the line after the last one does not exist (-1), and a
// selection from -1 to -1 is the end of the text.
void AppendSegment(HWND hRichEdit, const std::string& strSegment)
{
    LRESULT nLines = SendMessageA(hRichEdit, EM_GETLINECOUNT, 0, 0);
    LRESULT nIndex = SendMessageA(hRichEdit, EM_LINEINDEX, static_cast<WPARAM>(nLines), 0);
    CHARRANGE range = {static_cast<WIN_LONG>(nIndex), -1};
    SendMessageA(hRichEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageA(hRichEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(strSegment.c_str()));
}

// How far the zoom may go down, per mille, and in how many steps.
constexpr int FIT_MIN_ZOOM = 500;
constexpr int FIT_STEPS = 6;

// The client row below the text's last line. The last line is as high as the one
// before it (a text of one line: as high as its characters' size).
int TextBottom(HWND hRichEdit)
{
    LRESULT nLines = SendMessageA(hRichEdit, EM_GETLINECOUNT, 0, 0);
    LRESULT nLastStart = SendMessageA(hRichEdit, EM_LINEINDEX, static_cast<WPARAM>(nLines - 1), 0);
    POINTL ptLast = {};
    SendMessageA(hRichEdit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&ptLast), nLastStart);
    int nLineHeight = 0;
    if (nLines >= 2)
    {
        LRESULT nPrevStart = SendMessageA(hRichEdit, EM_LINEINDEX, static_cast<WPARAM>(nLines - 2), 0);
        POINTL ptPrev = {};
        SendMessageA(hRichEdit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&ptPrev), nPrevStart);
        nLineHeight = static_cast<int>(ptLast.y - ptPrev.y);
    }
    if (nLineHeight <= 0)
    {
        CHARFORMATA format = {};
        format.cbSize = sizeof(format);
        SendMessageA(hRichEdit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
        HDC hdc = GetDC(hRichEdit);
        nLineHeight = MulDiv(format.yHeight, GetDeviceCaps(hdc, LOGPIXELSY), 1440) * 6 / 5;
        ReleaseDC(hRichEdit, hdc);
    }
    return static_cast<int>(ptLast.y) + nLineHeight;
}

void SetInsertionFormat(HWND hRichEdit, const CHARFORMATA& format)
{
    SendMessageA(hRichEdit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}
}

void AppendRichText(const char* pszText, HWND hRichEdit)
{
    // The format at the insertion point is the entry format; the working format is
    // a copy of it of which only the attributes the tokens name are applied.
    CHARFORMATA entry = {};
    entry.cbSize = sizeof(entry);
    SendMessageA(hRichEdit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&entry));
    MARKUP_FORMAT entryAttributes;
    entryAttributes.dwMask = entry.dwMask;
    entryAttributes.dwEffects = entry.dwEffects;
    entryAttributes.lHeight = entry.yHeight;
    entryAttributes.crTextColor = entry.crTextColor;

    std::vector<MARKUP_STEP> steps;
    ParseMarkup(pszText, entryAttributes, &steps, &IsAnsiLeadByte);

    CHARFORMATA working = entry;
    for (const MARKUP_STEP& step : steps)
    {
        switch (step.nKind)
        {
        case MARKUP_APPEND_TEXT:
            AppendSegment(hRichEdit, step.strText);
            break;
        case MARKUP_SET_FORMAT:
            working.dwMask = step.format.dwMask;
            working.dwEffects = step.format.dwEffects;
            working.yHeight = step.format.lHeight;
            working.crTextColor = step.format.crTextColor;
            SetInsertionFormat(hRichEdit, working);
            break;
        case MARKUP_RESTORE_FORMAT:
            SetInsertionFormat(hRichEdit, entry);
            break;
        }
    }
}

int FitRichTextToControl(HWND hRichEdit)
{
    RECT rcFormat = {};
    SendMessageA(hRichEdit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rcFormat));
    const int nAvailable = rcFormat.bottom - rcFormat.top;
    if (nAvailable <= 0)
        return 100;

    // The zoom goes down in proportion to the overflow until the bottom of the last
    // line lies inside the formatting rectangle; lines wrap anew at each zoom.
    int nZoom = 1000;   // per mille
    for (int nStep = 0; nStep < FIT_STEPS; ++nStep)
    {
        int nBottom = TextBottom(hRichEdit);
        if (nBottom <= rcFormat.bottom)
            break;
        int nNext = MulDiv(nZoom, nAvailable, nBottom - rcFormat.top) - 5;
        nZoom = nNext < FIT_MIN_ZOOM ? FIT_MIN_ZOOM : nNext;
        SendMessageA(hRichEdit, EM_SETZOOM, static_cast<WPARAM>(nZoom), 1000);
        if (nZoom == FIT_MIN_ZOOM)
            break;
    }
    return (nZoom + 5) / 10;
}

std::string LoadResourceText(UINT nId, HINSTANCE hInstance)
{
    if (hInstance == nullptr)
        hInstance = GetModuleHandleA(nullptr);
    // With a zero length, LoadStringW hands out the resource's own text and its
    // length, so no text is ever cut to a buffer.
    const wchar_t* pwszText = nullptr;
    int nLen = LoadStringW(hInstance, nId, reinterpret_cast<LPWSTR>(&pwszText), 0);
    if (nLen <= 0 || pwszText == nullptr)
        return std::string();
    int nBytes = WideCharToMultiByte(CP_ACP, 0, pwszText, nLen, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0)
        return std::string();
    std::string strText(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, pwszText, nLen, strText.data(), nBytes, nullptr, nullptr);
    return strText;
}

void AppendRichTextResource(UINT nId, HWND hRichEdit, HINSTANCE hInstance)
{
    std::string strText = LoadResourceText(nId, hInstance);
    AppendRichText(strText.c_str(), hRichEdit);
}
