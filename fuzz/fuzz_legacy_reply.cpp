// Fuzzes the legacy updater's input handling:
//  - the reply wait ReceiveReply, fed by an in-memory port that hands out the
//    input's reply bytes one read at a time and then stays silent (or fails);
//  - the reserve-region lookup DefineReserveRegion, on the whole input as an image file.
//
// Input: an 8-byte head, then the bytes the handset sends (at most 4096 are used).
//   [0] bits 0-1: the reply waited for (reset, reserve, OS, EDGE)
//       bit 2: reads fail once the bytes are out, instead of coming back empty
//       bit 3: this is the run's last wait (the overall bar's step is re-derived)
//   [1] the wait's limit in units of 2 s (0: no wait)
//   [2..3] the overall bar's upper end, [4..5] its position, [6..7] the step bar's
//       upper end (little-endian, signed)
//
// Time is virtual: a byte that arrives takes 1 ms, an empty read takes the port's
// 100 ms read time-out, a sleep takes its length. Every run is then the same for
// the same input (a crash reproduces), and a run costs only the reads it makes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/ByteOrder.h"
#include "legacy/LegacyExchange.h"
#include "legacy/LegacyState.h"
#include "link/FileTransport.h"
#include "legacy/ReserveRegion.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"
#include "platform/sim/RecordingProgressView.h"

namespace
{
constexpr size_t HEAD_SIZE = 8;
constexpr size_t REPLY_BYTES_MAX = 4096;
constexpr DWORD BYTE_TIME_MS = 1;
constexpr PORT_HANDLE FUZZ_PORT = 7;

class CVirtualClock : public IClock
{
public:
    DWORD GetTickCount() override { return m_dwNow; }
    void Sleep(DWORD dwMs) override { m_dwNow += dwMs; }
    int WaitForEvent(CEvent& event, DWORD dwMs) override
    {
        if (event.IsSignalled())
            return EVENT_SIGNALLED;
        m_dwNow += dwMs;
        return EVENT_TIMEOUT;
    }
    void Advance(DWORD dwMs) { m_dwNow += dwMs; }

private:
    DWORD m_dwNow = 0x7FFFF000u;   // close to a sign change of the tick count
};

// A port that holds the handset's bytes.
class CMemoryPort : public IPortDriver
{
public:
    CMemoryPort(CVirtualClock& clock, const BYTE* pBytes, size_t nLen, bool bFailWhenDone)
        : m_Clock(clock), m_pBytes(pBytes), m_nLen(nLen), m_bFailWhenDone(bFailWhenDone)
    {
    }

    PORT_HANDLE Open(const char*) override { return FUZZ_PORT; }
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override
    {
        CheckHandle(hPort);
        *pdwRead = 0;
        if (m_nPos >= m_nLen)
        {
            if (m_bFailWhenDone)
                return false;
            m_Clock.Advance(m_Timeouts.ReadTotalTimeoutConstant != 0 ? m_Timeouts.ReadTotalTimeoutConstant
                                                                     : LEGACY_READ_TIMEOUT_MS);
            return true;
        }
        DWORD dwCount = 0;
        while (dwCount < dwLen && m_nPos < m_nLen)
            pBuf[dwCount++] = m_pBytes[m_nPos++];
        *pdwRead = dwCount;
        m_Clock.Advance(BYTE_TIME_MS * dwCount);
        return true;
    }
    bool Write(PORT_HANDLE hPort, const BYTE*, DWORD dwLen, DWORD* pdwWritten) override
    {
        CheckHandle(hPort);
        *pdwWritten = dwLen;
        return true;
    }
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override
    {
        CheckHandle(hPort);
        *pTimeouts = m_Timeouts;
        return true;
    }
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override
    {
        CheckHandle(hPort);
        m_Timeouts = *pTimeouts;
        return true;
    }
    void Close(PORT_HANDLE) override {}

    const PORT_TIMEOUTS& Timeouts() const { return m_Timeouts; }

private:
    static void CheckHandle(PORT_HANDLE hPort)
    {
        if (hPort != FUZZ_PORT)
            std::abort();
    }

    CVirtualClock& m_Clock;
    const BYTE* m_pBytes;
    size_t m_nLen;
    size_t m_nPos = 0;
    bool m_bFailWhenDone;
    PORT_TIMEOUTS m_Timeouts{5, 6, 7};   // the port's own time-outs, restored after the wait
};

const char* const EXPECTED_REPLIES[] = {LEGACY_REPLY_RESET, LEGACY_REPLY_RESERVE_OK, LEGACY_REPLY_OS_OK,
                                        LEGACY_REPLY_EDGE_OK};

int Signed16(const BYTE* p)
{
    return static_cast<int16_t>(ReadLE16(p));
}

void CheckBarInRange(IProgressBar* pBar)
{
    int nLower = 0;
    int nUpper = 0;
    pBar->GetRange(&nLower, &nUpper);
    int nPos = pBar->GetPos();
    if (nLower <= nUpper && (nPos < nLower || nPos > nUpper))
        std::abort();
}

void FuzzReceiveReply(const uint8_t* pData, size_t nSize)
{
    if (nSize < HEAD_SIZE)
        return;
    const BYTE bMode = pData[0];
    const DWORD dwLimitMs = static_cast<DWORD>(pData[1]) * 2000u;
    size_t nReplyLen = nSize - HEAD_SIZE;
    if (nReplyLen > REPLY_BYTES_MAX)
        nReplyLen = REPLY_BYTES_MAX;

    CVirtualClock clock;
    CMemoryPort port(clock, pData + HEAD_SIZE, nReplyLen, (bMode & 0x04) != 0);
    CRecordingProgressView view(2);
    IProgressBar* pOverall = view.GetBar(PROGRESS_BAR_OVERALL);
    IProgressBar* pStep = view.GetBar(PROGRESS_BAR_STEP);
    pOverall->SetRange(0, Signed16(pData + 2));
    pOverall->SetPos(Signed16(pData + 4));
    pStep->SetRange(0, Signed16(pData + 6));

    LEGACY_RUN_STATE state;
    state.nLastWait = 3;
    state.nWaitsDone = (bMode & 0x08) ? 3 : 2;

    const PORT_TIMEOUTS before = port.Timeouts();
    CFileTransport transport(port, clock, FUZZ_PORT);
    ReceiveReply(&transport, clock, dwLimitMs, EXPECTED_REPLIES[bMode & 0x03], pOverall, pStep, state);
    const PORT_TIMEOUTS& after = port.Timeouts();
    // The port's own time-outs come back at every exit of the wait.
    if (after.ReadIntervalTimeout != before.ReadIntervalTimeout ||
        after.ReadTotalTimeoutMultiplier != before.ReadTotalTimeoutMultiplier ||
        after.ReadTotalTimeoutConstant != before.ReadTotalTimeoutConstant)
        std::abort();
    CheckBarInRange(pOverall);
    CheckBarInRange(pStep);
}

void FuzzReserveRegion(const uint8_t* pData, size_t nSize)
{
    // An in-memory stream: the lookup only reads, seeks and tells.
    std::vector<BYTE> copy(pData, pData + nSize);
    copy.push_back(0);   // a zero-length stream cannot be opened in memory
    std::FILE* pFile = fmemopen(copy.data(), nSize == 0 ? 1 : nSize, "rb");
    if (pFile == nullptr)
        return;
    const long nStart = static_cast<long>(nSize / 2);
    std::fseek(pFile, nStart, SEEK_SET);

    RESERVE_ENTRY_REQUEST request = {};
    std::memcpy(request.szName, LEGACY_RESERVE_ENTRY_NAME, sizeof(LEGACY_RESERVE_ENTRY_NAME));
    bool bFound = DefineReserveRegion(pFile, &request);
    // The file position is restored, and a name is found only with a layout.
    if (std::ftell(pFile) != nStart || (request.bFound && !bFound))
        std::abort();
    std::fclose(pFile);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    FuzzReceiveReply(pData, nSize);
    FuzzReserveRegion(pData, nSize);
    return 0;
}
