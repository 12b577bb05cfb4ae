// CProgressWindow: what the progress windows of both updaters share. The window has
// no buttons: Enter, Esc and the close command do nothing, and its modal run ends
// only when the worker it started ends it with the run's result.
//
// The worker reaches the window only through synchronous window messages
// (CWindowThreadCall): it waits until the window's thread has handled each call,
// message boxes included (shown by the window's thread, owned by the window). The
// window's thread never waits for the worker while the window is open; the object
// waits for the worker's thread to finish when it is destroyed.
#pragma once

#include "ui/DialogBase.h"

#include <functional>

#include "platform/ProgressView.h"
#include "ui/WindowThreadCall.h"

class CProgressWindow : public CDialogBase, public IProgressView
{
public:
    // hIcon: the window's icon, also drawn while it is minimised.
    CProgressWindow(HINSTANCE hInstance, UINT nTemplateId, HICON hIcon);
    // The worker has ended the window by then; its thread is let finish.
    ~CProgressWindow() override;

    // IProgressView: the parts both windows have.
    void SetTitle(const char* pszText) override;
    void EndDialog(int nResult) override;
    int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) override;

protected:
    // Attaches the window's thread for the worker's calls and sets the icons; the
    // windows call it first in their own OnInitDialog.
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // Starts the worker on a thread of its own. When no thread can be made, nothing
    // would ever end the window: it ends at once with nFailedResult.
    void StartWorker(LPTHREAD_START_ROUTINE pfnWorker, LPVOID pParam, int nFailedResult);
    // Waits until the worker's thread has finished. A window whose worker uses its
    // members calls it first in its destructor (the base's comes too late for them).
    void WaitForWorker();
    // Runs fnCall on the window's thread (at once when called there).
    void OnWindowThread(const std::function<void()>& fnCall) { m_WindowThread.Run(fnCall); }
    // On the window's thread, just before the worker's EndDialog ends the run.
    virtual void OnRunEnding() {}

    HICON m_hIcon;

private:
    CWindowThreadCall m_WindowThread;
    HANDLE m_hWorker = nullptr;
};
