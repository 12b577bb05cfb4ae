#include "ui/WindowThreadCall.h"

void CWindowThreadCall::Attach(HWND hwnd)
{
    m_hWnd = hwnd;
    m_dwThreadId = GetCurrentThreadId();
}

void CWindowThreadCall::Run(const std::function<void()>& fnCall) const
{
    if (m_hWnd == nullptr || GetCurrentThreadId() == m_dwThreadId)
    {
        fnCall();
        return;
    }
    SendMessageA(m_hWnd, WM_WINDOW_THREAD_CALL, 0, reinterpret_cast<LPARAM>(&fnCall));
}

bool CWindowThreadCall::Dispatch(UINT uMsg, LPARAM lParam)
{
    if (uMsg != WM_WINDOW_THREAD_CALL)
        return false;
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return true;
}
