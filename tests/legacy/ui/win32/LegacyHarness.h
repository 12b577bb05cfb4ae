// The legacy updater (CLegacyApp) run on a thread of the test program, with its real
// dialogs under the virtual display, on the simulated desk of vuq-legacy.exe
// --simulate (CSimDesk in the legacy dialect: the sync software, the handset's remote
// API, the virtual handset on the in-process bus reached by its alias), with real
// files in a TEMP folder of the test's own, which is also the current directory, and
// a scaled clock. The test finds the pages, boxes and the progress window among the
// program thread's windows (support/win32/LegacyWindows.h), presses their buttons,
// types keys and reads their texts.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/LastError.h"
#include "legacy/LegacyImage.h"
#include "legacy/ui/LegacyApp.h"
#include "platform/HostVersion.h"
#include "platform/PortDriver.h"
#include "platform/RemoteApi.h"
#include "platform/sim/SimDesk.h"
#include "support/ImageBuilder.h"
#include "support/win32/DeskEnvironment.h"
#include "support/win32/LegacyWindows.h"

// Real-time limit of the test's waits for a window; they end as soon as it is there.
constexpr DWORD LEGACY_WAIT_MS = 20000;
// Real-time limit for a whole update to reach its last page.
constexpr DWORD LEGACY_RUN_WAIT_MS = 60000;

// The desk's port driver, counting the opens: the step-3 page's port watcher tries
// to open the port over and over until it opens or the watcher ends.
class CCountingPortDriver : public IPortDriver
{
public:
    explicit CCountingPortDriver(IPortDriver& driver) : m_Driver(driver) {}
    int Opens() const { return m_nOpens.load(); }

    PORT_HANDLE Open(const char* pszName) override
    {
        ++m_nOpens;
        return m_Driver.Open(pszName);
    }
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override
    {
        return m_Driver.Read(hPort, pBuf, dwLen, pdwRead);
    }
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override
    {
        return m_Driver.Write(hPort, pBuf, dwLen, pdwWritten);
    }
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override
    {
        return m_Driver.GetTimeouts(hPort, pTimeouts);
    }
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override
    {
        return m_Driver.SetTimeouts(hPort, pTimeouts);
    }
    void Close(PORT_HANDLE hPort) override { m_Driver.Close(hPort); }

private:
    IPortDriver& m_Driver;
    std::atomic<int> m_nOpens{0};
};

// The desk's remote API, with a limit on the connections: once the limit is used up,
// every connection fails as with a handset whose sync link went away.
class CConnectLimitRemoteApi : public IRemoteApi
{
public:
    explicit CConnectLimitRemoteApi(IRemoteApi& rapi) : m_Rapi(rapi) {}
    // Connections that still succeed (-1: no limit).
    void SetConnectsLeft(int nConnects) { m_nConnectsLeft = nConnects; }

    LONG CeRapiInitEx(RAPIINIT* pInit) override
    {
        if (m_nConnectsLeft == 0)
            return SIM_CE_CONNECT_FAILED;
        if (m_nConnectsLeft > 0)
            --m_nConnectsLeft;
        return m_Rapi.CeRapiInitEx(pInit);
    }
    LONG CeRapiUninit() override { return m_Rapi.CeRapiUninit(); }
    CE_HANDLE CeCreateFile(const char* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation,
                           DWORD dwAttributes) override
    {
        return m_Rapi.CeCreateFile(pszName, dwAccess, dwShare, dwCreation, dwAttributes);
    }
    bool CeWriteFile(CE_HANDLE hFile, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override
    {
        return m_Rapi.CeWriteFile(hFile, pBuf, dwLen, pdwWritten);
    }
    bool CeCloseHandle(CE_HANDLE hFile) override { return m_Rapi.CeCloseHandle(hFile); }
    bool CeCreateProcess(const char* pszImageName, const char* pszCommandLine) override
    {
        return m_Rapi.CeCreateProcess(pszImageName, pszCommandLine);
    }
    LONG CeRegOpenKeyEx(CE_HKEY hRoot, const char* pszSubKey, CE_HKEY* phKey) override
    {
        return m_Rapi.CeRegOpenKeyEx(hRoot, pszSubKey, phKey);
    }
    LONG CeRegQueryValueEx(CE_HKEY hKey, const char* pszValueName, DWORD* pdwType, BYTE* pData,
                           DWORD* pcbData) override
    {
        return m_Rapi.CeRegQueryValueEx(hKey, pszValueName, pdwType, pData, pcbData);
    }
    LONG CeRegCloseKey(CE_HKEY hKey) override { return m_Rapi.CeRegCloseKey(hKey); }

private:
    IRemoteApi& m_Rapi;
    std::atomic<int> m_nConnectsLeft{-1};
};

// A desktop whose version cannot be read.
class CUnreadableHostVersion : public IHostVersion
{
public:
    bool GetVersion(DWORD*, DWORD*) override
    {
        SetLastErrorCondition(std::errc::function_not_supported);
        return false;
    }
};

// What the harness writes into TEMP before a run (the staging file comes with it).
const std::vector<std::string> LEGACY_FILES_BEFORE_RUN = {"Tessik_Console.exe", "VUQ.exe", "temp.dat"};

class CLegacyHarness
{
public:
    // Every wait of the program dwScale times shorter.
    explicit CLegacyHarness(DWORD dwScale = 50);
    // Ends a program that is still running (every modal loop ends on the quit message).
    ~CLegacyHarness();
    CLegacyHarness(const CLegacyHarness&) = delete;
    CLegacyHarness& operator=(const CLegacyHarness&) = delete;

    // The files the program finds in TEMP: the image "temp.dat", the agent
    // "Tessik_Console.exe", and "VUQ.exe", which the clean-up deletes as well.
    void WriteFiles();
    const CLegacyImage& Image() const { return m_Image; }
    const std::vector<BYTE>& AgentBytes() const { return m_Agent; }
    bool TempFileExists(const char* pszName) const;
    // Those of the four temporary files that are in TEMP, in the clean-up's order.
    std::vector<std::string> TempFilesLeft() const;
    std::string TempPath() const { return m_Temp.Path(); }

    // Starts the program (CLegacyApp::InitInstance) on its own thread.
    void Start();
    // Before Start: only nConnects more connections to the handset succeed.
    void SetRemoteConnectsLeft(int nConnects) { m_Rapi.SetConnectsLeft(nConnects); }
    // Before Start: the desktop's version cannot be read.
    void SetHostVersionUnreadable() { m_bVersionUnreadable = true; }
    // Waits until the program's thread has returned; false on time-out.
    bool WaitForEnd(DWORD dwMs = LEGACY_WAIT_MS);

    // The program thread's visible top-level windows.
    std::vector<HWND> VisibleWindows();
    // Waits for a visible window of that kind (LEGACY_WINDOW) other than hExclude;
    // null on time-out.
    HWND WaitFor(int nWindow, HWND hExclude = nullptr, DWORD dwMs = LEGACY_WAIT_MS);
    // Waits for a visible message box with that caption; null on time-out.
    HWND WaitForBox(const char* pszCaption, DWORD dwMs = LEGACY_WAIT_MS);
    // The page's rich-text box's text, line breaks as "\n".
    static std::string PageText(HWND hPage);
    // Waits until the control's enabled state is bEnabled; false on time-out.
    static bool WaitEnabled(HWND hDlg, int nId, bool bEnabled, DWORD dwMs = LEGACY_WAIT_MS);

    // The way through the pages; each returns the page it reached, or null.
    HWND StartAtFirst();
    // NEXT on the first page and Yes on the erase confirmation: the step-2 page.
    HWND NextFromFirst(HWND hFirst);
    HWND StartAtStep2();
    HWND StartAtStep3();
    // Waits until UPDATE is enabled, presses it and answers Yes to "Warning": the
    // progress window.
    HWND UpdateFromStep3(HWND hStep3);
    HWND StartAtProgress();
    // Any page, the progress window included, by the way a user gets there. The
    // transfer-failed page: the handset refuses the reserve region ("OS not
    // compatible."); the agent-failed page: the handset's store refuses the agent.
    HWND StartAt(int nWindow);

    // Ticks a check box as a click does; false when it is not checked afterwards.
    static bool Tick(HWND hDlg, int nId);
    // The icon a message box shows (null: none).
    static HICON BoxIcon(HWND hBox);

    // The command lines the sync manager was started with, in order (its quit
    // commands left out).
    std::vector<std::string> SyncStarts();
    // Opens of the port since the start.
    int PortOpens() const { return m_Ports.Opens(); }
    CSimDesk& Desk() { return m_Desk; }

private:
    CTempDir m_Temp{true};
    CDeskEnvironment m_Environment;
    CSimDesk m_Desk;
    CCountingPortDriver m_Ports;
    CConnectLimitRemoteApi m_Rapi;
    CUnreadableHostVersion m_UnreadableVersion;
    bool m_bVersionUnreadable = false;
    CLegacyImage m_Image;
    std::vector<BYTE> m_Agent;
    std::unique_ptr<CLegacyApp> m_pApp;
    std::thread m_Thread;
    std::atomic<DWORD> m_dwThreadId{0};
    std::atomic<bool> m_bEnded{false};
};
