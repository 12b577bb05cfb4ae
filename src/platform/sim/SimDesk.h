// The simulated desk of the wizards' --simulate: a desktop with the sync software
// running (CSimHost: its manager's windows, event, registry path and processes; the
// connectivity service on a host of the Vista generation), the handset's remote API
// (CSimRemoteApi, "RomVer" and "GSMVer" in its registry), and the virtual handset on
// the in-process bus, reached through CSimPortDriver. Starting the device agent on
// the handset puts it into its USB-downloader mode once the sync software has let
// go of the link, as the real agent does.
//
// Files are the host's own: the environment facility (TEMP, current directory, free
// space, deleting) is the one given, not the simulated host's.
#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/DeviceNotifier.h"
#include "platform/Platform.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimPortBus.h"
#include "platform/sim/SimPortDriver.h"
#include "platform/sim/SimRemoteApi.h"
#include "platform/sim/VirtualHandset.h"

class CSimDesk
{
public:
    // Every wait of the run dwTimeScale times shorter (1: the exact times). The
    // handset announces its arrivals and removals to pEvents (null: to nobody; the
    // legacy updater reaches it by the bus's alias); pEnvironment serves the files.
    // Both outlive the desk. nDialect: the handset's replies, those of the current
    // updater or of the legacy one (HANDSET_DIALECT_*).
    CSimDesk(DWORD dwTimeScale, IHostEnvironment* pEnvironment, IDeviceEvents* pEvents,
             int nDialect = HANDSET_DIALECT_CURRENT);
    ~CSimDesk();
    CSimDesk(const CSimDesk&) = delete;
    CSimDesk& operator=(const CSimDesk&) = delete;

    // The context of a run on this desk; its message box is left null.
    const PlatformContext& Platform() const { return m_Platform; }

    CClock& Clock() { return m_Clock; }
    CSimHost& Host() { return m_Host; }
    CSimRemoteApi& RemoteApi() { return m_RemoteApi; }
    CSimPortBus& Bus() { return m_Bus; }
    CVirtualHandset& Handset() { return m_Handset; }

private:
    CClock m_Clock;
    CSimHost m_Host;
    CSimRemoteApi m_RemoteApi;
    CSimPortBus m_Bus;
    CSimPortDriver m_Ports;
    CVirtualHandset m_Handset;
    std::unique_ptr<CSimAgentStart> m_pAgentStart;
    PlatformContext m_Platform;
};
