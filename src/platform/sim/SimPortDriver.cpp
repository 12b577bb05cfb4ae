#include "platform/sim/SimPortDriver.h"


#include "common/LastError.h"

namespace
{
constexpr DWORD DEFAULT_READ_MS = 100;
const PORT_TIMEOUTS DEFAULT_TIMEOUTS = {0xFFFFFFFFu, 0, DEFAULT_READ_MS};
}

CSimPortDriver::CSimPortDriver(CSimPortBus& bus, DWORD dwWriteLimitMs) : m_Bus(bus), m_dwWriteLimitMs(dwWriteLimitMs)
{
}

CSimPortDriver::~CSimPortDriver()
{
    std::lock_guard<std::mutex> lock(m_csPorts);
    for (auto& entry : m_Ports)
        entry.second.pLink->Release();
    m_Ports.clear();
}

PORT_HANDLE CSimPortDriver::Open(const char* pszName)
{
    if (pszName == nullptr || pszName[0] == '\0')
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return INVALID_PORT;
    }
    std::shared_ptr<CSimPortLink> pLink = m_Bus.Connect(pszName);
    if (!pLink)
        return INVALID_PORT;
    std::lock_guard<std::mutex> lock(m_csPorts);
    PORT_HANDLE hPort = m_hNext++;
    m_Ports[hPort] = OPEN_PORT{pLink, DEFAULT_TIMEOUTS};
    return hPort;
}

std::shared_ptr<CSimPortLink> CSimPortDriver::LinkOf(PORT_HANDLE hPort, DWORD* pdwReadMs)
{
    std::lock_guard<std::mutex> lock(m_csPorts);
    auto it = m_Ports.find(hPort);
    if (it == m_Ports.end())
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return nullptr;
    }
    if (pdwReadMs != nullptr)
    {
        DWORD dwMs = it->second.Timeouts.ReadTotalTimeoutConstant;
        *pdwReadMs = dwMs == 0 ? DEFAULT_READ_MS : dwMs;
    }
    return it->second.pLink;
}

bool CSimPortDriver::Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    if (pdwRead != nullptr)
        *pdwRead = 0;
    DWORD dwReadMs = DEFAULT_READ_MS;
    std::shared_ptr<CSimPortLink> pLink = LinkOf(hPort, &dwReadMs);
    if (!pLink || pBuf == nullptr || pdwRead == nullptr)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    return pLink->Read(pBuf, dwLen, dwReadMs, pdwRead);
}

bool CSimPortDriver::Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    std::shared_ptr<CSimPortLink> pLink = LinkOf(hPort, nullptr);
    if (!pLink || (pBuf == nullptr && dwLen != 0) || pdwWritten == nullptr)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    return pLink->Write(pBuf, dwLen, m_dwWriteLimitMs, pdwWritten);
}

bool CSimPortDriver::GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts)
{
    std::lock_guard<std::mutex> lock(m_csPorts);
    auto it = m_Ports.find(hPort);
    if (it == m_Ports.end() || pTimeouts == nullptr)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    *pTimeouts = it->second.Timeouts;
    return true;
}

bool CSimPortDriver::SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts)
{
    std::lock_guard<std::mutex> lock(m_csPorts);
    auto it = m_Ports.find(hPort);
    if (it == m_Ports.end() || pTimeouts == nullptr)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    it->second.Timeouts = *pTimeouts;
    return true;
}

void CSimPortDriver::Close(PORT_HANDLE hPort)
{
    std::shared_ptr<CSimPortLink> pLink;
    {
        std::lock_guard<std::mutex> lock(m_csPorts);
        auto it = m_Ports.find(hPort);
        if (it == m_Ports.end())
            return;
        pLink = it->second.pLink;
        m_Ports.erase(it);
    }
    pLink->Release();
}
