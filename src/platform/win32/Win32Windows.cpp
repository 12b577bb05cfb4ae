#include "platform/win32/Win32Windows.h"

#include "platform/win32/Win32HostApi.h"

WINDOW_HANDLE CWin32DesktopWindows::FindWindowByClass(const char* pszClass)
{
    return reinterpret_cast<WINDOW_HANDLE>(FindWindowA(pszClass, nullptr));
}

bool CWin32DesktopWindows::SendCloseWithTimeout(WINDOW_HANDLE hWnd, DWORD dwTimeoutMs)
{
    DWORD_PTR dwResult = 0;
    SetLastError(ERROR_SUCCESS);
    if (SendMessageTimeoutA(reinterpret_cast<HWND>(hWnd), WM_CLOSE, 0, 0, SMTO_NORMAL, dwTimeoutMs, &dwResult) == 0)
    {
        // Some systems leave the error unset when the time-out passed.
        ULONG ulError = GetLastError();
        return FailWithError(ulError != ERROR_SUCCESS ? ulError : ERROR_TIMEOUT);
    }
    return true;
}

bool CWin32DesktopWindows::OpenNamedEvent(const char* pszName)
{
    HANDLE hEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, pszName);
    if (hEvent == nullptr)
        return FailWithSystemError();
    CloseHandle(hEvent);
    return true;
}
