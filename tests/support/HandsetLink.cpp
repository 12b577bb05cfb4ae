#include "support/HandsetLink.h"

#include <unistd.h>

#include "platform/posix/TtyPortDriver.h"
#include "platform/sim/PtyHandsetTransport.h"
#include "platform/sim/SimPortDriver.h"

namespace
{
// Keeps a symbolic link pointing at the handset's current pseudo-terminal, as a
// stable name under /dev/serial/by-id points at the current node.
class CStableLink : public IDeviceEvents
{
public:
    explicit CStableLink(std::string strLink) : m_strLink(std::move(strLink)) {}
    ~CStableLink() override { ::unlink(m_strLink.c_str()); }
    void OnDeviceArrival(const char* pszName) override
    {
        ::unlink(m_strLink.c_str());
        if (::symlink(pszName, m_strLink.c_str()) != 0)
            ::unlink(m_strLink.c_str());
    }
    void OnDeviceRemoval(const char*) override { ::unlink(m_strLink.c_str()); }

private:
    std::string m_strLink;
};
}

const char* HandsetLinkName(int nLink)
{
    return nLink == HANDSET_LINK_IN_PROCESS ? "InProcess" : "Pty";
}

CHandsetLink::CHandsetLink(int nLink, DWORD dwWriteLimitMs) : m_nLink(nLink)
{
    if (nLink == HANDSET_LINK_IN_PROCESS)
    {
        auto pBus = std::make_unique<CSimPortBus>();
        m_pBus = pBus.get();
        m_pTransport = std::move(pBus);
    }
    else
    {
        m_pTransport = std::make_unique<CPtyHandsetTransport>();
    }
    m_pDriver = OtherDriver(dwWriteLimitMs);
}

std::unique_ptr<IPortDriver> CHandsetLink::OtherDriver(DWORD dwWriteLimitMs)
{
    if (m_pBus != nullptr)
        return std::make_unique<CSimPortDriver>(*m_pBus, dwWriteLimitMs);
    return std::make_unique<CTtyPortDriver>(dwWriteLimitMs);
}

CHandsetLink::~CHandsetLink() = default;

std::string CHandsetLink::FollowHandset(CVirtualHandset& handset, const std::string& strFolder)
{
    if (m_nLink == HANDSET_LINK_IN_PROCESS)
        return SIM_PORT_ALIAS;
    std::string strLink = strFolder + "/ttyVUQ";
    m_pStableName = std::make_unique<CStableLink>(strLink);
    handset.SetEventSink(m_pStableName.get());
    return strLink;
}
