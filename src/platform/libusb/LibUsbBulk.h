// Bulk USB through libusb-1.0, loaded at run time with dlopen("libusb-1.0.so.0"):
// nothing is linked at build time, and a machine without the library simply has
// no bulk transport (Load fails).
//
// Initialize wraps a device node the file transport has already opened
// (/dev/bus/usb/BBB/DDD) and claims interface 0, detaching a kernel driver when
// the library can. Interface settings and pipes come from the active
// configuration. Reads take whole transfers into a host-side cache and hand out
// the bytes asked for (a 1-byte read of a longer packet loses nothing); FlushPipe
// discards that cache, as the pipe model's flush discards what the host holds for
// a pipe (it does not clear a halt). A read waits at most 100 ms and returns true
// with no bytes when nothing came; a write fails after 10 s without progress.
// Failures set the thread's last error to the errno value nearest to the
// library's error code.
#pragma once

#include "platform/BulkUsb.h"

struct LIBUSB_ENTRY_POINTS;

class CLibUsbBulk : public IBulkUsb
{
public:
    CLibUsbBulk();
    ~CLibUsbBulk() override;
    CLibUsbBulk(const CLibUsbBulk&) = delete;
    CLibUsbBulk& operator=(const CLibUsbBulk&) = delete;

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
    template <typename FN>
    bool WithAltSetting(BULK_HANDLE hUsb, BYTE bAlternateSetting, FN fnUse);

    void* m_hLibrary = nullptr;
    void* m_pContext = nullptr;   // libusb_context
    LIBUSB_ENTRY_POINTS* m_pEntry;
};
