#include "app/win32/WizardHarness.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "res/VuqResource.h"

namespace
{
constexpr DWORD WIZARD_END_LIMIT_MS = 30000;

void WriteBytes(const std::string& strPath, const std::vector<BYTE>& bytes)
{
    std::ofstream file(strPath, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<BYTE> Pattern(size_t nLen, BYTE bSeed)
{
    std::vector<BYTE> bytes(nLen);
    for (size_t i = 0; i < nLen; ++i)
        bytes[i] = static_cast<BYTE>(bSeed + i * 7);
    return bytes;
}
}

// ---- Harness ----

CWizardHarness::CWizardHarness(DWORD dwScale)
    : m_Environment(m_Temp.Path()), m_Desk(dwScale, &m_Environment, &m_Events), m_Agent(Pattern(300, 0x31))
{
}

CWizardHarness::~CWizardHarness()
{
    if (m_Thread.joinable())
    {
        if (!m_bEnded)
            PostThreadMessageA(m_dwThreadId, WM_QUIT, 0, 0);
        // A wizard thread that does not end even so waits for something that never
        // comes (a window that ended while its worker still runs, say): the test has
        // failed, and the program stops instead of hanging.
        if (!WaitUntil(WIZARD_END_LIMIT_MS, [this] { return m_bEnded.load(); }))
        {
            std::fprintf(stderr, "the wizard's thread did not end; stopping the test program\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        m_Thread.join();
    }
    // The image file is released before the folder goes.
    if (m_pApp)
        m_pApp->GetOSUtil().Close();
    m_pApp.reset();
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(ec), ec);
}

void CWizardHarness::WriteTempFiles(const CImageBuilder& image)
{
    image.WriteTo(m_Temp.File("temp.dat"));
    WriteBytes(m_Temp.File("Tessik_Console.exe"), m_Agent);
    WriteBytes(m_Temp.File("Brenmor.exe"), Pattern(200, 0x77));
}

bool CWizardHarness::TempFileExists(const char* pszName) const
{
    std::error_code ec;
    return std::filesystem::exists(m_Temp.File(pszName), ec);
}

void CWizardHarness::Start()
{
    m_pApp = std::make_unique<CVUQApp>(m_Desk.Platform(), nullptr);
    m_pApp->SetProgressWindowObserver(&m_Events);
    RunOnThread([](CVUQApp& app) { app.InitInstance(); });
}

void CWizardHarness::StartWith(std::function<void(CVUQApp&)> fnRun)
{
    m_pApp = std::make_unique<CVUQApp>(m_Desk.Platform(), nullptr);
    m_pApp->SetProgressWindowObserver(&m_Events);
    RunOnThread([fnRun](CVUQApp& app) {
        app.InitUserInterface();
        fnRun(app);
    });
}

void CWizardHarness::RunOnThread(std::function<void(CVUQApp&)> fnRun)
{
    m_Thread = std::thread([this, fnRun] {
        m_dwThreadId = GetCurrentThreadId();
        fnRun(*m_pApp);
        m_bEnded = true;
    });
    WaitUntil(WIZARD_WAIT_MS, [this] { return m_dwThreadId != 0; });
}

bool CWizardHarness::WaitForEnd(DWORD dwMs)
{
    if (!WaitUntil(dwMs, [this] { return m_bEnded.load(); }))
        return false;
    m_Thread.join();
    return true;
}

std::vector<HWND> CWizardHarness::VisibleWindows()
{
    return VisibleThreadWindows(m_dwThreadId);
}

int CWizardHarness::PageOf(HWND hwnd)
{
    if (GetDlgItem(hwnd, IDC_VUQ_PROGRESS_BAR) != nullptr)
        return PAGE_PROGRESS;
    if (GetDlgItem(hwnd, IDC_VUQ_RICH_TEXT) == nullptr)
        return PAGE_NONE;
    std::string strButton = ItemText(hwnd, IDOK);
    if (strButton == "Next")
        return PAGE_WELCOME;
    if (strButton == "Try again")
        return PAGE_NOT_CONNECTED;
    if (strButton == "Continue")
        return PAGE_CONFIRM;
    if (strButton == "Finish")
        return PAGE_FINISH;
    return PAGE_NONE;
}

HWND CWizardHarness::WaitForPage(int nPage, HWND hExclude, DWORD dwMs)
{
    HWND hFound = nullptr;
    WaitUntil(dwMs, [&] {
        for (HWND hwnd : VisibleWindows())
        {
            if (hwnd != hExclude && PageOf(hwnd) == nPage)
            {
                hFound = hwnd;
                return true;
            }
        }
        return false;
    });
    return hFound;
}

HWND CWizardHarness::WaitForMessageBox(const char* pszCaption, DWORD dwMs)
{
    HWND hFound = nullptr;
    WaitUntil(dwMs, [&] {
        for (HWND hwnd : VisibleWindows())
        {
            if (IsDialogWindow(hwnd) && PageOf(hwnd) == PAGE_NONE && WindowText(hwnd) == pszCaption)
            {
                hFound = hwnd;
                return true;
            }
        }
        return false;
    });
    return hFound;
}

HWND CWizardHarness::MessageBoxOwner(HWND hBox)
{
    return GetWindow(hBox, GW_OWNER);
}

std::string CWizardHarness::PageText(HWND hPage)
{
    return RichEditText(GetDlgItem(hPage, IDC_VUQ_RICH_TEXT));
}
