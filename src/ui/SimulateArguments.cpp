#include "ui/SimulateArguments.h"

#include <cstdlib>
#include <cstring>

bool IsSimulateCommand(int argc, char** argv)
{
    return argc >= 2 && std::strcmp(argv[1], "--simulate") == 0;
}

DWORD TimeScaleOf(int argc, char** argv)
{
    for (int i = 2; i + 1 < argc; ++i)
    {
        if (std::strcmp(argv[i], "--time-scale") != 0)
            continue;
        char* pEnd = nullptr;
        long nScale = std::strtol(argv[i + 1], &pEnd, 10);
        if (pEnd != argv[i + 1] && *pEnd == '\0' && nScale >= 1 && nScale <= static_cast<long>(MAX_TIME_SCALE))
            return static_cast<DWORD>(nScale);
    }
    return 1;
}
