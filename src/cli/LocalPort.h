// The file transport of the machine vuqctl runs on, for the verbs that write through
// the link: the tty driver on Linux. Windows has none yet.
#pragma once

#include <memory>

#include "platform/PortDriver.h"

// Null where this platform has no file transport yet.
std::unique_ptr<IPortDriver> CreateLocalPortDriver();
