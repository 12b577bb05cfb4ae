// The peak memory of the calling process, as the plain benchmark programs report it.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>

// Peak resident set of this process in bytes: VmHWM, else ru_maxrss.
inline size_t PeakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine))
        if (strLine.rfind("VmHWM:", 0) == 0)
            return std::strtoull(strLine.c_str() + 6, nullptr, 10) * 1024;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
}
