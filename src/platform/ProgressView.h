// What the worker and the link drive on the progress window: the step caption,
// the percent box, the progress bars, message boxes, and the end of the window.
#pragma once

#include "platform/MessageBox.h"

// A progress bar with the semantics of the desktop's progress control: the
// position is kept within the range; a step past the upper end starts over at
// the lower end.
class IProgressBar
{
public:
    virtual ~IProgressBar() = default;
    virtual void SetRange(int nLower, int nUpper) = 0;
    virtual void GetRange(int* pnLower, int* pnUpper) = 0;
    virtual void SetStep(int nStep) = 0;
    virtual void SetPos(int nPos) = 0;
    virtual int GetPos() = 0;
    virtual void StepIt() = 0;
};

// Bars of a progress window: the updater has one; the legacy window has an overall
// bar and a step bar.
enum PROGRESS_BAR_ID
{
    PROGRESS_BAR_MAIN = 0,
    PROGRESS_BAR_OVERALL = 0,
    PROGRESS_BAR_STEP = 1,
};

class IProgressView : public IMessageBox
{
public:
    // Null when the window has no such bar.
    virtual IProgressBar* GetBar(int nBar) = 0;
    virtual void SetCaption(const char* pszText) = 0;   // step caption / step box
    virtual void SetPercent(const char* pszText) = 0;   // percent box
    virtual void SetTitle(const char* pszText) = 0;     // window title (legacy)
    virtual void SetHeading(const char* pszText) = 0;   // heading box (legacy)
    // Ends the window's modal run with the run result code.
    virtual void EndDialog(int nResult) = 0;
};
