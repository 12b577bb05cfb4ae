// The sync manager's presence on the desktop: its top-level windows, which are
// closed with the close message, and its named event.
#pragma once

#include <cstdint>

#include "common/Types.h"

typedef intptr_t WINDOW_HANDLE;   // 0: no window

class IDesktopWindows
{
public:
    virtual ~IDesktopWindows() = default;

    // The first top-level window of a class; 0 when there is none.
    virtual WINDOW_HANDLE FindWindowByClass(const char* pszClass) = 0;
    // Sends the close message and waits for it to be handled; false when the
    // window did not handle it within the time-out.
    virtual bool SendCloseWithTimeout(WINDOW_HANDLE hWnd, DWORD dwTimeoutMs) = 0;

    // True when a named event exists and could be opened for modification; the
    // handle is closed again at once. Sets the thread's last error when false.
    virtual bool OpenNamedEvent(const char* pszName) = 0;
};
