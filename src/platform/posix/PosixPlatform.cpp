#include "platform/posix/PosixPlatform.h"
