#include "platform/sim/VirtualHandset.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/ByteOrder.h"
#include "common/Trace.h"

namespace
{
constexpr DWORD HEAD_SIZE = 8;
constexpr DWORD HEADER_SIZE = 116;
constexpr DWORD FLAG_OS_BIT = 0x001;
constexpr DWORD FLAG_BL_BIT = 0x002;
constexpr DWORD FLAG_UD_BIT = 0x004;
constexpr DWORD FLAG_VN_BIT = 0x008;
constexpr DWORD FLAG_EB_BIT = 0x010;
constexpr DWORD FLAG_MODULE = 0x100;
constexpr DWORD OEM_BLOCK_BYTES = 33280;
constexpr DWORD CLOSING_FRAME_COMMAND = 57;
constexpr DWORD POLL_MS = 20;
constexpr DWORD QUIET_MS = 50;
// How long a reply may wait for the desktop to make room for it.
constexpr DWORD SEND_LIMIT_MS = 1000;
// How long a reply sent just before leaving the bus may wait to be read.
constexpr DWORD LAST_REPLY_READ_MS = 2000;
constexpr size_t READ_CHUNK = 65536;

WORD HandsetCheckSum(const std::vector<BYTE>& bytes)
{
    WORD wSum = 0;
    for (BYTE b : bytes)
        wSum = static_cast<WORD>(wSum + b);
    return wSum;
}
}

CVirtualHandset::CVirtualHandset(IClock& clock, IHandsetTransport& transport, int nDialect)
    : m_Clock(clock), m_Transport(transport), m_nDialect(nDialect)
{
}

CVirtualHandset::~CVirtualHandset()
{
    Shutdown();
}

// ---- configuration ---------------------------------------------------------

void CVirtualHandset::SetEventSink(IDeviceEvents* pEvents)
{
    std::lock_guard<std::mutex> lock(m_csSink);
    m_pEvents = pEvents;
}

void CVirtualHandset::SetDialect(int nDialect)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nDialect = nDialect;
}

void CVirtualHandset::SetDelays(DWORD dwArrivalMs, DWORD dwLeaveMs, DWORD dwReturnMs)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwArrivalMs = dwArrivalMs;
    m_dwLeaveMs = dwLeaveMs;
    m_dwReturnMs = dwReturnMs;
}

void CVirtualHandset::SetProgressTicks(int nTicks)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nTicks = nTicks < 0 ? 0 : nTicks;
}

void CVirtualHandset::SetBadFrameReply(const std::string& strReply)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_strBadFrameReply = strReply;
}

void CVirtualHandset::SetMaxFrameSize(DWORD dwBytes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwMaxFrame = dwBytes;
}

void CVirtualHandset::ScriptReplies(size_t nFrameIndex, const std::vector<std::string>& replies)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Scripts[nFrameIndex] = replies;
}

void CVirtualHandset::DropAfterBytes(QWORD qwBytes, bool bComeBack)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_llDropAfter = static_cast<long long>(qwBytes);
    m_bDropComesBack = bComeBack;
}

void CVirtualHandset::StopReadingAfterBytes(QWORD qwBytes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_llStopReadingAfter = static_cast<long long>(qwBytes);
}

void CVirtualHandset::SetSilent(bool bSilent)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bSilent = bSilent;
}

void CVirtualHandset::SetRefuseToLeave(bool bRefuse)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bRefuseToLeave = bRefuse;
}

void CVirtualHandset::SetNoComeBack(bool bNoComeBack)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bNoComeBack = bNoComeBack;
}

std::string CVirtualHandset::OverlongLine(size_t nLen)
{
    return std::string(nLen, 'x');
}

std::string CVirtualHandset::GarbageBytes()
{
    return std::string("\x00\x01\x03\x11\x13\x1b\x7f\x80\xfe\xff\r", 11);
}

// ---- observation -----------------------------------------------------------

std::string CVirtualHandset::DeviceName()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_bPresent ? m_strName : std::string();
}

bool CVirtualHandset::IsPresent()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_bPresent;
}

std::vector<HANDSET_FRAME> CVirtualHandset::Frames()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Frames;
}

size_t CVirtualHandset::FrameCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Frames.size();
}

int CVirtualHandset::ArrivalCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nArrivals;
}

int CVirtualHandset::RemovalCount()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nRemovals;
}

bool CVirtualHandset::WaitForFrames(size_t nCount, DWORD dwRealMs)
{
    std::unique_lock<std::mutex> lock(m_csState);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(dwRealMs),
                                [&] { return m_Frames.size() >= nCount; });
}

bool CVirtualHandset::WaitForArrivals(int nCount, DWORD dwRealMs)
{
    std::unique_lock<std::mutex> lock(m_csState);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(dwRealMs), [&] { return m_nArrivals >= nCount; });
}

bool CVirtualHandset::WaitForRemovals(int nCount, DWORD dwRealMs)
{
    std::unique_lock<std::mutex> lock(m_csState);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(dwRealMs), [&] { return m_nRemovals >= nCount; });
}

// ---- the bus ---------------------------------------------------------------

bool CVirtualHandset::EnterDownloaderMode()
{
    std::unique_lock<std::mutex> lock(m_csState);
    if (!m_bRunning)
    {
        if (!m_pPending)
            m_pPending = m_Transport.OpenEndpoint();
        if (!m_pPending)
            return false;
        m_bRunning = true;
        m_bStop = false;
        m_StopEvent.Reset();
        m_bReturnRequested = true;
        m_Thread = std::thread(&CVirtualHandset::Run, this);
        return true;
    }
    if (!m_bPresent)
        m_bReturnRequested = true;
    lock.unlock();
    m_cvChanged.notify_all();
    return true;
}

void CVirtualHandset::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        if (!m_bRunning)
        {
            m_pPending.reset();
            return;
        }
        m_bStop = true;
    }
    m_StopEvent.Set();
    m_cvChanged.notify_all();
    if (m_Thread.joinable())
        m_Thread.join();
    std::lock_guard<std::mutex> lock(m_csState);
    m_pEndpoint.reset();
    m_pPending.reset();
    m_strName.clear();
    m_bPresent = false;
    m_bRunning = false;
}

bool CVirtualHandset::Pause(DWORD dwMs)
{
    if (dwMs != 0)
        m_Clock.WaitForEvent(m_StopEvent, dwMs);
    std::lock_guard<std::mutex> lock(m_csState);
    return !m_bStop;
}

void CVirtualHandset::Announce(bool bArrival, const std::string& strName)
{
    Trace(false, "virtual handset: %s %s", bArrival ? "arrives as" : "leaves", strName.c_str());
    {
        std::lock_guard<std::mutex> lock(m_csSink);
        if (m_pEvents != nullptr)
        {
            if (bArrival)
                m_pEvents->OnDeviceArrival(strName.c_str());
            else
                m_pEvents->OnDeviceRemoval(strName.c_str());
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_csState);
        if (bArrival)
            ++m_nArrivals;
        else
            ++m_nRemovals;
    }
    m_cvChanged.notify_all();
}

void CVirtualHandset::Install(std::unique_ptr<IHandsetEndpoint> pEndpoint)
{
    pEndpoint->Attach();
    std::lock_guard<std::mutex> lock(m_csState);
    m_pEndpoint = std::move(pEndpoint);
    m_strName = m_pEndpoint->Name();
    ++m_dwAppearance;
    m_bPresent = true;
    m_bMoreInput = false;
    m_Head.clear();
    m_Body.clear();
    m_bInFrame = false;
    m_qwFrameBytes = 0;
}

void CVirtualHandset::ComeBack()
{
    DWORD dwDelay;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        dwDelay = m_dwArrivalMs;
    }
    if (!Pause(dwDelay))
        return;
    std::unique_ptr<IHandsetEndpoint> pEndpoint;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        pEndpoint = std::move(m_pPending);
    }
    if (!pEndpoint)
        pEndpoint = m_Transport.OpenEndpoint();
    if (!pEndpoint)
        return;
    std::string strName = pEndpoint->Name();
    Install(std::move(pEndpoint));
    Announce(true, strName);
}

void CVirtualHandset::LeaveBus(bool bComeBack, bool bRepliesPending)
{
    DWORD dwLeaveMs;
    DWORD dwReturnMs;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        dwLeaveMs = m_dwLeaveMs;
        dwReturnMs = m_dwReturnMs;
    }
    if (!Pause(dwLeaveMs))
        return;
    // A reply sent just before leaving ("device reset.\n") must reach the desktop:
    // closing the endpoint throws away what the other side has not read yet. Bounded
    // in real time: a desktop that stopped reading must not hold the handset.
    if (bRepliesPending)
        m_pEndpoint->WaitUntilSentIsRead(LAST_REPLY_READ_MS);
    // The next endpoint is opened before the old one closes, so the handset comes
    // back under a name different from the one it leaves.
    std::unique_ptr<IHandsetEndpoint> pNext;
    if (bComeBack)
        pNext = m_Transport.OpenEndpoint();
    std::unique_ptr<IHandsetEndpoint> pOld;
    std::string strOld;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        strOld = m_strName;
        pOld = std::move(m_pEndpoint);
        m_strName.clear();
        m_bPresent = false;
    }
    pOld.reset();
    Announce(false, strOld);
    if (!pNext)
        return;
    if (!Pause(dwReturnMs))
        return;
    std::string strNew = pNext->Name();
    Install(std::move(pNext));
    Announce(true, strNew);
}

void CVirtualHandset::Run()
{
    for (;;)
    {
        bool bPresent;
        bool bReturn;
        {
            std::unique_lock<std::mutex> lock(m_csState);
            if (m_bStop)
                break;
            bPresent = m_bPresent;
            bReturn = m_bReturnRequested;
            m_bReturnRequested = false;
            if (!bPresent && !bReturn)
            {
                m_cvChanged.wait_for(lock, std::chrono::milliseconds(POLL_MS));
                continue;
            }
        }
        if (!bPresent)
            ComeBack();
        else
            ReadInput();
    }
}

// ---- frames ----------------------------------------------------------------

void CVirtualHandset::SendText(const std::string& strText)
{
    // The desktop may not have read the earlier replies yet: the endpoint waits for room.
    if (m_pEndpoint)
        m_pEndpoint->Send(reinterpret_cast<const BYTE*>(strText.data()), strText.size(), SEND_LIMIT_MS);
}

void CVirtualHandset::DrainUntilQuiet()
{
    BYTE buf[4096];
    size_t nRead = 0;
    while (m_pEndpoint->WaitForInput(QUIET_MS) && m_pEndpoint->Receive(buf, sizeof(buf), &nRead) && nRead > 0)
    {
    }
}

void CVirtualHandset::ReadInput()
{
    // Only this thread changes the endpoint on the bus.
    IHandsetEndpoint* pEndpoint = m_pEndpoint.get();
    DWORD dwAppearance = m_dwAppearance;
    long long llStopAfter;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        llStopAfter = m_llStopReadingAfter;
    }
    if (llStopAfter >= 0 && static_cast<long long>(m_qwFrameBytes) >= llStopAfter &&
        (m_qwFrameBytes > 0 || llStopAfter == 0))
    {
        // Stuck: on the bus, reading nothing more.
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
        return;
    }
    // After a read that got data the next one goes at once; only an empty link is waited on.
    if (!m_bMoreInput && !pEndpoint->WaitForInput(POLL_MS))
        return;

    long long llDropAfter;
    bool bDropComesBack;
    DWORD dwMaxFrame;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        llDropAfter = m_llDropAfter;
        bDropComesBack = m_bDropComesBack;
        dwMaxFrame = m_dwMaxFrame;
    }
    size_t nWant = READ_CHUNK;
    for (long long llLimit : {llDropAfter, llStopAfter})
    {
        if (llLimit < 0)
            continue;
        long long llLeft = llLimit - static_cast<long long>(m_qwFrameBytes);
        nWant = llLeft < static_cast<long long>(nWant) ? static_cast<size_t>(llLeft > 0 ? llLeft : 0) : nWant;
    }

    m_ReadBuffer.resize(READ_CHUNK);
    std::vector<BYTE>& Chunk = m_ReadBuffer;
    size_t nLen = 0;
    if (nWant > 0)
    {
        bool bOk = pEndpoint->Receive(Chunk.data(), nWant, &nLen);
        m_bMoreInput = nLen > 0;
        if (!bOk || nLen == 0)
            return;
    }
    else
        m_bMoreInput = false;
    size_t nPos = 0;
    while (nPos < nLen)
    {
        if (!m_bInFrame)
        {
            while (nPos < nLen && m_Head.size() < HEAD_SIZE)
                m_Head.push_back(Chunk[nPos++]);
            m_qwFrameBytes = m_Head.size();
            if (m_Head.size() < HEAD_SIZE)
                break;
            m_Current = HANDSET_FRAME();
            m_Current.strDevice = pEndpoint->Name();
            m_Current.dwCommand = ReadLE32(m_Head.data());
            m_Current.dwDeclaredSize = ReadLE32(m_Head.data() + 4);
            m_Current.bSizeOk = m_Current.dwDeclaredSize >= 10 && m_Current.dwDeclaredSize <= dwMaxFrame;
            if (!m_Current.bSizeOk)
            {
                // No trustworthy length: whatever follows belongs to this bad frame.
                DrainUntilQuiet();
                m_Head.clear();
                m_qwFrameBytes = 0;
                FinishFrame(m_Current);
                return;
            }
            m_bInFrame = true;
            m_Body.clear();
            m_Body.reserve(m_Current.dwDeclaredSize - HEAD_SIZE);
        }
        size_t nNeed = m_Current.dwDeclaredSize - HEAD_SIZE - m_Body.size();
        size_t nTake = nLen - nPos < nNeed ? nLen - nPos : nNeed;
        m_Body.insert(m_Body.end(), Chunk.begin() + static_cast<long>(nPos), Chunk.begin() + static_cast<long>(nPos + nTake));
        nPos += nTake;
        m_qwFrameBytes = HEAD_SIZE + m_Body.size();
        if (m_Body.size() == m_Current.dwDeclaredSize - HEAD_SIZE)
        {
            size_t nPayload = m_Body.size() - 2;
            m_Current.wChecksum = ReadLE16(m_Body.data() + nPayload);
            m_Body.resize(nPayload);
            m_Current.Payload = std::move(m_Body);
            m_Current.bComplete = true;
            m_bInFrame = false;
            m_Head.clear();
            m_Body.clear();
            m_qwFrameBytes = 0;
            FinishFrame(m_Current);
            // FinishFrame may have taken the handset off the bus.
            if (!IsPresent() || m_dwAppearance != dwAppearance)
                return;
        }
    }

    // Input was there (or followed a read that got some), so a limit of 0 drops too.
    if (llDropAfter >= 0 && static_cast<long long>(m_qwFrameBytes) >= llDropAfter)
    {
        // Cut off mid-frame: record what came, then leave.
        HANDSET_FRAME cut = m_Current;
        if (!m_bInFrame)
        {
            cut = HANDSET_FRAME();
            cut.strDevice = pEndpoint->Name();
        }
        cut.Payload.assign(m_Body.begin(), m_Body.end());
        cut.bComplete = false;
        cut.nKind = HANDSET_FRAME_BAD;
        {
            std::lock_guard<std::mutex> lock(m_csState);
            m_llDropAfter = -1;
            m_Frames.push_back(cut);
        }
        m_cvChanged.notify_all();
        m_Head.clear();
        m_Body.clear();
        m_bInFrame = false;
        m_qwFrameBytes = 0;
        LeaveBus(bDropComesBack, false);
    }
}

void CVirtualHandset::CheckHeader(HANDSET_FRAME& frame)
{
    const std::vector<BYTE>& p = frame.Payload;
    frame.bHeader = p.size() >= 4 && std::memcmp(p.data(), "TAVU", 4) == 0;
    if (!frame.bHeader || p.size() < HEADER_SIZE)
    {
        frame.bHeaderOk = false;
        return;
    }
    frame.dwImageFlag = ReadLE32(p.data() + 4);
    for (int i = 0; i < 12; ++i)
        frame.dwSizeWords[i] = ReadLE32(p.data() + 8 + 4 * i);
    const DWORD* s = frame.dwSizeWords;
    DWORD dwFlag = frame.dwImageFlag;
    QWORD qwExpected = HEADER_SIZE + static_cast<QWORD>(s[0]);
    if (dwFlag & FLAG_BL_BIT)
        qwExpected += s[1];
    if (dwFlag & FLAG_UD_BIT)
        qwExpected += s[2];
    if (dwFlag & FLAG_VN_BIT)
        qwExpected += s[3];
    if (dwFlag & FLAG_EB_BIT)
        qwExpected += s[4];
    if (dwFlag & FLAG_MODULE)
        qwExpected += static_cast<QWORD>(s[6]) + s[7];
    frame.bHeaderOk = p.size() == qwExpected;
}

void CVirtualHandset::FinishFrame(HANDSET_FRAME& frame)
{
    bool bRefuse;
    bool bNoComeBack;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        bRefuse = m_bRefuseToLeave;
        bNoComeBack = m_bNoComeBack;
    }
    if (frame.bComplete)
    {
        frame.bChecksumOk = HandsetCheckSum(frame.Payload) == frame.wChecksum;
        CheckHeader(frame);
    }
    // The closing command carries a header cut to what fits its own 116 bytes, so
    // its part sizes are not checked.
    bool bCommand = frame.dwCommand == CLOSING_FRAME_COMMAND;
    bool bGood = frame.bComplete && frame.bSizeOk && frame.bChecksumOk && (bCommand || !frame.bHeader || frame.bHeaderOk);
    if (!bGood)
        frame.nKind = HANDSET_FRAME_BAD;
    else if (frame.dwCommand == CLOSING_FRAME_COMMAND)
        frame.nKind = HANDSET_FRAME_CLOSING;
    else if (!frame.bHeader)
        frame.nKind = HANDSET_FRAME_OS;
    else if ((frame.dwImageFlag & (FLAG_BL_BIT | FLAG_UD_BIT)) != 0 && (frame.dwImageFlag & FLAG_OS_BIT) == 0 &&
             frame.dwSizeWords[0] == OEM_BLOCK_BYTES)
        frame.nKind = HANDSET_FRAME_PHASE1;
    else if (frame.dwImageFlag == FLAG_MODULE)
        frame.nKind = HANDSET_FRAME_MODULE;
    else
        frame.nKind = HANDSET_FRAME_RESERVE;
    Trace(false, "virtual handset: frame command %u size %u kind %d", static_cast<unsigned>(frame.dwCommand),
          static_cast<unsigned>(frame.dwDeclaredSize), frame.nKind);

    // The record takes the payload over (a frame may be tens of MiB); the reply
    // needs only the verdict.
    HANDSET_FRAME verdict;
    verdict.nKind = frame.nKind;
    verdict.bComplete = frame.bComplete;
    verdict.bSizeOk = frame.bSizeOk;
    size_t nIndex;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        nIndex = m_Frames.size();
        m_Frames.push_back(std::move(frame));
    }
    m_cvChanged.notify_all();
    bool bReplied = Reply(verdict, nIndex);
    if (verdict.nKind == HANDSET_FRAME_PHASE1 && !bRefuse)
        LeaveBus(!bNoComeBack, bReplied);
}

bool CVirtualHandset::Reply(const HANDSET_FRAME& frame, size_t nIndex)
{
    std::vector<std::string> replies;
    bool bScripted = false;
    int nDialect;
    int nTicks;
    std::string strBad;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        if (m_bSilent)
            return false;
        auto it = m_Scripts.find(nIndex);
        if (it != m_Scripts.end())
        {
            replies = it->second;
            bScripted = true;
        }
        nDialect = m_nDialect;
        nTicks = m_nTicks;
        strBad = m_strBadFrameReply;
    }
    if (!bScripted)
    {
        auto AddTicks = [&]() {
            if (nTicks <= 0)
                return;
            char szLength[32];
            std::snprintf(szLength, sizeof(szLength), "%d LENGTH\n", nTicks);
            replies.emplace_back(szLength);
            for (int i = 0; i < nTicks; ++i)
                replies.emplace_back(".\n");
        };
        switch (frame.nKind)
        {
        case HANDSET_FRAME_PHASE1:
            if (nDialect == HANDSET_DIALECT_LEGACY)
                replies.emplace_back("device reset.\n");
            break;
        case HANDSET_FRAME_RESERVE:
            AddTicks();
            replies.emplace_back("Reserved region ok.\n");
            break;
        case HANDSET_FRAME_MODULE:
            AddTicks();
            replies.emplace_back("EDGE program ok!\n");
            break;
        case HANDSET_FRAME_OS:
            AddTicks();
            replies.emplace_back("OS program ok!\n");
            break;
        case HANDSET_FRAME_BAD:
            if (frame.bComplete || !frame.bSizeOk)
                replies.push_back(strBad);
            break;
        default:
            break;
        }
    }
    for (const std::string& strReply : replies)
        SendText(strReply);
    return !replies.empty();
}
