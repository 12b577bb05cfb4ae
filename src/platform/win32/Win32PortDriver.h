// The file transport on Windows devices: the USB serial host driver's ports
// ("\\.\wceusbsh00%d"), device-interface paths, COM ports, and for tests pipes and
// files.
//
// A device is opened with CreateFile for reading and writing without sharing, so it
// is held exclusively while open: a second open, by this program or another, fails
// with the system's sharing or busy error. The handle is the PORT_HANDLE, so the
// bulk-USB library can initialise its interface on it.
//
// Every call is bounded, whatever the device's driver does: the device is opened for
// overlapped I/O, each read or write waits for its completion on an event of its
// own and cancels it (CancelIo, on the calling thread) once its time is up, then
// collects the bytes that did cross. This works alike for comm devices, pipes and
// other drivers that know nothing of comm time-outs, and on every Windows
// generation (CancelIoEx would need Vista).
// - A read returns with what has arrived, or after ReadTotalTimeoutConstant ms (0
//   selects 100 ms) with nothing. A device at its end (a file) returns at once with
//   nothing; one whose other end went away (a pipe) fails with the system's error.
// - A write sends all bytes or fails with ERROR_TIMEOUT once nothing could go out
//   for the write limit.
//
// Comm devices (those GetCommTimeouts accepts) are also set up so their driver
// keeps the same times itself: comm time-outs from the port's PORT_TIMEOUTS (by
// default "return at once with what has arrived, or after 100 ms", and a write
// constant of the write limit), and raw bytes: binary, 8 data bits, no parity, one
// stop bit, no XON/XOFF, no error or NUL replacement, no abort on error, the baud
// rate as it was. A driver that refuses these settings keeps its own; the waits
// above still bound every call. Not every driver returns at once with what has
// arrived, so a read asks the device how many bytes it holds (ClearCommError) and
// reads that many, or with none one byte and then what came with it.
#pragma once

#include <map>
#include <mutex>

#include "platform/PortDriver.h"

class CWin32PortDriver : public IPortDriver
{
public:
    explicit CWin32PortDriver(DWORD dwWriteLimitMs = PORT_WRITE_LIMIT_MS);

    PORT_HANDLE Open(const char* pszName) override;
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override;
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override;
    void Close(PORT_HANDLE hPort) override;

private:
    struct OPEN_PORT
    {
        PORT_TIMEOUTS Timeouts;
        bool bComm;          // the device has comm time-outs
        bool bSeekable;      // a disk file: overlapped I/O names the position
        QWORD qwPosition;    // the file position of a disk file
    };

    bool Lookup(PORT_HANDLE hPort, OPEN_PORT* pPort);
    bool ReadOnce(PORT_HANDLE hPort, QWORD qwPosition, BYTE* pBuf, DWORD dwLen, DWORD dwWaitMs, DWORD* pdwRead);
    bool ApplyCommTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS& timeouts);
    void Advance(PORT_HANDLE hPort, DWORD dwBytes);

    DWORD m_dwWriteLimitMs;
    std::mutex m_csPorts;
    std::map<PORT_HANDLE, OPEN_PORT> m_Ports;
};
