#include "legacy/ui/UpdateProg1Dlg.h"

#include "legacy/LegacyDesk.h"
#include "res/LegacyResource.h"

CUpdateProg1Dlg::CUpdateProg1Dlg(CLegacyApp& app)
    : CProgressWindow(app.GetInstance(), IDD_LEGACY_PROGRESS, app.GetAppIcon()), m_App(app)
{
    BindControl(IDC_LEGACY_OVERALL_BAR, &m_hOverallBar);
    BindControl(IDC_LEGACY_STEP_BAR, &m_hStepBar);
    BindControl(IDC_LEGACY_HEADING_BOX, &m_hHeadingBox);
    BindControl(IDC_LEGACY_STEP_BOX, &m_hStepBox);
}

CUpdateProg1Dlg::~CUpdateProg1Dlg()
{
    // The worker reads the staging folder, a member of this object.
    WaitForWorker();
}

BOOL CUpdateProg1Dlg::OnInitDialog()
{
    CProgressWindow::OnInitDialog();
    m_OverallBar.Attach(m_hOverallBar);
    m_StepBar.Attach(m_hStepBar);

    StopSyncSoftware(m_App.GetPlatform());
    SetForegroundWindow(m_hWnd);

    // The staging file and the image are in TEMP (unreadable: the current directory).
    char szTemp[MAX_PATH_LEN] = {};
    IHostEnvironment* pEnvironment = m_App.GetPlatform().pHostEnvironment;
    if (pEnvironment != nullptr && pEnvironment->GetEnvironment("TEMP", szTemp, sizeof(szTemp)))
        m_strStagingDir = szTemp;

    const PlatformContext& platform = m_App.GetPlatform();
    // Without a clock or a port there is no run: the window ends at once, as a
    // failed run (nothing was sent to the handset), as when no worker can start.
    if (platform.pClock != nullptr && platform.pPortDriver != nullptr)
        StartWorker(&CUpdateProg1Dlg::WorkerThread, this, LEGACY_RUN_FAILED);
    else
        CDialogBase::EndDialog(LEGACY_RUN_FAILED);
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

void CUpdateProg1Dlg::SetHeading(const char* pszText)
{
    SetWindowTextA(m_hHeadingBox, pszText);
}
