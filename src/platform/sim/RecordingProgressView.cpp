#include "platform/sim/RecordingProgressView.h"

std::vector<RECORDED_BAR_STATE> CRecordingProgressBar::History()
{
    std::lock_guard<std::mutex> lock(m_csHistory);
    return m_History;
}

void CRecordingProgressBar::OnChanged()
{
    RECORDED_BAR_STATE state;
    GetRange(&state.nLower, &state.nUpper);
    state.nPos = GetPos();
    std::lock_guard<std::mutex> lock(m_csHistory);
    m_History.push_back(state);
}

CRecordingProgressView::CRecordingProgressView(int nBars) : m_Bars(static_cast<size_t>(nBars))
{
}

IProgressBar* CRecordingProgressView::GetBar(int nBar)
{
    if (nBar < 0 || static_cast<size_t>(nBar) >= m_Bars.size())
        return nullptr;
    return &m_Bars[static_cast<size_t>(nBar)];
}

void CRecordingProgressView::SetCaption(const char* pszText)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Captions.emplace_back(pszText);
}

void CRecordingProgressView::SetPercent(const char* pszText)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Percents.emplace_back(pszText);
}

void CRecordingProgressView::SetTitle(const char* pszText)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_strTitle = pszText;
}

void CRecordingProgressView::SetHeading(const char* pszText)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_strHeading = pszText;
}

int CRecordingProgressView::MessageBox(const char* pszText, const char* pszCaption, UINT uStyle)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Boxes.push_back({pszText, pszCaption, uStyle});
    return m_nAnswer;
}

void CRecordingProgressView::EndDialog(int nResult)
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_nResult = nResult;
    }
    m_Ended.Set();
}

void CRecordingProgressView::SetMessageBoxAnswer(int nAnswer)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nAnswer = nAnswer;
}

std::vector<std::string> CRecordingProgressView::Captions()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Captions;
}

std::vector<std::string> CRecordingProgressView::Percents()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Percents;
}

std::vector<RECORDED_MESSAGE_BOX> CRecordingProgressView::MessageBoxes()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Boxes;
}

std::string CRecordingProgressView::Title()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_strTitle;
}

std::string CRecordingProgressView::Heading()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_strHeading;
}

int CRecordingProgressView::Result()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nResult;
}

bool CRecordingProgressView::WaitForEnd(DWORD dwRealMs)
{
    return m_Ended.WaitReal(std::chrono::milliseconds(dwRealMs), false) == EVENT_SIGNALLED;
}
