#include "legacy/ui/LegacyPages.h"

#include <string>

#include "common/Trace.h"
#include "legacy/LegacyDesk.h"
#include "res/LegacyResource.h"
#include "res/Strings.h"
#include "ui/RichText.h"
#include "ui/StyledText.h"
#include "ui/WindowIcon.h"

namespace
{
// A page text: the string and its style, in the order the page appends them.
struct PAGE_TEXT
{
    UINT nId;
    int nStyle;
};

const PAGE_TEXT FIRST_PAGE_TEXTS[] = {
    {IDS_LEGACY_FIRST_WELCOME, TEXT_STYLE_PLAIN_12},    {IDS_LEGACY_FIRST_WARNING, TEXT_STYLE_BOLD_RED},
    {IDS_LEGACY_FIRST_STEPS, TEXT_STYLE_DEFAULT},       {IDS_LEGACY_FIRST_BACKUP, TEXT_STYLE_BOLD_RED},
    {IDS_LEGACY_FIRST_RESET, TEXT_STYLE_DEFAULT},       {IDS_LEGACY_FIRST_POWER, TEXT_STYLE_BOLD_RED},
    {IDS_LEGACY_FIRST_CLOSE_APPS, TEXT_STYLE_DEFAULT},  {IDS_LEGACY_FIRST_DISK_SPACE, TEXT_STYLE_DEFAULT},
    {IDS_LEGACY_FIRST_NO_CARD, TEXT_STYLE_DEFAULT},     {IDS_LEGACY_FIRST_SYNC_READY, TEXT_STYLE_BOLD_RED},
    {IDS_LEGACY_FIRST_CLICK_NEXT, TEXT_STYLE_DEFAULT},
};

const PAGE_TEXT STEP2_PAGE_TEXTS[] = {
    {IDS_LEGACY_STEP2_TEXT, TEXT_STYLE_PLAIN_12},
    {IDS_LEGACY_STEP2_FIGURE, TEXT_STYLE_BOLD_RED},
    {IDS_LEGACY_STEP2_CLICK_NEXT, TEXT_STYLE_PLAIN_12},
    {IDS_LEGACY_STEP2_NOTE, TEXT_STYLE_GREY_15},
};

const PAGE_TEXT STEP3_PAGE_TEXTS[] = {
    {IDS_LEGACY_STEP3_TEXT, TEXT_STYLE_PLAIN_12},
    {IDS_LEGACY_STEP3_SCREEN, TEXT_STYLE_BOLD_RED},
    {IDS_LEGACY_STEP3_TRANSFER, TEXT_STYLE_PLAIN_12},
    {IDS_LEGACY_STEP3_NOTE, TEXT_STYLE_RED_12},
};
}

// ---- Common to the pages ----

CLegacyPage::CLegacyPage(CLegacyApp& app, UINT nTemplateId)
    : CDialogBase(app.GetInstance(), nTemplateId), m_App(app)
{
    BindControl(IDC_LEGACY_RICH_TEXT, &m_hRichText);
}

void CLegacyPage::OnOK()
{
    // Enter without an enabled default button: only the pages' buttons move on.
}

BOOL CLegacyPage::OnEraseBkgnd(HDC hdc)
{
    return static_cast<BOOL>(Default(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0));
}

void CLegacyPage::AppendText(UINT nId, int nStyle)
{
    std::string strText = m_App.LoadText(nId);
    AppendTextInStyle(m_hRichText, nStyle, strText.c_str());
}

void CLegacyPage::FinishText()
{
    MoveCaretToEnd(m_hRichText);
    FitRichTextToControl(m_hRichText);
}

bool CLegacyPage::AskCancel()
{
    std::string strText = m_App.LoadText(IDS_LEGACY_CANCEL_TEXT);
    std::string strCaption = m_App.LoadText(IDS_LEGACY_CANCEL_CAPTION);
    return MessageBoxA(m_hWnd, strText.c_str(), strCaption.c_str(), MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

// ---- First page ----

CLegacyFirstPage::CLegacyFirstPage(CLegacyApp& app)
    : CLegacyPage(app, IDD_LEGACY_FIRST), m_hIcon(app.GetAppIcon())
{
    OnCommandId(IDC_LEGACY_FIRST_NEXT, [this] { OnNext(); });
    OnCommandId(IDC_LEGACY_FIRST_CANCEL, [this] { OnCancel(); });
}

BOOL CLegacyFirstPage::OnInitDialog()
{
    std::string strAbout = m_App.LoadText(IDS_LEGACY_ABOUT_MENU);
    HMENU hSystemMenu = GetSystemMenu(m_hWnd, FALSE);
    if (!strAbout.empty() && hSystemMenu != nullptr)
    {
        AppendMenuA(hSystemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(hSystemMenu, MF_STRING, IDM_LEGACY_ABOUT, strAbout.c_str());
    }
    SetWindowIcons(m_hWnd, m_hIcon);

    if (!SetHostCode())
        return TRUE;

    for (const PAGE_TEXT& text : FIRST_PAGE_TEXTS)
        AppendText(text.nId, text.nStyle);
    FinishText();
    SetForegroundWindow(m_hWnd);
    return TRUE;
}

bool CLegacyFirstPage::SetHostCode()
{
    DWORD dwCode = LEGACY_HOST_CODE_50;
    bool bRead = ReadLegacyHostCode(m_App.GetPlatform().pHostVersion, &dwCode);
    m_App.SetHostCode(dwCode);
    if (!bRead)
        MessageBoxA(m_hWnd, LEGACY_VERSION_FAILED_TEXT, APP_TITLE, MB_OK);
    return bRead;
}

void CLegacyFirstPage::OnNext()
{
    std::string strText = m_App.LoadText(IDS_LEGACY_CONFIRM_ERASE);
    if (MessageBoxA(m_hWnd, strText.c_str(), APP_TITLE, MB_YESNO) != IDYES)
        return;
    EndDialog(IDOK);
}

void CLegacyFirstPage::OnCancel()
{
    // Nothing has stopped the sync software yet: it is not started.
    if (!AskCancel())
        return;
    m_App.CleanUp();
    EndDialog(IDCANCEL);
}

LRESULT CLegacyFirstPage::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_LEGACY_ABOUT)
        {
            CLegacyAboutDlg about(m_App);
            about.DoModal(m_hWnd);
            return 0;
        }
        return CLegacyPage::WindowProc(uMsg, wParam, lParam);
    case WM_PAINT:
        if (IsIconic(m_hWnd))
        {
            PaintMinimisedIcon(m_hWnd, m_hIcon);
            return 0;
        }
        return CLegacyPage::WindowProc(uMsg, wParam, lParam);
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_hIcon);
    default:
        return CLegacyPage::WindowProc(uMsg, wParam, lParam);
    }
}

// ---- Step pages ----

void CLegacyStepPage::OnCancel()
{
    if (!AskCancel())
        return;
    m_App.CleanUp();
    StartSyncSoftware(m_App.GetPlatform());
    EndDialog(IDCANCEL);
}

CLegacyStep2Page::CLegacyStep2Page(CLegacyApp& app) : CLegacyStepPage(app, IDD_LEGACY_STEP2)
{
    OnCommandId(IDC_LEGACY_STEP2_NEXT, [this] { EndDialog(IDOK); });
    OnCommandId(IDC_LEGACY_STEP2_CANCEL, [this] { OnCancel(); });
}

BOOL CLegacyStep2Page::OnInitDialog()
{
    for (const PAGE_TEXT& text : STEP2_PAGE_TEXTS)
        AppendText(text.nId, text.nStyle);
    FinishText();
    StopSyncSoftware(m_App.GetPlatform());
    SetForegroundWindow(m_hWnd);
    return TRUE;
}

CLegacyStep3Page::CLegacyStep3Page(CLegacyApp& app) : CLegacyStepPage(app, IDD_LEGACY_STEP3)
{
    BindControl(IDC_LEGACY_UPDATE, &m_hUpdate);
    OnCommandId(IDC_LEGACY_UPDATE, [this] { OnUpdate(); });
    OnCommandId(IDC_LEGACY_STEP3_CANCEL, [this] { OnCancel(); });
}

CLegacyStep3Page::~CLegacyStep3Page()
{
    StopWatcher();
}

BOOL CLegacyStep3Page::OnInitDialog()
{
    EnableWindow(m_hUpdate, FALSE);
    for (const PAGE_TEXT& text : STEP3_PAGE_TEXTS)
        AppendText(text.nId, text.nStyle);
    FinishText();
    SetForegroundWindow(m_hWnd);

    // The watcher tells this window when the port opens; it is stopped when the
    // window goes, so it never refers to a page that is no more.
    const PlatformContext& platform = m_App.GetPlatform();
    if (platform.pPortDriver != nullptr && platform.pClock != nullptr)
    {
        m_pWatcher = std::make_unique<CPortWatcher>(*platform.pPortDriver, *platform.pClock, m_App.GetPortName());
        HWND hwnd = m_hWnd;
        m_pWatcher->Start([hwnd](bool bPortReady) {
            if (bPortReady)
                PostMessageA(hwnd, WM_LEGACY_PORT_READY, 0, 0);
        });
    }
    return TRUE;
}

void CLegacyStep3Page::StopWatcher()
{
    if (m_pWatcher != nullptr)
        m_pWatcher->Stop();
}

void CLegacyStep3Page::OnUpdate()
{
    // Until the port opened, UPDATE is disabled and does nothing.
    if (!IsWindowEnabled(m_hUpdate))
        return;
    std::string strText = m_App.LoadText(IDS_LEGACY_CONFIRM_START);
    if (MessageBoxA(m_hWnd, strText.c_str(), LEGACY_WARNING_CAPTION, MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    StopWatcher();
    EndDialog(IDOK);
}

LRESULT CLegacyStep3Page::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_LEGACY_PORT_READY:
        // The page opened with UPDATE disabled, so the focus went to CANCEL; it moves
        // to UPDATE, so Enter starts the update rather than asking to cancel.
        EnableWindow(m_hUpdate, TRUE);
        SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hUpdate), TRUE);
        return 0;
    case WM_DESTROY:
        StopWatcher();
        return CLegacyStepPage::WindowProc(uMsg, wParam, lParam);
    default:
        return CLegacyStepPage::WindowProc(uMsg, wParam, lParam);
    }
}

// ---- Final page ----

CLegacyFinalPage::CLegacyFinalPage(CLegacyApp& app) : CLegacyPage(app, IDD_LEGACY_FINAL)
{
    OnCommandId(IDC_LEGACY_FINISH, [this] { OnFinish(); });
}

BOOL CLegacyFinalPage::OnInitDialog()
{
    AppendText(IDS_LEGACY_FINAL_TEXT, TEXT_STYLE_PLAIN_12);
    FinishText();
    return TRUE;
}

void CLegacyFinalPage::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CLegacyFinalPage::OnFinish()
{
    EndDialog(IDOK);
    m_App.CleanUp();
    StartSyncSoftware(m_App.GetPlatform());
}

// ---- Failure pages ----

CLegacyFailurePage::CLegacyFailurePage(CLegacyApp& app, UINT nTemplateId) : CLegacyPage(app, nTemplateId)
{
    BindControl(IDC_LEGACY_WARNING_ICON, &m_hIcon);
    BindControl(IDC_LEGACY_RESTART, &m_hRestart);
}

BOOL CLegacyFailurePage::OnInitDialog()
{
    SendMessageA(m_hIcon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_WARNING)), 0);
    return TRUE;
}

void CLegacyFailurePage::OnCancel()
{
    // Esc does nothing: only OK ends the page.
}

bool CLegacyFailurePage::RestartTicked() const
{
    return SendMessageA(m_hRestart, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

CLegacyTransferFailedPage::CLegacyTransferFailedPage(CLegacyApp& app)
    : CLegacyFailurePage(app, IDD_LEGACY_TRANSFER_FAILED)
{
    OnCommandId(IDC_LEGACY_TRANSFER_OK,
                [this] { EndDialog(RestartTicked() ? LEGACY_RESULT_RESTART : LEGACY_RESULT_END); });
}

BOOL CLegacyTransferFailedPage::OnInitDialog()
{
    CLegacyFailurePage::OnInitDialog();
    AppendText(IDS_LEGACY_TRANSFER_FAILED_TEXT, TEXT_STYLE_BOLD_12);
    FinishText();
    SetForegroundWindow(m_hWnd);
    return TRUE;
}

CLegacyAgentFailedPage::CLegacyAgentFailedPage(CLegacyApp& app) : CLegacyFailurePage(app, IDD_LEGACY_AGENT_FAILED)
{
    OnCommandId(IDC_LEGACY_AGENT_OK, [this] { OnOkButton(); });
}

BOOL CLegacyAgentFailedPage::OnInitDialog()
{
    CLegacyFailurePage::OnInitDialog();
    SetWindowTextA(m_hWnd, m_App.LoadText(IDS_LEGACY_PDA_INIT_FAILED).c_str());
    AppendText(IDS_LEGACY_AGENT_FAILED_TEXT, TEXT_STYLE_BOLD_RED);
    AppendText(IDS_LEGACY_AGENT_FAILED_HINT, TEXT_STYLE_BOLD_12);
    FinishText();
    SetForegroundWindow(m_hWnd);
    return TRUE;
}

void CLegacyAgentFailedPage::OnOkButton()
{
    if (!RestartTicked())
    {
        EndDialog(LEGACY_RESULT_END);
        return;
    }
    StartSyncSoftware(m_App.GetPlatform());
    EndDialog(LEGACY_RESULT_RESTART);
}

// ---- About box ----

CLegacyAboutDlg::CLegacyAboutDlg(CLegacyApp& app) : CDialogBase(app.GetInstance(), IDD_LEGACY_ABOUT)
{
}

BOOL CLegacyAboutDlg::OnEraseBkgnd(HDC hdc)
{
    return static_cast<BOOL>(Default(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0));
}
