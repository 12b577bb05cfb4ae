// The simulated desktop and handset that the host and agent tests run against:
// a scaled clock, the simulated host, the handset's remote-API side and a
// recording message box, gathered in a platform context.
#pragma once

#include <gtest/gtest.h>

#include "host/HostConnection.h"
#include "platform/Platform.h"
#include "platform/sim/SimHost.h"
#include "platform/sim/SimRemoteApi.h"
#include "support/RecordingMessageBox.h"
#include "support/TraceCapture.h"

class CHostTest : public ::testing::Test
{
protected:
    CHostTest() : m_Host(&m_Clock)
    {
        m_Platform.pClock = &m_Clock;
        AttachHost(m_Platform, m_Host);
        m_Platform.pRemoteApi = &m_RemoteApi;
        m_Platform.pMessageBox = &m_Box;
    }

    CClock m_Clock{1000};
    CSimHost m_Host;
    CSimRemoteApi m_RemoteApi;
    CRecordingMessageBox m_Box;
    PlatformContext m_Platform;
    CSyncServiceControl m_SyncService;   // kept for the test, as the program keeps it
    CTraceCapture m_Trace;
};
