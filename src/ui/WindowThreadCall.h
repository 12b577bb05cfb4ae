// Calls of a worker thread run on a window's own thread, synchronously: the caller
// waits until the window's thread has handled the call (a message box included, which
// the window's thread shows and owns). The window's thread never waits for the worker.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <functional>

// The message that carries a call (lParam: the std::function to run).
constexpr UINT WM_WINDOW_THREAD_CALL = WM_APP + 1;

class CWindowThreadCall
{
public:
    // Called on the window's thread once its window exists.
    void Attach(HWND hwnd);
    // Runs fnCall on the window's thread: at once there (or when no window is
    // attached), else by a synchronous window message.
    void Run(const std::function<void()>& fnCall) const;
    // For the window procedure: runs the call of a WM_WINDOW_THREAD_CALL message.
    // True when the message was one.
    static bool Dispatch(UINT uMsg, LPARAM lParam);

private:
    HWND m_hWnd = nullptr;
    DWORD m_dwThreadId = 0;
};
