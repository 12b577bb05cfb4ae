// The file transport to the virtual handset on the in-process bus (CSimPortBus), on
// every OS, with the production drivers' contract:
// - Open connects to the endpoint on the bus under that name (or the bus's stable
//   alias), held exclusively until it is closed: a second open of it, through this
//   driver or another on the same bus, fails as busy (EBUSY); a name with no
//   handset behind it fails as missing (ENOENT);
// - a read returns what has arrived, or after ReadTotalTimeoutConstant ms (0
//   selects 100 ms) with nothing; the other two time-out fields are remembered only;
// - a write takes everything or fails (ETIMEDOUT) once nothing could go out for the
//   write limit: the handset's side holds a bounded queue, so a handset that stops
//   reading makes writes stall;
// - once the handset has left the bus under that name, reads and writes of the
//   port fail (EIO); the port stays open until it is closed.
// Time-outs and the write limit are real time, as the tty driver's are.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/PortDriver.h"
#include "platform/sim/SimPortBus.h"

class CSimPortDriver : public IPortDriver
{
public:
    explicit CSimPortDriver(CSimPortBus& bus, DWORD dwWriteLimitMs = PORT_WRITE_LIMIT_MS);
    // Closes the ports still open.
    ~CSimPortDriver() override;
    CSimPortDriver(const CSimPortDriver&) = delete;
    CSimPortDriver& operator=(const CSimPortDriver&) = delete;

    PORT_HANDLE Open(const char* pszName) override;
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override;
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override;
    void Close(PORT_HANDLE hPort) override;

private:
    struct OPEN_PORT
    {
        std::shared_ptr<CSimPortLink> pLink;
        PORT_TIMEOUTS Timeouts;
    };
    // The open port's link (null: no such port, EBADF) and its read time-out.
    std::shared_ptr<CSimPortLink> LinkOf(PORT_HANDLE hPort, DWORD* pdwReadMs);

    CSimPortBus& m_Bus;
    DWORD m_dwWriteLimitMs;
    std::mutex m_csPorts;
    std::map<PORT_HANDLE, OPEN_PORT> m_Ports;
    PORT_HANDLE m_hNext = 1;
};
