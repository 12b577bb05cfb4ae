// CVUQApp: the application object of the updater. It owns what one program run
// needs: the image container and the device link (built in that order, after the
// application object itself, and destroyed in the reverse order) and the control of
// the sync software's service, which lives across update runs. InitInstance
// prepares the common controls and the rich-edit library and runs the wizard from
// its welcome page; it returns when the outermost page run returns.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include "host/HostConnection.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "platform/Platform.h"
#include "ui/AppMessageBox.h"

class CDialogBase;

// Told when a progress window opens and closes (the simulated handset announces its
// arrivals and removals to the open one).
class IProgressWindowObserver
{
public:
    virtual ~IProgressWindowObserver() = default;
    virtual void OnProgressWindowOpened(HWND hwnd) = 0;
    virtual void OnProgressWindowClosed(HWND hwnd) = 0;
};

class CVUQApp
{
public:
    // platform: the services of the run; null members are absent facilities. Its
    // message box, when null, is the program's own. hInstance: the module with the
    // resources (null: the program).
    CVUQApp(const PlatformContext& platform, HINSTANCE hInstance);
    ~CVUQApp();
    CVUQApp(const CVUQApp&) = delete;
    CVUQApp& operator=(const CVUQApp&) = delete;

    // Runs the wizard; returns FALSE once every page run has returned (the program
    // then ends, without a message loop of its own).
    BOOL InitInstance();
    // What every page needs: the common controls and the rich-edit library.
    void InitUserInterface();

    COSUtil& GetOSUtil() { return m_OSUtil; }
    CDownloader& GetDownloader() { return m_Downloader; }
    CSyncServiceControl& GetSyncService() { return m_SyncService; }
    const PlatformContext& GetPlatform() const { return m_Downloader.GetPlatform(); }
    HINSTANCE GetInstance() const { return m_hInstance; }
    HICON GetAppIcon() const { return m_hIcon; }
    // The outermost page while the wizard runs, else null.
    CDialogBase* GetMainWnd() const { return m_pMainWnd; }

    void SetProgressWindowObserver(IProgressWindowObserver* pObserver) { m_pObserver = pObserver; }
    IProgressWindowObserver* GetProgressWindowObserver() const { return m_pObserver; }

private:
    static PlatformContext WithMessageBox(const PlatformContext& platform, IMessageBox* pMessageBox);

    HINSTANCE m_hInstance;
    HICON m_hIcon;
    HMODULE m_hRichEdit = nullptr;
    CAppMessageBox m_MessageBox;
    IProgressWindowObserver* m_pObserver = nullptr;
    CDialogBase* m_pMainWnd = nullptr;
    // The process-wide objects, in their order of construction.
    COSUtil m_OSUtil;
    CDownloader m_Downloader;
    CSyncServiceControl m_SyncService;
};
