// CSimRemoteApi: the virtual handset's side of the desktop's remote API. It holds
// the handset's file store (the agent is copied there), the registry values
// "RomVer" and "GSMVer" under "ControlPanel\DeviceInfo", and starts programs.
// Starting the device agent calls the agent-start hook, which the virtual
// handset uses to enter its USB-downloader mode. Connection outcomes, write
// failures, short writes and registry oddities can be injected; every call is
// recorded as a short text for tests.
//
// CSimAgentStart is the agent's behaviour on the handset: once started, it waits
// until the desktop's sync software has let go of the USB link (CSimHost's
// IsSyncLinkHeld) and then runs the given action (the virtual handset's entry
// into its USB-downloader mode). Wire it as:
//     CSimAgentStart agent(&simHost, &clock, [&] { handset.EnterDownloaderMode(); });
//     remoteApi.SetAgentStartHook(agent.Hook());
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/RemoteApi.h"

class CSimHost;

constexpr char SIM_DEVICE_INFO_KEY[] = "ControlPanel\\DeviceInfo";
constexpr char SIM_ROM_VERSION_VALUE[] = "RomVer";
constexpr char SIM_GSM_VERSION_VALUE[] = "GSMVer";
constexpr char SIM_DEFAULT_ROM_VERSION[] = "1.20.00 WWE";
constexpr char SIM_DEFAULT_GSM_VERSION[] = "4.1.13.12";

// How the handset answers a connection start.
enum SIM_CONNECT_MODE
{
    SIM_CONNECT_READY = 0,        // accepted; the completion event is set at once
    SIM_CONNECT_FAIL = 1,         // CeRapiInitEx itself fails
    SIM_CONNECT_NEVER = 2,        // accepted; the completion event is never set
    SIM_CONNECT_ABANDONED = 3,    // accepted; the wait on the event is abandoned
    SIM_CONNECT_WAIT_FAILED = 4,  // accepted; the wait on the event fails
};

// The handset's error results (the desktop's codes).
constexpr LONG SIM_CE_ERROR_FILE_NOT_FOUND = 2;
constexpr LONG SIM_CE_ERROR_INVALID_HANDLE = 6;
constexpr LONG SIM_CE_ERROR_MORE_DATA = 234;
constexpr LONG SIM_CE_ERROR_NOT_CONNECTED = static_cast<LONG>(0x8007048Fu);
constexpr LONG SIM_CE_CONNECT_FAILED = static_cast<LONG>(0x80004005u);

class CSimRemoteApi : public IRemoteApi
{
public:
    CSimRemoteApi();

    // ---- Set-up and inspection ----
    void SetConnectMode(int nMode);
    bool IsConnected();
    int CountConnects();      // CeRapiInitEx calls
    int CountDisconnects();   // CeRapiUninit calls

    // File store: names compared without case, as on the handset.
    void PutFile(const char* pszName, const std::vector<BYTE>& data);
    bool HasFile(const char* pszName);
    std::vector<BYTE> GetFile(const char* pszName);
    void SetCreateFails(bool bFails);
    // The nth write (1-based, counted from now) fails; 0 never.
    void SetWriteFailsAt(int nWrite);
    // The nth write (1-based, counted from now) stores and reports only dwBytes; 0 never.
    void SetShortWriteAt(int nWrite, DWORD dwBytes);
    int CountWrites();

    // Registry values under "ControlPanel\DeviceInfo": a text (stored as UTF-16LE
    // with its terminator, type REG_SZ), raw data of any type, or none.
    void SetRegistryText(const char* pszValueName, const char* pszUtf8);
    void SetRegistryRaw(const char* pszValueName, DWORD dwType, const std::vector<BYTE>& data);
    void RemoveRegistryValue(const char* pszValueName);
    void SetDeviceInfoKeyPresent(bool bPresent);

    // Program start: only a program the store holds can start; starting the
    // device agent "Tessik_Console.exe" calls the hook (outside any lock).
    void SetAgentStartHook(std::function<void()> fnHook);
    void SetCreateProcessFails(bool bFails);
    // The programs started, in order.
    std::vector<std::string> StartedPrograms();

    std::vector<std::string> Calls();
    void ClearCalls();

    // ---- IRemoteApi ----
    LONG CeRapiInitEx(RAPIINIT* pInit) override;
    LONG CeRapiUninit() override;
    CE_HANDLE CeCreateFile(const char* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation,
                           DWORD dwAttributes) override;
    bool CeWriteFile(CE_HANDLE hFile, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool CeCloseHandle(CE_HANDLE hFile) override;
    bool CeCreateProcess(const char* pszImageName, const char* pszCommandLine) override;
    LONG CeRegOpenKeyEx(CE_HKEY hRoot, const char* pszSubKey, CE_HKEY* phKey) override;
    LONG CeRegQueryValueEx(CE_HKEY hKey, const char* pszValueName, DWORD* pdwType, BYTE* pData,
                           DWORD* pcbData) override;
    LONG CeRegCloseKey(CE_HKEY hKey) override;

private:
    struct SIM_FILE
    {
        std::string strName;
        std::vector<BYTE> data;
    };
    struct SIM_OPEN_FILE
    {
        std::string strKey;
        size_t nPos;
        bool bWrite;
    };
    struct SIM_REG_VALUE
    {
        DWORD dwType;
        std::vector<BYTE> data;
    };

    void Record(const std::string& strCall);

    std::mutex m_csState;
    std::vector<std::string> m_Calls;
    int m_nConnectMode = SIM_CONNECT_READY;
    bool m_bConnected = false;
    int m_nConnects = 0;
    int m_nDisconnects = 0;

    std::map<std::string, SIM_FILE> m_Files;   // by lower-case name
    std::map<CE_HANDLE, SIM_OPEN_FILE> m_OpenFiles;
    CE_HANDLE m_hNextFile = 0x40;
    bool m_bCreateFails = false;
    int m_nWrites = 0;
    int m_nFailWriteAt = 0;
    int m_nShortWriteAt = 0;
    DWORD m_dwShortWriteBytes = 0;

    bool m_bDeviceInfoKey = true;
    std::map<std::string, SIM_REG_VALUE> m_Values;   // by lower-case name
    std::map<CE_HKEY, bool> m_OpenKeys;
    CE_HKEY m_hNextKey = 0x70;

    std::function<void()> m_fnAgentStart;
    bool m_bCreateProcessFails = false;
    std::vector<std::string> m_Started;
};

// The device agent's wait for the sync link and its entry into the USB-downloader
// mode, on a thread of its own; the object ends the thread when destroyed.
class CSimAgentStart
{
public:
    CSimAgentStart(CSimHost* pHost, IClock* pClock, std::function<void()> fnEnterDownloader,
                   DWORD dwPollMs = 100);
    ~CSimAgentStart();
    CSimAgentStart(const CSimAgentStart&) = delete;
    CSimAgentStart& operator=(const CSimAgentStart&) = delete;

    // The hook to hand to CSimRemoteApi::SetAgentStartHook.
    std::function<void()> Hook();
    // Starts the wait (a start while one is waiting does nothing).
    void Start();
    // True once the action has run; waits up to dwRealMs of real time.
    bool WaitEntered(DWORD dwRealMs);

private:
    void Run();

    CSimHost* m_pHost;
    IClock* m_pClock;
    std::function<void()> m_fnEnterDownloader;
    DWORD m_dwPollMs;
    std::mutex m_csThread;
    std::thread m_Thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bWaiting{false};
    CEvent m_Entered{true, false};
};
