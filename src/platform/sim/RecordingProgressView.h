// A progress view that records everything shown on it: captions, percent texts,
// message boxes, every change of its bars, and the end result. Message boxes are
// answered at once with a set answer. Used by tests and by the simulated runs.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/ProgressBarModel.h"
#include "platform/ProgressView.h"

struct RECORDED_MESSAGE_BOX
{
    std::string strText;
    std::string strCaption;
    UINT uStyle;
};

// One state of a bar after a change.
struct RECORDED_BAR_STATE
{
    int nLower;
    int nUpper;
    int nPos;
};

class CRecordingProgressBar : public CProgressBarModel
{
public:
    std::vector<RECORDED_BAR_STATE> History();
    void OnChanged() override;

private:
    std::mutex m_csHistory;
    std::vector<RECORDED_BAR_STATE> m_History;
};

class CRecordingProgressView : public IProgressView
{
public:
    explicit CRecordingProgressView(int nBars = 1);

    IProgressBar* GetBar(int nBar) override;
    void SetCaption(const char* pszText) override;
    void SetPercent(const char* pszText) override;
    void SetTitle(const char* pszText) override;
    void SetHeading(const char* pszText) override;
    int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) override;
    void EndDialog(int nResult) override;

    void SetMessageBoxAnswer(int nAnswer);
    CRecordingProgressBar& Bar(int nBar) { return m_Bars[static_cast<size_t>(nBar)]; }

    std::vector<std::string> Captions();
    std::vector<std::string> Percents();
    std::vector<RECORDED_MESSAGE_BOX> MessageBoxes();
    std::string Title();
    std::string Heading();
    // The result EndDialog was called with, or -1 while the window is open.
    int Result();
    bool WaitForEnd(DWORD dwRealMs);

private:
    std::mutex m_csState;
    std::vector<CRecordingProgressBar> m_Bars;
    std::vector<std::string> m_Captions;
    std::vector<std::string> m_Percents;
    std::vector<RECORDED_MESSAGE_BOX> m_Boxes;
    std::string m_strTitle;
    std::string m_strHeading;
    int m_nAnswer = MB_ANSWER_OK;
    int m_nResult = -1;
    CEvent m_Ended{true, false};
};
