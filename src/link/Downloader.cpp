// CDownloader: construction, destruction, the bulk-USB library, and the small
// helpers the port, frame and reply code share.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "common/Trace.h"
#include "link/Downloader.h"
#include "res/Strings.h"

CDownloader::CDownloader(const PlatformContext& platform) : m_Platform(platform)
{
    Trace(false, "CDownloader :: CDownloader ++");
    m_pAttachedDlg = nullptr;

    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    bool bKnown = m_Platform.pHostVersion != nullptr && m_Platform.pHostVersion->GetVersion(&dwMajor, &dwMinor);
    if (bKnown && dwMajor == 5 && dwMinor == 0)
    {
        m_osVersion = OS_WIN2000;
        Trace(false, "os version is windows 2000");
    }
    else if (bKnown && dwMajor == 5 && dwMinor == 1)
    {
        m_osVersion = OS_WINXP;
        Trace(false, "os version is windows XP");
    }
    else if (bKnown && dwMajor == 6 && dwMinor == 0)
    {
        m_osVersion = OS_VISTA;
        Trace(false, "os version is windows VISTA");
    }
    else
    {
        m_osVersion = OS_OTHERS;
        Trace(false, "os version is others");
    }

    if (m_osVersion == OS_VISTA)
    {
        // The bulk path stays selected even when the library is missing; OpenUSB
        // then fails instead of calling entry points that are not there.
        if (InitializeWinUSB())
            Trace(false, "InitializeWinUsb ok");
        else
            Trace(false, "InitializeWinUsb fail");
    }

    for (PortInfo& port : m_PortInfo)
    {
        std::memset(&port, 0, sizeof(port));
        std::snprintf(port.FileName, sizeof(port.FileName), "\\\\.\\wceusbsh00%d", 0);
        port.bConnected = false;
        port.hRemovalEvent = new CEvent(false, false);
        port.hArrivalEvent = new CEvent(false, false);
        port.hOut = INVALID_PORT;
        port.hWinUsb = nullptr;
    }
    Trace(false, "CDownloader :: CDownloader--");
}

CDownloader::~CDownloader()
{
    Trace(false, "CDownloader :: ~CDownloader++");
    for (int nPort = 0; nPort < PORT_COUNT; ++nPort)
    {
        PortInfo& port = m_PortInfo[nPort];
        delete port.hRemovalEvent;
        port.hRemovalEvent = nullptr;
        delete port.hArrivalEvent;
        port.hArrivalEvent = nullptr;
        // An open port goes with its transport: the bulk interface first, then the
        // device file, while the library is still loaded.
        if (m_pTransport[nPort])
        {
            m_pTransport[nPort]->Close();
            m_pTransport[nPort].reset();
        }
        port.hOut = INVALID_PORT;
        port.hWinUsb = nullptr;
    }
    if (m_osVersion == OS_VISTA && m_bBulkLibraryLoaded && m_Platform.pBulkUsb != nullptr)
    {
        m_Platform.pBulkUsb->Unload();
        m_bBulkLibraryLoaded = false;
        m_bBulkUsbLoaded = false;
    }
    Trace(false, "CDownloader :: ~CDownloader--");
}

bool CDownloader::InitializeWinUSB()
{
    Trace(false, "CDownloader :: InitializeWinUSB ++ ");
    m_bBulkUsbLoaded = false;
    m_bFlushPipeResolved = false;
    // No bulk-USB implementation at all counts as a library that is not installed.
    if (m_Platform.pBulkUsb == nullptr || !m_Platform.pBulkUsb->Load())
    {
        Trace(false, "LoadLibrary winusb.dll fail");
        if (m_Platform.pMessageBox != nullptr)
            m_Platform.pMessageBox->MessageBox("LoadLibrary failed, winusb.dll not exist.", "ERROR", MB_STYLE_OK);
        return false;
    }
    m_bBulkLibraryLoaded = true;

    // Resolve all seven in order; the flush entry point is optional.
    bool bResolved[BULK_ENTRY_POINT_COUNT];
    for (int nEntry = 0; nEntry < BULK_ENTRY_POINT_COUNT; ++nEntry)
        bResolved[nEntry] = m_Platform.pBulkUsb->Resolve(nEntry);
    for (int nEntry = 0; nEntry < BULK_FLUSH_PIPE; ++nEntry)
    {
        if (!bResolved[nEntry])
        {
            Trace(false, "GetProcAddress (WinUSB) fail");
            return false;
        }
    }
    m_bFlushPipeResolved = bResolved[BULK_FLUSH_PIPE];
    m_bBulkUsbLoaded = true;
    Trace(false, "CDownloader :: InitializeWinUSB -- ");
    return true;
}

IProgressBar* CDownloader::AttachedBar()
{
    return m_pAttachedDlg != nullptr ? m_pAttachedDlg->GetBar(PROGRESS_BAR_MAIN) : nullptr;
}

void CDownloader::ShowErrorBox(UINT nTextId)
{
    // Owned by the progress window while one is attached, else a box of its own.
    IMessageBox* pBox = m_pAttachedDlg != nullptr ? static_cast<IMessageBox*>(m_pAttachedDlg) : m_Platform.pMessageBox;
    if (pBox != nullptr)
        pBox->MessageBox(LoadVuqString(nTextId), LoadVuqString(IDS_ERROR_CAPTION),
                         MB_STYLE_ICONERROR | MB_STYLE_TOPMOST);
}

// bConnected is written on the thread that handles device events and read by the
// worker; the accesses are atomic so neither sees a torn or stale-forever value.
bool CDownloader::IsConnected(int portIndex) const
{
    return std::atomic_ref<bool>(const_cast<bool&>(m_PortInfo[portIndex].bConnected)).load();
}

void CDownloader::SetConnected(int portIndex, bool bConnected)
{
    std::atomic_ref<bool>(m_PortInfo[portIndex].bConnected).store(bConnected);
}
