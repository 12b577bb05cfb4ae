// CUpdateProg1Dlg: the progress window UPDATE_PROG1 of the legacy updater. When it
// opens it frees the link from the sync software, comes to the front and starts the
// update run on a worker thread; the run sets its title and heading, writes its step
// box, drives its overall and step bars, and ends it with 1 (done) or 3 (failed).
//
// Buttons, keys, the worker's synchronous calls and its end are those of every
// progress window (CProgressWindow).
#pragma once

#include <string>

#include "legacy/LegacyRun.h"
#include "legacy/ui/LegacyApp.h"
#include "ui/ProgressBarControl.h"
#include "ui/ProgressWindow.h"

class CUpdateProg1Dlg : public CProgressWindow
{
public:
    explicit CUpdateProg1Dlg(CLegacyApp& app);
    ~CUpdateProg1Dlg() override;

    // IProgressView, for the run.
    IProgressBar* GetBar(int nBar) override;
    void SetCaption(const char* pszText) override;
    void SetPercent(const char* pszText) override;
    void SetHeading(const char* pszText) override;

protected:
    BOOL OnInitDialog() override;
    BOOL OnEraseBkgnd(HDC hdc) override;

private:
    static WIN_DWORD WINAPI WorkerThread(LPVOID pParam);

    CLegacyApp& m_App;
    HWND m_hOverallBar = nullptr;
    HWND m_hStepBar = nullptr;
    HWND m_hHeadingBox = nullptr;
    HWND m_hStepBox = nullptr;
    CProgressBarControl m_OverallBar;
    CProgressBarControl m_StepBar;
    std::string m_strStagingDir;
};
