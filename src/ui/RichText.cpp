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
