#include "ui/ProgressBarControl.h"

void CProgressBarControl::SetRange(int nLower, int nUpper)
{
    SendMessageA(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(nLower), static_cast<LPARAM>(nUpper));
}

void CProgressBarControl::GetRange(int* pnLower, int* pnUpper)
{
    PBRANGE range = {};
    SendMessageA(m_hWnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    if (pnLower != nullptr)
        *pnLower = range.iLow;
    if (pnUpper != nullptr)
        *pnUpper = range.iHigh;
}

void CProgressBarControl::SetStep(int nStep)
{
    SendMessageA(m_hWnd, PBM_SETSTEP, static_cast<WPARAM>(nStep), 0);
}

void CProgressBarControl::SetPos(int nPos)
{
    SendMessageA(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(nPos), 0);
}

int CProgressBarControl::GetPos()
{
    return static_cast<int>(SendMessageA(m_hWnd, PBM_GETPOS, 0, 0));
}

void CProgressBarControl::StepIt()
{
    SendMessageA(m_hWnd, PBM_STEPIT, 0, 0);
}
