// ProcessDownload of a 64 MiB prepared buffer into a pipe drained by another
// thread, next to writing the same bytes with plain 12288-byte write calls:
// MB/s of each and their ratio.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "platform/posix/TtyPortDriver.h"

// The benchmark uses only COSUtil's buffer members; these stand in for the image
// container's own constructor and destructor when they are not linked in.
__attribute__((weak)) COSUtil::COSUtil()
{
}
__attribute__((weak)) COSUtil::~COSUtil()
{
}

namespace
{
constexpr size_t PAYLOAD_SIZE = 64u << 20;
constexpr int ROUNDS = 10;

void Drain(int nFd, std::atomic<bool>* pbStop)
{
    std::vector<BYTE> buf(1 << 20);
    while (!pbStop->load())
    {
        if (::read(nFd, buf.data(), buf.size()) <= 0)
            return;
    }
}
}

int main()
{
    int fds[2];
    if (pipe(fds) != 0)
        return 1;
    std::atomic<bool> bStop{false};
    std::thread drainer(Drain, fds[0], &bStop);

    CClock clock;
    CTtyPortDriver tty;
    PlatformContext context;
    context.pClock = &clock;
    context.pPortDriver = &tty;
    CDownloader link(context);
    char szPath[64];
    std::snprintf(szPath, sizeof(szPath), "/proc/self/fd/%d", fds[1]);
    link.AddUSB(szPath);
    if (!link.OpenUSB(0))
        return 1;
    PORT_HANDLE hPort = link.m_PortInfo[0].hOut;

    std::vector<BYTE> payload(PAYLOAD_SIZE);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<BYTE>(i * 131 + (i >> 13));
    std::vector<BYTE> buf(PAYLOAD_SIZE + 10);
    COSUtil util;

    double dBestLink = 1e9;
    double dBestPlain = 1e9;
    auto TimeLink = [&]() -> double {
        std::memcpy(buf.data(), payload.data(), PAYLOAD_SIZE);   // a fresh preparation, not timed
        util.m_pBuf = buf.data();
        util.m_nBufLen = static_cast<DWORD>(buf.size());
        auto tpStart = std::chrono::steady_clock::now();
        int nResult = link.ProcessDownload(&util, 0, 0);
        double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
        return nResult == DOWNLOAD_OK ? dSeconds : -1;
    };
    auto TimePlain = [&]() -> double {
        // The same number of bytes, written plainly in pieces of the same size.
        auto tpStart = std::chrono::steady_clock::now();
        for (size_t nPos = 0; nPos < buf.size(); nPos += DOWNLOAD_PIECE_SIZE)
        {
            size_t nPiece = buf.size() - nPos < DOWNLOAD_PIECE_SIZE ? buf.size() - nPos : DOWNLOAD_PIECE_SIZE;
            if (::write(static_cast<int>(hPort), buf.data() + nPos, nPiece) != static_cast<ssize_t>(nPiece))
                return -1;
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
    };
    // The two alternate, each going first every other round, so neither profits
    // from the order; the best round of each counts.
    for (int nRound = 0; nRound < ROUNDS; ++nRound)
    {
        double dLink;
        double dPlain;
        if (nRound % 2 == 0)
        {
            dLink = TimeLink();
            dPlain = TimePlain();
        }
        else
        {
            dPlain = TimePlain();
            dLink = TimeLink();
        }
        if (dLink < 0 || dPlain < 0)
        {
            std::printf("a send failed\n");
            return 1;
        }
        dBestLink = dLink < dBestLink ? dLink : dBestLink;
        dBestPlain = dPlain < dBestPlain ? dPlain : dBestPlain;
    }
    double dMB = static_cast<double>(buf.size()) / 1e6;
    std::printf("ProcessDownload  %.0f MB/s\n", dMB / dBestLink);
    std::printf("plain writes     %.0f MB/s\n", dMB / dBestPlain);
    std::printf("ratio            %.2f (goal >= 0.9)\n", dBestPlain / dBestLink);

    bStop = true;
    link.ClosePort(0);
    ::close(fds[1]);
    drainer.join();
    ::close(fds[0]);
    return 0;
}
