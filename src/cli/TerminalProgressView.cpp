#include "cli/TerminalProgressView.h"

#include <cstdio>

namespace
{
constexpr size_t BAR_WIDTH = 30;
}

void CTerminalProgressBar::OnChanged()
{
    m_pView->Redraw();
}

CTerminalProgressView::CTerminalProgressView(bool bTerminal, int nBars) : m_bTerminal(bTerminal), m_nBars(nBars)
{
}

IProgressBar* CTerminalProgressView::GetBar(int nBar)
{
    if (nBar == PROGRESS_BAR_MAIN)
        return &m_MainBar;
    if (nBar == PROGRESS_BAR_STEP && m_nBars > 1)
        return &m_StepBar;
    return nullptr;
}

std::string CTerminalProgressView::Render()
{
    int nLower = 0;
    int nUpper = 0;
    m_MainBar.GetRange(&nLower, &nUpper);
    int nPos = m_MainBar.GetPos();
    long long llSpan = static_cast<long long>(nUpper) - nLower;
    long long llPercent = llSpan > 0 ? (static_cast<long long>(nPos) - nLower) * 100 / llSpan : 0;
    int nPercent = llPercent < 0 ? 0 : (llPercent > 100 ? 100 : static_cast<int>(llPercent));
    size_t nFilled = static_cast<size_t>(nPercent * BAR_WIDTH / 100);
    std::string strLine;
    strLine.reserve(BAR_WIDTH + 16 + m_strCaption.size());
    strLine.push_back('[');
    strLine.append(nFilled, '#');
    strLine.append(BAR_WIDTH - nFilled, '.');
    strLine.append("] ");
    char szPercent[8];
    std::snprintf(szPercent, sizeof(szPercent), "%3d%%", nPercent);
    return strLine + szPercent + "  " + m_strCaption;
}

void CTerminalProgressView::Redraw()
{
    std::lock_guard<std::recursive_mutex> lock(m_csDraw);
    std::string strLine = Render();
    if (strLine == m_strLastDrawn)
        return;
    m_strLastDrawn = strLine;
    if (m_bTerminal)
    {
        std::printf("\r\033[K%s", strLine.c_str());
        std::fflush(stdout);
        return;
    }
    // Plain output: a line for each tenth of the bar, so logs stay short.
    int nLower = 0;
    int nUpper = 0;
    m_MainBar.GetRange(&nLower, &nUpper);
    long long llSpan = static_cast<long long>(nUpper) - nLower;
    int nBucket = llSpan > 0 ? static_cast<int>((static_cast<long long>(m_MainBar.GetPos()) - nLower) * 10 / llSpan) : 0;
    if (nBucket != m_nLastLineBucket)
    {
        m_nLastLineBucket = nBucket;
        std::printf("%s\n", strLine.c_str());
        std::fflush(stdout);
    }
}

void CTerminalProgressView::SetCaption(const char* pszText)
{
    std::lock_guard<std::recursive_mutex> lock(m_csDraw);
    m_strCaption = pszText;
    if (!m_bTerminal)
    {
        std::printf("%s\n", pszText);
        std::fflush(stdout);
        m_strLastDrawn = Render();
        return;
    }
    Redraw();
}

void CTerminalProgressView::SetPercent(const char*)
{
    // The bar shows the percentage itself.
}

void CTerminalProgressView::SetTitle(const char*)
{
}

void CTerminalProgressView::SetHeading(const char*)
{
}

int CTerminalProgressView::MessageBox(const char* pszText, const char* pszCaption, UINT uStyle)
{
    std::lock_guard<std::recursive_mutex> lock(m_csDraw);
    if (m_bTerminal && !m_strLastDrawn.empty())
        std::printf("\n");
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", pszCaption, pszText);
    m_strLastDrawn.clear();
    // Questions are answered "No": the tool never goes further than asked.
    return (uStyle & MB_STYLE_YESNO) == MB_STYLE_YESNO ? MB_ANSWER_NO : MB_ANSWER_OK;
}

void CTerminalProgressView::EndDialog(int nResult)
{
    std::lock_guard<std::recursive_mutex> lock(m_csDraw);
    m_nResult = nResult;
}

int CTerminalProgressView::GetResult()
{
    std::lock_guard<std::recursive_mutex> lock(m_csDraw);
    return m_nResult;
}

void CTerminalProgressView::Finish()
{
    std::lock_guard<std::recursive_mutex> lock(m_csDraw);
    if (m_bTerminal && !m_strLastDrawn.empty())
        std::printf("\n");
    std::fflush(stdout);
}
