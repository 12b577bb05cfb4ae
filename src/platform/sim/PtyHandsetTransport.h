// The virtual handset on a pseudo-terminal (Linux only): each endpoint is a fresh
// pseudo-terminal, raw from the start, whose slave name the desktop opens with the
// production tty driver (CTtyPortDriver) as it would a USB serial node. The handset
// works the master side.
#pragma once

#include "platform/sim/HandsetTransport.h"

class CPtyHandsetTransport : public IHandsetTransport
{
public:
    // Null when no pseudo-terminal can be opened (the last error says why).
    std::unique_ptr<IHandsetEndpoint> OpenEndpoint() override;
};
