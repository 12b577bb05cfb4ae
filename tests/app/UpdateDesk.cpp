#include "app/UpdateDesk.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#include "host/HostConnection.h"
#include "res/Strings.h"

namespace
{
bool WriteFile(const std::string& strPath, const std::vector<BYTE>& bytes)
{
    std::ofstream file(strPath, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<BYTE> Pattern(size_t nLen, BYTE bSeed)
{
    std::vector<BYTE> bytes(nLen);
    for (size_t i = 0; i < nLen; ++i)
        bytes[i] = static_cast<BYTE>(bSeed + i * 7);
    return bytes;
}
}

void CDeskView::SetCaption(const char* pszText)
{
    if (std::string(pszText) == LoadVuqString(IDS_STEP_UPDATE_SYSTEM))
    {
        std::lock_guard<std::mutex> lock(m_csPhase1);
        m_nBarChangesAtPhase1End = static_cast<int>(Bar(PROGRESS_BAR_MAIN).History().size());
    }
    CRecordingProgressView::SetCaption(pszText);
}

int CDeskView::BarChangesAtPhase1End()
{
    std::lock_guard<std::mutex> lock(m_csPhase1);
    return m_nBarChangesAtPhase1End;
}

CDesk::CDesk(const CImageBuilder& image, int nHost, int nLink)
    : m_Image(image), m_Link(nLink, DESK_WRITE_LIMIT_MS), m_Agent(Pattern(300, 0x31))
{
    // TEMP holds what the wizard put there: the image, the agent and the other tool.
    m_Image.WriteTo(m_Temp.File("temp.dat"));
    WriteFile(m_Temp.File("Tessik_Console.exe"), m_Agent);
    WriteFile(m_Temp.File("Brenmor.exe"), Pattern(200, 0x77));

    // The desktop: the sync software runs and holds the link. Only the Vista-generation
    // host has the connectivity service.
    if (nHost == DESK_HOST_VISTA)
        m_Host.SetVersion(6, 0);
    else
        m_Host.SetVersion(5, 1);
    m_Host.SetServicePresent(nHost == DESK_HOST_VISTA);
    m_Host.SetEnvironment("TEMP", m_Temp.Path().c_str());
    m_Host.StartSyncSoftware();

    m_Platform.pClock = &m_Clock;
    m_Platform.pPortDriver = &m_Link.Driver();
    m_Platform.pBulkUsb = &m_Bulk;
    m_Platform.pRemoteApi = &m_RemoteApi;
    AttachHost(m_Platform, m_Host);
    m_Platform.pMessageBox = &m_Box;

    m_pLink = std::make_unique<CDownloader>(m_Platform);
    m_pHandler = std::make_unique<CDeviceChangeHandler>(*m_pLink);
    m_Notifier.Start(m_pHandler.get());
    m_Handset.SetDelays(100, 100, 300);

    // The agent, once started, waits for the sync software to let go of the link and
    // then puts the handset into its downloader mode.
    m_pAgentStart = std::make_unique<CSimAgentStart>(&m_Host, &m_Clock, [this] {
        if (m_bHandsetAnswers)
            m_Handset.EnterDownloaderMode();
    });
    m_RemoteApi.SetAgentStartHook(m_pAgentStart->Hook());

    int nErr = 0;
    m_bImageParsed = m_Util.InitFile(m_Temp.File("temp.dat").c_str(), &nErr);
}

CDesk::~CDesk()
{
    m_pAgentStart.reset();
    m_Notifier.Stop();
    m_Handset.Shutdown();
    m_Util.Close();
}

int CDesk::Run()
{
    UPDATE_RUN_CONFIG config;
    config.pDownloader = m_pLink.get();
    config.pOSUtil = &m_Util;
    config.pView = &m_View;
    config.bManageHost = m_bManageHost;
    config.pSyncService = &m_SyncService;
    config.fnAllocate = [this](size_t nLen) -> BYTE* {
        std::lock_guard<std::mutex> lock(m_csBuffers);
        if (++m_nAllocations == m_nFailAt)
            return nullptr;
        BYTE* pBuf = new (std::nothrow) BYTE[nLen];
        if (pBuf != nullptr && ++m_nLive > m_nMaxLive)
            m_nMaxLive = m_nLive;
        return pBuf;
    };
    config.fnFree = [this](BYTE* pBuf) {
        std::lock_guard<std::mutex> lock(m_csBuffers);
        --m_nLive;
        delete[] pBuf;
    };
    return CUpdateWorker(config).Run();
}

std::vector<HANDSET_FRAME> CDesk::FramesAfterRun(size_t nCount)
{
    m_Handset.WaitForFrames(nCount, DESK_REAL_WAIT_MS);
    // Every byte of the run was written before Run returned; a short real pause lets
    // the handset's thread record anything beyond the expected frames.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    return m_Handset.Frames();
}

bool CDesk::TempFileExists(const char* pszName) const
{
    std::error_code ec;
    return std::filesystem::exists(m_Temp.File(pszName), ec);
}

void CDesk::RemoveTempFile(const char* pszName)
{
    std::error_code ec;
    std::filesystem::remove(m_Temp.File(pszName), ec);
}

int CDesk::LiveBuffers()
{
    std::lock_guard<std::mutex> lock(m_csBuffers);
    return m_nLive;
}

int CDesk::MaxLiveBuffers()
{
    std::lock_guard<std::mutex> lock(m_csBuffers);
    return m_nMaxLive;
}

int CDesk::Allocations()
{
    std::lock_guard<std::mutex> lock(m_csBuffers);
    return m_nAllocations;
}
