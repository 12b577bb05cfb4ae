// Records the device events a Windows notifier delivers, with the thread each came
// on, and waits (real time) for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "platform/DeviceNotifier.h"
#include "platform/win32/Win32SystemHeaders.h"

struct DEVICE_EVENT
{
    bool bArrival = false;
    std::string strName;
    WIN_DWORD dwThread = 0;

    bool operator==(const DEVICE_EVENT& other) const
    {
        return bArrival == other.bArrival && strName == other.strName;
    }
};

inline DEVICE_EVENT Arrival(const std::string& strName)
{
    return DEVICE_EVENT{true, strName, 0};
}

inline DEVICE_EVENT Removal(const std::string& strName)
{
    return DEVICE_EVENT{false, strName, 0};
}

inline std::ostream& operator<<(std::ostream& out, const DEVICE_EVENT& event)
{
    return out << (event.bArrival ? "arrival of " : "removal of ") << event.strName;
}

class CDeviceEventsRecorder : public IDeviceEvents
{
public:
    void OnDeviceArrival(const char* pszName) override { Add(true, pszName); }
    void OnDeviceRemoval(const char* pszName) override { Add(false, pszName); }

    std::vector<DEVICE_EVENT> Events()
    {
        std::lock_guard<std::mutex> lock(m_csEvents);
        return m_Events;
    }

    // True once nCount events have come, within dwRealMs.
    bool WaitForEvents(size_t nCount, DWORD dwRealMs)
    {
        std::unique_lock<std::mutex> lock(m_csEvents);
        return m_cvEvents.wait_for(lock, std::chrono::milliseconds(dwRealMs),
                                   [&] { return m_Events.size() >= nCount; });
    }

private:
    void Add(bool bArrival, const char* pszName)
    {
        {
            std::lock_guard<std::mutex> lock(m_csEvents);
            m_Events.push_back(DEVICE_EVENT{bArrival, pszName, GetCurrentThreadId()});
        }
        m_cvEvents.notify_all();
    }

    std::mutex m_csEvents;
    std::condition_variable m_cvEvents;
    std::vector<DEVICE_EVENT> m_Events;
};
