#include "app/worker/UpdateWorker.h"

#include <cstdio>
#include <new>
#include <string>

#include "common/Trace.h"
#include "host/HostConnection.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "res/Strings.h"

namespace
{
const char WARNING_CAPTION[] = "Warning";
}

CUpdateWorker::CUpdateWorker(const UPDATE_RUN_CONFIG& config)
    : m_Config(config), m_Platform(config.pDownloader->GetPlatform())
{
    if (!m_Config.fnAllocate)
        m_Config.fnAllocate = [](size_t nLen) { return new (std::nothrow) BYTE[nLen]; };
    if (!m_Config.fnFree)
        m_Config.fnFree = [](BYTE* pBuf) { delete[] pBuf; };
}

CUpdateWorker::~CUpdateWorker()
{
    StopKeepServiceThread();
    FreeBuffer();
}

int CUpdateWorker::Run()
{
    // A run always starts from stage 0, so phase 1 never moves the progress bar.
    m_Config.pDownloader->SetDownloadStage(0);

    if (SetUp() && RunAgent() && ReleaseLink() && RunPhase1())
        RunPhase2();
    RunClosing();
    return m_nResult;
}

bool CUpdateWorker::Fail(int nResult)
{
    m_nResult = nResult;
    return false;
}

void CUpdateWorker::Warn(const char* pszText)
{
    m_Config.pView->MessageBox(pszText, WARNING_CAPTION, MB_STYLE_OK);
}

void CUpdateWorker::ShowCaption(UINT nStringId)
{
    m_Config.pView->SetCaption(LoadVuqString(nStringId));
}

BYTE* CUpdateWorker::AllocateBuffer(DWORD dwLen)
{
    FreeBuffer();
    m_pBuf = m_Config.fnAllocate(dwLen);
    if (m_pBuf == nullptr)
        Trace(false, "Allocate USBDL buffer(%d) failed\r\n", static_cast<int>(dwLen));
    return m_pBuf;
}

void CUpdateWorker::FreeBuffer()
{
    if (m_pBuf != nullptr)
        m_Config.fnFree(m_pBuf);
    m_pBuf = nullptr;
}

bool CUpdateWorker::PrepareImage(DWORD dwMask, int nOsType, bool bSetKey10, const char* pszFailTrace)
{
    COSUtil* pImage = m_Config.pOSUtil;
    // The buffer is 10 bytes longer than the image: the link frames it in place.
    DWORD dwRequired = pImage->PrepareOSOnMem(dwMask, nOsType, nullptr, 0);
    if (dwRequired == 0 || dwRequired > 0xFFFFFFFFu - FRAME_OVERHEAD)
    {
        Trace(false, "%s", pszFailTrace);
        return Fail(RUN_PREPARE_FAILED);
    }
    DWORD dwLen = dwRequired + FRAME_OVERHEAD;
    if (AllocateBuffer(dwLen) == nullptr)
        return Fail(RUN_ALLOC_FAILED);

    pImage->m_pBuf = m_pBuf;
    pImage->m_nBufLen = dwLen;
    if (bSetKey10)
        pImage->SetKey10(UPDATE_KEY10);
    if (pImage->PrepareOSOnMem(dwMask, nOsType, m_pBuf, dwLen) == 0)
    {
        Trace(false, "%s", pszFailTrace);
        return Fail(RUN_PREPARE_FAILED);
    }
    return true;
}

bool CUpdateWorker::SetUp()
{
    // A host without an environment has no TEMP to work in: the current directory stays.
    IHostEnvironment* pEnvironment = m_Platform.pHostEnvironment;
    if (m_Config.bManageHost && pEnvironment != nullptr)
    {
        pEnvironment->GetEnvironment("TEMP", m_szTempDir, sizeof(m_szTempDir));
        m_bDirSaved = pEnvironment->GetCurrentDir(m_szSavedDir, sizeof(m_szSavedDir));
        pEnvironment->SetCurrentDir(m_szTempDir);
    }
    m_Config.pDownloader->m_pAttachedDlg = m_Config.pView;
    m_Config.pView->SetPercent("0");

    // An image that could not be opened or parsed has no part to send: end the run
    // as failed before anything is started on the handset.
    if (m_Config.pOSUtil->m_nState != OSUTIL_INITIALIZED)
    {
        Trace(false, "image file is not usable, nothing to download\r\n");
        return Fail(RUN_PREPARE_FAILED);
    }
    return true;
}

bool CUpdateWorker::RunAgent()
{
    if (!m_Config.bManageHost)
        return true;

    // The agent lies in TEMP, which set-up has made the current directory.
    std::string strAgent = m_szTempDir[0] != '\0' ? std::string(m_szTempDir) + "/" + AGENT_FILE_NAME : AGENT_FILE_NAME;
    std::FILE* pAgent = std::fopen(strAgent.c_str(), "rb");
    if (pAgent == nullptr)
    {
        char szText[256];
        std::snprintf(szText, sizeof(szText), "File not found, %s", AGENT_FILE_NAME);
        Warn(szText);
        return Fail(RUN_AGENT_MISSING);
    }
    int nCopy = m_Config.pDownloader->RAPICopyFile(pAgent);
    std::fclose(pAgent);
    if (nCopy != RAPICOPY_OK)
    {
        Warn("RAPICopyFile error");
        return Fail(RUN_AGENT_FAILED);
    }
    if (!m_Config.pDownloader->CEProcess())
    {
        Warn("CeCreateProcess error");
        return Fail(RUN_AGENT_FAILED);
    }
    return true;
}

bool CUpdateWorker::ReleaseLink()
{
    CDownloader* pLink = m_Config.pDownloader;
    if (m_Config.bManageHost)
    {
        if (pLink->m_osVersion == OS_VISTA)
        {
            CSyncServiceControl& service = SyncService();
            m_KeepServiceThread = std::thread([this, &service] { KeepServiceStopped(m_Platform, service, &m_nDone); });
        }
        CloseActiveSync(m_Platform);
        KillActiveSyncProcesses(m_Platform);
    }
    m_nPortIndex = pLink->WaitForAnyUSBConnect();
    if (m_nPortIndex == -1)
    {
        Warn("No USB connect detected");
        return Fail(RUN_NO_PORT);
    }
    return true;
}

bool CUpdateWorker::RunPhase1()
{
    COSUtil* pImage = m_Config.pOSUtil;
    CDownloader* pLink = m_Config.pDownloader;
    if (!pImage->HasParts(FLAG_UD) && !pImage->HasParts(FLAG_BL))
        return true;

    Trace(false, "**************************start download phase 1************************\r\n");
    ShowCaption(IDS_STEP_DOWNLOAD_SYSTEM);

    // Every header from phase 1 on carries the updater's "Key10".
    if (!PrepareImage(pImage->m_dwImageFlag & PHASE1_MASK, OS_TYPE_OS, true, "Prepare phase 1 image fail\r\n"))
        return false;

    m_nPortIndex = pLink->WaitForAnyUSBConnect();
    if (m_nPortIndex == -1)
    {
        Trace(false, "phase 1 : can't get any usb handle\r\n");
        return Fail(RUN_NO_PORT);
    }
    pLink->OpenUSB(m_nPortIndex);

    int nDownload = pLink->ProcessDownload(pImage, m_nPortIndex, 0);
    if (nDownload != DOWNLOAD_OK)
    {
        Trace(false, "phase 1: download USBDL fail, ErrorCode = %d\r\n", nDownload);
        return Fail(RUN_DOWNLOAD_FAILED);
    }
    ShowCaption(IDS_STEP_UPDATE_SYSTEM);

    // The handset restarts into the downloader it has just received: it leaves the
    // bus, and comes back as a new download port.
    if (m_Platform.pClock->WaitForEvent(*pLink->m_PortInfo[0].hRemovalEvent, REMOVAL_WAIT_MS) == EVENT_TIMEOUT)
    {
        Trace(false, "phase 1: program USBDL fail\r\n");
        return Fail(RUN_NOT_CONFIRMED);
    }
    pLink->ClosePort(m_nPortIndex);
    m_nPortIndex = pLink->WaitForAnyUSBConnect();
    if (m_nPortIndex == -1)
    {
        Trace(false, "phase 1 : can't get any usb handle after download\r\n");
        return Fail(RUN_NO_PORT);
    }
    FreeBuffer();
    Trace(false, "**************************download phase 1 end************************\r\n");
    return true;
}

bool CUpdateWorker::RunPhase2()
{
    COSUtil* pImage = m_Config.pOSUtil;
    CDownloader* pLink = m_Config.pDownloader;

    m_nPortIndex = pLink->WaitForAnyUSBConnect();
    if (m_nPortIndex == -1)
    {
        Trace(false, "phase 2 : can't get any usb handle\r\n");
        return Fail(RUN_NO_PORT);
    }
    pLink->OpenUSB(m_nPortIndex);
    if (!pImage->HasParts(FLAG_EB) && !pImage->HasParts(FLAG_OS) && !pImage->HasParts(FLAG_VN))
        return true;

    Trace(false, "=====================start download phase 2=====================\r\n");
    m_Config.pDownloader->SetDownloadStage(2);
    ShowCaption(IDS_STEP_DOWNLOAD_ADDON);

    if (!PrepareImage(pImage->m_dwImageFlag & ~PHASE2_CLEAR_MASK, OS_TYPE_RESERVE, false,
                      "Prepare phase 2 image fail\r\n"))
        return false;
    int nDownload = pLink->ProcessDownload(pImage, m_nPortIndex, 0);
    if (nDownload != DOWNLOAD_OK)
    {
        Trace(false, "phase 2: download rev fail, ErrorCode = %d\r\n", nDownload);
        return Fail(RUN_DOWNLOAD_FAILED);
    }
    m_Config.pDownloader->SetDownloadStage(3);
    ShowCaption(IDS_STEP_UPDATE_ADDON);
    if (!pLink->WaitAndProcessResponse(m_nPortIndex, ID_RESERVEOK))
    {
        Trace(false, "phase 2: program OS fail\r\n");
        return Fail(RUN_NOT_CONFIRMED);
    }

    // The operating system goes raw, without a header, in a buffer of its own.
    FreeBuffer();
    int64_t nOsSize = pImage->GetDescriptor(PART_OS).nSize;
    if (nOsSize < 0 || nOsSize > static_cast<int64_t>(0xFFFFFFFFu - FRAME_OVERHEAD))
    {
        Trace(false, "phase 2: prepare os image fail\r\n");
        return Fail(RUN_PREPARE_FAILED);
    }
    DWORD dwOsLen = static_cast<DWORD>(nOsSize) + FRAME_OVERHEAD;
    if (AllocateBuffer(dwOsLen) == nullptr)
        return Fail(RUN_ALLOC_FAILED);
    if (!pImage->Extract(PART_OS, m_pBuf, dwOsLen))
    {
        Trace(false, "phase 2: prepare os image fail\r\n");
        return Fail(RUN_PREPARE_FAILED);
    }
    pImage->m_pBuf = m_pBuf;
    pImage->m_nBufLen = dwOsLen;
    m_Config.pDownloader->SetDownloadStage(4);
    ShowCaption(IDS_STEP_DOWNLOAD_OS);
    nDownload = pLink->ProcessDownload(pImage, m_nPortIndex, 0);
    if (nDownload != DOWNLOAD_OK)
    {
        Trace(false, "phase 2: download OS fail, ErrorCode = %d\r\n", nDownload);
        return Fail(RUN_DOWNLOAD_FAILED);
    }
    if (!pLink->WaitAndProcessResponse(m_nPortIndex, ID_OSOK))
    {
        Trace(false, "phase 2: program OS fail\r\n");
        return Fail(RUN_NOT_CONFIRMED);
    }
    Trace(false, "=====================download phase 2 end=====================\r\n");
    return true;
}

CSyncServiceControl& CUpdateWorker::SyncService()
{
    if (m_Config.pSyncService != nullptr)
        return *m_Config.pSyncService;
    if (!m_pOwnSyncService)
        m_pOwnSyncService = std::make_unique<CSyncServiceControl>();
    return *m_pOwnSyncService;
}

void CUpdateWorker::StopKeepServiceThread()
{
    m_nDone = 1;
    if (m_KeepServiceThread.joinable())
        m_KeepServiceThread.join();
}

void CUpdateWorker::RunClosing()
{
    COSUtil* pImage = m_Config.pOSUtil;
    CDownloader* pLink = m_Config.pDownloader;

    m_Platform.pClock->Sleep(CLOSING_PAUSE_MS);

    // The closing frame: a header with no parts, framed in its own 116 bytes. It is
    // sent only from a buffer that was just prepared, never from a stale one.
    BYTE closingHeader[IMAGE_HEADER_SIZE] = {};
    if (pImage->PrepareOSOnMem(0, OS_TYPE_OS, closingHeader, sizeof(closingHeader)) != 0)
        pLink->ProcessDownload(pImage, m_nPortIndex, CLOSING_COMMAND);
    pImage->m_pBuf = nullptr;
    pImage->m_nBufLen = 0;
    // The run leaves its port closed, so the next run (a retry from the wizard)
    // opens the handset it finds instead of a handle to a device that is gone.
    if (m_nPortIndex != -1)
        pLink->ClosePort(m_nPortIndex);

    // The keep-stopped thread ends before the service is started again, so that no
    // late "STOP" can follow the "START".
    StopKeepServiceThread();
    FreeBuffer();

    if (m_Config.bManageHost)
    {
        if (m_nResult == RUN_OK)
            DeleteFiles(m_Platform, pImage);
        if (pLink->m_osVersion == OS_VISTA)
            ControlSyncService(m_Platform, SyncService(), "START");
        else
            RestartActiveSync(m_Platform);
        if (m_bDirSaved)
            m_Platform.pHostEnvironment->SetCurrentDir(m_szSavedDir);
    }
    m_Config.pView->EndDialog(m_nResult);
}

int UpdateThread(void* pParam)
{
    CUpdateWorker worker(*static_cast<UPDATE_RUN_CONFIG*>(pParam));
    worker.Run();
    return 1;
}
