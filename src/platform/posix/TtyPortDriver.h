// The file transport on Linux device nodes. A tty (a USB serial adapter, a
// pseudo-terminal) is put in raw mode when it is opened: no echo, no CR/LF
// translation, no signal characters, 8-bit bytes, so frames and reply lines cross
// unchanged.
//
// Every node is held exclusively while it is open: an advisory lock (flock) that
// other well-behaved programs and this driver respect, and on a tty TIOCEXCL, so a
// modem prober or a terminal cannot open the handset's port and write into a
// download or eat its reply lines.
//
// Every node is driven without blocking and waited on with poll, so no call hangs
// whatever the node's driver does with the terminal's own time-outs:
// - a read returns with what has arrived, or after ReadTotalTimeoutConstant ms (0
//   selects 100 ms) with nothing; the other two fields are remembered only. A
//   node that has nothing more (a regular file at its end) returns at once with
//   nothing, and the caller paces such reads;
// - a write fails with ETIMEDOUT once nothing could go out for the write limit.
//
// A read that finds the node hung up (the device went away; for a pipe, the
// writer closed) fails with EIO instead of reporting an empty read.
#pragma once

#include <map>
#include <mutex>

#include "platform/PortDriver.h"

class CTtyPortDriver : public IPortDriver
{
public:
    explicit CTtyPortDriver(DWORD dwWriteLimitMs = PORT_WRITE_LIMIT_MS);

    PORT_HANDLE Open(const char* pszName) override;
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override;
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override;
    void Close(PORT_HANDLE hPort) override;

    // Puts an open tty in the raw mode described above (also used by the virtual
    // handset on its own pseudo-terminal); false with errno kept as last error.
    static bool MakeRaw(int nFd);

private:
    DWORD ReadTimeoutMs(PORT_HANDLE hPort);

    DWORD m_dwWriteLimitMs;
    std::mutex m_csTimeouts;
    std::map<PORT_HANDLE, PORT_TIMEOUTS> m_Timeouts;
};
