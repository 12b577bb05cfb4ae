#include "app/VUQDlg.h"

#include <string>

#include "res/Strings.h"
#include "res/VuqResource.h"
#include "ui/RichText.h"

namespace
{
// Pixels the percent box keeps free beside "100" (a disabled edit draws its text
// embossed, one pixel wider).
constexpr int PERCENT_BOX_SLACK = 2;

WIN_DWORD WINAPI WorkerThread(LPVOID pParam)
{
    return static_cast<WIN_DWORD>(UpdateThread(pParam));
}
}

// ---- Window ----

CVUQDlg::CVUQDlg(CVUQApp& app)
    : CProgressWindow(app.GetInstance(), IDD_VUQ_PROGRESS, app.GetAppIcon()), m_App(app),
      m_DeviceChange(app.GetDownloader())
{
    BindControl(IDC_VUQ_PROGRESS_BAR, &m_hProgressBar);
    BindControl(IDC_VUQ_RICH_TEXT, &m_hRichText);
    BindControl(IDC_VUQ_CAPTION_BOX, &m_hCaptionBox);
    BindControl(IDC_VUQ_PERCENT_BOX, &m_hPercentBox);
}

CVUQDlg::~CVUQDlg()
{
    // The worker reads the run's configuration, a member of this object.
    WaitForWorker();
    UnregisterPortNotifications(m_hNotification);
    if (m_hPercentFont != nullptr)
        DeleteObject(m_hPercentFont);
}

BOOL CVUQDlg::OnInitDialog()
{
    CProgressWindow::OnInitDialog();
    m_Bar.Attach(m_hProgressBar);

    // Arrivals and removals of the download ports' interface class come to this
    // window (a failed registration is traced and the run goes on without them).
    m_hNotification = RegisterPortNotifications(m_hWnd);

    AppendRichTextResource(IDS_PROGRESS_TEXT, m_hRichText, m_hInstance);
    FitRichTextToControl(m_hRichText);
    FitPercentBox();
    if (m_App.GetProgressWindowObserver() != nullptr)
        m_App.GetProgressWindowObserver()->OnProgressWindowOpened(m_hWnd);

    m_RunConfig.pDownloader = &m_App.GetDownloader();
    m_RunConfig.pOSUtil = &m_App.GetOSUtil();
    m_RunConfig.pView = this;
    m_RunConfig.bManageHost = true;
    m_RunConfig.pSyncService = &m_App.GetSyncService();
    // A worker that cannot start ends the window as a run that did not succeed
    // (nothing was started on the handset or the PC).
    StartWorker(&WorkerThread, &m_RunConfig, 0);
    return TRUE;
}

void CVUQDlg::FitPercentBox()
{
    // The box is 12 dialog units wide and shows up to "100" (an edit without
    // horizontal scrolling shows only what fits): without the edit's own margins
    // that fits the dialog's font on most machines; where it does not, the box gets
    // smaller sizes of the same face until it does.
    SendMessageA(m_hPercentBox, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    RECT rcBox = {};
    SendMessageA(m_hPercentBox, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rcBox));
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(m_hPercentBox, WM_GETFONT, 0, 0));
    LOGFONTA logFont = {};
    if (hFont == nullptr || GetObjectA(hFont, sizeof(logFont), &logFont) == 0)
        return;
    HDC hdc = GetDC(m_hPercentBox);
    for (int nStep = 0; nStep < 6; ++nStep)
    {
        HGDIOBJ hOld = SelectObject(hdc, hFont);
        SIZE size = {};
        GetTextExtentPoint32A(hdc, "100", 3, &size);
        SelectObject(hdc, hOld);
        if (size.cx + PERCENT_BOX_SLACK <= rcBox.right - rcBox.left)
            break;
        logFont.lfHeight = logFont.lfHeight < 0 ? logFont.lfHeight + 1 : logFont.lfHeight - 1;
        HFONT hSmaller = CreateFontIndirectA(&logFont);
        if (hSmaller == nullptr)
            break;
        if (m_hPercentFont != nullptr)
            DeleteObject(m_hPercentFont);
        m_hPercentFont = hSmaller;
        hFont = hSmaller;
    }
    ReleaseDC(m_hPercentBox, hdc);
    if (m_hPercentFont != nullptr)
        SendMessageA(m_hPercentBox, WM_SETFONT, reinterpret_cast<WPARAM>(m_hPercentFont), FALSE);
}

IProgressBar* CVUQDlg::GetBar(int nBar)
{
    return nBar == PROGRESS_BAR_MAIN ? &m_Bar : nullptr;
}

void CVUQDlg::SetCaption(const char* pszText)
{
    SetWindowTextA(m_hCaptionBox, pszText);
}

void CVUQDlg::SetPercent(const char* pszText)
{
    // The box shows the percentage as digits; the sign is the static text after it
    // (the reply progress writes "45 %", which the narrow box would cut anyway).
    std::string strDigits;
    for (const char* p = pszText; *p != '\0'; ++p)
    {
        if (*p >= '0' && *p <= '9')
            strDigits += *p;
        else if (!strDigits.empty())
            break;
    }
    SetWindowTextA(m_hPercentBox, strDigits.c_str());
}

void CVUQDlg::SetHeading(const char*)
{
    // The updater's window has no heading box.
}

void CVUQDlg::OnRunEnding()
{
    if (m_App.GetProgressWindowObserver() != nullptr)
        m_App.GetProgressWindowObserver()->OnProgressWindowClosed(m_hWnd);
}

LRESULT CVUQDlg::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DEVICECHANGE)
    {
        // An arrival's first open attempt runs here; a port that does not open yet
        // is checked further on the handler's own thread, so this window keeps
        // handling its messages meanwhile. Only a handled arrival returns 1 without
        // passing the message on.
        if (DispatchDeviceChange(m_DeviceChange, m_hWnd, wParam, lParam))
            return 1;
        return Default(uMsg, wParam, lParam);
    }
    return CProgressWindow::WindowProc(uMsg, wParam, lParam);
}
