// The version of the desktop host system, which decides the generation of the
// link to the handset (the file transport or the bulk pipe, with or without the
// sync software's service).
#pragma once

#include "common/Types.h"

class IHostVersion
{
public:
    virtual ~IHostVersion() = default;

    // Version of the host system (major, minor): 5.0, 5.1, 6.0... false when unknown.
    virtual bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) = 0;
};
