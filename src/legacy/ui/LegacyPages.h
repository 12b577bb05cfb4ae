// The pages of the legacy updater. Each page ends its own modal run with a result,
// and the application object (CLegacyApp::RunPass) opens the next one:
//
//   CLegacyFirstPage           welcome and instructions; NEXT asks the first
//                              confirmation and ends with IDOK on Yes
//   CLegacyStep2Page           the handset enters its USB-downloader mode; NEXT ends
//                              with IDOK
//   CLegacyStep3Page           waits for the download port (UPDATE is enabled once it
//                              opens); UPDATE asks the second confirmation and ends
//                              with IDOK on Yes
//   CLegacyFinalPage           FINISH cleans up, starts the sync software, IDOK
//   CLegacyTransferFailedPage  OK ends with LEGACY_RESULT_RESTART or LEGACY_RESULT_END
//   CLegacyAgentFailedPage     the same; a restart starts the sync software first
//   CLegacyAboutDlg            the About box of the first page's system menu
//
// CANCEL (and Esc, and the close box) asks the cancel question on the first three
// pages; Yes cleans up (on the step pages also starts the sync software again) and
// ends the page with IDCANCEL. Enter presses a page's default button; where there is
// none, or it is disabled, Enter does nothing (the dialog's own IDOK ends no page).
#pragma once

#include "ui/DialogBase.h"

#include <memory>

#include "legacy/PortWatcher.h"
#include "legacy/ui/LegacyApp.h"

// Results of the failure pages.
constexpr INT_PTR LEGACY_RESULT_RESTART = 100001;   // "restart program" ticked
constexpr INT_PTR LEGACY_RESULT_END = 100002;

// The caption of the second confirmation.
constexpr char LEGACY_WARNING_CAPTION[] = "Warning";
// The box shown when the host's version cannot be read.
constexpr char LEGACY_VERSION_FAILED_TEXT[] = "Get OS version failed!";

// The page message that enables UPDATE once the download port opened (posted by the
// port watcher's thread).
constexpr UINT WM_LEGACY_PORT_READY = WM_APP + 2;

// A page of the legacy updater: a template of the program, the application object,
// the rich-edit box 1000, and Enter ignored.
class CLegacyPage : public CDialogBase
{
public:
    CLegacyPage(CLegacyApp& app, UINT nTemplateId);

protected:
    void OnOK() override;
    // The dialog's own background, without the separator bands of the updater's pages.
    BOOL OnEraseBkgnd(HDC hdc) override;
    // Appends the program's string nId in the style nStyle (a TEXT_STYLE_ID).
    void AppendText(UINT nId, int nStyle);
    // After the texts: the text shown whole, the caret at its end.
    void FinishText();
    // Asks the cancel question; true on Yes.
    bool AskCancel();

    CLegacyApp& m_App;
    HWND m_hRichText = nullptr;
};

class CLegacyFirstPage : public CLegacyPage
{
public:
    explicit CLegacyFirstPage(CLegacyApp& app);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnNext();
    // The host code from the host's version; false (after the box) when the version
    // cannot be read.
    bool SetHostCode();

    HICON m_hIcon;
};

// The step pages' cancel: clean-up, the sync software started, the page ended.
class CLegacyStepPage : public CLegacyPage
{
public:
    using CLegacyPage::CLegacyPage;

protected:
    void OnCancel() override;
};

class CLegacyStep2Page : public CLegacyStepPage
{
public:
    explicit CLegacyStep2Page(CLegacyApp& app);

protected:
    BOOL OnInitDialog() override;
};

class CLegacyStep3Page : public CLegacyStepPage
{
public:
    explicit CLegacyStep3Page(CLegacyApp& app);
    ~CLegacyStep3Page() override;

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnUpdate();
    void StopWatcher();

    HWND m_hUpdate = nullptr;
    std::unique_ptr<CPortWatcher> m_pWatcher;
};

class CLegacyFinalPage : public CLegacyPage
{
public:
    explicit CLegacyFinalPage(CLegacyApp& app);

protected:
    BOOL OnInitDialog() override;
    // Esc: the page closes without clean-up and without the sync software.
    void OnCancel() override;

private:
    void OnFinish();
};

// The transfer-failed and agent-failed pages: the system's warning icon, the
// "restart program" check box, OK; Esc does nothing.
class CLegacyFailurePage : public CLegacyPage
{
public:
    CLegacyFailurePage(CLegacyApp& app, UINT nTemplateId);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    bool RestartTicked() const;

    HWND m_hIcon = nullptr;
    HWND m_hRestart = nullptr;
};

class CLegacyTransferFailedPage : public CLegacyFailurePage
{
public:
    explicit CLegacyTransferFailedPage(CLegacyApp& app);

protected:
    BOOL OnInitDialog() override;
};

class CLegacyAgentFailedPage : public CLegacyFailurePage
{
public:
    explicit CLegacyAgentFailedPage(CLegacyApp& app);

protected:
    BOOL OnInitDialog() override;

private:
    void OnOkButton();
};

class CLegacyAboutDlg : public CDialogBase
{
public:
    explicit CLegacyAboutDlg(CLegacyApp& app);

protected:
    BOOL OnEraseBkgnd(HDC hdc) override;
};
