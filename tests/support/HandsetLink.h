// The virtual handset's link for tests, on either transport: a pseudo-terminal
// reached through the production tty driver, or the in-process bus reached through
// CSimPortDriver. Tests that exercise the handset run their cases over both, so
// the two transports keep one behaviour.
#pragma once

#include <memory>
#include <string>

#include "platform/DeviceNotifier.h"
#include "platform/PortDriver.h"
#include "platform/sim/HandsetTransport.h"
#include "platform/sim/SimPortBus.h"
#include "platform/sim/VirtualHandset.h"

enum HANDSET_LINK
{
    HANDSET_LINK_PTY = 0,
    HANDSET_LINK_IN_PROCESS = 1,
};

constexpr int HANDSET_LINKS[] = {HANDSET_LINK_PTY, HANDSET_LINK_IN_PROCESS};

// "Pty" or "InProcess", for test names.
const char* HandsetLinkName(int nLink);

class CHandsetLink
{
public:
    // dwWriteLimitMs: the desktop's write limit.
    explicit CHandsetLink(int nLink, DWORD dwWriteLimitMs = PORT_WRITE_LIMIT_MS);
    ~CHandsetLink();
    CHandsetLink(const CHandsetLink&) = delete;
    CHandsetLink& operator=(const CHandsetLink&) = delete;

    int Kind() const { return m_nLink; }
    IHandsetTransport& Transport() { return *m_pTransport; }
    IPortDriver& Driver() { return *m_pDriver; }
    // Another driver reaching the same handsets, as another program's would.
    std::unique_ptr<IPortDriver> OtherDriver(DWORD dwWriteLimitMs = PORT_WRITE_LIMIT_MS);

    // A name that follows the handset to its current endpoint, for runs that reopen
    // their port by name: the bus's alias in process; on the pseudo-terminal a
    // symbolic link in strFolder that the handset keeps pointing at its node (it
    // becomes the handset's event sink).
    std::string FollowHandset(CVirtualHandset& handset, const std::string& strFolder);

private:
    int m_nLink;
    std::unique_ptr<IHandsetTransport> m_pTransport;
    CSimPortBus* m_pBus = nullptr;   // the transport, in process
    std::unique_ptr<IPortDriver> m_pDriver;
    std::unique_ptr<IDeviceEvents> m_pStableName;
};
