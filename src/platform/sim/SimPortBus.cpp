#include "platform/sim/SimPortBus.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "common/LastError.h"

// The names on the bus: the attached endpoints' links in the order they attached.
struct CSimPortBus::BUS_STATE
{
    std::mutex csNames;
    std::vector<std::pair<std::string, std::weak_ptr<CSimPortLink>>> Attached;
    DWORD dwNextNumber = 1;
};

namespace
{
class CSimEndpoint : public IHandsetEndpoint
{
public:
    CSimEndpoint(std::shared_ptr<CSimPortBus::BUS_STATE> pState, std::string strName, size_t nQueueBytes)
        : m_pState(std::move(pState)), m_strName(std::move(strName)),
          m_pLink(std::make_shared<CSimPortLink>(nQueueBytes))
    {
    }
    ~CSimEndpoint() override
    {
        {
            std::lock_guard<std::mutex> lock(m_pState->csNames);
            auto& attached = m_pState->Attached;
            attached.erase(std::remove_if(attached.begin(), attached.end(),
                                          [&](const auto& entry) { return entry.first == m_strName; }),
                           attached.end());
        }
        m_pLink->Cut();
    }
    CSimEndpoint(const CSimEndpoint&) = delete;
    CSimEndpoint& operator=(const CSimEndpoint&) = delete;

    const std::string& Name() const override { return m_strName; }

    void Attach() override
    {
        std::lock_guard<std::mutex> lock(m_pState->csNames);
        m_pState->Attached.emplace_back(m_strName, m_pLink);
    }

    bool WaitForInput(DWORD dwRealMs) override { return m_pLink->WaitForInput(dwRealMs); }

    bool Receive(BYTE* pBuf, size_t nLen, size_t* pnRead) override
    {
        *pnRead = m_pLink->Receive(pBuf, nLen);
        return true;
    }

    bool Send(const BYTE* pBuf, size_t nLen, DWORD dwRealMs) override { return m_pLink->Send(pBuf, nLen, dwRealMs); }

    void WaitUntilSentIsRead(DWORD dwRealMs) override { m_pLink->WaitUntilSentIsRead(dwRealMs); }

private:
    std::shared_ptr<CSimPortBus::BUS_STATE> m_pState;
    std::string m_strName;
    std::shared_ptr<CSimPortLink> m_pLink;
};
}

// ---- the queues ------------------------------------------------------------

size_t CSimPortLink::QUEUE::Put(const BYTE* pBuf, size_t nLen)
{
    size_t nDone = 0;
    while (nDone < nLen && Room() > 0)
    {
        size_t nTail = (nHead + nCount) % Bytes.size();
        size_t nPiece = std::min({nLen - nDone, Room(), Bytes.size() - nTail});
        std::memcpy(Bytes.data() + nTail, pBuf + nDone, nPiece);
        nCount += nPiece;
        nDone += nPiece;
    }
    return nDone;
}

size_t CSimPortLink::QUEUE::Take(BYTE* pBuf, size_t nLen)
{
    size_t nDone = 0;
    while (nDone < nLen && nCount > 0)
    {
        size_t nPiece = std::min({nLen - nDone, nCount, Bytes.size() - nHead});
        std::memcpy(pBuf + nDone, Bytes.data() + nHead, nPiece);
        nHead = (nHead + nPiece) % Bytes.size();
        nCount -= nPiece;
        nDone += nPiece;
    }
    if (nCount == 0)
        nHead = 0;
    return nDone;
}

CSimPortLink::CSimPortLink(size_t nQueueBytes)
{
    size_t nBytes = nQueueBytes > 0 ? nQueueBytes : 1;
    m_ToHandset.Bytes.resize(nBytes);
    m_ToDesktop.Bytes.resize(nBytes);
}

bool CSimPortLink::Put(QUEUE& queue, const BYTE* pBuf, size_t nLen, DWORD dwLimitMs, size_t* pnDone)
{
    *pnDone = 0;
    std::unique_lock<std::mutex> lock(m_csState);
    auto tpProgress = std::chrono::steady_clock::now();
    for (;;)
    {
        if (m_bCut)
        {
            SetLastErrorCondition(std::errc::io_error);
            return false;
        }
        size_t nPut = queue.Put(pBuf + *pnDone, nLen - *pnDone);
        if (nPut > 0)
        {
            *pnDone += nPut;
            tpProgress = std::chrono::steady_clock::now();
            m_cvChanged.notify_all();
        }
        if (*pnDone == nLen)
            return true;
        // Full: wait for the other side to read, but never longer than the limit
        // without progress.
        if (!m_cvChanged.wait_until(lock, tpProgress + std::chrono::milliseconds(dwLimitMs),
                                    [&] { return m_bCut || queue.Room() > 0; }))
        {
            SetLastErrorCondition(std::errc::timed_out);
            return false;
        }
    }
}

// ---- the desktop's side ----------------------------------------------------

bool CSimPortLink::Acquire()
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_bCut || m_bHeld)
    {
        SetLastErrorCondition(m_bCut ? std::errc::io_error : std::errc::device_or_resource_busy);
        return false;
    }
    m_bHeld = true;
    return true;
}

void CSimPortLink::Release()
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bHeld = false;
}

bool CSimPortLink::Read(BYTE* pBuf, DWORD dwLen, DWORD dwTimeoutMs, DWORD* pdwRead)
{
    *pdwRead = 0;
    std::unique_lock<std::mutex> lock(m_csState);
    m_cvChanged.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                         [&] { return m_bCut || m_ToDesktop.nCount > 0; });
    if (m_bCut)
    {
        SetLastErrorCondition(std::errc::io_error);
        return false;
    }
    *pdwRead = static_cast<DWORD>(m_ToDesktop.Take(pBuf, dwLen));
    if (*pdwRead > 0)
        m_cvChanged.notify_all();
    return true;
}

bool CSimPortLink::Write(const BYTE* pBuf, DWORD dwLen, DWORD dwLimitMs, DWORD* pdwWritten)
{
    size_t nDone = 0;
    bool bOk = Put(m_ToHandset, pBuf, dwLen, dwLimitMs, &nDone);
    *pdwWritten = static_cast<DWORD>(nDone);
    return bOk;
}

// ---- the handset's side ----------------------------------------------------

bool CSimPortLink::WaitForInput(DWORD dwRealMs)
{
    std::unique_lock<std::mutex> lock(m_csState);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(dwRealMs), [&] { return m_ToHandset.nCount > 0; });
}

size_t CSimPortLink::Receive(BYTE* pBuf, size_t nLen)
{
    std::lock_guard<std::mutex> lock(m_csState);
    size_t nRead = m_ToHandset.Take(pBuf, nLen);
    if (nRead > 0)
        m_cvChanged.notify_all();
    return nRead;
}

bool CSimPortLink::Send(const BYTE* pBuf, size_t nLen, DWORD dwRealMs)
{
    size_t nDone = 0;
    return Put(m_ToDesktop, pBuf, nLen, dwRealMs, &nDone);
}

void CSimPortLink::WaitUntilSentIsRead(DWORD dwRealMs)
{
    std::unique_lock<std::mutex> lock(m_csState);
    m_cvChanged.wait_for(lock, std::chrono::milliseconds(dwRealMs), [&] { return m_bCut || m_ToDesktop.nCount == 0; });
}

void CSimPortLink::Cut()
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_bCut = true;
        m_ToHandset.nHead = m_ToHandset.nCount = 0;
        m_ToDesktop.nHead = m_ToDesktop.nCount = 0;
    }
    m_cvChanged.notify_all();
}

// ---- the bus ---------------------------------------------------------------

CSimPortBus::CSimPortBus(size_t nQueueBytes) : m_nQueueBytes(nQueueBytes), m_pState(std::make_shared<BUS_STATE>())
{
}

std::unique_ptr<IHandsetEndpoint> CSimPortBus::OpenEndpoint()
{
    DWORD dwNumber;
    {
        std::lock_guard<std::mutex> lock(m_pState->csNames);
        dwNumber = m_pState->dwNextNumber++;
    }
    return std::make_unique<CSimEndpoint>(m_pState, SIM_PORT_NAME_PREFIX + std::to_string(dwNumber), m_nQueueBytes);
}

std::shared_ptr<CSimPortLink> CSimPortBus::Connect(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_pState->csNames);
    const auto& attached = m_pState->Attached;
    std::shared_ptr<CSimPortLink> pLink;
    if (pszName != nullptr && std::strcmp(pszName, SIM_PORT_ALIAS) == 0)
    {
        if (!attached.empty())
            pLink = attached.back().second.lock();
    }
    else if (pszName != nullptr)
    {
        auto it = std::find_if(attached.begin(), attached.end(), [&](const auto& entry) { return entry.first == pszName; });
        if (it != attached.end())
            pLink = it->second.lock();
    }
    if (!pLink)
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return nullptr;
    }
    return pLink->Acquire() ? pLink : nullptr;
}
