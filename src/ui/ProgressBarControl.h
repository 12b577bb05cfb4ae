// A progress bar control of a progress window, driven by window messages: each call
// is synchronous, from any thread.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include "platform/ProgressView.h"

class CProgressBarControl : public IProgressBar
{
public:
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    void SetRange(int nLower, int nUpper) override;
    void GetRange(int* pnLower, int* pnUpper) override;
    void SetStep(int nStep) override;
    void SetPos(int nPos) override;
    int GetPos() override;
    void StepIt() override;

private:
    HWND m_hWnd = nullptr;
};
