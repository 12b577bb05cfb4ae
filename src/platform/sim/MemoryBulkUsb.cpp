#include "platform/sim/MemoryBulkUsb.h"

#include <cerrno>
#include <chrono>

#include "common/LastError.h"

CMemoryBulkUsb::CMemoryBulkUsb()
{
    m_Descriptor.bLength = 9;
    m_Descriptor.bDescriptorType = 4;
    // A plain downloader interface: one bulk IN and one bulk OUT pipe.
    SetPipes({{PIPE_TYPE_BULK, 0x81, 512, 0}, {PIPE_TYPE_BULK, 0x02, 512, 0}});
}

void CMemoryBulkUsb::SetLoadFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bLoadFails = bFails;
}

void CMemoryBulkUsb::SetMissingEntryPoint(int nEntryPoint)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_MissingEntryPoints.insert(nEntryPoint);
}

void CMemoryBulkUsb::SetPipes(const std::vector<WINUSB_PIPE_INFORMATION>& pipes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Pipes = pipes;
    m_Descriptor.bNumEndpoints = static_cast<BYTE>(pipes.size());
}

void CMemoryBulkUsb::SetInitializeFails(DWORD dwError)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwInitializeError = dwError;
}

void CMemoryBulkUsb::SetQuerySettingsFails(DWORD dwError)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwQueryError = dwError;
}

void CMemoryBulkUsb::SetShortWrite(int nWriteIndex)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nShortWrite = nWriteIndex;
}

void CMemoryBulkUsb::SetWriteFails(int nWriteIndex, DWORD dwError)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nFailingWrite = nWriteIndex;
    m_dwWriteError = dwError;
}

void CMemoryBulkUsb::SetReadFails(int nCount, DWORD dwError)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nReadFailures = nCount;
    m_dwReadError = dwError;
}

void CMemoryBulkUsb::QueueInBytes(const std::vector<BYTE>& bytes)
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_InBytes.insert(m_InBytes.end(), bytes.begin(), bytes.end());
    }
    m_cvInBytes.notify_all();
}

void CMemoryBulkUsb::QueueInText(const char* pszText)
{
    std::vector<BYTE> bytes;
    for (const char* p = pszText; *p != '\0'; ++p)
        bytes.push_back(static_cast<BYTE>(*p));
    QueueInBytes(bytes);
}

void CMemoryBulkUsb::SetEmptyReadWaitMs(DWORD dwMs)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwEmptyReadWaitMs = dwMs;
}

std::vector<RECORDED_PIPE_WRITE> CMemoryBulkUsb::Writes()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Writes;
}

std::vector<BYTE> CMemoryBulkUsb::WrittenBytes()
{
    std::lock_guard<std::mutex> lock(m_csState);
    std::vector<BYTE> all;
    for (const RECORDED_PIPE_WRITE& write : m_Writes)
        all.insert(all.end(), write.Data.begin(), write.Data.end());
    return all;
}

int CMemoryBulkUsb::LoadCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nLoadCount;
}

int CMemoryBulkUsb::UnloadCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nUnloadCount;
}

int CMemoryBulkUsb::FreeCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nFreeCount;
}

int CMemoryBulkUsb::FlushCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nFlushCount;
}

int CMemoryBulkUsb::InitializeCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nInitializeCount;
}

size_t CMemoryBulkUsb::PendingInBytes()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_InBytes.size();
}

PORT_HANDLE CMemoryBulkUsb::InitializedDevice()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_hDevice;
}

bool CMemoryBulkUsb::IsOurs(BULK_HANDLE hUsb) const
{
    return hUsb == static_cast<const void*>(&m_nInterface);
}

bool CMemoryBulkUsb::Load()
{
    std::lock_guard<std::mutex> lock(m_csState);
    ++m_nLoadCount;
    if (m_bLoadFails)
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return false;
    }
    m_bLoaded = true;
    return true;
}

bool CMemoryBulkUsb::Resolve(int nEntryPoint)
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_bLoaded && nEntryPoint >= 0 && nEntryPoint < BULK_ENTRY_POINT_COUNT &&
           m_MissingEntryPoints.count(nEntryPoint) == 0;
}

void CMemoryBulkUsb::Unload()
{
    std::lock_guard<std::mutex> lock(m_csState);
    ++m_nUnloadCount;
    m_bLoaded = false;
}

bool CMemoryBulkUsb::Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb)
{
    std::lock_guard<std::mutex> lock(m_csState);
    ++m_nInitializeCount;
    if (m_dwInitializeError != 0 || phUsb == nullptr || hDevice == INVALID_PORT)
    {
        SetLastErrorCode(m_dwInitializeError != 0 ? m_dwInitializeError : EINVAL);
        return false;
    }
    m_hDevice = hDevice;
    *phUsb = &m_nInterface;
    return true;
}

bool CMemoryBulkUsb::QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                            USB_INTERFACE_DESCRIPTOR* pDescriptor)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_dwQueryError != 0 || !IsOurs(hUsb) || bAlternateSetting != 0 || pDescriptor == nullptr)
    {
        SetLastErrorCode(m_dwQueryError != 0 ? m_dwQueryError : EINVAL);
        return false;
    }
    *pDescriptor = m_Descriptor;
    return true;
}

bool CMemoryBulkUsb::QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex,
                               WINUSB_PIPE_INFORMATION* pPipe)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (!IsOurs(hUsb) || bAlternateSetting != 0 || pPipe == nullptr || bPipeIndex >= m_Pipes.size())
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    *pPipe = m_Pipes[bPipeIndex];
    return true;
}

bool CMemoryBulkUsb::ReadPipe(BULK_HANDLE hUsb, BYTE, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    std::unique_lock<std::mutex> lock(m_csState);
    if (pdwRead != nullptr)
        *pdwRead = 0;
    if (!IsOurs(hUsb) || pBuf == nullptr || pdwRead == nullptr)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    if (m_nReadFailures > 0)
    {
        --m_nReadFailures;
        SetLastErrorCode(m_dwReadError);
        return false;
    }
    m_cvInBytes.wait_for(lock, std::chrono::milliseconds(m_dwEmptyReadWaitMs), [this] { return !m_InBytes.empty(); });
    DWORD dwCount = 0;
    while (dwCount < dwLen && !m_InBytes.empty())
    {
        pBuf[dwCount++] = m_InBytes.front();
        m_InBytes.pop_front();
    }
    *pdwRead = dwCount;
    return true;
}

bool CMemoryBulkUsb::WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    if (!IsOurs(hUsb) || (pBuf == nullptr && dwLen != 0) || pdwWritten == nullptr)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    int nIndex = m_nWriteCount++;
    if (nIndex == m_nFailingWrite)
    {
        SetLastErrorCode(m_dwWriteError);
        return false;
    }
    DWORD dwTaken = nIndex == m_nShortWrite && dwLen > 0 ? dwLen - 1 : dwLen;
    m_Writes.push_back({bPipeId, std::vector<BYTE>(pBuf, pBuf + dwTaken)});
    *pdwWritten = dwTaken;
    return true;
}

bool CMemoryBulkUsb::FlushPipe(BULK_HANDLE hUsb, BYTE)
{
    std::lock_guard<std::mutex> lock(m_csState);
    ++m_nFlushCount;
    if (!IsOurs(hUsb))
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    return true;
}

bool CMemoryBulkUsb::Free(BULK_HANDLE hUsb)
{
    std::lock_guard<std::mutex> lock(m_csState);
    ++m_nFreeCount;
    if (!IsOurs(hUsb))
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    return true;
}
