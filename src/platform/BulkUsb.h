// The bulk-pipe transport, loaded at run time from a library that may be absent.
// Its calls follow the pipe model of the handset's USB interface: an interface is
// initialised on an open device, its alternate setting is queried, its pipes are
// listed, and bulk pipes are read, written and flushed by pipe id.
#pragma once

#include "common/Types.h"
#include "platform/PortDriver.h"

typedef void* BULK_HANDLE;

// Standard USB interface descriptor (9 bytes on the wire).
struct USB_INTERFACE_DESCRIPTOR
{
    BYTE bLength;
    BYTE bDescriptorType;
    BYTE bInterfaceNumber;
    BYTE bAlternateSetting;
    BYTE bNumEndpoints;
    BYTE bInterfaceClass;
    BYTE bInterfaceSubClass;
    BYTE bInterfaceProtocol;
    BYTE iInterface;
};

enum USBD_PIPE_TYPE
{
    PIPE_TYPE_CONTROL = 0,
    PIPE_TYPE_ISOCHRONOUS = 1,
    PIPE_TYPE_BULK = 2,
    PIPE_TYPE_INTERRUPT = 3,
};

// One endpoint of an interface; PipeId is the endpoint address (bit 0x80: IN).
struct WINUSB_PIPE_INFORMATION
{
    int PipeType;
    BYTE PipeId;
    WORD MaximumPacketSize;
    BYTE Interval;
};

// Entry points of the library, in the order they are resolved.
enum BULK_ENTRY_POINT
{
    BULK_INITIALIZE = 0,
    BULK_QUERY_INTERFACE_SETTINGS,
    BULK_QUERY_PIPE,
    BULK_READ_PIPE,
    BULK_WRITE_PIPE,
    BULK_FREE,
    BULK_FLUSH_PIPE,
    BULK_ENTRY_POINT_COUNT
};

class IBulkUsb
{
public:
    virtual ~IBulkUsb() = default;
    // Loads the library; false when it is not installed.
    virtual bool Load() = 0;
    // True when the loaded library offers that entry point.
    virtual bool Resolve(int nEntryPoint) = 0;
    virtual void Unload() = 0;

    // Every call below sets the thread's last error on failure.
    virtual bool Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb) = 0;
    virtual bool QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                        USB_INTERFACE_DESCRIPTOR* pDescriptor) = 0;
    virtual bool QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex,
                           WINUSB_PIPE_INFORMATION* pPipe) = 0;
    virtual bool ReadPipe(BULK_HANDLE hUsb, BYTE bPipeId, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) = 0;
    virtual bool WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) = 0;
    virtual bool FlushPipe(BULK_HANDLE hUsb, BYTE bPipeId) = 0;
    virtual bool Free(BULK_HANDLE hUsb) = 0;
};
