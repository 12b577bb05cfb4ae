// The test "WinUsb.dll": the documented entry points on one device whose pipes live
// in memory. The IN pipe delivers the transfers a test queued; a read smaller than
// a transfer leaves its rest with the library for the next read (WinUSB's partial
// reads) and FlushPipe discards that rest. Transfers wait up to the pipe's
// PIPE_TRANSFER_TIMEOUT (none: for ever) and then fail with ERROR_SEM_TIMEOUT.
// A library's functions have no context, so the device is the library's own.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "TestWinUsbExports.h"

namespace
{
struct TEST_DEVICE
{
    std::mutex cs;
    std::condition_variable cvIn;
    std::vector<WINUSB_PIPE_INFORMATION_RECORD> Pipes;
    std::deque<std::vector<BYTE>> InTransfers;   // sent by the device, not yet read
    std::vector<BYTE> HostRest;                  // the rest of a transfer a read did not take
    std::map<UCHAR, std::vector<BYTE>> Written;
    std::map<UCHAR, ULONG> TimeoutMs;
    bool bWritesStall = false;
    HANDLE hDevice = nullptr;
    int nInterfaces = 0;
    std::string strCalls;
};

void ResetDevice(TEST_DEVICE& d)
{
    d.Pipes = {{2, 0x81, 512, 0}, {2, 0x02, 512, 0}};
    d.InTransfers.clear();
    d.HostRest.clear();
    d.Written.clear();
    d.TimeoutMs.clear();
    d.bWritesStall = false;
    d.hDevice = nullptr;
    d.nInterfaces = 0;
    d.strCalls.clear();
}

TEST_DEVICE& Device()
{
    static TEST_DEVICE s_Device;
    static const bool s_bReady = (ResetDevice(s_Device), true);
    (void)s_bReady;
    return s_Device;
}

// The interface handle: the device's address, so a stray handle is recognised.
WINUSB_INTERFACE InterfaceHandle()
{
    return &Device();
}

void Record(TEST_DEVICE& d, const std::string& strLine)
{
    d.strCalls += strLine + "\n";
}

std::string PipeName(UCHAR bPipeId)
{
    char szName[8];
    std::snprintf(szName, sizeof(szName), "0x%02X", bPipeId);
    return szName;
}

bool IsOurs(WINUSB_INTERFACE hInterface)
{
    TEST_DEVICE& d = Device();
    if (hInterface == InterfaceHandle() && d.nInterfaces > 0)
        return true;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

const WINUSB_PIPE_INFORMATION_RECORD* FindPipe(TEST_DEVICE& d, UCHAR bPipeId)
{
    for (const WINUSB_PIPE_INFORMATION_RECORD& pipe : d.Pipes)
    {
        if (pipe.PipeId == bPipeId)
            return &pipe;
    }
    return nullptr;
}

// Waits, with the lock held by lock, until fnReady or the pipe's time-out.
template <typename FN>
bool WaitOnPipe(TEST_DEVICE& d, std::unique_lock<std::mutex>& lock, UCHAR bPipeId, FN fnReady)
{
    auto it = d.TimeoutMs.find(bPipeId);
    if (it == d.TimeoutMs.end() || it->second == 0)
    {
        d.cvIn.wait(lock, fnReady);
        return true;
    }
    return d.cvIn.wait_for(lock, std::chrono::milliseconds(it->second), fnReady);
}
}

extern "C" {

BOOL WINAPI WinUsb_Initialize(HANDLE DeviceHandle, WINUSB_INTERFACE* InterfaceHandleOut)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    if (DeviceHandle == nullptr || DeviceHandle == INVALID_HANDLE_VALUE || InterfaceHandleOut == nullptr ||
        GetFileType(DeviceHandle) == FILE_TYPE_UNKNOWN)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    d.hDevice = DeviceHandle;
    ++d.nInterfaces;
    Record(d, "Initialize");
    *InterfaceHandleOut = InterfaceHandle();
    return TRUE;
}

BOOL WINAPI WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE InterfaceHandleIn, UCHAR AlternateInterfaceNumber,
                                          WINUSB_INTERFACE_DESCRIPTOR_RECORD* UsbAltInterfaceDescriptor)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    if (!IsOurs(InterfaceHandleIn))
        return FALSE;
    if (AlternateInterfaceNumber != 0 || UsbAltInterfaceDescriptor == nullptr)
    {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    *UsbAltInterfaceDescriptor = {9, 4, 0, 0, static_cast<UCHAR>(d.Pipes.size()), 0xFF, 0x42, 0x01, 3};
    return TRUE;
}

BOOL WINAPI WinUsb_QueryPipe(WINUSB_INTERFACE InterfaceHandleIn, UCHAR AlternateInterfaceNumber, UCHAR PipeIndex,
                             WINUSB_PIPE_INFORMATION_RECORD* PipeInformation)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    if (!IsOurs(InterfaceHandleIn))
        return FALSE;
    if (AlternateInterfaceNumber != 0 || PipeIndex >= d.Pipes.size() || PipeInformation == nullptr)
    {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    *PipeInformation = d.Pipes[PipeIndex];
    return TRUE;
}

BOOL WINAPI WinUsb_SetPipePolicy(WINUSB_INTERFACE InterfaceHandleIn, UCHAR PipeID, ULONG PolicyType,
                                 ULONG ValueLength, PVOID Value)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    if (!IsOurs(InterfaceHandleIn))
        return FALSE;
    if (FindPipe(d, PipeID) == nullptr || PolicyType != WINUSB_PIPE_TRANSFER_TIMEOUT || ValueLength != sizeof(ULONG) ||
        Value == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    d.TimeoutMs[PipeID] = *static_cast<const ULONG*>(Value);
    Record(d, "SetPipePolicy " + PipeName(PipeID) + " timeout " + std::to_string(d.TimeoutMs[PipeID]));
    return TRUE;
}

BOOL WINAPI WinUsb_ReadPipe(WINUSB_INTERFACE InterfaceHandleIn, UCHAR PipeID, PUCHAR Buffer, ULONG BufferLength,
                            PULONG LengthTransferred, LPOVERLAPPED)
{
    TEST_DEVICE& d = Device();
    std::unique_lock<std::mutex> lock(d.cs);
    if (LengthTransferred != nullptr)
        *LengthTransferred = 0;
    if (!IsOurs(InterfaceHandleIn))
        return FALSE;
    if (FindPipe(d, PipeID) == nullptr || (PipeID & 0x80) == 0 || Buffer == nullptr || LengthTransferred == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (d.HostRest.empty())
    {
        if (!WaitOnPipe(d, lock, PipeID, [&d] { return !d.InTransfers.empty(); }))
        {
            SetLastError(ERROR_SEM_TIMEOUT);
            return FALSE;
        }
        d.HostRest = std::move(d.InTransfers.front());
        d.InTransfers.pop_front();
    }
    ULONG ulTaken = std::min<ULONG>(BufferLength, static_cast<ULONG>(d.HostRest.size()));
    std::memcpy(Buffer, d.HostRest.data(), ulTaken);
    d.HostRest.erase(d.HostRest.begin(), d.HostRest.begin() + ulTaken);
    *LengthTransferred = ulTaken;
    return TRUE;
}

BOOL WINAPI WinUsb_WritePipe(WINUSB_INTERFACE InterfaceHandleIn, UCHAR PipeID, PUCHAR Buffer, ULONG BufferLength,
                             PULONG LengthTransferred, LPOVERLAPPED)
{
    TEST_DEVICE& d = Device();
    std::unique_lock<std::mutex> lock(d.cs);
    if (LengthTransferred != nullptr)
        *LengthTransferred = 0;
    if (!IsOurs(InterfaceHandleIn))
        return FALSE;
    if (FindPipe(d, PipeID) == nullptr || (PipeID & 0x80) != 0 || (Buffer == nullptr && BufferLength != 0) ||
        LengthTransferred == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (d.bWritesStall)
    {
        // Nothing is taken until the pipe's time-out; Reset ends the stall.
        if (!WaitOnPipe(d, lock, PipeID, [&d] { return !d.bWritesStall; }))
        {
            SetLastError(ERROR_SEM_TIMEOUT);
            return FALSE;
        }
    }
    std::vector<BYTE>& written = d.Written[PipeID];
    written.insert(written.end(), Buffer, Buffer + BufferLength);
    *LengthTransferred = BufferLength;
    Record(d, "WritePipe " + PipeName(PipeID) + " " + std::to_string(BufferLength));
    return TRUE;
}

BOOL WINAPI WinUsb_FlushPipe(WINUSB_INTERFACE InterfaceHandleIn, UCHAR PipeID)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    if (!IsOurs(InterfaceHandleIn))
        return FALSE;
    if (FindPipe(d, PipeID) == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((PipeID & 0x80) != 0)
        d.HostRest.clear();
    Record(d, "FlushPipe " + PipeName(PipeID));
    return TRUE;
}

BOOL WINAPI WinUsb_Free(WINUSB_INTERFACE InterfaceHandleIn)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    if (!IsOurs(InterfaceHandleIn))
        return FALSE;
    --d.nInterfaces;
    d.TimeoutMs.clear();
    Record(d, "Free");
    return TRUE;
}

// ---- Test-only functions ----

void WINAPI VuqTestWinUsb_Reset()
{
    TEST_DEVICE& d = Device();
    {
        std::lock_guard<std::mutex> lock(d.cs);
        ResetDevice(d);
    }
    d.cvIn.notify_all();
}

void WINAPI VuqTestWinUsb_SetPipes(const WINUSB_PIPE_INFORMATION_RECORD* pPipes, int nCount)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    d.Pipes.assign(pPipes, pPipes + nCount);
}

void WINAPI VuqTestWinUsb_QueueIn(const BYTE* pData, int nLen)
{
    TEST_DEVICE& d = Device();
    {
        std::lock_guard<std::mutex> lock(d.cs);
        d.InTransfers.emplace_back(pData, pData + nLen);
    }
    d.cvIn.notify_all();
}

int WINAPI VuqTestWinUsb_Written(UCHAR bPipeId, BYTE* pBuf, int nCapacity)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    const std::vector<BYTE>& written = d.Written[bPipeId];
    if (nCapacity > 0 && !written.empty())
        std::memcpy(pBuf, written.data(), std::min(written.size(), static_cast<size_t>(nCapacity)));
    return static_cast<int>(written.size());
}

void WINAPI VuqTestWinUsb_SetWritesStall(BOOL bStall)
{
    TEST_DEVICE& d = Device();
    {
        std::lock_guard<std::mutex> lock(d.cs);
        d.bWritesStall = bStall != FALSE;
    }
    d.cvIn.notify_all();
}

int WINAPI VuqTestWinUsb_Calls(char* pszBuf, int nCapacity)
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    if (nCapacity > 0)
    {
        size_t nCopy = std::min(d.strCalls.size(), static_cast<size_t>(nCapacity) - 1);
        std::memcpy(pszBuf, d.strCalls.data(), nCopy);
        pszBuf[nCopy] = '\0';
    }
    return static_cast<int>(d.strCalls.size());
}

HANDLE WINAPI VuqTestWinUsb_Device()
{
    TEST_DEVICE& d = Device();
    std::lock_guard<std::mutex> lock(d.cs);
    return d.hDevice;
}
}

// The library's entry points have exactly the documented signatures the loader declares.
static_assert(std::is_same_v<decltype(&WinUsb_Initialize), PFN_WINUSB_INITIALIZE>);
static_assert(std::is_same_v<decltype(&WinUsb_QueryInterfaceSettings), PFN_WINUSB_QUERY_INTERFACE_SETTINGS>);
static_assert(std::is_same_v<decltype(&WinUsb_QueryPipe), PFN_WINUSB_QUERY_PIPE>);
static_assert(std::is_same_v<decltype(&WinUsb_ReadPipe), PFN_WINUSB_READ_PIPE>);
static_assert(std::is_same_v<decltype(&WinUsb_WritePipe), PFN_WINUSB_WRITE_PIPE>);
static_assert(std::is_same_v<decltype(&WinUsb_Free), PFN_WINUSB_FREE>);
static_assert(std::is_same_v<decltype(&WinUsb_FlushPipe), PFN_WINUSB_FLUSH_PIPE>);
static_assert(std::is_same_v<decltype(&WinUsb_SetPipePolicy), PFN_WINUSB_SET_PIPE_POLICY>);
static_assert(std::is_same_v<decltype(&VuqTestWinUsb_Calls), PFN_VUQ_TEST_WINUSB_CALLS>);
