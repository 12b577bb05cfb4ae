#include "ui/ProgressWindow.h"

#include "common/Trace.h"
#include "ui/WindowIcon.h"

CProgressWindow::CProgressWindow(HINSTANCE hInstance, UINT nTemplateId, HICON hIcon)
    : CDialogBase(hInstance, nTemplateId), m_hIcon(hIcon)
{
}

CProgressWindow::~CProgressWindow()
{
    WaitForWorker();
}

void CProgressWindow::WaitForWorker()
{
    // The worker's last step was ending this window; what remains of it is its own
    // clean-up, which needs nothing of the window.
    if (m_hWorker != nullptr)
    {
        WaitForSingleObject(m_hWorker, INFINITE);
        CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }
}

BOOL CProgressWindow::OnInitDialog()
{
    m_WindowThread.Attach(m_hWnd);
    SetWindowIcons(m_hWnd, m_hIcon);
    return TRUE;
}

void CProgressWindow::StartWorker(LPTHREAD_START_ROUTINE pfnWorker, LPVOID pParam, int nFailedResult)
{
    WIN_DWORD dwWorkerId = 0;
    m_hWorker = CreateThread(nullptr, 0, pfnWorker, pParam, 0, &dwWorkerId);
    if (m_hWorker == nullptr)
    {
        Trace(false, "CreateThread Fail");
        CDialogBase::EndDialog(nFailedResult);
    }
}

void CProgressWindow::OnOK()
{
}

void CProgressWindow::OnCancel()
{
}

void CProgressWindow::SetTitle(const char* pszText)
{
    SetWindowTextA(m_hWnd, pszText);
}

void CProgressWindow::EndDialog(int nResult)
{
    OnWindowThread([this, nResult] {
        OnRunEnding();
        CDialogBase::EndDialog(nResult);
    });
}

int CProgressWindow::MessageBox(const char* pszText, const char* pszCaption, UINT uStyle)
{
    int nAnswer = 0;
    OnWindowThread([&] { nAnswer = MessageBoxA(m_hWnd, pszText, pszCaption, uStyle); });
    return nAnswer;
}

LRESULT CProgressWindow::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (CWindowThreadCall::Dispatch(uMsg, lParam))
        return 0;
    switch (uMsg)
    {
    case WM_CLOSE:
        // Only the worker ends this window.
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            return 0;
        return Default(uMsg, wParam, lParam);
    case WM_PAINT:
        if (IsIconic(m_hWnd))
        {
            PaintMinimisedIcon(m_hWnd, m_hIcon);
            return 0;
        }
        return Default(uMsg, wParam, lParam);
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_hIcon);
    default:
        return CDialogBase::WindowProc(uMsg, wParam, lParam);
    }
}
