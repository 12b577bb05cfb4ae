// The file transport on Linux device nodes. A tty (a USB serial adapter, a
// pseudo-terminal) is put in raw mode when it is opened: no echo, no CR/LF
// translation, no signal characters, 8-bit bytes, so frames and reply lines cross
// unchanged. Its reads return after about 100 ms when nothing has arrived (VMIN 0,
// VTIME 1), so the callers' time limits can run.
//
// Time-outs: on a tty ReadTotalTimeoutConstant becomes VTIME in deciseconds
// (rounded up, 1..255; 0 selects the driver's own 100 ms) with VMIN 0; the other
// two fields are remembered only. On a node that is not a tty (a regular file, a
// pipe, a USB device node) reads and writes are plain, and the time-outs are
// remembered for GetTimeouts but have no effect.
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
    std::mutex m_csTimeouts;
    std::map<PORT_HANDLE, PORT_TIMEOUTS> m_Timeouts;
};
