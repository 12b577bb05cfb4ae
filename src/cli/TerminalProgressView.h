// The progress window of vuqctl: a progress bar with the step caption on a
// terminal, redrawn only when it changes; plain lines when standard output is not
// a terminal. Message boxes become lines on standard error; the tool never waits
// for keyboard input.
#pragma once

#include <mutex>
#include <string>

#include "platform/ProgressBarModel.h"
#include "platform/ProgressView.h"

class CTerminalProgressView;

class CTerminalProgressBar : public CProgressBarModel
{
public:
    explicit CTerminalProgressBar(CTerminalProgressView* pView) : m_pView(pView) {}
    void OnChanged() override;

private:
    CTerminalProgressView* m_pView;
};

class CTerminalProgressView : public IProgressView
{
public:
    // nBars: 1 for the updater, 2 for the legacy run (overall and step bar; the
    // overall bar is drawn).
    CTerminalProgressView(bool bTerminal, int nBars);

    IProgressBar* GetBar(int nBar) override;
    void SetCaption(const char* pszText) override;
    void SetPercent(const char* pszText) override;
    void SetTitle(const char* pszText) override;
    void SetHeading(const char* pszText) override;
    int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) override;
    void EndDialog(int nResult) override;

    int GetResult();
    // Ends the bar's line on a terminal.
    void Finish();
    void Redraw();

private:
    std::string Render();

    bool m_bTerminal;
    int m_nBars;
    CTerminalProgressBar m_MainBar{this};
    CTerminalProgressBar m_StepBar{this};
    std::recursive_mutex m_csDraw;
    std::string m_strCaption;
    std::string m_strLastDrawn;
    int m_nLastLineBucket = -1;
    int m_nResult = -1;
};
