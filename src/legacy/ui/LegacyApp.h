// CLegacyApp: the application object of the legacy updater (vuq-legacy). It owns
// what a program run needs: the platform services, the module with the resources,
// the name of the download port and the host code of the current pass. InitInstance
// prepares the common controls and the rich-edit library and runs the pages.
//
// One pass runs the pages from a first page on, each page closed before the next
// opens: first page, the device agent copied and started, step-2 page, step-3 page,
// progress window, then the final page or the transfer-failed page (or, when the
// agent could not be placed, the agent-failed page). A pass ends the program or asks
// for a restart; a restart is the next round of InitInstance's loop, which opens a
// new first page, so no page of an earlier pass is left open behind it.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <string>

#include "legacy/HostCode.h"
#include "platform/Platform.h"
#include "ui/AppMessageBox.h"

// How a pass of the pages ends.
enum LEGACY_PASS_RESULT
{
    LEGACY_PASS_END = 0,       // the program ends
    LEGACY_PASS_RESTART = 1,   // a new first page opens
};

// What placing the device agent on the handset came to.
enum LEGACY_AGENT_RESULT
{
    LEGACY_AGENT_STARTED = 0,   // copied and started
    LEGACY_AGENT_MISSING = 1,   // the local file could not be opened
    LEGACY_AGENT_FAILED = 2,    // the copy or the start failed
};

class CLegacyApp
{
public:
    // platform: the services of the run (null members: absent facilities; a null
    // message box: the program's own, task-modal MessageBoxA). hInstance: the module
    // with the resources (null: the program). pszPortName: the download port
    // ("\\.\wceusbsh001" on a PC, SIM_PORT_ALIAS on the simulated desk).
    CLegacyApp(const PlatformContext& platform, HINSTANCE hInstance, const char* pszPortName);
    ~CLegacyApp();
    CLegacyApp(const CLegacyApp&) = delete;
    CLegacyApp& operator=(const CLegacyApp&) = delete;

    // Common controls, "RICHED20.DLL", then the pages from the first page until the
    // program's end (restarts run in a loop, not nested). Returns FALSE.
    BOOL InitInstance();
    // What every page needs: the common controls and the rich-edit library.
    void InitUserInterface();
    // One pass of the pages from a new first page.
    int RunPass();

    // After the first page's NEXT: opens "Tessik_Console.exe" in the current
    // directory, copies it to the handset and starts it there. The local file is
    // closed as soon as the copy is over, whatever its outcome.
    int PlaceAgent();

    const PlatformContext& GetPlatform() const { return m_Platform; }
    HINSTANCE GetInstance() const { return m_hInstance; }
    HICON GetAppIcon() const { return m_hIcon; }
    const char* GetPortName() const { return m_strPortName.c_str(); }
    // The host code of the current pass, set by its first page.
    DWORD GetHostCode() const { return m_dwHostCode; }
    void SetHostCode(DWORD dwHostCode) { m_dwHostCode = dwHostCode; }

    // The program's string nId (empty when it has none).
    std::string LoadText(UINT nId) const;
    // A message box that belongs to no page (the platform's message box).
    int ShowMessage(const char* pszText, const char* pszCaption, UINT uStyle);
    // The temporary files of the update deleted from TEMP.
    void CleanUp();

private:
    HINSTANCE m_hInstance;
    HICON m_hIcon;
    HMODULE m_hRichEdit = nullptr;
    CAppMessageBox m_MessageBox;
    PlatformContext m_Platform;
    std::string m_strPortName;
    DWORD m_dwHostCode = LEGACY_HOST_CODE_50;
};
