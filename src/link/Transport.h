// The transport of one open download port: the byte pipe the frame writer and the
// reply reader talk to. The kind (a device opened as a file, or the bulk pipes of
// the handset's USB interface) is chosen once, where the port is opened.
#pragma once

#include "common/Types.h"
#include "platform/PortDriver.h"

// How long one read may come back empty before it returns: reads are paced to this
// through the clock, so a node that answers "nothing" at once (a plain file, a
// closed pipe, a failing device) never spins the processor.
constexpr DWORD TRANSPORT_READ_PACE_MS = 100;

class ITransport
{
public:
    virtual ~ITransport() = default;
    // Reads up to dwLen bytes. Returns within about TRANSPORT_READ_PACE_MS when
    // nothing arrives: true with *pdwRead 0 (a quiet port) or false (a failed read,
    // the thread's last error says why), never at once with nothing.
    virtual bool Read(BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) = 0;
    // Writes all dwLen bytes in one call, or fails; a handset that stops reading
    // fails the write once the port's write limit has passed. *pdwWritten says how
    // many bytes went out.
    virtual bool Write(const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) = 0;
    // The read time-outs the device itself applies, where it has them (a serial
    // port's); false where it has none.
    virtual bool GetTimeouts(PORT_TIMEOUTS* pTimeouts) = 0;
    virtual bool SetTimeouts(const PORT_TIMEOUTS* pTimeouts) = 0;
    // Drops what the handset sent and nobody read yet, where the transport can
    // (the bulk IN pipe); true when there was nothing to do.
    virtual bool Flush() = 0;
    // Releases the port: everything opened on it first, then the device itself.
    // Reads and writes fail afterwards. Safe to call more than once.
    virtual void Close() = 0;
};
