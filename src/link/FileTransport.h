// The file transport: a device opened by name through the port driver and read and
// written as a file (the serial host driver's ports, ttys on Linux).
#pragma once

#include "link/Transport.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"

class CFileTransport : public ITransport
{
public:
    // Takes over hPort, an open handle of driver; it is closed by Close or the
    // destructor.
    CFileTransport(IPortDriver& driver, IClock& clock, PORT_HANDLE hPort);
    ~CFileTransport() override;
    CFileTransport(const CFileTransport&) = delete;
    CFileTransport& operator=(const CFileTransport&) = delete;

    bool Read(BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool Write(const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool GetTimeouts(PORT_TIMEOUTS* pTimeouts) override;
    bool SetTimeouts(const PORT_TIMEOUTS* pTimeouts) override;
    bool Flush() override;
    void Close() override;

    PORT_HANDLE GetHandle() const { return m_hPort; }

private:
    IPortDriver& m_Driver;
    IClock& m_Clock;
    PORT_HANDLE m_hPort;
};

// Sleeps, through the clock, for what is left of TRANSPORT_READ_PACE_MS since
// dwStartTick: the pace of a read that came back with nothing.
void PaceEmptyRead(IClock& clock, DWORD dwStartTick);
