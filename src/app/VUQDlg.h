// CVUQDlg: the progress window shown while the handset is updated. When it opens it
// registers for the download ports' device-interface notifications, renders its
// text and starts the update worker on a thread of its own. While it is open it
// turns device arrivals and removals into the port table updates and events of the
// device link (CDeviceChangeHandler), and the worker and the link write its caption
// box, percent box and progress bar. Buttons, keys, the worker's synchronous calls
// and its end are those of every progress window (CProgressWindow).
#pragma once

#include "app/VuqApp.h"
#include "app/worker/UpdateWorker.h"
#include "link/DeviceChange.h"
#include "platform/win32/Win32DeviceNotifier.h"
#include "ui/ProgressBarControl.h"
#include "ui/ProgressWindow.h"

class CVUQDlg : public CProgressWindow
{
public:
    explicit CVUQDlg(CVUQApp& app);
    ~CVUQDlg() override;

    // IProgressView, for the worker and the link.
    IProgressBar* GetBar(int nBar) override;
    void SetCaption(const char* pszText) override;
    void SetPercent(const char* pszText) override;
    void SetHeading(const char* pszText) override;

protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnRunEnding() override;

private:
    void FitPercentBox();

    CVUQApp& m_App;
    HWND m_hProgressBar = nullptr;
    HWND m_hRichText = nullptr;
    HWND m_hCaptionBox = nullptr;
    HWND m_hPercentBox = nullptr;
    CProgressBarControl m_Bar;
    CDeviceChangeHandler m_DeviceChange;
    UPDATE_RUN_CONFIG m_RunConfig;
    HDEVNOTIFY m_hNotification = nullptr;
    HFONT m_hPercentFont = nullptr;   // a smaller font for the percent box, when it needs one
};
