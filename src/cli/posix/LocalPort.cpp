#include "cli/LocalPort.h"

#include "platform/posix/TtyPortDriver.h"

std::unique_ptr<IPortDriver> CreateLocalPortDriver()
{
    return std::make_unique<CTtyPortDriver>();
}
