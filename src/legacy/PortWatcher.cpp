#include "legacy/PortWatcher.h"

#include "common/Trace.h"
#include "legacy/LegacyExchange.h"

CPortWatcher::CPortWatcher(IPortDriver& port, IClock& clock, const char* pszPortName)
    : m_Port(port), m_Clock(clock), m_strPortName(pszPortName != nullptr ? pszPortName : "")
{
}

CPortWatcher::~CPortWatcher()
{
    Stop();
}

bool CPortWatcher::Start(PORT_CALLBACK pfnCallback)
{
    if (m_Thread.joinable())
        return false;
    m_StopEvent.Reset();
    m_nResult = 0;
    m_bRunning = true;
    m_Thread = std::thread(&CPortWatcher::Run, this, std::move(pfnCallback));
    return true;
}

void CPortWatcher::Stop()
{
    m_StopEvent.Set();
    if (m_Thread.joinable())
        m_Thread.join();
}

void CPortWatcher::Run(PORT_CALLBACK pfnCallback)
{
    Trace(false, "WatchPort++\r\n");
    for (;;)
    {
        if (m_StopEvent.IsSignalled())
            break;
        if (OpenPort(m_Port, m_Clock, m_strPortName.c_str()) != nullptr)
        {
            // The probe's transport is released at once: the run opens the port next.
            m_nResult = 1;
            if (pfnCallback)
                pfnCallback(true);
            break;
        }
        if (pfnCallback)
            pfnCallback(false);
        // Paced retries; a stop request ends the pause at once.
        if (m_Clock.WaitForEvent(m_StopEvent, PORT_WATCH_INTERVAL_MS) != EVENT_TIMEOUT)
            break;
    }
    Trace(false, "WatchPort-- result %d\r\n", m_nResult.load());
    m_bRunning = false;
}
