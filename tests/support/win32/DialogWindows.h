// Finding and working the dialogs of a running wizard from another thread or another
// process, as a user would: the visible top-level windows of a thread, their texts,
// message boxes, buttons pressed and keys typed. Shared by the dialog tests (the
// wizard on a thread of the test program) and the wizard driver (the program in a
// process of its own).
//
// Buttons and keys go in as posted messages: a handler runs further pages modally,
// so a sent message would not return until they close.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <chrono>
#include <string>
#include <vector>

// Calls fnDone every 10 ms until it returns true or dwMs of real time have passed;
// true when it did.
template <typename FN>
bool WaitUntil(DWORD dwMs, FN fnDone)
{
    auto tpEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMs);
    for (;;)
    {
        if (fnDone())
            return true;
        if (std::chrono::steady_clock::now() >= tpEnd)
            return false;
        Sleep(10);
    }
}

// A window's text through WM_GETTEXT, which also reads the controls of another
// process (GetWindowText reads only their captions); empty after 5 s without an
// answer.
inline std::string WindowText(HWND hwnd)
{
    char szText[4096] = {};
    DWORD_PTR dwResult = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(szText), reinterpret_cast<LPARAM>(szText), SMTO_ABORTIFHUNG, 5000,
                        &dwResult);
    return szText;
}

inline std::string ClassName(HWND hwnd)
{
    char szClass[64] = {};
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    return szClass;
}

inline bool IsDialogWindow(HWND hwnd)
{
    return ClassName(hwnd) == "#32770";
}

// The text of a dialog's control; empty when the dialog has no such control.
inline std::string ItemText(HWND hDlg, int nId)
{
    HWND hItem = GetDlgItem(hDlg, nId);
    return hItem != nullptr ? WindowText(hItem) : std::string();
}

// A message box's text: its static control with the most text (the icon has none).
inline std::string MessageBoxText(HWND hBox)
{
    std::string strText;
    EnumChildWindows(
        hBox,
        [](HWND hChild, LPARAM lParam) -> BOOL {
            if (ClassName(hChild) == "Static")
            {
                std::string strChild = WindowText(hChild);
                std::string* pstrText = reinterpret_cast<std::string*>(lParam);
                if (strChild.size() > pstrText->size())
                    *pstrText = strChild;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&strText));
    return strText;
}

// A rich-edit 2.0 control of its own (hidden, read-only, disabled, as the pages'
// boxes are), for the renderer tests; "RICHED20.DLL" is loaded as the programs load
// it and stays loaded. Null when it cannot be made.
inline HWND CreateLooseRichEdit()
{
    if (LoadLibraryA("RICHED20.DLL") == nullptr)
        return nullptr;
    return CreateWindowExA(0, "RichEdit20A", "", WS_POPUP | ES_MULTILINE | ES_READONLY | WS_DISABLED, 0, 0, 400,
                           300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// The text of a rich-edit control of this process, line breaks as "\n" (the
// request carries a pointer, so it reads no other process's control).
inline std::string RichEditText(HWND hRich)
{
    GETTEXTLENGTHEX length = {GTL_DEFAULT, CP_ACP};
    LRESULT nLen = SendMessageA(hRich, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    std::string strText(static_cast<size_t>(nLen) + 1, '\0');
    GETTEXTEX get = {};
    get.cb = static_cast<WIN_DWORD>(strText.size());
    get.flags = GT_DEFAULT;
    get.codepage = CP_ACP;
    LRESULT nGot =
        SendMessageA(hRich, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(strText.data()));
    strText.resize(static_cast<size_t>(nGot));
    for (char& cChar : strText)
        if (cChar == '\r')
            cChar = '\n';
    return strText;
}

// True when one of the dialog's static controls holds strPart.
inline bool HasStaticText(HWND hDlg, const std::string& strPart)
{
    struct SEARCH
    {
        const std::string* pstrPart;
        bool bFound;
    } search = {&strPart, false};
    EnumChildWindows(
        hDlg,
        [](HWND hChild, LPARAM lParam) -> BOOL {
            SEARCH* pSearch = reinterpret_cast<SEARCH*>(lParam);
            if (ClassName(hChild) == "Static" && WindowText(hChild).find(*pSearch->pstrPart) != std::string::npos)
                pSearch->bFound = true;
            return pSearch->bFound ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.bFound;
}

// The visible top-level windows of one thread.
inline std::vector<HWND> VisibleThreadWindows(DWORD dwThreadId)
{
    std::vector<HWND> windows;
    EnumThreadWindows(
        dwThreadId,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            if (IsWindowVisible(hwnd))
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Presses a button of a dialog or message box (posted, see above).
inline void PressButton(HWND hDlg, int nId)
{
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}

// Types a key into a dialog as the keyboard would: the key goes to the control that
// has the focus on the dialog's thread (the dialog itself when none has), so the
// dialog's modal loop sees it as the user's key.
inline void TypeKey(HWND hDlg, WPARAM wKey)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    HWND hTarget = hDlg;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(hDlg, nullptr), &info) && info.hwndFocus != nullptr &&
        (info.hwndFocus == hDlg || IsChild(hDlg, info.hwndFocus)))
        hTarget = info.hwndFocus;
    UINT uScan = MapVirtualKeyA(static_cast<UINT>(wKey), 0);
    PostMessageA(hTarget, WM_KEYDOWN, wKey, static_cast<LPARAM>(1 | (uScan << 16)));
    PostMessageA(hTarget, WM_KEYUP, wKey, static_cast<LPARAM>(1 | (uScan << 16) | (3u << 30)));
}

// True when the window is still there and visible after dwMs of real time (checked
// throughout).
inline bool StaysOpen(HWND hwnd, DWORD dwMs)
{
    return !WaitUntil(dwMs, [hwnd] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); });
}
