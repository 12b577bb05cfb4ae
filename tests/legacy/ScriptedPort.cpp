#include "ScriptedPort.h"

#include "common/ByteOrder.h"

CScriptedPort::CScriptedPort(IClock& clock) : m_Clock(clock)
{
}

void CScriptedPort::ReplyAfterFrame(int nFrame, const std::string& strBytes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_FrameReplies[nFrame] += strBytes;
}

void CScriptedPort::QueueReply(const std::string& strBytes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    for (char c : strBytes)
        m_Queue.push_back(static_cast<BYTE>(c));
}

void CScriptedPort::QueueSilence(int nCount)
{
    std::lock_guard<std::mutex> lock(m_csState);
    for (int i = 0; i < nCount; ++i)
        m_Queue.push_back(-1);
}

void CScriptedPort::FailOpens(int nFirst, int nCount)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nOpenFailFirst = nFirst;
    m_nOpenFailCount = nCount;
}

void CScriptedPort::FailWrite(int nFrame, int nWrite, WRITE_FAULT fault)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_WriteFaults[{nFrame, nWrite}] = fault;
}

void CScriptedPort::SetInitialTimeouts(const PORT_TIMEOUTS& timeouts)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Timeouts = timeouts;
}

PORT_HANDLE CScriptedPort::Open(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    int nAttempt = m_nOpenAttempts++;
    m_OpenNames.emplace_back(pszName);
    m_OpenTicks.push_back(m_Clock.GetTickCount());
    bool bFail = nAttempt >= m_nOpenFailFirst &&
                 (m_nOpenFailCount < 0 || nAttempt < m_nOpenFailFirst + m_nOpenFailCount);
    if (bFail)
        return INVALID_PORT;
    PORT_HANDLE hPort = m_hNext++;
    m_Open.insert(hPort);
    return hPort;
}

bool CScriptedPort::Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    DWORD dwWaitMs = 0;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        *pdwRead = 0;
        m_ReadTimeouts.push_back(m_Timeouts);
        if (m_Open.count(hPort) == 0 || dwLen == 0)
            return false;
        if (!m_Queue.empty() && m_Queue.front() >= 0)
        {
            pBuf[0] = static_cast<BYTE>(m_Queue.front());
            m_Queue.pop_front();
            *pdwRead = 1;
            return true;
        }
        if (!m_Queue.empty())
            m_Queue.pop_front();
        // Nothing arrives: the read returns after its time-out (100 ms when none is set,
        // standing in for a port that would otherwise block).
        dwWaitMs = m_Timeouts.ReadTotalTimeoutConstant != 0 ? m_Timeouts.ReadTotalTimeoutConstant : 100;
    }
    m_Clock.Sleep(dwWaitMs);
    return true;
}

bool CScriptedPort::Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    std::lock_guard<std::mutex> lock(m_csState);
    *pdwWritten = 0;
    if (m_Open.count(hPort) == 0)
        return false;
    m_WriteSizes.push_back(dwLen);
    int nFrame = static_cast<int>(m_Frames.size());
    int nWrite = static_cast<int>(m_CurrentFrameWrites.size());
    m_CurrentFrameWrites.push_back(dwLen);
    DWORD dwOut = dwLen;
    bool bOk = true;
    auto it = m_WriteFaults.find({nFrame, nWrite});
    if (it != m_WriteFaults.end())
    {
        bOk = it->second.bOk;
        dwOut = it->second.dwWritten < dwLen ? it->second.dwWritten : dwLen;
    }
    m_Pending.insert(m_Pending.end(), pBuf, pBuf + dwOut);
    *pdwWritten = dwOut;
    TakeFrames();
    return bOk;
}

void CScriptedPort::TakeFrames()
{
    while (m_Pending.size() >= 8)
    {
        DWORD dwSize = ReadLE32(m_Pending.data() + 4);
        if (dwSize < 10 || m_Pending.size() < dwSize)
            return;
        RECEIVED_FRAME frame;
        frame.dwCommand = ReadLE32(m_Pending.data());
        frame.dwSize = dwSize;
        frame.payload.assign(m_Pending.begin() + 8, m_Pending.begin() + (dwSize - 2));
        frame.wChecksum = ReadLE16(m_Pending.data() + dwSize - 2);
        WORD wSum = 0;
        for (BYTE by : frame.payload)
            wSum = static_cast<WORD>(wSum + by);
        frame.bChecksumOk = wSum == frame.wChecksum;
        m_Pending.erase(m_Pending.begin(), m_Pending.begin() + dwSize);
        int nIndex = static_cast<int>(m_Frames.size());
        m_Frames.push_back(std::move(frame));
        m_FrameWriteSizes.push_back(m_CurrentFrameWrites);
        m_CurrentFrameWrites.clear();
        auto it = m_FrameReplies.find(nIndex);
        if (it != m_FrameReplies.end())
            for (char c : it->second)
                m_Queue.push_back(static_cast<BYTE>(c));
    }
}

bool CScriptedPort::GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_Open.count(hPort) == 0)
        return false;
    *pTimeouts = m_Timeouts;
    return true;
}

bool CScriptedPort::SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_Open.count(hPort) == 0)
        return false;
    m_Timeouts = *pTimeouts;
    return true;
}

void CScriptedPort::Close(PORT_HANDLE hPort)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Open.erase(hPort);
}

std::vector<RECEIVED_FRAME> CScriptedPort::Frames()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Frames;
}

std::vector<DWORD> CScriptedPort::WriteSizes()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_WriteSizes;
}

std::vector<std::vector<DWORD>> CScriptedPort::FrameWriteSizes()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_FrameWriteSizes;
}

std::vector<std::string> CScriptedPort::OpenNames()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_OpenNames;
}

std::vector<DWORD> CScriptedPort::OpenTicks()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_OpenTicks;
}

int CScriptedPort::OpenHandleCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return static_cast<int>(m_Open.size());
}

int CScriptedPort::ReadCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return static_cast<int>(m_ReadTimeouts.size());
}

std::vector<PORT_TIMEOUTS> CScriptedPort::ReadTimeouts()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_ReadTimeouts;
}

PORT_TIMEOUTS CScriptedPort::CurrentTimeouts()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Timeouts;
}

size_t CScriptedPort::PendingReplyBytes()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Queue.size();
}
