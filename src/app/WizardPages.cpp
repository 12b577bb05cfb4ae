#include "app/WizardPages.h"

#include <cstdio>
#include <string>

#include "app/VUQDlg.h"
#include "common/Trace.h"
#include "res/Strings.h"
#include "res/VuqResource.h"
#include "ui/RichText.h"

namespace
{
const char CONFIRMATION_FORMAT[] =
    "/cblack Your device software is about to be update\nFrom : \nDevice CE image version : %s\t\t\t   \n"
    "GSM Version : %s\nTo : \nDevice CE Image version : %s\nGSM Version : %s\n\n\n\n/s220 While the update is in "
    "progress, your device will act as\nthough it is outside of network coverage, so all you\ncalls will be "
    "diverted to your Answer Phone, an any\nmessage will be delivered once the update is completed.\n\n"
    "Please click Continue to continue";
const char FREE_SPACE_TEXT[] = "Free space of target device is not enought";
const char FREE_SPACE_CAPTION[] = "warning";

// The cancel question of a page: Yes deletes the temporary files and ends the page
// with Cancel; No leaves everything as it is.
void AskCancel(CDialogBase& page, CVUQApp& app, const char* pszPage)
{
    std::string strText = LoadResourceText(IDS_CANCEL_QUESTION, app.GetInstance());
    std::string strCaption = LoadResourceText(IDS_CANCEL_CAPTION, app.GetInstance());
    Trace(false, "%s :: OnBnClickedCancel ++", pszPage);
    if (MessageBoxA(page.GetSafeHwnd(), strText.c_str(), strCaption.c_str(), MB_YESNO) == IDYES)
    {
        Trace(false, "User exit!!!");
        DeleteFiles(app.GetPlatform(), &app.GetOSUtil());
        page.EndDialog(IDCANCEL);
    }
    Trace(false, "%s :: OnBnClickedCancel --", pszPage);
}

// A text of the device link (UTF-8) in the ANSI code page the controls show, cut to
// fit the page's 64-byte buffers.
void Utf8ToAnsi(const char* pszUtf8, char* pszAnsi, size_t nLen)
{
    pszAnsi[0] = '\0';
    wchar_t wszText[VERSION_TEXT_BUFFER];
    int nWide = MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, wszText, static_cast<int>(VERSION_TEXT_BUFFER));
    if (nWide <= 0)
        return;
    int nBytes = WideCharToMultiByte(CP_ACP, 0, wszText, -1, pszAnsi, static_cast<int>(nLen), nullptr, nullptr);
    if (nBytes <= 0)
        pszAnsi[0] = '\0';
    pszAnsi[nLen - 1] = '\0';
}
}

std::string FormatConfirmationText(const char* pszCurrentVersion, const char* pszCurrentGsmVersion,
                                   const char* pszNewVersion)
{
    int nLen = std::snprintf(nullptr, 0, CONFIRMATION_FORMAT, pszCurrentVersion, pszCurrentGsmVersion, pszNewVersion,
                             " ");
    std::string strText(static_cast<size_t>(nLen) + 1, '\0');
    std::snprintf(strText.data(), strText.size(), CONFIRMATION_FORMAT, pszCurrentVersion, pszCurrentGsmVersion,
                  pszNewVersion, " ");
    strText.resize(static_cast<size_t>(nLen));
    return strText;
}

// ---- Welcome page ----

CVUQB1Dlg::CVUQB1Dlg(CVUQApp& app)
    : CDialogBase(app.GetInstance(), IDD_VUQ_WELCOME), m_App(app), m_hIcon(app.GetAppIcon())
{
    BindControl(IDC_VUQ_RICH_TEXT, &m_hRichText);
    OnCommandId(IDOK, [this] { OnBnClickedNext(); });
    OnCommandId(IDCANCEL, [this] { AskCancel(*this, m_App, "CVUQB1Dlg"); });
}

BOOL CVUQB1Dlg::OnInitDialog()
{
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    AppendRichTextResource(IDS_WELCOME_TEXT, m_hRichText, m_hInstance);
    return TRUE;
}

void CVUQB1Dlg::OnBnClickedNext()
{
    EndDialog(IDOK);
    if (m_App.GetDownloader().PDAInit() != PDAINIT_READY)
    {
        CNOTSyncDialog notConnected(m_App);
        notConnected.DoModal();
        return;
    }

    // A TEMP that cannot be read or measured counts as a volume without space.
    IHostEnvironment* pEnvironment = m_App.GetPlatform().pHostEnvironment;
    char szTemp[MAX_PATH_LEN] = {};
    QWORD qwFree = 0;
    if (pEnvironment != nullptr && pEnvironment->GetEnvironment("TEMP", szTemp, sizeof(szTemp)))
    {
        if (!pEnvironment->GetFreeSpace(szTemp, &qwFree))
            qwFree = 0;
    }
    if (qwFree >= REQUIRED_FREE_SPACE)
    {
        CVUQC1Dlg confirm(m_App);
        confirm.DoModal();
    }
    else
    {
        MessageBoxA(m_hWnd, FREE_SPACE_TEXT, FREE_SPACE_CAPTION, MB_OK);
    }
}

// ---- Not-connected page ----

CNOTSyncDialog::CNOTSyncDialog(CVUQApp& app) : CDialogBase(app.GetInstance(), IDD_VUQ_NOT_CONNECTED), m_App(app)
{
    BindControl(IDC_VUQ_RICH_TEXT, &m_hRichText);
    OnCommandId(IDOK, [this] { OnBnClickedTryAgain(); });
    OnCommandId(IDCANCEL, [this] { AskCancel(*this, m_App, "CNOTSyncDialog"); });
}

BOOL CNOTSyncDialog::OnInitDialog()
{
    AppendRichTextResource(IDS_NOT_CONNECTED_TEXT, m_hRichText, m_hInstance);
    return TRUE;
}

void CNOTSyncDialog::OnBnClickedTryAgain()
{
    EndDialog(IDOK);
    CVUQB1Dlg welcome(m_App);
    welcome.DoModal();
}

// ---- Version confirmation page ----

CVUQC1Dlg::CVUQC1Dlg(CVUQApp& app) : CDialogBase(app.GetInstance(), IDD_VUQ_CONFIRM), m_App(app)
{
    BindControl(IDC_VUQ_RICH_TEXT, &m_hRichText);
    OnCommandId(IDOK, [this] { OnBnClickedContinue(); });
    OnCommandId(IDCANCEL, [this] { AskCancel(*this, m_App, "CVUQC1Dlg"); });
}

BOOL CVUQC1Dlg::OnInitDialog()
{
    // The image file is opened in TEMP. A container initialised before keeps its state.
    IHostEnvironment* pEnvironment = m_App.GetPlatform().pHostEnvironment;
    char szTemp[MAX_PATH_LEN] = {};
    if (pEnvironment != nullptr && pEnvironment->GetEnvironment("TEMP", szTemp, sizeof(szTemp)))
        pEnvironment->SetCurrentDir(szTemp);
    int nErr = 0;
    m_App.GetOSUtil().Init(&nErr);

    // A failed query leaves the current versions empty.
    char szRom[VERSION_TEXT_BUFFER] = {};
    char szGsm[VERSION_TEXT_BUFFER] = {};
    m_App.GetDownloader().QueryDeviceVersion(szRom, szGsm);
    Utf8ToAnsi(szRom, m_szCurrentVersion, sizeof(m_szCurrentVersion));
    Utf8ToAnsi(szGsm, m_szCurrentGsmVersion, sizeof(m_szCurrentGsmVersion));

    // The image's version text, unscrambled with "Key1": up to its first zero, and
    // never more than 63 characters, so it always fits the page's buffer.
    m_App.GetOSUtil().GetVersionText(m_szNewVersion, sizeof(m_szNewVersion));

    std::string strText = FormatConfirmationText(m_szCurrentVersion, m_szCurrentGsmVersion, m_szNewVersion);
    AppendRichText(strText.c_str(), m_hRichText);
    return TRUE;
}

void CVUQC1Dlg::OnBnClickedContinue()
{
    if (m_App.GetDownloader().PDAInit() != PDAINIT_READY)
    {
        std::string strText = LoadResourceText(IDS_LINK_LOST, m_hInstance);
        std::string strCaption = LoadResourceText(IDS_LINK_LOST_CAPTION, m_hInstance);
        MessageBoxA(m_hWnd, strText.c_str(), strCaption.c_str(), MB_OK);
        EndDialog(IDOK);
        return;
    }
    EndDialog(IDOK);
    int nResult = 0;
    {
        CVUQDlg progress(m_App);
        nResult = static_cast<int>(progress.DoModal());
    }
    if (nResult == 1)
    {
        CENDDlg finish(m_App);
        finish.DoModal();
    }
    else
    {
        CVUQC1Dlg confirm(m_App);
        confirm.DoModal();
    }
}

// ---- Finish page ----

CENDDlg::CENDDlg(CVUQApp& app) : CDialogBase(app.GetInstance(), IDD_VUQ_FINISH), m_App(app)
{
    BindControl(IDC_VUQ_RICH_TEXT, &m_hRichText);
    OnCommandId(IDOK, [this] { OnBnClickedFinish(); });
    // Esc and the close command end the finished wizard as Finish does.
    OnCommandId(IDCANCEL, [this] { OnBnClickedFinish(); });
}

BOOL CENDDlg::OnInitDialog()
{
    AppendRichTextResource(IDS_FINISH_TEXT, m_hRichText, m_hInstance);
    return TRUE;
}

void CENDDlg::OnBnClickedFinish()
{
    DeleteFiles(m_App.GetPlatform(), &m_App.GetOSUtil());
    EndDialog(IDOK);
}
