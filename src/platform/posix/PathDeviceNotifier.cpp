#include "platform/posix/PathDeviceNotifier.h"

#include <sys/stat.h>

#include <chrono>

namespace
{
constexpr auto POLL_INTERVAL = std::chrono::milliseconds(50);

bool PathExists(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0;
}
}

CPathDeviceNotifier::CPathDeviceNotifier(const char* pszPath) : m_strPath(pszPath)
{
}

CPathDeviceNotifier::~CPathDeviceNotifier()
{
    Stop();
}

bool CPathDeviceNotifier::Start(IDeviceEvents* pEvents)
{
    if (m_Thread.joinable() || pEvents == nullptr)
        return false;
    m_pEvents = pEvents;
    m_bStop = false;
    m_Thread = std::thread([this] { Watch(); });
    return true;
}

void CPathDeviceNotifier::Stop()
{
    m_bStop = true;
    if (m_Thread.joinable())
        m_Thread.join();
}

void CPathDeviceNotifier::Watch()
{
    bool bPresent = false;
    while (!m_bStop)
    {
        bool bNow = PathExists(m_strPath);
        if (bNow && !bPresent)
            m_pEvents->OnDeviceArrival(m_strPath.c_str());
        else if (!bNow && bPresent)
            m_pEvents->OnDeviceRemoval(m_strPath.c_str());
        bPresent = bNow;
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
}
