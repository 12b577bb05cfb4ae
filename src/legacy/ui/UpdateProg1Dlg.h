// CUpdateProg1Dlg: the progress window UPDATE_PROG1 of the legacy updater. When it
// opens it frees the link from the sync software, comes to the front and starts the
// update run on a worker thread; the run sets its title and heading, writes its step
// box, drives its overall and step bars, and ends it with 1 (done) or 3 (failed).
//
// The worker reaches the window only through synchronous window messages: it waits
// until the window's thread has handled each call, message boxes included (the
// window's thread shows them, owned by the window). The window's thread never waits
// for the worker while the window is open.
//
// The window has no buttons: Enter, Esc and the close command do nothing.
#pragma once

#include "ui/DialogBase.h"

#include <functional>
#include <string>

#include "legacy/LegacyRun.h"
#include "legacy/ui/LegacyApp.h"
#include "ui/ProgressBarControl.h"
#include "ui/WindowThreadCall.h"

class CUpdateProg1Dlg : public CDialogBase, public IProgressView
{
public:
    explicit CUpdateProg1Dlg(CLegacyApp& app);
    // The worker has ended the window by then; its thread is let finish.
    ~CUpdateProg1Dlg() override;

    // IProgressView, for the run.
    IProgressBar* GetBar(int nBar) override;
    void SetCaption(const char* pszText) override;
    void SetPercent(const char* pszText) override;
    void SetTitle(const char* pszText) override;
    void SetHeading(const char* pszText) override;
    void EndDialog(int nResult) override;
    int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnEraseBkgnd(HDC hdc) override;
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    static WIN_DWORD WINAPI WorkerThread(LPVOID pParam);
    void OnWindowThread(const std::function<void()>& fnCall) { m_WindowThread.Run(fnCall); }

    CLegacyApp& m_App;
    HWND m_hOverallBar = nullptr;
    HWND m_hStepBar = nullptr;
    HWND m_hHeadingBox = nullptr;
    HWND m_hStepBox = nullptr;
    CProgressBarControl m_OverallBar;
    CProgressBarControl m_StepBar;
    CWindowThreadCall m_WindowThread;
    std::string m_strStagingDir;
    HANDLE m_hWorker = nullptr;
};
