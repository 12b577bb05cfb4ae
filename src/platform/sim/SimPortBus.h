// The in-process USB bus of simulated runs: the virtual handset's endpoints live in
// this process as pairs of bounded byte queues, one each way, so the handset needs
// no device node and works on every OS. The desktop reaches them by name through
// CSimPortDriver, with the production drivers' contract.
//
// Names: every endpoint gets a name of its own, "sim:handset-1", "sim:handset-2"...
// (never one used before on this bus), so a handset that comes back after phase 1
// is under a new name. "sim:handset" is a stable alias for the endpoint that went on
// the bus last and is still there, as a stable device name follows a handset's
// current node; the legacy run reopens its port by such a name.
//
// An endpoint's name can be opened once the handset has attached it (announced
// itself), until the endpoint closes. The queue from the desktop to the handset is
// bounded, so a handset that stops reading makes the desktop's writes stall. The
// bus and every endpoint and open port may be destroyed in any order.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sim/HandsetTransport.h"

constexpr char SIM_PORT_NAME_PREFIX[] = "sim:handset-";
constexpr char SIM_PORT_ALIAS[] = "sim:handset";
// Room in each direction: far less than a download frame, about what a
// pseudo-terminal holds, so a handset that leaves or stops reading mid-frame makes
// the desktop's write fail as it would on a device node.
constexpr size_t SIM_PORT_QUEUE_BYTES = 4096;

// The link of one endpoint: the desktop's side for CSimPortDriver, the handset's side
// for the endpoint. Every wait is real time.
class CSimPortLink
{
public:
    explicit CSimPortLink(size_t nQueueBytes);
    CSimPortLink(const CSimPortLink&) = delete;
    CSimPortLink& operator=(const CSimPortLink&) = delete;

    // The desktop's side. A link is held by one port at a time: false (EBUSY) when
    // it is held, (EIO) when the endpoint has left the bus.
    bool Acquire();
    void Release();
    // Returns what has arrived, up to dwLen, or after dwTimeoutMs with nothing.
    bool Read(BYTE* pBuf, DWORD dwLen, DWORD dwTimeoutMs, DWORD* pdwRead);
    // Takes everything, or fails (ETIMEDOUT) once dwLimitMs passed without room.
    bool Write(const BYTE* pBuf, DWORD dwLen, DWORD dwLimitMs, DWORD* pdwWritten);

    // The handset's side.
    bool WaitForInput(DWORD dwRealMs);
    size_t Receive(BYTE* pBuf, size_t nLen);
    bool Send(const BYTE* pBuf, size_t nLen, DWORD dwRealMs);
    void WaitUntilSentIsRead(DWORD dwRealMs);
    // The endpoint left the bus: both queues are emptied and every later call of
    // the desktop's side fails (EIO).
    void Cut();

private:
    // A ring of bytes of a fixed capacity.
    struct QUEUE
    {
        std::vector<BYTE> Bytes;
        size_t nHead = 0;
        size_t nCount = 0;
        size_t Room() const { return Bytes.size() - nCount; }
        size_t Put(const BYTE* pBuf, size_t nLen);
        size_t Take(BYTE* pBuf, size_t nLen);
    };
    // Puts all nLen bytes into queue, waiting for room while dwLimitMs pass without
    // progress; *pnDone says how many went. False (EIO) once cut, (ETIMEDOUT) on time.
    bool Put(QUEUE& queue, const BYTE* pBuf, size_t nLen, DWORD dwLimitMs, size_t* pnDone);

    std::mutex m_csState;
    std::condition_variable m_cvChanged;
    QUEUE m_ToHandset;
    QUEUE m_ToDesktop;
    bool m_bHeld = false;
    bool m_bCut = false;
};

class CSimPortBus : public IHandsetTransport
{
public:
    explicit CSimPortBus(size_t nQueueBytes = SIM_PORT_QUEUE_BYTES);
    CSimPortBus(const CSimPortBus&) = delete;
    CSimPortBus& operator=(const CSimPortBus&) = delete;

    std::unique_ptr<IHandsetEndpoint> OpenEndpoint() override;

    // The desktop's side, for CSimPortDriver: the link of the endpoint on the bus
    // under this name (or the alias), acquired. Null when there is none (ENOENT) or
    // it is held (EBUSY).
    std::shared_ptr<CSimPortLink> Connect(const char* pszName);

    struct BUS_STATE;

private:
    size_t m_nQueueBytes;
    std::shared_ptr<BUS_STATE> m_pState;
};
