#include "platform/sim/SimDesk.h"

namespace
{
// The port's write limit runs as much faster as every other wait, but stays long
// enough for a loaded machine.
DWORD ScaledWriteLimit(DWORD dwTimeScale)
{
    constexpr DWORD MIN_WRITE_LIMIT_MS = 200;
    DWORD dwLimit = dwTimeScale > 1 ? PORT_WRITE_LIMIT_MS / dwTimeScale : PORT_WRITE_LIMIT_MS;
    return dwLimit < MIN_WRITE_LIMIT_MS ? MIN_WRITE_LIMIT_MS : dwLimit;
}

// The handset's times on the bus, in ms of the desk's clock: it appears half a
// second after the agent starts, leaves the bus a second after phase 1 and comes
// back two seconds later, as a handset restarting into its downloader does.
constexpr DWORD HANDSET_ARRIVAL_MS = 500;
constexpr DWORD HANDSET_LEAVE_MS = 1000;
constexpr DWORD HANDSET_RETURN_MS = 2000;
// Progress dots the handset sends while it programs each image.
constexpr int HANDSET_PROGRESS_TICKS = 20;
}

CSimDesk::CSimDesk(DWORD dwTimeScale, IHostEnvironment* pEnvironment, IDeviceEvents* pEvents, int nDialect)
    : m_Clock(dwTimeScale), m_Host(&m_Clock), m_Ports(m_Bus, ScaledWriteLimit(dwTimeScale)),
      m_Handset(m_Clock, m_Bus, nDialect)
{
    // A desktop of the XP generation, the sync software running and holding the link.
    m_Host.SetVersion(5, 1);
    m_Host.SetServicePresent(false);
    m_Host.StartSyncSoftware();

    m_Handset.SetDelays(HANDSET_ARRIVAL_MS, HANDSET_LEAVE_MS, HANDSET_RETURN_MS);
    m_Handset.SetProgressTicks(HANDSET_PROGRESS_TICKS);
    m_Handset.SetEventSink(pEvents);
    m_pAgentStart =
        std::make_unique<CSimAgentStart>(&m_Host, &m_Clock, [this] { m_Handset.EnterDownloaderMode(); });
    m_RemoteApi.SetAgentStartHook(m_pAgentStart->Hook());

    m_Platform.pClock = &m_Clock;
    m_Platform.pPortDriver = &m_Ports;
    m_Platform.pRemoteApi = &m_RemoteApi;
    AttachHost(m_Platform, m_Host);
    m_Platform.pHostEnvironment = pEnvironment;
}

CSimDesk::~CSimDesk()
{
    // The agent's wait ends first, then the handset leaves without announcing it.
    m_RemoteApi.SetAgentStartHook(nullptr);
    m_pAgentStart.reset();
    m_Handset.SetEventSink(nullptr);
    m_Handset.Shutdown();
}
