#include "platform/sim/PortBulkUsb.h"

#include <cstdint>

#include "common/LastError.h"

namespace
{
// The interface handle carries the port handle, offset so that it is never null.
constexpr intptr_t HANDLE_OFFSET = 1;
}

PORT_HANDLE CPortBulkUsb::PortOf(BULK_HANDLE hUsb)
{
    return reinterpret_cast<intptr_t>(hUsb) - HANDLE_OFFSET;
}

bool CPortBulkUsb::Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb)
{
    if (hDevice == INVALID_PORT || phUsb == nullptr)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    *phUsb = reinterpret_cast<BULK_HANDLE>(hDevice + HANDLE_OFFSET);
    return true;
}

bool CPortBulkUsb::QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                          USB_INTERFACE_DESCRIPTOR* pDescriptor)
{
    if (hUsb == nullptr || bAlternateSetting != 0 || pDescriptor == nullptr)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    *pDescriptor = USB_INTERFACE_DESCRIPTOR{9, 4, 0, 0, 2, 0xFF, 0, 0, 0};
    return true;
}

bool CPortBulkUsb::QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex, WINUSB_PIPE_INFORMATION* pPipe)
{
    if (hUsb == nullptr || bAlternateSetting != 0 || pPipe == nullptr || bPipeIndex > 1)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    pPipe->PipeType = PIPE_TYPE_BULK;
    pPipe->PipeId = bPipeIndex == 0 ? PORT_BULK_OUT_PIPE : PORT_BULK_IN_PIPE;
    pPipe->MaximumPacketSize = PORT_BULK_PACKET_SIZE;
    pPipe->Interval = 0;
    return true;
}

bool CPortBulkUsb::ReadPipe(BULK_HANDLE hUsb, BYTE bPipeId, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    if (bPipeId != PORT_BULK_IN_PIPE)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    return m_Port.Read(PortOf(hUsb), pBuf, dwLen, pdwRead);
}

bool CPortBulkUsb::WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    if (bPipeId != PORT_BULK_OUT_PIPE)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    return m_Port.Write(PortOf(hUsb), pBuf, dwLen, pdwWritten);
}

bool CPortBulkUsb::FlushPipe(BULK_HANDLE, BYTE)
{
    // Nothing is held on the host's side of the device: the next read sees what
    // the handset sends next.
    return true;
}

bool CPortBulkUsb::Free(BULK_HANDLE)
{
    return true;
}
