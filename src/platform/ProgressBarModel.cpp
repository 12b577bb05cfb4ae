#include "platform/ProgressBarModel.h"

void CProgressBarModel::SetRange(int nLower, int nUpper)
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_nLower = nLower;
        m_nUpper = nUpper;
        if (m_nPos < m_nLower)
            m_nPos = m_nLower;
        if (m_nPos > m_nUpper)
            m_nPos = m_nUpper;
    }
    OnChanged();
}

void CProgressBarModel::GetRange(int* pnLower, int* pnUpper)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (pnLower != nullptr)
        *pnLower = m_nLower;
    if (pnUpper != nullptr)
        *pnUpper = m_nUpper;
}

void CProgressBarModel::SetStep(int nStep)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nStep = nStep;
}

void CProgressBarModel::SetPos(int nPos)
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_nPos = nPos < m_nLower ? m_nLower : (nPos > m_nUpper ? m_nUpper : nPos);
    }
    OnChanged();
}

int CProgressBarModel::GetPos()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nPos;
}

void CProgressBarModel::StepIt()
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        long long llNext = static_cast<long long>(m_nPos) + m_nStep;
        // Past the upper end the control starts over from the lower end.
        m_nPos = llNext > m_nUpper || llNext < m_nLower ? m_nLower : static_cast<int>(llNext);
    }
    OnChanged();
}
