// A whole desktop with a handset on its USB link, for update runs: the simulated
// host with the sync software running, the handset's remote-API side whose agent
// puts the virtual handset into its downloader mode once the sync software has
// let go of the link, the link over the handset's transport (by default a
// pseudo-terminal and the production tty driver, or the in-process bus; bulk pipes
// over it on a Vista-generation host), the device-change handling fed by the handset,
// the image container on "temp.dat" in TEMP, and a recording progress window.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/worker/UpdateWorker.h"
#include "host/HostConnection.h"
#include "image/OSUtil.h"
#include "link/DeviceChange.h"
#include "link/Downloader.h"
#include "platform/sim/PortBulkUsb.h"
#include "platform/sim/RecordingProgressView.h"
#include "platform/sim/SimDeviceNotifier.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimRemoteApi.h"
#include "platform/sim/VirtualHandset.h"
#include "support/HandsetLink.h"
#include "support/ImageBuilder.h"
#include "support/RecordingMessageBox.h"

// Every wait of a run is 40 times shorter: the 10 s closing pause takes 250 ms, a
// 60 s port wait 1.5 s, and the handset has 375 ms of real time to leave the bus
// after phase 1, which stays ample on a loaded machine under the sanitizers.
constexpr DWORD DESK_CLOCK_SCALE = 40;
// Real-time limit of the test's own waits: generous, they end as soon as the
// awaited thing happens.
constexpr DWORD DESK_REAL_WAIT_MS = 20000;

// The port's write limit: far above what a handset that reads needs, short enough
// for runs whose handset stops reading.
constexpr DWORD DESK_WRITE_LIMIT_MS = 2000;

// The three files the update leaves in TEMP.
constexpr const char* DESK_TEMP_FILES[] = {"Tessik_Console.exe", "temp.dat", "Brenmor.exe"};

// The progress window, which also notes how many times the bar had changed when the
// phase-1 download was accepted (caption 131).
class CDeskView : public CRecordingProgressView
{
public:
    void SetCaption(const char* pszText) override;
    // -1 when caption 131 was never shown.
    int BarChangesAtPhase1End();

private:
    std::mutex m_csPhase1;
    int m_nBarChangesAtPhase1End = -1;
};

enum DESK_HOST
{
    DESK_HOST_FILE_PATH = 0,   // host 5.1: the file transport, no connectivity service
    DESK_HOST_VISTA = 1,       // host 6.0: bulk pipes, the service kept stopped
};

class CDesk
{
public:
    // nLink: the handset's transport (HANDSET_LINK).
    CDesk(const CImageBuilder& image, int nHost, int nLink = HANDSET_LINK_PTY);
    ~CDesk();
    CDesk(const CDesk&) = delete;
    CDesk& operator=(const CDesk&) = delete;

    // Runs the worker on this thread and returns its result.
    int Run();

    // Waits until the handset has recorded nCount frames and a little longer, so that
    // a frame sent beyond them would be seen too; returns every frame it recorded.
    std::vector<HANDSET_FRAME> FramesAfterRun(size_t nCount);

    bool TempFileExists(const char* pszName) const;
    void RemoveTempFile(const char* pszName);
    const std::vector<BYTE>& AgentBytes() const { return m_Agent; }

    // Download buffers: the 1-based allocation that fails (0: none), and what was seen.
    void SetFailingAllocation(int nAllocation) { m_nFailAt = nAllocation; }
    int LiveBuffers();
    int MaxLiveBuffers();
    int Allocations();

    CImageBuilder m_Image;
    CClock m_Clock{DESK_CLOCK_SCALE};
    CTempDir m_Temp;
    CSimHost m_Host{&m_Clock};
    CSimRemoteApi m_RemoteApi;
    CHandsetLink m_Link;
    CPortBulkUsb m_Bulk{m_Link.Driver()};
    CRecordingMessageBox m_Box;
    PlatformContext m_Platform;
    CVirtualHandset m_Handset{m_Clock, m_Link.Transport()};
    CSimDeviceNotifier m_Notifier{m_Handset};
    std::unique_ptr<CDownloader> m_pLink;
    std::unique_ptr<CDeviceChangeHandler> m_pHandler;
    std::unique_ptr<CSimAgentStart> m_pAgentStart;
    COSUtil m_Util;
    CDeskView m_View;
    CSyncServiceControl m_SyncService;
    bool m_bImageParsed = false;
    // False: the agent starts but the handset never enters its downloader mode.
    bool m_bHandsetAnswers = true;
    bool m_bManageHost = true;

private:
    std::vector<BYTE> m_Agent;
    std::mutex m_csBuffers;
    int m_nFailAt = 0;
    int m_nAllocations = 0;
    int m_nLive = 0;
    int m_nMaxLive = 0;
};
