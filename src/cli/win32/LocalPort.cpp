#include "cli/LocalPort.h"

std::unique_ptr<IPortDriver> CreateLocalPortDriver()
{
    return nullptr;
}
