#include "platform/Clock.h"

#include <thread>

CEvent::CEvent(bool bManualReset, bool bInitialState) : m_bManualReset(bManualReset), m_bSignalled(bInitialState)
{
}

void CEvent::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_bSignalled = true;
    }
    m_cvChanged.notify_all();
}

void CEvent::SetUnderLock()
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bSignalled = true;
    m_cvChanged.notify_all();
}

void CEvent::Reset()
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bSignalled = false;
}

void CEvent::Abandon()
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_bAbandoned = true;
    }
    m_cvChanged.notify_all();
}

void CEvent::Break()
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_bBroken = true;
    }
    m_cvChanged.notify_all();
}

bool CEvent::IsSignalled()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_bSignalled;
}

int CEvent::WaitReal(std::chrono::nanoseconds nsTimeout, bool bForever)
{
    std::unique_lock<std::mutex> lock(m_csState);
    auto ready = [this] { return m_bSignalled || m_bAbandoned || m_bBroken; };
    if (bForever)
        m_cvChanged.wait(lock, ready);
    else if (!m_cvChanged.wait_for(lock, nsTimeout, ready))
        return EVENT_TIMEOUT;

    if (m_bBroken)
        return EVENT_FAILED;
    if (m_bAbandoned)
    {
        m_bAbandoned = false;
        return EVENT_ABANDONED;
    }
    if (!m_bManualReset)
        m_bSignalled = false;
    return EVENT_SIGNALLED;
}

CClock::CClock(DWORD dwScale, DWORD dwTickStart)
    : m_dwScale(dwScale == 0 ? 1 : dwScale), m_dwTickStart(dwTickStart), m_tpStart(std::chrono::steady_clock::now())
{
}

std::chrono::nanoseconds CClock::ToReal(DWORD dwMs) const
{
    return std::chrono::nanoseconds(static_cast<int64_t>(dwMs) * 1000000 / m_dwScale);
}

DWORD CClock::GetTickCount()
{
    auto nsElapsed = std::chrono::steady_clock::now() - m_tpStart;
    auto qwMs = static_cast<QWORD>(std::chrono::duration_cast<std::chrono::nanoseconds>(nsElapsed).count()) *
                m_dwScale / 1000000;
    return static_cast<DWORD>(m_dwTickStart + qwMs);
}

void CClock::Sleep(DWORD dwMs)
{
    std::this_thread::sleep_for(ToReal(dwMs));
}

int CClock::WaitForEvent(CEvent& event, DWORD dwMs)
{
    return event.WaitReal(ToReal(dwMs == WAIT_FOREVER ? 0 : dwMs), dwMs == WAIT_FOREVER);
}
