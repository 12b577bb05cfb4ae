#include "platform/win32/Win32PortDriver.h"

#include <cwctype>
#include <string>

#include "common/LastError.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "platform/win32/Win32Text.h"

namespace
{
constexpr DWORD DEFAULT_READ_MS = 100;
const PORT_TIMEOUTS DEFAULT_TIMEOUTS = {0xFFFFFFFFu, 0, DEFAULT_READ_MS};
// A comm device's driver ends its transfers itself; the wait that backs it up gives
// it this much longer before the transfer is cancelled.
constexpr DWORD COMM_GRACE_MS = 100;

// A wait for a comm device: its driver's own time plus the grace, never "for ever".
DWORD WithGrace(DWORD dwMs)
{
    return dwMs < INFINITE - 1 - COMM_GRACE_MS ? dwMs + COMM_GRACE_MS : INFINITE - 1;
}

HANDLE HandleOf(PORT_HANDLE hPort)
{
    return reinterpret_cast<HANDLE>(hPort);
}

// "COM10" and above open only with the device prefix; "COM1" takes it as well.
std::wstring DeviceNameOf(const char* pszName)
{
    std::wstring strName = Utf8ToWide(pszName);
    bool bComPort = strName.size() > 3 && (strName[0] == L'C' || strName[0] == L'c') &&
                    (strName[1] == L'O' || strName[1] == L'o') && (strName[2] == L'M' || strName[2] == L'm');
    for (size_t i = 3; bComPort && i < strName.size(); ++i)
        bComPort = std::iswdigit(strName[i]) != 0;
    return bComPort ? L"\\\\.\\" + strName : strName;
}

// The device's comm time-outs for the port's read time-outs: "return at once with
// what has arrived, or after the constant" is written in the system's own form of
// it (interval and multiplier both MAXDWORD); writes end after the write limit.
COMMTIMEOUTS CommTimeoutsOf(const PORT_TIMEOUTS& timeouts, DWORD dwWriteLimitMs)
{
    COMMTIMEOUTS comm{};
    comm.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    comm.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    comm.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutConstant != 0 &&
        timeouts.ReadTotalTimeoutConstant != MAXDWORD)
        comm.ReadTotalTimeoutMultiplier = MAXDWORD;
    comm.WriteTotalTimeoutMultiplier = 0;
    comm.WriteTotalTimeoutConstant = dwWriteLimitMs;
    return comm;
}

// Raw bytes on a serial line: binary, 8N1, no software flow control and nothing
// that replaces or drops bytes; the baud rate and the hardware lines stay as they are.
void MakeRaw(HANDLE hDevice)
{
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(hDevice, &dcb))
        return;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.Parity = NOPARITY;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    SetCommState(hDevice, &dcb);
}

// The bytes a comm device has received and not yet handed out; false when its
// driver keeps no such count.
bool QueuedBytes(HANDLE hDevice, DWORD* pdwQueued)
{
    WIN_DWORD dwErrors = 0;
    COMSTAT status{};
    if (!ClearCommError(hDevice, &dwErrors, &status))
        return false;
    *pdwQueued = status.cbInQue;
    return true;
}

struct TRANSFER_RESULT
{
    bool bOk;
    WIN_DWORD dwBytes;
    WIN_DWORD dwError;
    bool bCancelled;   // still running after the wait, so cancelled
};

// Runs one overlapped read or write at qwOffset (a disk file's position; other
// devices ignore it), waits up to dwWaitMs for it and cancels it after that. It
// has always ended when this returns: the buffer and the record are free again.
TRANSFER_RESULT RunTransfer(HANDLE hDevice, bool bWrite, BYTE* pBuf, DWORD dwLen, QWORD qwOffset, DWORD dwWaitMs)
{
    TRANSFER_RESULT result{false, 0, ERROR_SUCCESS, false};
    HANDLE hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (hEvent == nullptr)
    {
        result.dwError = GetLastError();
        return result;
    }
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(qwOffset);
    overlapped.OffsetHigh = static_cast<DWORD>(qwOffset >> 32);
    overlapped.hEvent = hEvent;
    BOOL bDone = bWrite ? WriteFile(hDevice, pBuf, dwLen, nullptr, &overlapped)
                        : ReadFile(hDevice, pBuf, dwLen, nullptr, &overlapped);
    WIN_DWORD dwError = bDone ? ERROR_SUCCESS : GetLastError();
    if (bDone || dwError == ERROR_IO_PENDING)
    {
        if (!bDone && WaitForSingleObject(hEvent, dwWaitMs) != WAIT_OBJECT_0)
        {
            CancelIo(hDevice);
            result.bCancelled = true;
        }
        result.bOk = GetOverlappedResult(hDevice, &overlapped, &result.dwBytes, TRUE) != FALSE;
        result.dwError = result.bOk ? ERROR_SUCCESS : GetLastError();
    }
    else
        result.dwError = dwError;
    CloseHandle(hEvent);
    return result;
}
}

CWin32PortDriver::CWin32PortDriver(DWORD dwWriteLimitMs) : m_dwWriteLimitMs(dwWriteLimitMs)
{
}

PORT_HANDLE CWin32PortDriver::Open(const char* pszName)
{
    if (pszName == nullptr || pszName[0] == '\0')
    {
        SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return INVALID_PORT;
    }
    // No sharing: the device is this program's alone until it is closed.
    HANDLE hDevice = CreateFileW(DeviceNameOf(pszName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (hDevice == INVALID_HANDLE_VALUE)
    {
        SetLastErrorCode(GetLastError());
        return INVALID_PORT;
    }
    PORT_HANDLE hPort = reinterpret_cast<PORT_HANDLE>(hDevice);
    OPEN_PORT port{DEFAULT_TIMEOUTS, false, GetFileType(hDevice) == FILE_TYPE_DISK, 0};
    COMMTIMEOUTS comm{};
    if (GetCommTimeouts(hDevice, &comm))
    {
        port.bComm = true;
        MakeRaw(hDevice);
        ApplyCommTimeouts(hPort, port.Timeouts);
    }
    std::lock_guard<std::mutex> lock(m_csPorts);
    m_Ports[hPort] = port;
    return hPort;
}

bool CWin32PortDriver::Lookup(PORT_HANDLE hPort, OPEN_PORT* pPort)
{
    std::lock_guard<std::mutex> lock(m_csPorts);
    auto it = m_Ports.find(hPort);
    if (it == m_Ports.end())
        return false;
    *pPort = it->second;
    return true;
}

bool CWin32PortDriver::ApplyCommTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS& timeouts)
{
    COMMTIMEOUTS comm = CommTimeoutsOf(timeouts, m_dwWriteLimitMs);
    return SetCommTimeouts(HandleOf(hPort), &comm) != FALSE;
}

void CWin32PortDriver::Advance(PORT_HANDLE hPort, DWORD dwBytes)
{
    std::lock_guard<std::mutex> lock(m_csPorts);
    auto it = m_Ports.find(hPort);
    if (it != m_Ports.end() && it->second.bSeekable)
        it->second.qwPosition += dwBytes;
}

// One bounded read of up to dwLen bytes at the port's position.
bool CWin32PortDriver::ReadOnce(PORT_HANDLE hPort, QWORD qwPosition, BYTE* pBuf, DWORD dwLen, DWORD dwWaitMs,
                                DWORD* pdwRead)
{
    *pdwRead = 0;
    TRANSFER_RESULT result = RunTransfer(HandleOf(hPort), false, pBuf, dwLen, qwPosition, dwWaitMs);
    // A read cut short by its time-out keeps what did arrive; a message longer than
    // the buffer leaves its rest for the next read.
    if (result.bOk || result.dwError == ERROR_MORE_DATA ||
        (result.bCancelled && result.dwError == ERROR_OPERATION_ABORTED))
    {
        *pdwRead = result.dwBytes;
        Advance(hPort, result.dwBytes);
        return true;
    }
    // A file at its end has nothing more, as a quiet line has nothing yet.
    if (result.dwError == ERROR_HANDLE_EOF)
        return true;
    SetLastErrorCode(result.dwError);
    return false;
}

bool CWin32PortDriver::Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    if (pdwRead != nullptr)
        *pdwRead = 0;
    OPEN_PORT port{};
    if (pBuf == nullptr || pdwRead == nullptr || !Lookup(hPort, &port))
    {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return false;
    }
    if (dwLen == 0)
        return true;
    DWORD dwWaitMs = port.Timeouts.ReadTotalTimeoutConstant != 0 ? port.Timeouts.ReadTotalTimeoutConstant
                                                                  : DEFAULT_READ_MS;
    if (!port.bComm)
        return ReadOnce(hPort, port.qwPosition, pBuf, dwLen, dwWaitMs, pdwRead);

    // A comm device's driver may not honour "return at once with what has arrived"
    // (Wine's does not): bytes already queued are read as many as there are, which
    // ends at once on any driver; with none queued one byte is awaited (the read ends
    // as that byte comes) and then what has come with it is taken.
    dwWaitMs = WithGrace(dwWaitMs);
    HANDLE hDevice = HandleOf(hPort);
    DWORD dwQueued = 0;
    if (!QueuedBytes(hDevice, &dwQueued))
        return ReadOnce(hPort, 0, pBuf, dwLen, dwWaitMs, pdwRead);
    if (dwQueued > 0)
        return ReadOnce(hPort, 0, pBuf, dwLen < dwQueued ? dwLen : dwQueued, dwWaitMs, pdwRead);
    if (!ReadOnce(hPort, 0, pBuf, 1, dwWaitMs, pdwRead))
        return false;
    if (*pdwRead == 0 || dwLen == 1 || !QueuedBytes(hDevice, &dwQueued) || dwQueued == 0)
        return true;
    DWORD dwMore = 0;
    // A failure here shows again on the next read; the byte already read is kept.
    ReadOnce(hPort, 0, pBuf + 1, dwLen - 1 < dwQueued ? dwLen - 1 : dwQueued, dwWaitMs, &dwMore);
    *pdwRead += dwMore;
    return true;
}

bool CWin32PortDriver::Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    OPEN_PORT port{};
    if ((pBuf == nullptr && dwLen != 0) || pdwWritten == nullptr || !Lookup(hPort, &port))
    {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD dwDone = 0;
    DWORD dwProgressTick = ::GetTickCount();
    while (dwDone < dwLen)
    {
        DWORD dwWaited = ::GetTickCount() - dwProgressTick;
        DWORD dwWaitMs = dwWaited < m_dwWriteLimitMs ? m_dwWriteLimitMs - dwWaited : 0;
        if (port.bComm)
            dwWaitMs = WithGrace(dwWaitMs);
        QWORD qwPosition = port.bSeekable ? port.qwPosition + dwDone : 0;
        // WriteFile only reads the buffer; the call takes a non-const pointer for both directions.
        TRANSFER_RESULT result = RunTransfer(HandleOf(hPort), true, const_cast<BYTE*>(pBuf) + dwDone,
                                             dwLen - dwDone, qwPosition, dwWaitMs);
        if (result.dwBytes > 0)
        {
            dwDone += result.dwBytes;
            Advance(hPort, result.dwBytes);
            dwProgressTick = ::GetTickCount();
        }
        // A comm device's own write time-out ends the call with fewer bytes, and a
        // cancelled write with what had gone out; anything else is the device's error.
        if (!result.bOk && !(result.bCancelled && result.dwError == ERROR_OPERATION_ABORTED))
        {
            SetLastErrorCode(result.dwError);
            *pdwWritten = dwDone;
            return false;
        }
        if (result.dwBytes == 0 && ::GetTickCount() - dwProgressTick >= m_dwWriteLimitMs)
        {
            // Nothing went out for the write limit: the other side stopped reading.
            SetLastErrorCode(ERROR_TIMEOUT);
            *pdwWritten = dwDone;
            return false;
        }
    }
    *pdwWritten = dwDone;
    return true;
}

bool CWin32PortDriver::GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts)
{
    OPEN_PORT port{};
    if (pTimeouts == nullptr || !Lookup(hPort, &port))
    {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return false;
    }
    *pTimeouts = port.Timeouts;
    return true;
}

bool CWin32PortDriver::SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts)
{
    OPEN_PORT port{};
    if (pTimeouts == nullptr || !Lookup(hPort, &port))
    {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return false;
    }
    if (port.bComm && !ApplyCommTimeouts(hPort, *pTimeouts))
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    std::lock_guard<std::mutex> lock(m_csPorts);
    auto it = m_Ports.find(hPort);
    if (it != m_Ports.end())
        it->second.Timeouts = *pTimeouts;
    return true;
}

void CWin32PortDriver::Close(PORT_HANDLE hPort)
{
    {
        std::lock_guard<std::mutex> lock(m_csPorts);
        // Only handles this driver opened are closed.
        if (m_Ports.erase(hPort) == 0)
            return;
    }
    CloseHandle(HandleOf(hPort));
}
