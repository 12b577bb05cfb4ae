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

// The device-interface class of the handset's download ports.
constexpr GUID GUID_VUQ_DOWNLOAD_INTERFACE = {
    0x25DBCE51, 0x6C8F, 0x4A72, {0x8A, 0x6D, 0xB5, 0x4C, 0x2B, 0x4F, 0xC8, 0x35}};

// A progress bar control driven by window messages (synchronous from any thread).
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
    // Runs fnCall on the window's thread: at once there, else by a synchronous
    // window message.
    void OnWindowThread(const std::function<void()>& fnCall);
    LRESULT OnDeviceChange(WPARAM wParam, LPARAM lParam);
    void OnPaint();

    CVUQApp& m_App;
    HICON m_hIcon;
    HWND m_hProgressBar = nullptr;
    HWND m_hRichText = nullptr;
    HWND m_hCaptionBox = nullptr;
    HWND m_hPercentBox = nullptr;
    DWORD m_dwThreadId = 0;
    CProgressBarControl m_Bar;
    CDeviceChangeHandler m_DeviceChange;
    UPDATE_RUN_CONFIG m_RunConfig;
    HANDLE m_hWorker = nullptr;
    HDEVNOTIFY m_hNotification = nullptr;
};
