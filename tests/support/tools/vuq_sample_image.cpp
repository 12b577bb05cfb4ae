// vuq_sample_image OUT [--os-blocks N]: writes the default sample image (a small valid
// "temp.dat" with every part) to OUT. --os-blocks sets the OS part's size in blocks of
// 133120 bytes, the reserve block included (default 2).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/ImageBuilder.h"

int main(int argc, char** argv)
{
    const char* pszOut = nullptr;
    long nOsBlocks = 2;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--os-blocks") == 0 && i + 1 < argc)
        {
            char* pEnd = nullptr;
            nOsBlocks = std::strtol(argv[++i], &pEnd, 10);
            if (pEnd == argv[i] || *pEnd != '\0' || nOsBlocks < 1 || nOsBlocks > 30000)
            {
                std::fprintf(stderr, "vuq_sample_image: --os-blocks takes a number from 1 to 30000\n");
                return 2;
            }
        }
        else if (pszOut == nullptr && argv[i][0] != '-')
        {
            pszOut = argv[i];
        }
        else
        {
            std::fprintf(stderr, "usage: vuq_sample_image OUT [--os-blocks N]\n");
            return 2;
        }
    }
    if (pszOut == nullptr)
    {
        std::fprintf(stderr, "usage: vuq_sample_image OUT [--os-blocks N]\n");
        return 2;
    }
    CImageBuilder image;
    image.SetOsPartBlocks(static_cast<DWORD>(nOsBlocks));
    if (!image.WriteTo(pszOut))
    {
        std::fprintf(stderr, "vuq_sample_image: cannot write %s\n", pszOut);
        return 1;
    }
    return 0;
}
