#include "legacy/ui/UpdateProg1Dlg.h"

#include "common/Trace.h"
#include "legacy/LegacyDesk.h"
#include "res/LegacyResource.h"
#include "ui/WindowIcon.h"

CUpdateProg1Dlg::CUpdateProg1Dlg(CLegacyApp& app) : CDialogBase(app.GetInstance(), IDD_LEGACY_PROGRESS), m_App(app)
{
    BindControl(IDC_LEGACY_OVERALL_BAR, &m_hOverallBar);
    BindControl(IDC_LEGACY_STEP_BAR, &m_hStepBar);
    BindControl(IDC_LEGACY_HEADING_BOX, &m_hHeadingBox);
    BindControl(IDC_LEGACY_STEP_BOX, &m_hStepBox);
}

CUpdateProg1Dlg::~CUpdateProg1Dlg()
{
    // The worker's last step was ending this window; what remains of it is its own
    // clean-up, which needs nothing of the window.
    if (m_hWorker != nullptr)
    {
        WaitForSingleObject(m_hWorker, INFINITE);
        CloseHandle(m_hWorker);
    }
}

BOOL CUpdateProg1Dlg::OnInitDialog()
{
    m_WindowThread.Attach(m_hWnd);
    m_OverallBar.Attach(m_hOverallBar);
    m_StepBar.Attach(m_hStepBar);
    SetWindowIcons(m_hWnd, m_App.GetAppIcon());

    StopSyncSoftware(m_App.GetPlatform());
    SetForegroundWindow(m_hWnd);

    // The staging file and the image are in TEMP (unreadable: the current directory).
    char szTemp[MAX_PATH_LEN] = {};
    IHostEnvironment* pEnvironment = m_App.GetPlatform().pHostEnvironment;
    if (pEnvironment != nullptr && pEnvironment->GetEnvironment("TEMP", szTemp, sizeof(szTemp)))
        m_strStagingDir = szTemp;

    const PlatformContext& platform = m_App.GetPlatform();
    if (platform.pClock != nullptr && platform.pPortDriver != nullptr)
    {
        WIN_DWORD dwWorkerId = 0;
        m_hWorker = CreateThread(nullptr, 0, &CUpdateProg1Dlg::WorkerThread, this, 0, &dwWorkerId);
    }
    if (m_hWorker == nullptr)
    {
        // Without a worker nothing would ever end the window: it ends at once, as a
        // failed run (nothing was sent to the handset).
        Trace(false, "CreateThread Fail");
        CDialogBase::EndDialog(LEGACY_RUN_FAILED);
    }
    return TRUE;
}

WIN_DWORD WINAPI CUpdateProg1Dlg::WorkerThread(LPVOID pParam)
{
    CUpdateProg1Dlg* pThis = static_cast<CUpdateProg1Dlg*>(pParam);
    const PlatformContext& platform = pThis->m_App.GetPlatform();
    // The image path left empty: "temp.dat" is taken from the staging folder, TEMP.
    LEGACY_RUN_CONFIG config{*platform.pClock,
                             *platform.pPortDriver,
                             pThis,
                             std::string(),
                             pThis->m_strStagingDir,
                             pThis->m_App.GetPortName(),
                             pThis->m_App.GetHostCode(),
                             nullptr};
    return static_cast<WIN_DWORD>(UpdateRun(config));
}

void CUpdateProg1Dlg::OnOK()
{
}

void CUpdateProg1Dlg::OnCancel()
{
}

BOOL CUpdateProg1Dlg::OnEraseBkgnd(HDC hdc)
{
    return static_cast<BOOL>(Default(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0));
}

IProgressBar* CUpdateProg1Dlg::GetBar(int nBar)
{
    if (nBar == PROGRESS_BAR_OVERALL)
        return &m_OverallBar;
    if (nBar == PROGRESS_BAR_STEP)
        return &m_StepBar;
    return nullptr;
}

void CUpdateProg1Dlg::SetCaption(const char* pszText)
{
    SetWindowTextA(m_hStepBox, pszText);
}

void CUpdateProg1Dlg::SetPercent(const char*)
{
    // The legacy window has no percent box.
}

void CUpdateProg1Dlg::SetTitle(const char* pszText)
{
    SetWindowTextA(m_hWnd, pszText);
}

void CUpdateProg1Dlg::SetHeading(const char* pszText)
{
    SetWindowTextA(m_hHeadingBox, pszText);
}

void CUpdateProg1Dlg::EndDialog(int nResult)
{
    OnWindowThread([this, nResult] { CDialogBase::EndDialog(nResult); });
}

int CUpdateProg1Dlg::MessageBox(const char* pszText, const char* pszCaption, UINT uStyle)
{
    int nAnswer = 0;
    OnWindowThread([&] { nAnswer = MessageBoxA(m_hWnd, pszText, pszCaption, uStyle); });
    return nAnswer;
}

LRESULT CUpdateProg1Dlg::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (CWindowThreadCall::Dispatch(uMsg, lParam))
        return 0;
    switch (uMsg)
    {
    case WM_CLOSE:
        // Only the run ends this window.
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            return 0;
        return Default(uMsg, wParam, lParam);
    case WM_PAINT:
        if (IsIconic(m_hWnd))
        {
            PaintMinimisedIcon(m_hWnd, m_App.GetAppIcon());
            return 0;
        }
        return Default(uMsg, wParam, lParam);
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_App.GetAppIcon());
    default:
        return CDialogBase::WindowProc(uMsg, wParam, lParam);
    }
}
