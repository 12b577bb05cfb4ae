// CDownloader: the download port table: arrival and removal, the open check, the
// worker's wait for a port, opening and closing.
#include <cstdint>
#include <cstring>

#include "common/LastError.h"
#include "common/Trace.h"
#include "link/BulkTransport.h"
#include "link/Downloader.h"
#include "link/FileTransport.h"

namespace
{
constexpr DWORD CHECK_PAUSE_MS = 100;
constexpr DWORD ARRIVAL_WAIT_MS = 60000;

bool IsValidIndex(int portIndex)
{
    return static_cast<unsigned>(portIndex) < static_cast<unsigned>(PORT_COUNT);
}
}

void CDownloader::AddUSB(const char* pszName)
{
    Trace(false, "CDownloader :: AddUSB ++ (%s)", pszName != nullptr ? pszName : "");
    PortInfo& port = m_PortInfo[0];
    // A name that does not fit FileName is refused rather than cut: a cut name
    // would open some other device. The port is left absent with an empty name,
    // so the arrival's open check fails at once and no arrival is signalled.
    if (pszName == nullptr || strnlen(pszName, MAX_PATH_LEN) >= static_cast<size_t>(MAX_PATH_LEN))
    {
        Trace(false, "device name too long or missing, port not added");
        std::lock_guard<std::mutex> lock(m_csName);
        SetConnected(0, false);
        port.FileName[0] = '\0';
        Trace(false, "CDownloader :: AddUSB --");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_csName);
        SetConnected(0, true);
        std::memcpy(port.FileName, pszName, std::strlen(pszName) + 1);
        ++m_dwArrivals;
    }
    Trace(false, "CDownloader :: AddUSB --");
}

bool CDownloader::CheckUSBConnection()
{
    return CheckUSBConnection(0, CHECK_ATTEMPTS, nullptr);
}

bool CDownloader::CheckUSBConnection(int nFirstAttempt, int nEndAttempt, CEvent* pCancel)
{
    Trace(false, "CDownloader :: CheckUSBConnection++");
    char szName[MAX_PATH_LEN];
    CopyFileName(szName);
    Trace(false, "FileName = %s", szName);

    bool bOk = false;
    if (szName[0] == '\0' || m_Platform.pPortDriver == nullptr)
    {
        // Nothing to open (a refused or removed name): no point in 1001 attempts.
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
    }
    else
    {
        for (int nAttempt = nFirstAttempt; nAttempt < nEndAttempt; ++nAttempt)
        {
            // The probe handle is closed before the pause, so the device is free for
            // the worker at once; the pause follows every attempt, a successful one too.
            // Open and close hold the open lock, so the worker's open never meets the
            // probe's handle on a device held exclusively.
            PORT_HANDLE hPort = INVALID_PORT;
            DWORD dwError = 0;
            {
                std::lock_guard<std::mutex> lock(m_csOpen);
                hPort = m_Platform.pPortDriver->Open(szName);
                dwError = GetLastErrorCode();
                if (hPort != INVALID_PORT)
                    m_Platform.pPortDriver->Close(hPort);
            }
            bool bCancelled = false;
            if (pCancel != nullptr)
                bCancelled = m_Platform.pClock->WaitForEvent(*pCancel, CHECK_PAUSE_MS) != EVENT_TIMEOUT;
            else
                m_Platform.pClock->Sleep(CHECK_PAUSE_MS);
            SetLastErrorCode(dwError);
            Trace(false, "USB Handle create retrycount = %d", nAttempt);
            if (hPort != INVALID_PORT)
            {
                Trace(false, "USB Handle create successfully filename = %s", szName);
                bOk = true;
                break;
            }
            if (bCancelled)
            {
                Trace(false, "check of %s stopped", szName);
                break;
            }
        }
    }
    if (!bOk)
        Trace(false, "USB Handle create fail\r\n LastError = %s", GetLastErrorText());
    Trace(false, "CDownloader :: CheckUSBConnection--");
    return bOk;
}

PORT_HANDLE CDownloader::OpenDevice(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csOpen);
    return m_Platform.pPortDriver->Open(pszName);
}

void CDownloader::RemoveUSB(const char* pszName)
{
    Trace(false, "CDownloader :: RemoveUSB ++ (%s) ", pszName != nullptr ? pszName : "");
    {
        std::lock_guard<std::mutex> lock(m_csName);
        SetConnected(0, false);
        m_PortInfo[0].FileName[0] = '\0';
    }
    Trace(false, "CDownloader :: RemoveUSB --");
}

int CDownloader::WaitForAnyUSBConnect()
{
    Trace(false, "CDownloader :: WaitForAnyUSBConnect++ ");
    // A port that is already there is taken without consuming the arrival event.
    if (IsConnected(0))
        return 0;

    IClock* pClock = m_Platform.pClock;
    DWORD dwStart = pClock->GetTickCount();
    int nWait = EVENT_TIMEOUT;
    for (;;)
    {
        DWORD dwElapsed = pClock->GetTickCount() - dwStart;
        if (dwElapsed >= ARRIVAL_WAIT_MS)
            break;
        nWait = pClock->WaitForEvent(*m_PortInfo[0].hArrivalEvent, ARRIVAL_WAIT_MS - dwElapsed);
        if (nWait != EVENT_SIGNALLED)
            break;
        char szName[MAX_PATH_LEN];
        CopyFileName(szName);
        if (szName[0] != '\0')
        {
            Trace(false, "phase 1 : usb device detected");
            return 0;
        }
        // The signal belongs to a device that has gone again since (the event keeps
        // an arrival that no wait took): wait on for one that is there.
        Trace(false, "arrival of a device that is gone again, waiting on");
        nWait = EVENT_TIMEOUT;
    }
    if (nWait == EVENT_TIMEOUT)
        Trace(false, "can't get any usb handle");
    Trace(false, "CDownloader :: WaitForAnyUSBConnect--");
    return -1;
}

void CDownloader::CopyFileName(char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csName);
    std::memcpy(pszName, m_PortInfo[0].FileName, MAX_PATH_LEN);
}

bool CDownloader::OpenUSB(int portIndex)
{
    Trace(false, "CDownloader :: OpenUSB++ portIndex = %d", portIndex);
    if (!IsValidIndex(portIndex))
    {
        Trace(false, "invalid port index");
        return false;
    }
    PortInfo& port = m_PortInfo[portIndex];
    char szName[MAX_PATH_LEN];
    CopyFileName(szName);
    Trace(false, "FileName = %s", szName);

    if (port.hOut != INVALID_PORT)
    {
        Trace(false, "m_PortInfo[portIndex].hOut = 0x%X", static_cast<unsigned>(port.hOut));
        Trace(false, "File has already created, return this.");
        return true;
    }

    if (m_Platform.pPortDriver == nullptr)
        return false;
    PORT_HANDLE hPort = OpenDevice(szName);
    if (hPort == INVALID_PORT)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_csName);
        m_dwOpenedArrival = m_dwArrivals;
    }
    Trace(false, "m_PortInfo[%d].hOut turn from %X to %X", portIndex, static_cast<unsigned>(port.hOut),
          static_cast<unsigned>(hPort));
    port.hOut = hPort;

    if (m_osVersion != OS_VISTA)
    {
        m_pTransport[portIndex] = std::make_unique<CFileTransport>(*m_Platform.pPortDriver, *m_Platform.pClock, hPort);
        Trace(false, "CDownloader :: OpenUSB--");
        return true;
    }
    return OpenBulkInterface(port, portIndex);
}

bool CDownloader::OpenBulkInterface(PortInfo& port, int portIndex)
{
    // The bulk transport owns the device file from here on; without its interface
    // it reads and writes nothing, so a failed open below leaves a port whose writes
    // fail, and closing it releases whatever was made.
    IBulkUsb* pBulk = m_Platform.pBulkUsb;
    auto pTransport = std::make_unique<CBulkTransport>(pBulk, *m_Platform.pPortDriver, *m_Platform.pClock, port.hOut,
                                                       m_bFlushPipeResolved);
    CBulkTransport* pBulkTransport = pTransport.get();
    m_pTransport[portIndex] = std::move(pTransport);

    // Without the library or its entry points nothing can be called.
    if (!m_bBulkUsbLoaded)
    {
        SetLastErrorCondition(std::errc::function_not_supported);
        Trace(false, "WinUSB_Initialize fail, cause = \r\n%s\r\n", "bulk USB library or entry points missing");
        return false;
    }
    if (!pBulk->Initialize(port.hOut, &port.hWinUsb))
    {
        port.hWinUsb = nullptr;
        Trace(false, "WinUSB_Initialize fail, cause = \r\n%s\r\n", GetLastErrorText());
        return false;
    }
    pBulkTransport->AttachInterface(port.hWinUsb);
    if (!pBulk->QueryInterfaceSettings(port.hWinUsb, 0, &port.InterfaceDescriptor))
    {
        Trace(false, "WinUsb_QueryInterfaceSettings fail, cause = \r\n%s\r\n", GetLastErrorText());
        return false;
    }
    for (int nIndex = 0; nIndex < port.InterfaceDescriptor.bNumEndpoints; ++nIndex)
    {
        if (!pBulk->QueryPipe(port.hWinUsb, 0, static_cast<BYTE>(nIndex), &port.PipeInformation))
            continue;
        if (port.PipeInformation.PipeType != PIPE_TYPE_BULK)
            continue;
        // A later bulk pipe of the same direction replaces an earlier one.
        if ((port.PipeInformation.PipeId & 0x80) != 0)
        {
            port.InPipeId = port.PipeInformation.PipeId;
            port.InMaxPacketSize = port.PipeInformation.MaximumPacketSize;
        }
        else
        {
            port.OutPipeId = port.PipeInformation.PipeId;
            port.OutMaxPacketSize = port.PipeInformation.MaximumPacketSize;
        }
    }
    pBulkTransport->SetPipes(port.InPipeId, port.OutPipeId);
    Trace(false, "CDownloader :: OpenUSB--");
    return true;
}

void CDownloader::ClosePort(int portIndex)
{
    Trace(false, "CDownloader :: ClosePort ++");
    if (IsValidIndex(portIndex))
    {
        PortInfo& port = m_PortInfo[portIndex];
        {
            // A device that arrived after the port was opened and is still there (a
            // handset that came back quickly, under a new name or the same stable
            // one) stays connected: only the port that is being closed goes.
            std::lock_guard<std::mutex> lock(m_csName);
            bool bNewDevice = port.hOut != INVALID_PORT && IsConnected(portIndex) && m_dwArrivals != m_dwOpenedArrival;
            if (!bNewDevice)
                SetConnected(portIndex, false);
        }
        // The transport releases the bulk interface before the device file it was
        // made from.
        if (m_pTransport[portIndex])
        {
            m_pTransport[portIndex]->Close();
            m_pTransport[portIndex].reset();
        }
        port.hOut = INVALID_PORT;
        port.hWinUsb = nullptr;
    }
    Trace(false, "CDownloader :: ClosePort --");
}
