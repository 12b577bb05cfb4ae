// A whole update (port wait, phase 1, phase 2, closing frame) of an image with a
// 64 MiB OS part into the virtual handset over a pseudo-terminal, next to pushing
// the same number of bytes through a pseudo-terminal with plain 12288-byte writes
// while a thread drains the other end: MB/s of both, their ratio, and the
// updater's peak resident memory against the size of the OS part.
//
// The handset keeps every payload it receives, so it runs in a child process of
// its own; the updater's figures are this process's alone. It reports its device
// arrivals and removals, and at the end the frames it received, over a pipe.
//
// The update, the plain writes, and the same plain writes into a fresh virtual
// handset (the update's own receiver) are measured in turns; the best round of each
// counts. The run is broken down, so the handset's own work on its verdict (it
// checks and copies every payload byte) can be told from the updater's.
//
//   bench_update [OS_MIB] [ROUNDS] [CLOCK_SCALE]      (defaults: 64, 5, 200)
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/worker/UpdateWorker.h"
#include "common/ByteOrder.h"
#include "image/OSUtil.h"
#include "link/DeviceChange.h"
#include "link/Downloader.h"
#include "platform/posix/TtyPortDriver.h"
#include "platform/sim/RecordingProgressView.h"
#include "platform/sim/PtyHandsetTransport.h"
#include "platform/sim/VirtualHandset.h"
#include "support/ImageBuilder.h"
#include "PeakMemory.h"

namespace
{
// Every wait of the run is this many times shorter. The handset needs a moment for
// its verdict on a 64 MiB frame (it checks and keeps every byte), and the reply wait
// of 360 s must stay above that on a busy machine: 200 leaves 1.8 s.
DWORD g_dwClockScale = 200;
constexpr DWORD BLOCK_BYTES = 133120;
constexpr double MB = 1e6;
constexpr double MIB = 1024.0 * 1024.0;
constexpr double RATIO_GOAL = 0.8;
constexpr size_t MEMORY_SLACK = 16u << 20;
constexpr size_t DRAIN_CHUNK = 65536;

double Seconds(std::chrono::steady_clock::time_point tpFrom, std::chrono::steady_clock::time_point tpTo)
{
    return std::chrono::duration<double>(tpTo - tpFrom).count();
}

bool WriteAll(int nFd, const char* pData, size_t nLen)
{
    while (nLen > 0)
    {
        ssize_t nDone = ::write(nFd, pData, nLen);
        if (nDone <= 0)
            return false;
        pData += nDone;
        nLen -= static_cast<size_t>(nDone);
    }
    return true;
}

void WriteLine(int nFd, const std::string& strLine)
{
    std::string strOut = strLine + "\n";
    WriteAll(nFd, strOut.data(), strOut.size());
}

size_t MaxRssBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

// ---- The handset's process ----

// Sends the handset's bus events to the updater's process as lines.
class CPipeEvents : public IDeviceEvents
{
public:
    explicit CPipeEvents(int nFd) : m_nFd(nFd) {}
    void OnDeviceArrival(const char* pszName) override { WriteLine(m_nFd, std::string("A ") + pszName); }
    void OnDeviceRemoval(const char* pszName) override { WriteLine(m_nFd, std::string("R ") + pszName); }

private:
    int m_nFd;
};

// Runs the handset until the updater closes its command pipe, then reports the
// frames it received.
int RunHandset(int nOutFd, int nCommandFd)
{
    CClock clock(g_dwClockScale);
    CPtyHandsetTransport pty;
    CVirtualHandset handset(clock, pty);
    handset.SetProgressTicks(0);
    CPipeEvents events(nOutFd);
    handset.SetEventSink(&events);
    if (!handset.EnterDownloaderMode())
    {
        WriteLine(nOutFd, "X no pseudo-terminal");
        return 1;
    }
    char c;
    while (::read(nCommandFd, &c, 1) > 0)
    {
    }
    handset.SetEventSink(nullptr);
    handset.Shutdown();
    for (const HANDSET_FRAME& frame : handset.Frames())
        WriteLine(nOutFd, "F " + std::to_string(frame.nKind) + " " + std::to_string(frame.Payload.size()) + " " +
                              std::to_string(frame.bChecksumOk && frame.bComplete ? 1 : 0));
    WriteLine(nOutFd, "M " + std::to_string(MaxRssBytes()));
    return 0;
}

// ---- The updater's process ----

// The tty transport, timing the writes of the operating-system frame: from its first
// piece to the piece that completes it.
class CTimedPort : public IPortDriver
{
public:
    explicit CTimedPort(size_t nOsFrameBytes) : m_nOsFrameBytes(nOsFrameBytes) {}

    PORT_HANDLE Open(const char* pszName) override { return m_Tty.Open(pszName); }
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override
    {
        bool bOk = m_Tty.Read(hPort, pBuf, dwLen, pdwRead);
        if (bOk && *pdwRead > 0 && m_nOsBytes >= m_nOsFrameBytes && !m_bVerdict)
        {
            m_bVerdict = true;
            m_tpVerdict = std::chrono::steady_clock::now();
        }
        return bOk;
    }
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override
    {
        bool bOsFrame = m_pLink != nullptr && m_pLink->GetDownloadStage() == 4 && m_nOsBytes < m_nOsFrameBytes;
        if (bOsFrame && m_nOsBytes == 0)
            m_tpOsStart = std::chrono::steady_clock::now();
        bool bOk = m_Tty.Write(hPort, pBuf, dwLen, pdwWritten);
        m_nTotalBytes += *pdwWritten;
        if (bOsFrame)
        {
            m_nOsBytes += *pdwWritten;
            if (m_nOsBytes >= m_nOsFrameBytes)
                m_tpOsEnd = std::chrono::steady_clock::now();
        }
        return bOk;
    }
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override
    {
        return m_Tty.GetTimeouts(hPort, pTimeouts);
    }
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override
    {
        return m_Tty.SetTimeouts(hPort, pTimeouts);
    }
    void Close(PORT_HANDLE hPort) override { m_Tty.Close(hPort); }

    // The link whose download stage tells the operating-system frame.
    void SetLink(const CDownloader* pLink) { m_pLink = pLink; }
    size_t TotalBytes() const { return m_nTotalBytes; }
    double OsSeconds() const { return m_nOsBytes >= m_nOsFrameBytes ? Seconds(m_tpOsStart, m_tpOsEnd) : -1; }
    // From tpRunStart to the OS frame's first piece.
    double BeforeOsSeconds(std::chrono::steady_clock::time_point tpRunStart) const
    {
        return Seconds(tpRunStart, m_tpOsStart);
    }
    // From the OS frame's last piece to the first byte of the handset's verdict.
    double VerdictSeconds() const { return m_bVerdict ? Seconds(m_tpOsEnd, m_tpVerdict) : -1; }

private:
    CTtyPortDriver m_Tty;
    const CDownloader* m_pLink = nullptr;
    size_t m_nOsFrameBytes;
    size_t m_nOsBytes = 0;
    size_t m_nTotalBytes = 0;
    std::chrono::steady_clock::time_point m_tpOsStart;
    std::chrono::steady_clock::time_point m_tpOsEnd;
    bool m_bVerdict = false;
    std::chrono::steady_clock::time_point m_tpVerdict;
};

// The virtual handset in a process of its own. Its bus events go to the sink given
// to Start, on a reader thread; at Stop it reports the frames it received.
class CHandsetProcess
{
public:
    ~CHandsetProcess() { Stop(); }

    bool Start(IDeviceEvents* pEvents)
    {
        m_pEvents = pEvents;
        int outPipe[2];
        int commandPipe[2];
        if (::pipe(outPipe) != 0 || ::pipe(commandPipe) != 0)
            return false;
        // Forked before this process starts any thread of the run.
        m_Pid = ::fork();
        if (m_Pid < 0)
            return false;
        if (m_Pid == 0)
        {
            ::close(outPipe[0]);
            ::close(commandPipe[1]);
            int nExit = RunHandset(outPipe[1], commandPipe[0]);
            ::close(outPipe[1]);
            ::_exit(nExit);
        }
        ::close(outPipe[1]);
        ::close(commandPipe[0]);
        m_nOutFd = outPipe[0];
        m_nCommandFd = commandPipe[1];
        m_Reader = std::thread([this] { ReadLines(); });
        return true;
    }

    // The device name of the handset's first arrival, waited for in real time.
    std::string WaitFirstDevice()
    {
        std::unique_lock<std::mutex> lock(m_csState);
        m_cvChanged.wait_for(lock, std::chrono::seconds(30), [this] { return !m_strFirstDevice.empty() || m_bEnded; });
        return m_strFirstDevice;
    }

    // Ends the handset; true when its process ended well. Frames() then holds its record.
    bool Stop()
    {
        if (m_Pid <= 0)
            return false;
        ::close(m_nCommandFd);
        m_Reader.join();
        ::close(m_nOutFd);
        int nStatus = 0;
        ::waitpid(m_Pid, &nStatus, 0);
        m_Pid = 0;
        return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
    }

    // "F kind payload-size good" per frame.
    const std::vector<std::string>& Frames() const { return m_Frames; }
    size_t PeakBytes() const { return m_nPeak; }

    // True when the record is exactly these kinds, each received whole, with an
    // operating-system payload of nOsPayload bytes.
    bool RecordIs(const std::vector<int>& kinds, size_t nOsPayload) const
    {
        if (m_Frames.size() != kinds.size())
            return false;
        for (size_t i = 0; i < m_Frames.size(); ++i)
        {
            int nKind = -1;
            size_t nSize = 0;
            int nGood = 0;
            if (std::sscanf(m_Frames[i].c_str(), "F %d %zu %d", &nKind, &nSize, &nGood) != 3 || nKind != kinds[i] ||
                nGood != 1 || (nKind == HANDSET_FRAME_OS && nSize != nOsPayload))
                return false;
        }
        return true;
    }

    void PrintRecord() const
    {
        std::printf("handset record:\n");
        for (const std::string& strFrame : m_Frames)
            std::printf("  %s\n", strFrame.c_str());
    }

private:
    void ReadLines()
    {
        std::string strLine;
        char buf[4096];
        ssize_t nRead;
        while ((nRead = ::read(m_nOutFd, buf, sizeof(buf))) > 0)
        {
            for (ssize_t i = 0; i < nRead; ++i)
            {
                if (buf[i] != '\n')
                {
                    strLine += buf[i];
                    continue;
                }
                Handle(strLine);
                strLine.clear();
            }
        }
        std::lock_guard<std::mutex> lock(m_csState);
        m_bEnded = true;
        m_cvChanged.notify_all();
    }

    void Handle(const std::string& strLine)
    {
        if (strLine.rfind("A ", 0) == 0)
        {
            {
                std::lock_guard<std::mutex> lock(m_csState);
                if (m_strFirstDevice.empty())
                    m_strFirstDevice = strLine.substr(2);
            }
            m_cvChanged.notify_all();
            if (m_pEvents != nullptr)
                m_pEvents->OnDeviceArrival(strLine.c_str() + 2);
        }
        else if (strLine.rfind("R ", 0) == 0)
        {
            if (m_pEvents != nullptr)
                m_pEvents->OnDeviceRemoval(strLine.c_str() + 2);
        }
        else if (strLine.rfind("M ", 0) == 0)
            m_nPeak = std::strtoull(strLine.c_str() + 2, nullptr, 10);
        else
            m_Frames.push_back(strLine);
    }

    IDeviceEvents* m_pEvents = nullptr;
    pid_t m_Pid = 0;
    int m_nOutFd = -1;
    int m_nCommandFd = -1;
    std::thread m_Reader;
    std::mutex m_csState;
    std::condition_variable m_cvChanged;
    std::string m_strFirstDevice;
    bool m_bEnded = false;
    std::vector<std::string> m_Frames;
    size_t m_nPeak = 0;
};

struct UPDATE_FIGURES
{
    bool bOk = false;
    double dSeconds = 0;       // the whole run
    double dOsSeconds = 0;     // the operating-system frame alone
    double dBeforeOs = 0;      // port wait, phase 1, reserve image, reading the OS part
    double dVerdict = 0;       // the handset's work after the OS frame, until its verdict
    size_t nBytes = 0;         // every frame byte written
    size_t nHandsetPeak = 0;
};

// One whole update into a fresh handset process.
UPDATE_FIGURES RunUpdate(const std::string& strImage, const CImageBuilder& image)
{
    UPDATE_FIGURES figures;
    size_t nOsPayload = static_cast<size_t>(image.PartSize(PART_OS));
    CClock clock(g_dwClockScale);
    CTimedPort port(nOsPayload + FRAME_OVERHEAD);
    PlatformContext context;
    context.pClock = &clock;
    context.pPortDriver = &port;
    CDownloader link(context);
    port.SetLink(&link);
    CDeviceChangeHandler handler(link);
    CHandsetProcess handset;
    if (!handset.Start(&handler))
        return figures;

    int nResult = 0;
    {
        COSUtil util;
        int nErr = 0;
        if (util.InitFile(strImage.c_str(), &nErr))
        {
            CRecordingProgressView view;
            UPDATE_RUN_CONFIG config;
            config.pDownloader = &link;
            config.pOSUtil = &util;
            config.pView = &view;
            config.bManageHost = false;
            auto tpStart = std::chrono::steady_clock::now();
            nResult = CUpdateWorker(config).Run();
            figures.dSeconds = Seconds(tpStart, std::chrono::steady_clock::now());
            figures.dBeforeOs = port.BeforeOsSeconds(tpStart);
        }
        else
        {
            std::printf("the image cannot be parsed (code %d)\n", nErr);
        }
    }
    bool bEnded = handset.Stop();
    // Phase 1, the reserve image, the OS and the closing frame, all received whole.
    if (nResult != RUN_OK || !bEnded ||
        !handset.RecordIs({HANDSET_FRAME_PHASE1, HANDSET_FRAME_RESERVE, HANDSET_FRAME_OS, HANDSET_FRAME_CLOSING},
                          nOsPayload))
    {
        std::printf("the update failed: run result %d\n", nResult);
        handset.PrintRecord();
        return figures;
    }
    figures.bOk = true;
    figures.dOsSeconds = port.OsSeconds();
    figures.dVerdict = port.VerdictSeconds();
    figures.nBytes = port.TotalBytes();
    figures.nHandsetPeak = handset.PeakBytes();
    return figures;
}

// The same operating-system frame written with plain 12288-byte writes into a fresh
// virtual handset: the same receiver as the update's OS frame. The seconds of the
// writes, or -1.
double PlainIntoHandset(const std::vector<BYTE>& frame)
{
    CHandsetProcess handset;
    if (!handset.Start(nullptr))
        return -1;
    std::string strDevice = handset.WaitFirstDevice();
    int nFd = strDevice.empty() ? -1 : ::open(strDevice.c_str(), O_RDWR | O_NOCTTY);
    if (nFd < 0 || !CTtyPortDriver::MakeRaw(nFd))
        return -1;
    auto tpStart = std::chrono::steady_clock::now();
    bool bOk = true;
    for (size_t nPos = 0; bOk && nPos < frame.size(); nPos += DOWNLOAD_PIECE_SIZE)
    {
        size_t nPiece = frame.size() - nPos < DOWNLOAD_PIECE_SIZE ? frame.size() - nPos : DOWNLOAD_PIECE_SIZE;
        bOk = WriteAll(nFd, reinterpret_cast<const char*>(frame.data() + nPos), nPiece);
    }
    double dSeconds = Seconds(tpStart, std::chrono::steady_clock::now());
    // Wait for the handset's verdict line before it is stopped, so the frame is whole.
    char szReply[64] = {};
    size_t nReply = 0;
    auto tpLimit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (bOk && std::chrono::steady_clock::now() < tpLimit && std::strchr(szReply, '\n') == nullptr &&
           nReply + 1 < sizeof(szReply))
    {
        ssize_t nRead = ::read(nFd, szReply + nReply, sizeof(szReply) - 1 - nReply);
        if (nRead > 0)
            nReply += static_cast<size_t>(nRead);
    }
    ::close(nFd);
    bool bEnded = handset.Stop();
    if (!bOk || !bEnded || !handset.RecordIs({HANDSET_FRAME_OS}, frame.size() - FRAME_OVERHEAD))
    {
        handset.PrintRecord();
        return -1;
    }
    return dSeconds;
}

// nBytes through a raw pseudo-terminal in plain 12288-byte writes while a thread
// drains the master; the seconds it took, or -1.
double PlainWrites(const std::vector<BYTE>& source)
{
    int nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (nMaster < 0 || ::grantpt(nMaster) != 0 || ::unlockpt(nMaster) != 0)
        return -1;
    int nSlave = ::open(::ptsname(nMaster), O_RDWR | O_NOCTTY);
    if (nSlave < 0 || !CTtyPortDriver::MakeRaw(nSlave))
        return -1;
    std::atomic<size_t> nDrained{0};
    std::thread drainer([&] {
        std::vector<BYTE> buf(DRAIN_CHUNK);
        while (nDrained.load() < source.size())
        {
            ssize_t nRead = ::read(nMaster, buf.data(), buf.size());
            if (nRead <= 0)
                return;
            nDrained += static_cast<size_t>(nRead);
        }
    });
    auto tpStart = std::chrono::steady_clock::now();
    bool bOk = true;
    for (size_t nPos = 0; bOk && nPos < source.size(); nPos += DOWNLOAD_PIECE_SIZE)
    {
        size_t nPiece = source.size() - nPos < DOWNLOAD_PIECE_SIZE ? source.size() - nPos : DOWNLOAD_PIECE_SIZE;
        bOk = WriteAll(nSlave, reinterpret_cast<const char*>(source.data() + nPos), nPiece);
    }
    drainer.join();
    double dSeconds = Seconds(tpStart, std::chrono::steady_clock::now());
    ::close(nSlave);
    ::close(nMaster);
    return bOk && nDrained.load() == source.size() ? dSeconds : -1;
}
// Runs fn in a child process and returns what it returned (-1 on failure), so that
// the buffers of the comparisons never count towards this process's peak.
double InChild(const std::function<double()>& fn)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0)
    {
        ::close(fds[0]);
        char szText[64];
        int nLen = std::snprintf(szText, sizeof(szText), "%.9f", fn());
        WriteAll(fds[1], szText, static_cast<size_t>(nLen));
        ::close(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string strText;
    char buf[64];
    ssize_t nRead;
    while ((nRead = ::read(fds[0], buf, sizeof(buf))) > 0)
        strText.append(buf, static_cast<size_t>(nRead));
    ::close(fds[0]);
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return strText.empty() ? -1 : std::strtod(strText.c_str(), nullptr);
}

std::vector<BYTE> PlainSource(size_t nLen)
{
    std::vector<BYTE> source(nLen);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<BYTE>(i * 131 + (i >> 13));
    return source;
}

// A download frame (Command 0) around nPayload pattern bytes, with its checksum.
std::vector<BYTE> PlainFrame(size_t nPayload)
{
    BYTE head[8];
    WriteLE32(head, 0);
    WriteLE32(head + 4, static_cast<DWORD>(nPayload + FRAME_OVERHEAD));
    std::vector<BYTE> frame(head, head + sizeof(head));
    frame.reserve(nPayload + FRAME_OVERHEAD);
    WORD wSum = 0;
    for (size_t i = 0; i < nPayload; ++i)
    {
        BYTE b = static_cast<BYTE>(i * 131 + (i >> 13));
        frame.push_back(b);
        wSum = static_cast<WORD>(wSum + b);
    }
    BYTE sum[2];
    WriteLE16(sum, wSum);
    frame.insert(frame.end(), sum, sum + sizeof(sum));
    return frame;
}
}

int main(int argc, char** argv)
{
    int nOsMiB = argc > 1 ? std::atoi(argv[1]) : 64;
    int nRounds = argc > 2 ? std::atoi(argv[2]) : 5;
    int nScale = argc > 3 ? std::atoi(argv[3]) : 200;
    if (nOsMiB <= 0 || nRounds <= 0 || nScale <= 0)
    {
        std::printf("usage: bench_update [OS_MIB] [ROUNDS] [CLOCK_SCALE]\n");
        return 2;
    }
    g_dwClockScale = static_cast<DWORD>(nScale);

    // The image: the default sample with an OS part of at least OS_MIB MiB after its
    // one-block reserve region. It is built in a child process, so that this process
    // never holds it.
    CTempDir dir;
    std::string strImage = dir.File("temp.dat");
    CImageBuilder image;
    DWORD dwOsBlocks = static_cast<DWORD>((static_cast<QWORD>(nOsMiB) * (1u << 20) + BLOCK_BYTES - 1) / BLOCK_BYTES);
    image.SetOsPartBlocks(dwOsBlocks + image.ReserveBlocks());
    pid_t builder = ::fork();
    if (builder == 0)
        ::_exit(image.WriteTo(strImage) ? 0 : 1);
    int nStatus = 0;
    if (builder < 0 || ::waitpid(builder, &nStatus, 0) != builder || !WIFEXITED(nStatus) ||
        WEXITSTATUS(nStatus) != 0)
    {
        std::printf("the image could not be written\n");
        return 1;
    }
    size_t nOsBytes = static_cast<size_t>(image.PartSize(PART_OS));
    std::printf("image: OS part %.2f MiB (%zu bytes), file %.2f MiB; clock scale %u, %d round(s)\n",
                static_cast<double>(nOsBytes) / MIB, nOsBytes, static_cast<double>(image.RequiredLength()) / MIB,
                static_cast<unsigned>(g_dwClockScale), nRounds);

    // The three are measured in turns, round after round, so that a busy moment of
    // the machine does not fall on one of them only; the best round of each counts.
    UPDATE_FIGURES best;
    double dPlain = -1;
    double dPlainHandset = -1;
    double dOwnSeconds = -1;
    auto Best = [](double dBest, double dRound) { return dBest < 0 || dRound < dBest ? dRound : dBest; };
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        UPDATE_FIGURES round = RunUpdate(strImage, image);
        if (!round.bOk)
            return 1;
        best.dSeconds = Best(nRound == 0 ? -1 : best.dSeconds, round.dSeconds);
        best.dOsSeconds = Best(nRound == 0 ? -1 : best.dOsSeconds, round.dOsSeconds);
        // The updater's own share of the run: without the handset's work on its
        // verdict and without the closing pause, which is a wait by design.
        double dOwn = round.dSeconds - round.dVerdict - static_cast<double>(CLOSING_PAUSE_MS) / g_dwClockScale / 1000.0;
        dOwnSeconds = Best(dOwnSeconds, dOwn);
        best.nHandsetPeak = round.nHandsetPeak > best.nHandsetPeak ? round.nHandsetPeak : best.nHandsetPeak;
        best.nBytes = round.nBytes;

        // As many bytes as the whole update wrote, in the same pieces, into a
        // pseudo-terminal that a thread drains.
        size_t nBytes = round.nBytes;
        double dRoundPlain = InChild([nBytes] { return PlainWrites(PlainSource(nBytes)); });
        // The same receiver as the update's OS frame: a frame of the OS part's size,
        // built beforehand, written plainly into a fresh virtual handset.
        double dRoundHandset = InChild([nOsBytes] { return PlainIntoHandset(PlainFrame(nOsBytes)); });
        if (dRoundPlain < 0 || dRoundHandset < 0)
        {
            std::printf("a plain comparison failed\n");
            return 1;
        }
        dPlain = Best(dPlain, dRoundPlain);
        dPlainHandset = Best(dPlainHandset, dRoundHandset);
        std::printf("  round %d: update %.3f s (before the OS frame %.3f s, OS frame %.3f s, handset verdict %.3f s), "
                    "plain %.3f s, plain into the handset %.3f s\n",
                    nRound + 1, round.dSeconds, round.dBeforeOs, round.dOsSeconds, round.dVerdict, dRoundPlain,
                    dRoundHandset);
    }
    // The peak of this process: the update runs only (the comparisons ran in children).
    size_t nPeak = PeakResidentBytes();
    size_t nMaxRss = MaxRssBytes();

    double dOsFrame = static_cast<double>(nOsBytes + FRAME_OVERHEAD);
    double dUpdateRate = static_cast<double>(best.nBytes) / MB / best.dSeconds;
    double dOsRate = dOsFrame / MB / best.dOsSeconds;
    double dPlainRate = static_cast<double>(best.nBytes) / MB / dPlain;
    double dPlainHandsetRate = dOsFrame / MB / dPlainHandset;
    double dRatio = dUpdateRate / dPlainRate;
    size_t nMemoryGoal = nOsBytes + MEMORY_SLACK;

    std::printf("\nbytes written per update           %zu (%.2f MB, MB = 10^6 bytes)\n", best.nBytes,
                static_cast<double>(best.nBytes) / MB);
    std::printf("whole update                       %7.1f MB/s (%.3f s, best of %d)\n", dUpdateRate, best.dSeconds,
                nRounds);
    std::printf("  the updater's own share          %7.1f MB/s (%.3f s: the run without the handset's verdict\n"
                "                                   work after the OS frame and without the closing pause)\n",
                static_cast<double>(best.nBytes) / MB / dOwnSeconds, dOwnSeconds);
    std::printf("  its OS frame alone               %7.1f MB/s (%.3f s)\n", dOsRate, best.dOsSeconds);
    std::printf("plain 12288-byte writes, drained   %7.1f MB/s (%.3f s, best of %d)\n", dPlainRate, dPlain, nRounds);
    std::printf("plain writes of the OS frame into\n"
                "  the virtual handset              %7.1f MB/s (%.3f s, best of %d)\n",
                dPlainHandsetRate, dPlainHandset, nRounds);
    std::printf("ratio whole update / plain         %.2f (goal >= %.2f): %s\n", dRatio, RATIO_GOAL,
                dRatio >= RATIO_GOAL ? "met" : "NOT met");
    std::printf("ratio updater's own share / plain  %.2f\n", dPlain / dOwnSeconds);
    std::printf("ratio OS frame / plain             %.2f\n", dOsRate / dPlainRate);
    std::printf("ratio OS frame / plain into handset %.2f (same receiver)\n", dOsRate / dPlainHandsetRate);
    std::printf("updater peak resident memory       %.1f MiB (VmHWM; ru_maxrss %.1f MiB), goal <= %.1f MiB "
                "(OS part + 16 MiB): %s\n",
                static_cast<double>(nPeak) / MIB, static_cast<double>(nMaxRss) / MIB,
                static_cast<double>(nMemoryGoal) / MIB, nPeak <= nMemoryGoal ? "met" : "NOT met");
    std::printf("handset process peak               %.1f MiB (its own process; it keeps every payload)\n",
                static_cast<double>(best.nHandsetPeak) / MIB);
    return 0;
}
