// The updater's wizard run on a thread of the test program, with its real dialogs
// under the virtual display, on the simulated desk of vuq.exe --simulate (CSimDesk:
// the sync software, the handset's remote API, the virtual handset on the in-process
// bus announcing itself to the progress window as the system would), with real files
// in a TEMP folder of the test's own and a scaled clock. The test finds the pages and
// message boxes among the wizard thread's windows, presses their buttons and reads
// their texts.
//
// Buttons are pressed with posted messages: a handler runs further pages modally,
// so a sent message would not return until they close.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/VuqApp.h"
#include "app/WindowDeviceEvents.h"
#include "platform/sim/SimDesk.h"
#include "support/ImageBuilder.h"
#include "support/win32/DeskEnvironment.h"
#include "support/win32/DialogWindows.h"

// Real-time limit of the test's waits for a window; they end as soon as it is there.
constexpr DWORD WIZARD_WAIT_MS = 20000;

// Which page a window is, by its template's first button (the progress window has
// its progress bar instead).
enum WIZARD_PAGE
{
    PAGE_NONE = 0,
    PAGE_WELCOME,
    PAGE_NOT_CONNECTED,
    PAGE_CONFIRM,
    PAGE_FINISH,
    PAGE_PROGRESS,
};

class CWizardHarness
{
public:
    // Every wait of the wizard dwScale times shorter.
    explicit CWizardHarness(DWORD dwScale = 50);
    // Ends a wizard that is still running (every modal loop ends on the quit message).
    ~CWizardHarness();

    // The files the update finds in TEMP: the image, the agent and the other tool.
    void WriteTempFiles(const CImageBuilder& image = CImageBuilder());
    const std::vector<BYTE>& AgentBytes() const { return m_Agent; }
    bool TempFileExists(const char* pszName) const;
    std::string TempPath() const { return m_Temp.Path(); }

    // Starts the wizard (CVUQApp::InitInstance) on its own thread.
    void Start();
    // Runs fnRun on the wizard's thread instead (a single page, say), with the user
    // interface prepared as the wizard prepares it.
    void StartWith(std::function<void(CVUQApp&)> fnRun);
    // Waits until the wizard's thread has returned; false on time-out.
    bool WaitForEnd(DWORD dwMs = WIZARD_WAIT_MS);
    bool Ended() const { return m_bEnded; }

    // The wizard thread's visible top-level windows.
    std::vector<HWND> VisibleWindows();
    static int PageOf(HWND hwnd);
    // Waits for a visible page of that kind other than hExclude; null on time-out.
    HWND WaitForPage(int nPage, HWND hExclude = nullptr, DWORD dwMs = WIZARD_WAIT_MS);
    // Waits for a visible message box with that caption; null on time-out.
    HWND WaitForMessageBox(const char* pszCaption, DWORD dwMs = WIZARD_WAIT_MS);
    // True when the window is still there after dwMs of real time (checked throughout).
    bool StaysOpen(HWND hwnd, DWORD dwMs) { return ::StaysOpen(hwnd, dwMs); }

    static std::string MessageBoxText(HWND hBox) { return ::MessageBoxText(hBox); }
    static HWND MessageBoxOwner(HWND hBox);
    // The page's rich-text control's text, line breaks as "\n".
    static std::string PageText(HWND hPage);
    static std::string ItemText(HWND hDlg, int nId) { return ::ItemText(hDlg, nId); }
    // Presses a button of a page or message box.
    static void Press(HWND hDlg, int nId) { PressButton(hDlg, nId); }

    CVUQApp& App() { return *m_pApp; }
    CSimDesk& Desk() { return m_Desk; }

    CTempDir m_Temp;
    CDeskEnvironment m_Environment;

private:
    void RunOnThread(std::function<void(CVUQApp&)> fnRun);

    CWindowDeviceEvents m_Events;
    CSimDesk m_Desk;
    std::vector<BYTE> m_Agent;
    std::unique_ptr<CVUQApp> m_pApp;
    std::thread m_Thread;
    std::atomic<DWORD> m_dwThreadId{0};
    std::atomic<bool> m_bEnded{false};
};
