// The file transport: a device name opened, read and written.
#pragma once

#include <cstdint>

#include "common/Types.h"

typedef intptr_t PORT_HANDLE;
constexpr PORT_HANDLE INVALID_PORT = -1;

// How long a write may go without a byte going out before it fails: a handset that
// stops reading ends the download instead of holding the updater for ever. Like
// the read time-outs it bounds one call and is real time.
constexpr DWORD PORT_WRITE_LIMIT_MS = 10000;

// Read time-outs of an open port, in the terms of a serial port's time-out record.
// A read returns when it has the bytes asked for, or when ReadTotalTimeoutConstant
// ms have passed (0: the driver's own behaviour). ReadIntervalTimeout of
// 0xFFFFFFFF with the constant set means: return at once with what has arrived,
// or after the constant with nothing.
struct PORT_TIMEOUTS
{
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
};

class IPortDriver
{
public:
    virtual ~IPortDriver() = default;
    // Opens an existing device for reading and writing, held exclusively until it
    // is closed; INVALID_PORT when it cannot be opened (the thread's last error says
    // why; a device another program holds is busy).
    virtual PORT_HANDLE Open(const char* pszName) = 0;
    // Reads up to dwLen bytes; returns within the read time-out (about 100 ms unless
    // set otherwise) whatever the device does: true with *pdwRead 0 when nothing
    // arrived in time.
    virtual bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) = 0;
    // Writes all dwLen bytes or fails, at the latest once the write limit has passed
    // without progress; *pdwWritten says how many went out.
    virtual bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) = 0;
    virtual bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) = 0;
    virtual bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) = 0;
    virtual void Close(PORT_HANDLE hPort) = 0;
};
