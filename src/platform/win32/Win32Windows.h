// The sync manager's presence on the Windows desktop: its top-level windows,
// found by class and closed with WM_CLOSE, and its named event.
#pragma once

#include "platform/DesktopWindows.h"

class CWin32DesktopWindows : public IDesktopWindows
{
public:
    WINDOW_HANDLE FindWindowByClass(const char* pszClass) override;
    // SendMessageTimeout with SMTO_NORMAL: false (ERROR_TIMEOUT) when the window's
    // thread did not handle the message in time, or with the system's error when
    // the window is gone.
    bool SendCloseWithTimeout(WINDOW_HANDLE hWnd, DWORD dwTimeoutMs) override;
    // OpenEvent with EVENT_MODIFY_STATE; ERROR_FILE_NOT_FOUND when there is no such event.
    bool OpenNamedEvent(const char* pszName) override;
};
