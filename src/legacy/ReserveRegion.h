// The legacy lookup of the reserve region in an image file, and the version text
// that the reserve region carries scrambled in its sector 63.
#pragma once

#include <cstdio>

#include "common/Types.h"

constexpr DWORD LEGACY_RESERVED_ENTRIES_KEPT = 4;   // the lookup's table holds four entries
constexpr char LEGACY_RESERVE_ENTRY_NAME[] = "REV";

// An entry request: the name asked for, and what the lookup found for it.
struct RESERVE_ENTRY_REQUEST
{
    char szName[8];         // NUL-terminated
    DWORD dwStartBlock;     // 0 once found
    DWORD dwNumBlocks;      // the entry's block count once found
    bool bFound;            // an entry of that name was among the kept entries
};

// Looks for the flash layout at the block boundaries of the OS part (file offset
// 116 on, in 133120-byte blocks): the first block that starts with a boot sector
// must hold the layout sector ("MSFLSH50") right behind it, with at least one
// reserved entry. Only the first four entries are kept; the first whose name equals
// pRequest->szName fills the request. True when a layout sector with entries was
// found, whether or not the name matched. The file position is restored.
bool DefineReserveRegion(std::FILE* pFile, RESERVE_ENTRY_REQUEST* pRequest);

// Decrypts the version text at the start of a stored sector in place: each byte up
// to the first stored zero becomes ((b - 10) mod 256) XOR key byte (i mod 4), the key
// bytes being "Key1" in file order. The terminating zero and everything after it
// stay as stored. Returns the number of bytes decrypted.
DWORD DecryptVersionText(BYTE* pSector, DWORD dwLen, DWORD dwKey1);
