#include "legacy/ui/win32/LegacyHarness.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/sim/SimPortBus.h"

namespace
{
constexpr DWORD PROGRAM_END_LIMIT_MS = 30000;

std::vector<BYTE> Pattern(size_t nLen, BYTE bSeed)
{
    std::vector<BYTE> bytes(nLen);
    for (size_t i = 0; i < nLen; ++i)
        bytes[i] = static_cast<BYTE>(bSeed + i * 7);
    return bytes;
}

void WriteBytes(const std::string& strPath, const std::vector<BYTE>& bytes)
{
    std::ofstream file(strPath, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
}

CLegacyHarness::CLegacyHarness(DWORD dwScale)
    : m_Environment(m_Temp.Path()),
      m_Desk(dwScale, &m_Environment, nullptr, HANDSET_DIALECT_LEGACY),
      m_Ports(*m_Desk.Platform().pPortDriver),
      m_Rapi(*m_Desk.Platform().pRemoteApi),
      m_Image(LEGACY_IMAGE_LAYOUT{}),
      m_Agent(Pattern(300, 0x31))
{
}

CLegacyHarness::~CLegacyHarness()
{
    if (m_Thread.joinable())
    {
        if (!m_bEnded)
            PostThreadMessageA(m_dwThreadId, WM_QUIT, 0, 0);
        // A program thread that does not end even so waits for something that never
        // comes: the test has failed, and the program stops instead of hanging.
        if (!WaitUntil(PROGRAM_END_LIMIT_MS, [this] { return m_bEnded.load(); }))
        {
            std::fprintf(stderr, "the legacy updater's thread did not end; stopping the test program\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        m_Thread.join();
    }
    m_pApp.reset();
    // The program made TEMP current; the folder is left before it goes.
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(ec), ec);
}

void CLegacyHarness::WriteFiles()
{
    m_Image.Write(m_Temp.File("temp.dat"));
    WriteBytes(m_Temp.File("Tessik_Console.exe"), m_Agent);
    WriteBytes(m_Temp.File("VUQ.exe"), Pattern(200, 0x77));
}

bool CLegacyHarness::TempFileExists(const char* pszName) const
{
    std::error_code ec;
    return std::filesystem::exists(m_Temp.File(pszName), ec);
}

std::vector<std::string> CLegacyHarness::TempFilesLeft() const
{
    std::vector<std::string> left;
    for (const char* pszName : LEGACY_TEMP_FILES)
        if (TempFileExists(pszName))
            left.push_back(pszName);
    return left;
}

void CLegacyHarness::Start()
{
    PlatformContext platform = m_Desk.Platform();
    platform.pPortDriver = &m_Ports;
    platform.pRemoteApi = &m_Rapi;
    if (m_bVersionUnreadable)
        platform.pHostVersion = &m_UnreadableVersion;
    m_pApp = std::make_unique<CLegacyApp>(platform, nullptr, SIM_PORT_ALIAS);
    m_Thread = std::thread([this] {
        m_dwThreadId = GetCurrentThreadId();
        m_pApp->InitInstance();
        m_bEnded = true;
    });
    WaitUntil(LEGACY_WAIT_MS, [this] { return m_dwThreadId != 0; });
}

bool CLegacyHarness::WaitForEnd(DWORD dwMs)
{
    if (!WaitUntil(dwMs, [this] { return m_bEnded.load(); }))
        return false;
    m_Thread.join();
    return true;
}

std::vector<HWND> CLegacyHarness::VisibleWindows()
{
    return VisibleThreadWindows(m_dwThreadId);
}

HWND CLegacyHarness::WaitFor(int nWindow, HWND hExclude, DWORD dwMs)
{
    HWND hFound = nullptr;
    WaitUntil(dwMs, [&] {
        for (HWND hwnd : VisibleWindows())
        {
            if (hwnd != hExclude && LegacyWindowOf(hwnd) == nWindow)
            {
                hFound = hwnd;
                return true;
            }
        }
        return false;
    });
    return hFound;
}

HWND CLegacyHarness::WaitForBox(const char* pszCaption, DWORD dwMs)
{
    HWND hFound = nullptr;
    WaitUntil(dwMs, [&] {
        for (HWND hwnd : VisibleWindows())
        {
            if (LegacyWindowOf(hwnd) == LEGACY_WINDOW_BOX && WindowText(hwnd) == pszCaption)
            {
                hFound = hwnd;
                return true;
            }
        }
        return false;
    });
    return hFound;
}

std::string CLegacyHarness::PageText(HWND hPage)
{
    return RichEditText(GetDlgItem(hPage, IDC_LEGACY_RICH_TEXT));
}

bool CLegacyHarness::WaitEnabled(HWND hDlg, int nId, bool bEnabled, DWORD dwMs)
{
    HWND hItem = GetDlgItem(hDlg, nId);
    return hItem != nullptr && WaitUntil(dwMs, [&] { return (IsWindowEnabled(hItem) != FALSE) == bEnabled; });
}

bool CLegacyHarness::Tick(HWND hDlg, int nId)
{
    HWND hBox = GetDlgItem(hDlg, nId);
    if (hBox == nullptr)
        return false;
    PostMessageA(hBox, BM_CLICK, 0, 0);
    return WaitUntil(LEGACY_WAIT_MS, [hBox] { return SendMessageA(hBox, BM_GETCHECK, 0, 0) == BST_CHECKED; });
}

HICON CLegacyHarness::BoxIcon(HWND hBox)
{
    HICON hIcon = nullptr;
    EnumChildWindows(
        hBox,
        [](HWND hChild, LPARAM lParam) -> BOOL {
            if (ClassName(hChild) == "Static" && (GetWindowLongA(hChild, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                *reinterpret_cast<HICON*>(lParam) = reinterpret_cast<HICON>(SendMessageA(hChild, STM_GETICON, 0, 0));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&hIcon));
    return hIcon;
}

std::vector<std::string> CLegacyHarness::SyncStarts()
{
    const std::string strQuit = " /quit";
    std::vector<std::string> starts;
    for (const std::string& strCall : m_Desk.Host().CallsStartingWith("StartProcess "))
        if (strCall.size() < strQuit.size() || strCall.compare(strCall.size() - strQuit.size(), strQuit.size(), strQuit) != 0)
            starts.push_back(strCall.substr(std::string("StartProcess ").size()));
    return starts;
}

HWND CLegacyHarness::StartAtFirst()
{
    Start();
    return WaitFor(LEGACY_WINDOW_FIRST);
}

HWND CLegacyHarness::NextFromFirst(HWND hFirst)
{
    PressButton(hFirst, IDC_LEGACY_FIRST_NEXT);
    HWND hConfirm = WaitForBox("VUQ");
    if (hConfirm == nullptr)
        return nullptr;
    PressButton(hConfirm, IDYES);
    return WaitFor(LEGACY_WINDOW_STEP2);
}

HWND CLegacyHarness::StartAtStep2()
{
    HWND hFirst = StartAtFirst();
    return hFirst != nullptr ? NextFromFirst(hFirst) : nullptr;
}

HWND CLegacyHarness::StartAtStep3()
{
    HWND hStep2 = StartAtStep2();
    if (hStep2 == nullptr)
        return nullptr;
    PressButton(hStep2, IDC_LEGACY_STEP2_NEXT);
    return WaitFor(LEGACY_WINDOW_STEP3);
}

HWND CLegacyHarness::UpdateFromStep3(HWND hStep3)
{
    if (!WaitEnabled(hStep3, IDC_LEGACY_UPDATE, true))
        return nullptr;
    PressButton(hStep3, IDC_LEGACY_UPDATE);
    HWND hWarning = WaitForBox("Warning");
    if (hWarning == nullptr)
        return nullptr;
    PressButton(hWarning, IDYES);
    return WaitFor(LEGACY_WINDOW_PROGRESS);
}

HWND CLegacyHarness::StartAtProgress()
{
    HWND hStep3 = StartAtStep3();
    return hStep3 != nullptr ? UpdateFromStep3(hStep3) : nullptr;
}

HWND CLegacyHarness::StartAt(int nWindow)
{
    switch (nWindow)
    {
    case LEGACY_WINDOW_FIRST:
        return StartAtFirst();
    case LEGACY_WINDOW_STEP2:
        return StartAtStep2();
    case LEGACY_WINDOW_STEP3:
        return StartAtStep3();
    case LEGACY_WINDOW_PROGRESS:
        return StartAtProgress();
    case LEGACY_WINDOW_FINAL:
        return StartAtProgress() != nullptr ? WaitFor(LEGACY_WINDOW_FINAL, nullptr, LEGACY_RUN_WAIT_MS) : nullptr;
    case LEGACY_WINDOW_TRANSFER_FAILED:
        m_Desk.Handset().ScriptReplies(1, {"OS not compatible.\n"});
        return StartAtProgress() != nullptr ? WaitFor(LEGACY_WINDOW_TRANSFER_FAILED, nullptr, LEGACY_RUN_WAIT_MS) : nullptr;
    case LEGACY_WINDOW_AGENT_FAILED:
    {
        m_Desk.RemoteApi().SetCreateFails(true);
        HWND hFirst = StartAtFirst();
        if (hFirst == nullptr)
            return nullptr;
        PressButton(hFirst, IDC_LEGACY_FIRST_NEXT);
        HWND hConfirm = WaitForBox("VUQ");
        if (hConfirm == nullptr)
            return nullptr;
        PressButton(hConfirm, IDYES);
        return WaitFor(LEGACY_WINDOW_AGENT_FAILED);
    }
    default:
        return nullptr;
    }
}
