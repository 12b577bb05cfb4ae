// Bulk pipes carried over a file transport: the simulated bulk-USB library of the
// simulated runs. The virtual handset is reached through a port driver (the tty
// driver on its pseudo-terminal, CSimPortDriver on the in-process bus), so the
// bulk-pipe path of the link (the one a Vista-generation host takes) reaches it
// through this adapter: the interface has one bulk OUT pipe (0x02) and one bulk IN pipe
// (0x81), and both map onto the open device.
#pragma once

#include "platform/BulkUsb.h"
#include "platform/PortDriver.h"

constexpr BYTE PORT_BULK_OUT_PIPE = 0x02;
constexpr BYTE PORT_BULK_IN_PIPE = 0x81;
constexpr WORD PORT_BULK_PACKET_SIZE = 512;

class CPortBulkUsb : public IBulkUsb
{
public:
    explicit CPortBulkUsb(IPortDriver& port) : m_Port(port) {}

    bool Load() override { return true; }
    bool Resolve(int nEntryPoint) override { return nEntryPoint >= 0 && nEntryPoint < BULK_ENTRY_POINT_COUNT; }
    void Unload() override {}

    bool Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb) override;
    bool QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                USB_INTERFACE_DESCRIPTOR* pDescriptor) override;
    bool QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex, WINUSB_PIPE_INFORMATION* pPipe) override;
    bool ReadPipe(BULK_HANDLE hUsb, BYTE bPipeId, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool FlushPipe(BULK_HANDLE hUsb, BYTE bPipeId) override;
    bool Free(BULK_HANDLE hUsb) override;

private:
    static PORT_HANDLE PortOf(BULK_HANDLE hUsb);
    IPortDriver& m_Port;
};
