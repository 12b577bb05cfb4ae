// Little-endian packing of the words that cross the wire and sit in image files.
#pragma once

#include "common/Types.h"

inline WORD ReadLE16(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

inline DWORD ReadLE32(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

inline void WriteLE16(BYTE* p, WORD wValue)
{
    p[0] = static_cast<BYTE>(wValue);
    p[1] = static_cast<BYTE>(wValue >> 8);
}

inline void WriteLE32(BYTE* p, DWORD dwValue)
{
    p[0] = static_cast<BYTE>(dwValue);
    p[1] = static_cast<BYTE>(dwValue >> 8);
    p[2] = static_cast<BYTE>(dwValue >> 16);
    p[3] = static_cast<BYTE>(dwValue >> 24);
}
