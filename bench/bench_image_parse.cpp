// Parse of a 256 MiB image whose boot and layout sectors sit in its last block, next
// to one plain read of the same file. Goal: the parse takes at most twice the read.
#include <chrono>
#include <cstdio>
#include <vector>

#include "image/OSUtil.h"
#include "support/ImageBuilder.h"

namespace
{
double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double ReadWhole(const std::string& strPath)
{
    std::vector<BYTE> chunk(1 << 20);
    auto start = std::chrono::steady_clock::now();
    std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
    if (pFile == nullptr)
        return -1;
    size_t nTotal = 0;
    size_t nRead = 0;
    while ((nRead = std::fread(chunk.data(), 1, chunk.size(), pFile)) > 0)
        nTotal += nRead;
    std::fclose(pFile);
    double dSeconds = Seconds(std::chrono::steady_clock::now() - start);
    return nTotal > 0 ? dSeconds : -1;
}

double ParseOnce(const std::string& strPath, int* pCode)
{
    auto start = std::chrono::steady_clock::now();
    COSUtil util;
    *pCode = 0;
    util.InitFile(strPath.c_str(), pCode);
    util.Close();
    return Seconds(std::chrono::steady_clock::now() - start);
}
}

int main()
{
    constexpr DWORD OS_BLOCKS = (256u << 20) / BLOCK_SIZE;   // 2016 blocks, about 256 MiB
    CTempDir dir;
    std::string strPath = dir.File("temp.dat");
    CImageBuilder image;
    image.SetOsPartBlocks(OS_BLOCKS).SetBootSector(static_cast<int64_t>(OS_BLOCKS - 1) * SECTORS_PER_BLOCK);
    if (!image.WriteTo(strPath))
    {
        std::fprintf(stderr, "bench_image_parse: cannot write %s\n", strPath.c_str());
        return 1;
    }

    ReadWhole(strPath);   // both runs read from the page cache
    double dRead = 1e9;
    double dParse = 1e9;
    int nCode = 0;
    for (int i = 0; i < 5; ++i)
    {
        double d = ReadWhole(strPath);
        if (d >= 0 && d < dRead)
            dRead = d;
        d = ParseOnce(strPath, &nCode);
        if (d < dParse)
            dParse = d;
    }
    double dMiB = static_cast<double>(image.RequiredLength()) / (1 << 20);
    std::printf("image:        %.1f MiB, layout sector in the last block, parse code %d\n", dMiB, nCode);
    std::printf("plain read:   %8.2f ms  (%.0f MiB/s)\n", dRead * 1e3, dMiB / dRead);
    std::printf("parse:        %8.2f ms  (%.0f MiB/s)\n", dParse * 1e3, dMiB / dParse);
    std::printf("parse / read: %8.2f  (goal: at most 2.00)\n", dParse / dRead);
    return nCode == IMAGE_OK ? 0 : 1;
}
