// The virtual handset's end of its USB link: how it appears on the bus under a
// device name, takes the bytes the desktop writes and answers. The handset's
// protocol (CVirtualHandset) talks only to these two interfaces, so the same
// handset lives on a pseudo-terminal on Linux (CPtyHandsetTransport, reached
// through the production tty driver) and on the in-process bus on every OS
// (CSimPortBus, reached through CSimPortDriver).
//
// All waits here are real time: they bound how long the handset's thread polls
// its link, as the desktop's read time-outs bound a read.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "common/Types.h"

// One appearance of the handset under one device name. Destroying it takes the
// handset off the bus: the desktop's port to it then fails its reads and writes
// (EIO), and what neither side has read yet is lost.
class IHandsetEndpoint
{
public:
    virtual ~IHandsetEndpoint() = default;
    // The name the desktop opens.
    virtual const std::string& Name() const = 0;
    // The handset is on the bus: from now on the desktop can open the name (a
    // transport whose endpoints can be opened from the start does nothing).
    virtual void Attach() = 0;
    // Waits up to dwRealMs for bytes from the desktop; true when some are there.
    virtual bool WaitForInput(DWORD dwRealMs) = 0;
    // Takes up to nLen of the bytes that are there without waiting; *pnRead gets
    // the count (0: none). False when the link failed.
    virtual bool Receive(BYTE* pBuf, size_t nLen, size_t* pnRead) = 0;
    // Sends all nLen bytes to the desktop, waiting for room while the desktop reads;
    // false once dwRealMs passed without progress or the link failed.
    virtual bool Send(const BYTE* pBuf, size_t nLen, DWORD dwRealMs) = 0;
    // Returns once the desktop has read everything sent, or after dwRealMs.
    virtual void WaitUntilSentIsRead(DWORD dwRealMs) = 0;
};

class IHandsetTransport
{
public:
    virtual ~IHandsetTransport() = default;
    // A new endpoint, not yet on the bus, under a name that differs from that of
    // every endpoint of this transport still open; null when none can be opened.
    virtual std::unique_ptr<IHandsetEndpoint> OpenEndpoint() = 0;
};
