// The bulk-pipe transport: the handset's USB interface driven through the bulk-USB
// library, on top of the device file it was initialised on.
#pragma once

#include "link/Transport.h"
#include "platform/BulkUsb.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"

class CBulkTransport : public ITransport
{
public:
    // pBulk may be null (no bulk-USB library): nothing can then be read or written.
    // Takes over hFile, an open handle of driver. The interface is attached once it
    // has been initialised on that handle; until then reads and writes fail.
    CBulkTransport(IBulkUsb* pBulk, IPortDriver& driver, IClock& clock, PORT_HANDLE hFile, bool bCanFlush);
    ~CBulkTransport() override;
    CBulkTransport(const CBulkTransport&) = delete;
    CBulkTransport& operator=(const CBulkTransport&) = delete;

    // The interface made from the device file; it is freed before the file closes.
    void AttachInterface(BULK_HANDLE hUsb);
    void SetPipes(BYTE byInPipe, BYTE byOutPipe);

    bool Read(BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool Write(const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    // Flushes the IN pipe when the library offers the call.
    bool GetTimeouts(PORT_TIMEOUTS* pTimeouts) override;
    bool SetTimeouts(const PORT_TIMEOUTS* pTimeouts) override;
    bool Flush() override;
    void Close() override;

private:
    IBulkUsb* m_pBulk;
    IPortDriver& m_Driver;
    IClock& m_Clock;
    PORT_HANDLE m_hFile;
    BULK_HANDLE m_hUsb = nullptr;
    BYTE m_byInPipe = 0;
    BYTE m_byOutPipe = 0;
    bool m_bCanFlush;
};
