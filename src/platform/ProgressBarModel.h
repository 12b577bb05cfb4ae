// The behaviour of the desktop's progress control, for views that draw their own
// bar (terminal, recorder). Thread-safe.
#pragma once

#include <mutex>

#include "platform/ProgressView.h"

class CProgressBarModel : public IProgressBar
{
public:
    void SetRange(int nLower, int nUpper) override;
    void GetRange(int* pnLower, int* pnUpper) override;
    void SetStep(int nStep) override;
    void SetPos(int nPos) override;
    int GetPos() override;
    void StepIt() override;

    // Called after every change, outside the lock.
    virtual void OnChanged() {}

private:
    std::mutex m_csState;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 10;
    int m_nPos = 0;
};
