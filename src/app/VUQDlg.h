// CVUQDlg: the progress window shown while the handset is updated. When it opens it
// registers for the download ports' device-interface notifications, renders its
// text and starts the update worker on a thread of its own. While it is open it
// turns device arrivals and removals into the port table updates and events of the
// device link (CDeviceChangeHandler), and the worker and the link write its caption
// box, percent box and progress bar.
//
// The worker reaches the controls only through synchronous window messages: it waits
// until the window's thread has handled each call, message boxes included (they are
// shown by the window's thread, owned by the window, and the worker waits until they
// are closed). The window's thread never waits for the worker.
//
// The window has no buttons: Enter, Esc and the close command do nothing, and the
// modal run ends only when the worker ends it with the run result code.
#pragma once

#include "ui/DialogBase.h"

#include <functional>

#include "app/VuqApp.h"
#include "app/worker/UpdateWorker.h"
#include "link/DeviceChange.h"
#include "platform/win32/Win32DeviceNotifier.h"
#include "ui/ProgressBarControl.h"
#include "ui/WindowThreadCall.h"

class CVUQDlg : public CDialogBase, public IProgressView
{
public:
    explicit CVUQDlg(CVUQApp& app);
    // The worker has ended the window by then; its thread is let finish.
    ~CVUQDlg() override;

    // IProgressView, for the worker and the link.
    IProgressBar* GetBar(int nBar) override;
    void SetCaption(const char* pszText) override;
    void SetPercent(const char* pszText) override;
    void SetTitle(const char* pszText) override;
    void SetHeading(const char* pszText) override;
    void EndDialog(int nResult) override;
    int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnWindowThread(const std::function<void()>& fnCall) { m_WindowThread.Run(fnCall); }
    void FitPercentBox();

    CVUQApp& m_App;
    HICON m_hIcon;
    HWND m_hProgressBar = nullptr;
    HWND m_hRichText = nullptr;
    HWND m_hCaptionBox = nullptr;
    HWND m_hPercentBox = nullptr;
    CWindowThreadCall m_WindowThread;
    CProgressBarControl m_Bar;
    CDeviceChangeHandler m_DeviceChange;
    UPDATE_RUN_CONFIG m_RunConfig;
    HANDLE m_hWorker = nullptr;
    HDEVNOTIFY m_hNotification = nullptr;
    HFONT m_hPercentFont = nullptr;   // a smaller font for the percent box, when it needs one
};
