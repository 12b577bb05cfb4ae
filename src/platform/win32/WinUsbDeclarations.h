// WinUSB ("WinUsb.dll"), declared here from its public documentation: the records
// it fills and the entry points the bulk transport uses, with the system's types.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

// USB_INTERFACE_DESCRIPTOR as WinUSB fills it: the 9 bytes of the descriptor, packed.
#pragma pack(push, 1)
struct WINUSB_INTERFACE_DESCRIPTOR_RECORD
{
    UCHAR bLength;
    UCHAR bDescriptorType;
    UCHAR bInterfaceNumber;
    UCHAR bAlternateSetting;
    UCHAR bNumEndpoints;
    UCHAR bInterfaceClass;
    UCHAR bInterfaceSubClass;
    UCHAR bInterfaceProtocol;
    UCHAR iInterface;
};
#pragma pack(pop)
static_assert(sizeof(WINUSB_INTERFACE_DESCRIPTOR_RECORD) == 9);

// WINUSB_PIPE_INFORMATION: natural alignment, the pipe type an enumeration (USBD_PIPE_TYPE).
struct WINUSB_PIPE_INFORMATION_RECORD
{
    int PipeType;
    UCHAR PipeId;
    USHORT MaximumPacketSize;
    UCHAR Interval;
};
static_assert(sizeof(WINUSB_PIPE_INFORMATION_RECORD) == 12);

typedef PVOID WINUSB_INTERFACE;

typedef BOOL(WINAPI* PFN_WINUSB_INITIALIZE)(HANDLE DeviceHandle, WINUSB_INTERFACE* InterfaceHandle);
typedef BOOL(WINAPI* PFN_WINUSB_QUERY_INTERFACE_SETTINGS)(WINUSB_INTERFACE InterfaceHandle,
                                                          UCHAR AlternateInterfaceNumber,
                                                          WINUSB_INTERFACE_DESCRIPTOR_RECORD* UsbAltInterfaceDescriptor);
typedef BOOL(WINAPI* PFN_WINUSB_QUERY_PIPE)(WINUSB_INTERFACE InterfaceHandle, UCHAR AlternateInterfaceNumber,
                                            UCHAR PipeIndex, WINUSB_PIPE_INFORMATION_RECORD* PipeInformation);
typedef BOOL(WINAPI* PFN_WINUSB_READ_PIPE)(WINUSB_INTERFACE InterfaceHandle, UCHAR PipeID, PUCHAR Buffer,
                                           ULONG BufferLength, PULONG LengthTransferred, LPOVERLAPPED Overlapped);
typedef BOOL(WINAPI* PFN_WINUSB_WRITE_PIPE)(WINUSB_INTERFACE InterfaceHandle, UCHAR PipeID, PUCHAR Buffer,
                                            ULONG BufferLength, PULONG LengthTransferred, LPOVERLAPPED Overlapped);
typedef BOOL(WINAPI* PFN_WINUSB_FREE)(WINUSB_INTERFACE InterfaceHandle);
typedef BOOL(WINAPI* PFN_WINUSB_FLUSH_PIPE)(WINUSB_INTERFACE InterfaceHandle, UCHAR PipeID);
typedef BOOL(WINAPI* PFN_WINUSB_SET_PIPE_POLICY)(WINUSB_INTERFACE InterfaceHandle, UCHAR PipeID, ULONG PolicyType,
                                                 ULONG ValueLength, PVOID Value);

// Pipe policy: a transfer's time limit in ms (ULONG; 0: none, WinUSB's default).
constexpr ULONG WINUSB_PIPE_TRANSFER_TIMEOUT = 0x03;

constexpr wchar_t WINUSB_LIBRARY_NAME[] = L"WinUsb.dll";

// The entry points' names: those of BULK_ENTRY_POINT in its order, then the pipe policy.
constexpr int WINUSB_SET_PIPE_POLICY = 7;
constexpr int WINUSB_ENTRY_POINT_COUNT = 8;
constexpr const char* WINUSB_ENTRY_POINT_NAMES[WINUSB_ENTRY_POINT_COUNT] = {
    "WinUsb_Initialize", "WinUsb_QueryInterfaceSettings", "WinUsb_QueryPipe", "WinUsb_ReadPipe",
    "WinUsb_WritePipe",  "WinUsb_Free",                    "WinUsb_FlushPipe", "WinUsb_SetPipePolicy",
};
