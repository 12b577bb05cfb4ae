// What the tests and the wizard driver know of the legacy updater (vuq-legacy): which
// of its windows a dialog is: a page by the button
// only its template has, the progress window by its overall bar, the About box by
// its version line; any other dialog of the program is a message box. The titles are
// what the pages show and are checked by the tests, not used to find the pages.
#pragma once

#include <string>

#include "res/LegacyResource.h"
#include "support/win32/DialogWindows.h"

enum LEGACY_WINDOW
{
    LEGACY_WINDOW_NONE = 0,
    LEGACY_WINDOW_FIRST,
    LEGACY_WINDOW_STEP2,
    LEGACY_WINDOW_STEP3,
    LEGACY_WINDOW_PROGRESS,
    LEGACY_WINDOW_FINAL,
    LEGACY_WINDOW_TRANSFER_FAILED,
    LEGACY_WINDOW_AGENT_FAILED,
    LEGACY_WINDOW_ABOUT,
    LEGACY_WINDOW_BOX,
};

struct LEGACY_WINDOW_INFO
{
    int nWindow;
    const char* pszName;    // the driver's name of the kind
    int nMarkId;            // the control only this window has (0: none)
    const char* pszTitle;   // the window's title
};

// The four temporary files the program's clean-up deletes from TEMP, in its order.
constexpr const char* LEGACY_TEMP_FILES[] = {"Tessik_Console.exe", "VUQ.exe", "temp.dat", "TempFileToDown"};

constexpr char LEGACY_ABOUT_VERSION_LINE[] = "Version 1.0";

constexpr LEGACY_WINDOW_INFO LEGACY_WINDOWS[] = {
    {LEGACY_WINDOW_FIRST, "first", IDC_LEGACY_FIRST_NEXT, "VUQ"},
    {LEGACY_WINDOW_STEP2, "step2", IDC_LEGACY_STEP2_NEXT, "VUQ - STEP 2"},
    {LEGACY_WINDOW_STEP3, "step3", IDC_LEGACY_UPDATE, "VUQ - STEP 3"},
    {LEGACY_WINDOW_PROGRESS, "progress", IDC_LEGACY_OVERALL_BAR, "Updating, Please keep connected between PC and PDA."},
    {LEGACY_WINDOW_FINAL, "final", IDC_LEGACY_FINISH, "VUQ - FINAL STEP"},
    {LEGACY_WINDOW_TRANSFER_FAILED, "transfer-failed", IDC_LEGACY_TRANSFER_OK, "VUQ - TRANSFER FAILED"},
    {LEGACY_WINDOW_AGENT_FAILED, "agent-failed", IDC_LEGACY_AGENT_OK, "PDA initials failed."},
};

inline int LegacyWindowOf(HWND hwnd)
{
    if (!IsDialogWindow(hwnd))
        return LEGACY_WINDOW_NONE;
    for (const LEGACY_WINDOW_INFO& info : LEGACY_WINDOWS)
        if (GetDlgItem(hwnd, info.nMarkId) != nullptr)
            return info.nWindow;
    if (HasStaticText(hwnd, LEGACY_ABOUT_VERSION_LINE))
        return LEGACY_WINDOW_ABOUT;
    return LEGACY_WINDOW_BOX;
}

inline const char* LegacyWindowName(int nWindow)
{
    for (const LEGACY_WINDOW_INFO& info : LEGACY_WINDOWS)
        if (info.nWindow == nWindow)
            return info.pszName;
    return nWindow == LEGACY_WINDOW_ABOUT ? "about" : nWindow == LEGACY_WINDOW_BOX ? "box" : "";
}

inline const char* LegacyWindowTitle(int nWindow)
{
    for (const LEGACY_WINDOW_INFO& info : LEGACY_WINDOWS)
        if (info.nWindow == nWindow)
            return info.pszTitle;
    return "";
}
