// vuq_wizard_driver.exe COMMAND ...: finds the windows of a running vuq.exe among the
// desktop's top-level windows and acts on them, as a user would.
//
//   wait KIND [MS]     waits (20 s by default) for a visible window of that kind and
//                      prints its screen rectangle: LEFT TOP WIDTH HEIGHT
//   press KIND ID      presses button ID of the visible window of that kind
//   text KIND          prints the window's text: a page's rich text, a box's message
//   gone [MS]          waits until no window of the wizard is visible
//   walk [MS]          presses the default button of each page in turn until Finish,
//                      checks that "temp.dat" and "Tessik_Console.exe" were in TEMP
//                      while the wizard ran and are gone after Finish, and waits until
//                      no window is left; any message box fails the walk
//
// KIND: welcome, not-connected, confirm, progress, finish, or box:CAPTION.
// Exit status 0 on success, 1 when the window did not come or the walk failed, 2
// for usage errors.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "res/VuqResource.h"

namespace
{
std::string WindowText(HWND hwnd)
{
    char szText[4096] = {};
    GetWindowTextA(hwnd, szText, sizeof(szText));
    return szText;
}

std::string ClassName(HWND hwnd)
{
    char szClass[64] = {};
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    return szClass;
}

// The kind of a wizard window: a page by its first button, the progress window by
// its bar, a message box by its caption ("box:CAPTION"); empty for others.
std::string KindOf(HWND hwnd)
{
    if (!IsWindowVisible(hwnd) || ClassName(hwnd) != "#32770")
        return std::string();
    if (GetDlgItem(hwnd, IDC_VUQ_PROGRESS_BAR) != nullptr)
        return "progress";
    if (GetDlgItem(hwnd, IDC_VUQ_RICH_TEXT) == nullptr)
        return "box:" + WindowText(hwnd);
    std::string strButton = WindowText(GetDlgItem(hwnd, IDOK));
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

std::vector<std::pair<HWND, std::string>> WizardWindows()
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
    DWORD dwStart = GetTickCount();
    for (;;)
    {
        for (const auto& window : WizardWindows())
            if (window.second == strKind)
                return window.first;
        if (GetTickCount() - dwStart >= dwMs)
            return nullptr;
        Sleep(20);
    }
}

std::string TextOf(HWND hwnd)
{
    HWND hRich = GetDlgItem(hwnd, IDC_VUQ_RICH_TEXT);
    if (hRich != nullptr)
        return WindowText(hRich);
    // A message box: its static control with the most text.
    std::string strText;
    EnumChildWindows(
        hwnd,
        [](HWND hChild, LPARAM lParam) -> BOOL {
            std::string* pstrText = reinterpret_cast<std::string*>(lParam);
            std::string strChild = WindowText(hChild);
            if (ClassName(hChild) == "Static" && strChild.size() > pstrText->size())
                *pstrText = strChild;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&strText));
    return strText;
}

void Press(HWND hwnd, int nId)
{
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, nId)));
}

bool TempFileExists(const char* pszName)
{
    char szTemp[MAX_PATH] = {};
    GetEnvironmentVariableA("TEMP", szTemp, sizeof(szTemp));
    std::string strPath = std::string(szTemp) + "\\" + pszName;
    return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitGone(DWORD dwMs)
{
    DWORD dwStart = GetTickCount();
    while (!WizardWindows().empty())
    {
        if (GetTickCount() - dwStart >= dwMs)
            return false;
        Sleep(20);
    }
    return true;
}

int Walk(DWORD dwMs)
{
    DWORD dwStart = GetTickCount();
    std::set<HWND> pressed;
    bool bFilesSeen = false;
    while (GetTickCount() - dwStart < dwMs)
    {
        for (const auto& window : WizardWindows())
        {
            const std::string& strKind = window.second;
            if (strKind.rfind("box:", 0) == 0)
            {
                std::printf("walk: message box %s: %s\n", strKind.c_str() + 4, TextOf(window.first).c_str());
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
                bFilesSeen = TempFileExists("temp.dat") && TempFileExists("Tessik_Console.exe");
            std::printf("walk: %s\n", strKind.c_str());
            pressed.insert(window.first);
            Press(window.first, IDOK);
            if (strKind == "finish")
            {
                if (!WaitGone(dwMs))
                {
                    std::printf("walk: windows left after Finish\n");
                    return 1;
                }
                bool bFilesGone = !TempFileExists("temp.dat") && !TempFileExists("Tessik_Console.exe");
                std::printf("walk: files in TEMP at the start %s, after Finish %s\n", bFilesSeen ? "yes" : "no",
                            bFilesGone ? "gone" : "still there");
                return bFilesSeen && bFilesGone ? 0 : 1;
            }
        }
        Sleep(20);
    }
    std::printf("walk: no finish page in time\n");
    return 1;
}

DWORD TimeArg(int argc, char** argv, int nIndex)
{
    return argc > nIndex ? static_cast<DWORD>(std::strtoul(argv[nIndex], nullptr, 10)) : 20000;
}
}

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: vuq_wizard_driver (wait|press|text|gone|walk) ...\n");
        return 2;
    }
    std::string strCommand = argv[1];
    if (strCommand == "wait" && argc >= 3)
    {
        HWND hwnd = WaitFor(argv[2], TimeArg(argc, argv, 3));
        if (hwnd == nullptr)
            return 1;
        RECT rc;
        GetWindowRect(hwnd, &rc);
        std::printf("%ld %ld %ld %ld\n", static_cast<long>(rc.left), static_cast<long>(rc.top),
                    static_cast<long>(rc.right - rc.left), static_cast<long>(rc.bottom - rc.top));
        return 0;
    }
    if (strCommand == "press" && argc >= 4)
    {
        HWND hwnd = WaitFor(argv[2], 20000);
        if (hwnd == nullptr)
            return 1;
        Press(hwnd, std::atoi(argv[3]));
        return 0;
    }
    if (strCommand == "text" && argc >= 3)
    {
        HWND hwnd = WaitFor(argv[2], 20000);
        if (hwnd == nullptr)
            return 1;
        std::printf("%s\n", TextOf(hwnd).c_str());
        return 0;
    }
    if (strCommand == "gone")
        return WaitGone(TimeArg(argc, argv, 2)) ? 0 : 1;
    if (strCommand == "walk")
        return Walk(TimeArg(argc, argv, 2));
    std::fprintf(stderr, "usage: vuq_wizard_driver (wait|press|text|gone|walk) ...\n");
    return 2;
}
