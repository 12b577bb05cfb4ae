// Bulk USB through WinUSB on Windows: "WinUsb.dll" loaded at run time by name (the
// standard search), its seven entry points resolved by name in the order of
// BULK_ENTRY_POINT, and WinUsb_SetPipePolicy as an eighth, optional one.
//
// Initialize takes the device file the port driver opened (the PORT_HANDLE is the
// file's HANDLE; it is opened for overlapped I/O, as WinUSB requires). The records
// WinUSB fills are converted field by field to the seam's own.
//
// Time limits: the first read or write on a pipe sets its PIPE_TRANSFER_TIMEOUT, 100
// ms for a read and the write limit for a write, so a read returns within about
// 100 ms (true with no bytes when nothing came: WinUSB's time-out, ERROR_SEM_TIMEOUT)
// and a write fails with that time-out once the limit has passed. Bytes of a
// transfer larger than the read asked for stay with WinUSB for the next read (its
// partial reads), and FlushPipe discards them. A library without
// WinUsb_SetPipePolicy leaves WinUSB's default, no time limit.
#pragma once

#include <memory>

#include "platform/BulkUsb.h"

struct WINUSB_STATE;

class CWinUsbBulk : public IBulkUsb
{
public:
    // pszLibrary: the module to load, UTF-8; WinUSB's own name by default.
    explicit CWinUsbBulk(const char* pszLibrary = "WinUsb.dll", DWORD dwWriteLimitMs = PORT_WRITE_LIMIT_MS);
    ~CWinUsbBulk() override;
    CWinUsbBulk(const CWinUsbBulk&) = delete;
    CWinUsbBulk& operator=(const CWinUsbBulk&) = delete;

    bool Load() override;
    bool Resolve(int nEntryPoint) override;
    void Unload() override;

    bool Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb) override;
    bool QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                USB_INTERFACE_DESCRIPTOR* pDescriptor) override;
    bool QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex,
                   WINUSB_PIPE_INFORMATION* pPipe) override;
    bool ReadPipe(BULK_HANDLE hUsb, BYTE bPipeId, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool FlushPipe(BULK_HANDLE hUsb, BYTE bPipeId) override;
    bool Free(BULK_HANDLE hUsb) override;

private:
    bool Usable(int nEntryPoint);
    void SetPipeTimeout(BULK_HANDLE hUsb, BYTE bPipeId, DWORD dwMs);

    std::unique_ptr<WINUSB_STATE> m_pState;
};
