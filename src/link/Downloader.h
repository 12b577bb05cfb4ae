// CDownloader: the updater's link to the handset. Its one-entry port table, the
// download frame, the handset's reply lines, and the agent operations over the
// remote API.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "common/Types.h"
#include "link/FrameFormat.h"
#include "link/Transport.h"
#include "platform/Platform.h"
#include "platform/ProgressView.h"

class COSUtil;

// Host generations; the bulk-pipe transport is used on OS_VISTA only.
enum OS_VERSION
{
    OS_WIN2000 = 0,
    OS_WINXP = 1,
    OS_VISTA = 2,
    OS_OTHERS = 3,
};

// One download port.
struct PortInfo
{
    char FileName[MAX_PATH_LEN];
    bool bConnected;
    CEvent* hRemovalEvent;   // auto-reset: the device interface was removed
    CEvent* hArrivalEvent;   // auto-reset: a device arrived and could be opened
    PORT_HANDLE hOut;
    BULK_HANDLE hWinUsb;
    BYTE OutPipeId;
    DWORD OutMaxPacketSize;
    BYTE InPipeId;
    DWORD InMaxPacketSize;
    USB_INTERFACE_DESCRIPTOR InterfaceDescriptor;
    WINUSB_PIPE_INFORMATION PipeInformation;
};

// Reply classes of the handset, in the order a reply is tested.
enum ResponseId
{
    ID_EDGEOK = 0,
    ID_NFERR = 1,
    ID_RESERVEOK = 2,
    ID_OSOK = 3,
    ID_OSERR = 4,
    ID_OEMERR = 5,
    ID_OSNOTMATCH = 6,
    ID_RESET = 7,
    ID_STEP = 8,
    ID_EDGEERR = 9,
    ID_LENGTH = 10,
    ID_NOT_DEFINE = 11,
};

// ProcessDownload results.
enum DOWNLOAD_RESULT
{
    DOWNLOAD_OK = 1,
    DOWNLOAD_REFUSED = 17,
    DOWNLOAD_WRITE_FAILED = 18,
};

// PDAInit results.
enum PDAINIT_RESULT
{
    PDAINIT_FAILED = 0,
    PDAINIT_READY = 1,
    PDAINIT_TIMEOUT = 2,
    PDAINIT_ABANDONED = 3,
};

// RAPICopyFile results.
enum RAPICOPY_RESULT
{
    RAPICOPY_OK = 1,
    RAPICOPY_WRITE_FAILED = 11,
    RAPICOPY_NO_CONNECTION = 20,
};

constexpr int PORT_COUNT = 1;
constexpr int CHECK_ATTEMPTS = 1001;   // attempts 0..1000 of CheckUSBConnection
constexpr DWORD REPLY_BUFFER_SIZE = 256;
constexpr DWORD CLOSING_COMMAND = 57;
constexpr char AGENT_FILE_NAME[] = "Tessik_Console.exe";

// Sets a bar's range, step and start position for a count of full pieces at a
// download stage; returns the range.
int SetupProgress(DWORD dwCount, IProgressBar* pBar, int nDownloadStage);

class CDownloader
{
public:
    explicit CDownloader(const PlatformContext& platform);
    ~CDownloader();
    CDownloader(const CDownloader&) = delete;
    CDownloader& operator=(const CDownloader&) = delete;

    // Ports.
    bool InitializeWinUSB();
    void AddUSB(const char* pszName);
    bool CheckUSBConnection();
    // Attempts nFirstAttempt .. nEndAttempt - 1 of the check; with pCancel, the
    // pause after a failed attempt ends early when the event is set, and the check
    // stops there with false.
    bool CheckUSBConnection(int nFirstAttempt, int nEndAttempt, CEvent* pCancel);
    void RemoveUSB(const char* pszName);
    int WaitForAnyUSBConnect();
    bool OpenUSB(int portIndex);
    void ClosePort(int portIndex);

    // Download frame.
    int ProcessDownload(COSUtil* pOSUtil, int portIndex, DWORD Command);
    static WORD ByteCheckSum(const BYTE* pBuf, int nLen);

    // Replies.
    bool GetResponse(int portIndex, char* pszReply);
    int ProcessResponse(const char* pszReply);
    bool WaitAndProcessResponse(int portIndex, int nRequiredId);

    // Agent over the remote API.
    int PDAInit();
    int RAPICopyFile(std::FILE* pSource);
    bool CEProcess();
    int QueryDeviceVersion(char* pszRomVersion, char* pszGsmVersion);

    const PlatformContext& GetPlatform() const { return m_Platform; }

    // The download stage of the current run: the worker sets 0 at the start of a
    // run and 2..4 in phase 2; the link moves the progress bar only from stage 2 on.
    int GetDownloadStage() const { return m_nDownloadStage.load(); }
    void SetDownloadStage(int nStage) { m_nDownloadStage.store(nStage); }

    IProgressView* m_pAttachedDlg = nullptr;
    PortInfo m_PortInfo[PORT_COUNT];
    int m_osVersion = OS_OTHERS;

private:
    // Sends the frame built in place in pBuf (dwSize bytes, payload dwSize - 10).
    int SendFrame(BYTE* pBuf, DWORD dwSize, int portIndex, DWORD Command);
    // Opens the bulk interface on the port's open device file; false leaves the file
    // open, as the port record says.
    bool OpenBulkInterface(PortInfo& port, int portIndex);
    // Opens a device name for one probe or for the port; the probe and the port
    // never hold the device at the same time (it is opened exclusively).
    PORT_HANDLE OpenDevice(const char* pszName);
    bool ReadReplyByte(int portIndex, BYTE* pByte, DWORD* pdwRead);
    IProgressBar* AttachedBar();
    void ShowErrorBox(UINT nTextId);
    bool IsConnected(int portIndex) const;
    void SetConnected(int portIndex, bool bConnected);

    // Copies port 0's name under the name lock (the device-change handling writes it
    // from another thread).
    void CopyFileName(char* pszName);

    PlatformContext m_Platform;
    // The transport of each open port: created when its device file opens, released
    // (interface first, then the file) when the port closes.
    std::unique_ptr<ITransport> m_pTransport[PORT_COUNT];
    std::atomic<int> m_nDownloadStage{0};
    std::mutex m_csOpen;            // serialises the probe's open and close and the port's open
    std::mutex m_csName;            // guards FileName, bConnected changes and the arrival counts
    DWORD m_dwArrivals = 0;         // arrivals added so far
    DWORD m_dwOpenedArrival = 0;    // the arrival the open port belongs to
    bool m_bBulkUsbLoaded = false;      // the bulk-USB library and its entry points are ready
    bool m_bBulkLibraryLoaded = false;  // the library itself is loaded (unloaded at destruction)
    bool m_bFlushPipeResolved = false;  // the optional flush entry point is there
};
