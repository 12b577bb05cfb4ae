// The legacy run on an image whose UsbDownloader size word claims 0x70000000 bytes
// while the file is a few hundred KB: the run must refuse it with nothing sent, and
// this process's peak resident memory must stay under 200 MiB.
//
//   bench_legacy_oversized        (exit code 0 when both goals are met)
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/ByteOrder.h"
#include "legacy/LegacyRun.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"
#include "support/ImageBuilder.h"
#include "PeakMemory.h"

namespace
{
constexpr double MIB = 1024.0 * 1024.0;
constexpr size_t MEMORY_GOAL = 200u << 20;
constexpr DWORD OVERSIZED_WORD = 0x70000000;
constexpr int SIZE_WORD_UD = 2;

// A port that is always there, hears nothing and counts what is written to it.
class CCountingPort : public IPortDriver
{
public:
    PORT_HANDLE Open(const char*) override { return 1; }
    bool Read(PORT_HANDLE, BYTE*, DWORD, DWORD* pdwRead) override
    {
        *pdwRead = 0;
        return true;
    }
    bool Write(PORT_HANDLE, const BYTE*, DWORD dwLen, DWORD* pdwWritten) override
    {
        m_qwWritten += dwLen;
        *pdwWritten = dwLen;
        return true;
    }
    bool GetTimeouts(PORT_HANDLE, PORT_TIMEOUTS* pTimeouts) override
    {
        *pTimeouts = PORT_TIMEOUTS{};
        return true;
    }
    bool SetTimeouts(PORT_HANDLE, const PORT_TIMEOUTS*) override { return true; }
    void Close(PORT_HANDLE) override {}

    QWORD m_qwWritten = 0;
};

}

int main()
{
    CTempDir dir;
    std::vector<BYTE> image = CImageBuilder().Build();
    WriteLE32(image.data() + OFFSET_OS_SIZE + 4 * SIZE_WORD_UD, OVERSIZED_WORD);
    std::FILE* pFile = std::fopen(dir.File("temp.dat").c_str(), "wb");
    if (pFile == nullptr || std::fwrite(image.data(), 1, image.size(), pFile) != image.size())
    {
        std::fprintf(stderr, "cannot write %s\n", dir.File("temp.dat").c_str());
        return 2;
    }
    std::fclose(pFile);

    CClock clock(1000);
    CCountingPort port;
    LEGACY_RUN_CONFIG config{clock, port, nullptr, "", dir.Path(), "bench-port", 1001};
    int nResult = RunLegacyUpdate(config);
    size_t nPeak = PeakResidentBytes();

    bool bRefused = nResult == LEGACY_RUN_FAILED && port.m_qwWritten == 0;
    bool bMemory = nPeak < MEMORY_GOAL;
    std::printf("image file                  %zu bytes, UsbDownloader size word 0x%08X\n", image.size(),
                OVERSIZED_WORD);
    std::printf("run result                  %d, bytes sent %llu (goal: 3, nothing sent): %s\n", nResult,
                static_cast<unsigned long long>(port.m_qwWritten), bRefused ? "met" : "NOT met");
    std::printf("peak resident memory        %.1f MiB (goal < %.0f MiB): %s\n", static_cast<double>(nPeak) / MIB,
                static_cast<double>(MEMORY_GOAL) / MIB, bMemory ? "met" : "NOT met");
    return bRefused && bMemory ? 0 : 1;
}
