#include "platform/posix/PathDeviceNotifier.h"

#include <sys/stat.h>

#include <chrono>

namespace
{
constexpr auto POLL_INTERVAL = std::chrono::milliseconds(50);

// The node the path leads to now (following links). A stable name that leads to
// another node is a device that left and came back between two looks.
struct NODE
{
    bool bPresent = false;
    dev_t dev = 0;
    ino_t ino = 0;
    dev_t rdev = 0;

    bool operator==(const NODE& other) const
    {
        return bPresent == other.bPresent && dev == other.dev && ino == other.ino && rdev == other.rdev;
    }
};

NODE LookAt(const std::string& strPath)
{
    NODE node;
    struct stat st;
    if (stat(strPath.c_str(), &st) == 0)
        node = NODE{true, st.st_dev, st.st_ino, st.st_rdev};
    return node;
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
    NODE present;
    while (!m_bStop)
    {
        NODE now = LookAt(m_strPath);
        if (!(now == present))
        {
            if (present.bPresent)
                m_pEvents->OnDeviceRemoval(m_strPath.c_str());
            if (now.bPresent)
                m_pEvents->OnDeviceArrival(m_strPath.c_str());
        }
        present = now;
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
}
