// ByteCheckSum over 64 MiB next to a plain read of the same buffer (a sum of its
// 64-bit words), in the same run: GB/s of each and their ratio.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "link/Downloader.h"

namespace
{
constexpr size_t BUFFER_SIZE = 64u << 20;
constexpr int ROUNDS = 9;

template <typename F>
double BestSeconds(F&& fn)
{
    double dBest = 1e9;
    for (int i = 0; i < ROUNDS; ++i)
    {
        auto tpStart = std::chrono::steady_clock::now();
        fn();
        double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
        if (dSeconds < dBest)
            dBest = dSeconds;
    }
    return dBest;
}
}

int main()
{
    std::vector<BYTE> buf(BUFFER_SIZE);
    std::mt19937_64 rng(1);
    for (size_t i = 0; i < BUFFER_SIZE; i += 8)
    {
        QWORD qw = rng();
        std::memcpy(&buf[i], &qw, 8);
    }

    // Exactness first: the 16-bit wrapping byte sum.
    WORD wNaive = 0;
    for (BYTE b : buf)
        wNaive = static_cast<WORD>(wNaive + b);
    WORD wFast = CDownloader::ByteCheckSum(buf.data(), static_cast<int>(buf.size()));
    if (wFast != wNaive)
    {
        std::printf("MISMATCH: ByteCheckSum 0x%04X, byte loop 0x%04X\n", wFast, wNaive);
        return 1;
    }

    volatile WORD wSink = 0;
    volatile QWORD qwSink = 0;
    double dChecksum = BestSeconds([&] { wSink = CDownloader::ByteCheckSum(buf.data(), static_cast<int>(buf.size())); });
    double dPlain = BestSeconds([&] {
        QWORD qwSum = 0;
        for (size_t i = 0; i < BUFFER_SIZE; i += 8)
        {
            QWORD qw;
            std::memcpy(&qw, &buf[i], 8);
            qwSum += qw;
        }
        qwSink = qwSum;
    });
    double dGiB = static_cast<double>(BUFFER_SIZE) / 1e9;
    std::printf("ByteCheckSum   %.2f GB/s (checksum 0x%04X)\n", dGiB / dChecksum, static_cast<unsigned>(wSink));
    std::printf("plain read     %.2f GB/s\n", dGiB / dPlain);
    std::printf("ratio          %.2f (goal >= 0.8)\n", dPlain / dChecksum);
    (void)qwSink;
    return 0;
}
