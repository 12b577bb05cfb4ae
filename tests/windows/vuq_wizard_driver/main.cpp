// vuq_wizard_driver.exe [--legacy] COMMAND ...: finds the windows of a running
// vuq.exe (with --legacy: vuq-legacy.exe) among the desktop's top-level windows
// (those of processes of that program only: other programs, test programs that show
// the same dialogs among them, are left alone) and acts on them, as a user would.
//
//   wait KIND [MS]     waits (20 s by default) for a visible window of that kind and
//                      prints its screen rectangle: LEFT TOP WIDTH HEIGHT
//   press KIND ID      presses button ID of the visible window of that kind
//   key KIND VK        types the virtual key VK (decimal) into the window
//   syscommand KIND ID sends the window's system-menu command ID
//   tick KIND ID       clicks check box ID of the window
//   enabled KIND ID [MS]  waits until control ID of the window is enabled
//   text KIND          prints the window's text: a page's rich text, a box's message
//   item KIND ID       prints the text of the window's control ID
//   gone [MS]          waits until no window of the program is visible
//   walk [MS]          presses the default button of each page in turn (vuq-legacy:
//                      answers Yes to its two confirmations and waits for UPDATE)
//                      until the last page, checks the program's files in TEMP
//                      before and after (see the walks below), and waits until no
//                      window is left; any other message box fails the walk
//
// KIND of vuq.exe: welcome, not-connected, confirm, progress, finish, or box:CAPTION.
// KIND of vuq-legacy.exe: first, step2, step3, progress, final, transfer-failed,
// agent-failed, about, or box:CAPTION.
// Exit status 0 on success, 1 when the window did not come or the walk failed, 2
// for usage errors.
#include "platform/win32/Win32SystemHeaders.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "res/VuqResource.h"
#include "support/win32/DialogWindows.h"
#include "support/win32/LegacyWindows.h"

namespace
{
constexpr DWORD DEFAULT_WAIT_MS = 20000;

// ---- The program driven ----

struct WIZARD_PROGRAM
{
    const char* pszExe;
    // The kind of one of the program's dialogs; empty for others.
    std::string (*pfnKindOf)(HWND hwnd);
    int (*pfnWalk)(DWORD dwMs);
};

const WIZARD_PROGRAM* g_pProgram = nullptr;

// True when the window belongs to a process of the program driven.
bool IsProgramWindow(HWND hwnd)
{
    WIN_DWORD dwProcess = 0;
    GetWindowThreadProcessId(hwnd, &dwProcess);
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcess);
    if (hProcess == nullptr)
        return false;
    char szPath[MAX_PATH] = {};
    WIN_DWORD dwLen = sizeof(szPath);
    bool bOurs = false;
    if (QueryFullProcessImageNameA(hProcess, 0, szPath, &dwLen))
    {
        const char* pszName = std::strrchr(szPath, '\\');
        pszName = pszName != nullptr ? pszName + 1 : szPath;
        bOurs = _stricmp(pszName, g_pProgram->pszExe) == 0;
    }
    CloseHandle(hProcess);
    return bOurs;
}

std::string KindOf(HWND hwnd)
{
    if (!IsWindowVisible(hwnd) || !IsDialogWindow(hwnd) || !IsProgramWindow(hwnd))
        return std::string();
    return g_pProgram->pfnKindOf(hwnd);
}

std::vector<std::pair<HWND, std::string>> ProgramWindows()
{
    std::vector<std::pair<HWND, std::string>> windows;
    EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            std::string strKind = KindOf(hwnd);
            if (!strKind.empty())
                reinterpret_cast<std::vector<std::pair<HWND, std::string>>*>(lParam)->emplace_back(hwnd, strKind);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND WaitFor(const std::string& strKind, DWORD dwMs)
{
    HWND hFound = nullptr;
    WaitUntil(dwMs, [&] {
        for (const auto& window : ProgramWindows())
            if (window.second == strKind)
                hFound = window.first;
        return hFound != nullptr;
    });
    return hFound;
}

bool WaitGone(DWORD dwMs)
{
    return WaitUntil(dwMs, [] { return ProgramWindows().empty(); });
}

// A page's rich text (WM_GETTEXT, which reads it from another process too), or a
// message box's text.
std::string TextOf(HWND hwnd, int nRichTextId)
{
    HWND hRich = GetDlgItem(hwnd, nRichTextId);
    return hRich != nullptr ? WindowText(hRich) : MessageBoxText(hwnd);
}

bool TempFileExists(const char* pszName)
{
    char szTemp[MAX_PATH] = {};
    GetEnvironmentVariableA("TEMP", szTemp, sizeof(szTemp));
    std::string strPath = std::string(szTemp) + "\\" + pszName;
    return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool AllTempFiles(const std::vector<const char*>& names, bool bPresent)
{
    for (const char* pszName : names)
        if (TempFileExists(pszName) != bPresent)
            return false;
    return true;
}

// After the last page's button: waits until the program's windows are gone and
// reports the files.
int EndOfWalk(DWORD dwMs, bool bFilesSeen, const std::vector<const char*>& gone)
{
    if (!WaitGone(dwMs))
    {
        std::printf("walk: windows left after the last page\n");
        return 1;
    }
    bool bFilesGone = AllTempFiles(gone, false);
    std::printf("walk: files in TEMP during the run %s, after the last page %s\n", bFilesSeen ? "yes" : "no",
                bFilesGone ? "gone" : "still there");
    return bFilesSeen && bFilesGone ? 0 : 1;
}

// ---- vuq.exe ----

std::string VuqKindOf(HWND hwnd)
{
    if (GetDlgItem(hwnd, IDC_VUQ_PROGRESS_BAR) != nullptr)
        return "progress";
    if (GetDlgItem(hwnd, IDC_VUQ_RICH_TEXT) == nullptr)
        return "box:" + WindowText(hwnd);
    std::string strButton = ItemText(hwnd, IDOK);
    if (strButton == "Next")
        return "welcome";
    if (strButton == "Try again")
        return "not-connected";
    if (strButton == "Continue")
        return "confirm";
    if (strButton == "Finish")
        return "finish";
    return std::string();
}

// "temp.dat" and "Tessik_Console.exe" are in TEMP at the welcome page and gone
// after Finish.
int VuqWalk(DWORD dwMs)
{
    const std::vector<const char*> FILES = {"temp.dat", "Tessik_Console.exe"};
    DWORD dwStart = GetTickCount();
    std::set<HWND> pressed;
    bool bFilesSeen = false;
    while (GetTickCount() - dwStart < dwMs)
    {
        for (const auto& window : ProgramWindows())
        {
            const std::string& strKind = window.second;
            if (strKind.rfind("box:", 0) == 0)
            {
                std::printf("walk: message box %s: %s\n", strKind.c_str() + 4,
                            TextOf(window.first, IDC_VUQ_RICH_TEXT).c_str());
                return 1;
            }
            if (strKind == "not-connected")
            {
                std::printf("walk: the not-connected page\n");
                return 1;
            }
            if (strKind == "progress" || pressed.count(window.first) != 0)
                continue;
            if (strKind == "welcome")
                bFilesSeen = AllTempFiles(FILES, true);
            std::printf("walk: %s\n", strKind.c_str());
            pressed.insert(window.first);
            PressButton(window.first, IDOK);
            if (strKind == "finish")
                return EndOfWalk(dwMs, bFilesSeen, FILES);
        }
        Sleep(20);
    }
    std::printf("walk: no finish page in time\n");
    return 1;
}

// ---- vuq-legacy.exe ----

std::string LegacyKindOf(HWND hwnd)
{
    int nWindow = LegacyWindowOf(hwnd);
    if (nWindow == LEGACY_WINDOW_BOX)
        return "box:" + WindowText(hwnd);
    return LegacyWindowName(nWindow);
}

// NEXT, Yes, NEXT, UPDATE once enabled, Yes, FINISH: "temp.dat" and
// "Tessik_Console.exe" are in TEMP at the first page, the staging file
// "TempFileToDown" at the final page, and the four temporary files are gone after
// FINISH.
int LegacyWalk(DWORD dwMs)
{
    const std::vector<const char*> FIRST_FILES = {"temp.dat", "Tessik_Console.exe"};
    const std::vector<const char*> TEMP_FILES(std::begin(LEGACY_TEMP_FILES), std::end(LEGACY_TEMP_FILES));
    struct STEP
    {
        const char* pszKind;
        int nButton;
    };
    const STEP STEPS[] = {
        {"first", IDC_LEGACY_FIRST_NEXT}, {"box:VUQ", IDYES},  {"step2", IDC_LEGACY_STEP2_NEXT},
        {"step3", IDC_LEGACY_UPDATE},     {"box:Warning", IDYES}, {"final", IDC_LEGACY_FINISH},
    };
    DWORD dwStart = GetTickCount();
    std::set<HWND> pressed;
    bool bFilesSeen = false;
    while (GetTickCount() - dwStart < dwMs)
    {
        for (const auto& window : ProgramWindows())
        {
            const std::string& strKind = window.second;
            if (strKind == "progress" || pressed.count(window.first) != 0)
                continue;
            const STEP* pStep = nullptr;
            for (const STEP& step : STEPS)
                if (strKind == step.pszKind)
                    pStep = &step;
            if (pStep == nullptr)
            {
                std::printf("walk: %s: %s\n", strKind.c_str(), TextOf(window.first, IDC_LEGACY_RICH_TEXT).c_str());
                return 1;
            }
            if (strKind == "first")
                bFilesSeen = AllTempFiles(FIRST_FILES, true);
            if (strKind == "step3" && !IsWindowEnabled(GetDlgItem(window.first, IDC_LEGACY_UPDATE)))
                continue;
            if (strKind == "final")
                bFilesSeen = bFilesSeen && TempFileExists("TempFileToDown");
            std::printf("walk: %s\n", strKind.c_str());
            pressed.insert(window.first);
            PressButton(window.first, pStep->nButton);
            if (strKind == "final")
                return EndOfWalk(dwMs, bFilesSeen, TEMP_FILES);
        }
        Sleep(20);
    }
    std::printf("walk: no final page in time\n");
    return 1;
}

const WIZARD_PROGRAM VUQ_PROGRAM = {"vuq.exe", VuqKindOf, VuqWalk};
const WIZARD_PROGRAM LEGACY_PROGRAM = {"vuq-legacy.exe", LegacyKindOf, LegacyWalk};

// ---- Commands ----

DWORD TimeArg(int argc, char** argv, int nIndex)
{
    return argc > nIndex ? static_cast<DWORD>(std::strtoul(argv[nIndex], nullptr, 10)) : DEFAULT_WAIT_MS;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: vuq_wizard_driver [--legacy] "
                 "(wait|press|key|syscommand|tick|enabled|text|item|gone|walk) ...\n");
    return 2;
}
}

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    g_pProgram = &VUQ_PROGRAM;
    if (argc >= 2 && std::strcmp(argv[1], "--legacy") == 0)
    {
        g_pProgram = &LEGACY_PROGRAM;
        --argc;
        ++argv;
    }
    if (argc < 2)
        return Usage();
    std::string strCommand = argv[1];
    if (strCommand == "gone")
        return WaitGone(TimeArg(argc, argv, 2)) ? 0 : 1;
    if (strCommand == "walk")
        return g_pProgram->pfnWalk(TimeArg(argc, argv, 2));
    if (argc < 3)
        return Usage();

    bool bWithId = strCommand == "press" || strCommand == "key" || strCommand == "syscommand" ||
                   strCommand == "tick" || strCommand == "enabled" || strCommand == "item";
    if (bWithId && argc < 4)
        return Usage();
    HWND hwnd = WaitFor(argv[2], strCommand == "wait" ? TimeArg(argc, argv, 3) : DEFAULT_WAIT_MS);
    if (hwnd == nullptr)
        return 1;
    int nId = bWithId ? std::atoi(argv[3]) : 0;
    if (strCommand == "wait")
    {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        std::printf("%ld %ld %ld %ld\n", static_cast<long>(rc.left), static_cast<long>(rc.top),
                    static_cast<long>(rc.right - rc.left), static_cast<long>(rc.bottom - rc.top));
        return 0;
    }
    if (strCommand == "press")
    {
        PressButton(hwnd, nId);
        return 0;
    }
    if (strCommand == "key")
    {
        TypeKey(hwnd, static_cast<WPARAM>(nId));
        return 0;
    }
    if (strCommand == "syscommand")
    {
        PostMessageA(hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(nId), 0);
        return 0;
    }
    if (strCommand == "tick")
    {
        PostMessageA(GetDlgItem(hwnd, nId), BM_CLICK, 0, 0);
        return 0;
    }
    if (strCommand == "enabled")
    {
        HWND hItem = GetDlgItem(hwnd, nId);
        return hItem != nullptr && WaitUntil(TimeArg(argc, argv, 4), [hItem] { return IsWindowEnabled(hItem) != FALSE; })
                   ? 0
                   : 1;
    }
    if (strCommand == "text")
    {
        int nRichTextId = g_pProgram == &LEGACY_PROGRAM ? IDC_LEGACY_RICH_TEXT : IDC_VUQ_RICH_TEXT;
        std::printf("%s\n", TextOf(hwnd, nRichTextId).c_str());
        return 0;
    }
    if (strCommand == "item")
    {
        std::printf("%s\n", ItemText(hwnd, nId).c_str());
        return 0;
    }
    return Usage();
}
