#include "app/win32/WizardHarness.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <fstream>

#include "common/LastError.h"
#include "res/VuqResource.h"

namespace
{
constexpr DWORD WIZARD_END_LIMIT_MS = 30000;

bool CopyText(const std::string& strText, char* pszBuf, DWORD dwLen)
{
    if (strText.size() + 1 > dwLen)
    {
        SetLastErrorCondition(std::errc::result_out_of_range);
        return false;
    }
    std::memcpy(pszBuf, strText.c_str(), strText.size() + 1);
    return true;
}

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

std::string WindowText(HWND hwnd)
{
    char szText[1024] = {};
    GetWindowTextA(hwnd, szText, sizeof(szText));
    return szText;
}

std::string ClassName(HWND hwnd)
{
    char szClass[64] = {};
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    return szClass;
}

template <typename FN>
bool WaitUntil(DWORD dwMs, FN fnDone)
{
    auto tpEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMs);
    for (;;)
    {
        if (fnDone())
            return true;
        if (std::chrono::steady_clock::now() >= tpEnd)
            return false;
        Sleep(10);
    }
}
}

// ---- Environment ----

bool CDeskEnvironment::GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen)
{
    if (std::strcmp(pszName, "TEMP") != 0)
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return false;
    }
    return CopyText(m_strTemp, pszBuf, dwLen);
}

bool CDeskEnvironment::GetCurrentDir(char* pszBuf, DWORD dwLen)
{
    std::error_code ec;
    std::string strDir = std::filesystem::current_path(ec).string();
    return !ec && CopyText(strDir, pszBuf, dwLen);
}

bool CDeskEnvironment::SetCurrentDir(const char* pszPath)
{
    std::error_code ec;
    std::filesystem::current_path(pszPath, ec);
    if (ec)
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
    return !ec;
}

bool CDeskEnvironment::GetFreeSpace(const char*, QWORD* pqwFreeBytes)
{
    *pqwFreeBytes = m_qwFree;
    return true;
}

bool CDeskEnvironment::DeleteFile(const char* pszPath)
{
    std::error_code ec;
    if (std::filesystem::remove(pszPath, ec))
        return true;
    SetLastErrorCondition(std::errc::no_such_file_or_directory);
    return false;
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
    std::vector<HWND> windows;
    EnumThreadWindows(
        m_dwThreadId,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            if (IsWindowVisible(hwnd))
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
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
            if (ClassName(hwnd) == "#32770" && PageOf(hwnd) == PAGE_NONE && WindowText(hwnd) == pszCaption)
            {
                hFound = hwnd;
                return true;
            }
        }
        return false;
    });
    return hFound;
}

bool CWizardHarness::StaysOpen(HWND hwnd, DWORD dwMs)
{
    return !WaitUntil(dwMs, [hwnd] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); });
}

std::string CWizardHarness::MessageBoxText(HWND hBox)
{
    // The box's text is its static control with the most text (the icon has none).
    std::string strText;
    EnumChildWindows(
        hBox,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            if (ClassName(hwnd) == "Static")
            {
                std::string strChild = WindowText(hwnd);
                std::string* pstrText = reinterpret_cast<std::string*>(lParam);
                if (strChild.size() > pstrText->size())
                    *pstrText = strChild;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&strText));
    return strText;
}

HWND CWizardHarness::MessageBoxOwner(HWND hBox)
{
    return GetWindow(hBox, GW_OWNER);
}

std::string CWizardHarness::PageText(HWND hPage)
{
    HWND hRich = GetDlgItem(hPage, IDC_VUQ_RICH_TEXT);
    GETTEXTLENGTHEX length = {GTL_DEFAULT, CP_ACP};
    LRESULT nLen = SendMessageA(hRich, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    std::string strText(static_cast<size_t>(nLen) + 1, '\0');
    GETTEXTEX get = {};
    get.cb = static_cast<WIN_DWORD>(strText.size());
    get.flags = GT_DEFAULT;
    get.codepage = CP_ACP;
    LRESULT nGot =
        SendMessageA(hRich, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(strText.data()));
    strText.resize(static_cast<size_t>(nGot));
    for (char& cChar : strText)
        if (cChar == '\r')
            cChar = '\n';
    return strText;
}

std::string CWizardHarness::ItemText(HWND hDlg, int nId)
{
    HWND hItem = GetDlgItem(hDlg, nId);
    return hItem != nullptr ? WindowText(hItem) : std::string();
}

void CWizardHarness::Press(HWND hDlg, int nId)
{
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}
