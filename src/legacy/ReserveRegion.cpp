#include "legacy/ReserveRegion.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/ByteOrder.h"
#include "common/Trace.h"
#include "image/ImageFormat.h"

namespace
{
constexpr DWORD BOOT_SIGNATURE_OFFSET = 510;
constexpr WORD BOOT_SIGNATURE = 0xAA55;
constexpr DWORD LAYOUT_TABLE_SIZE_OFFSET = 8;

bool IsBootSector(const BYTE* pSector)
{
    return ReadLE16(pSector + BOOT_SIGNATURE_OFFSET) == BOOT_SIGNATURE && (pSector[0] == 0xEB || pSector[0] == 0xE9);
}
}

bool DefineReserveRegion(std::FILE* pFile, RESERVE_ENTRY_REQUEST* pRequest)
{
    if (pFile == nullptr || pRequest == nullptr)
        return false;
    long nSavedPos = std::ftell(pFile);
    bool bResult = false;
    std::unique_ptr<BYTE[]> pBlock(new (std::nothrow) BYTE[BLOCK_SIZE]);
    if (pBlock && std::fseek(pFile, static_cast<long>(IMAGE_HEADER_SIZE), SEEK_SET) == 0 &&
        std::ftell(pFile) == static_cast<long>(IMAGE_HEADER_SIZE))
    {
        for (;;)
        {
            if (std::fread(pBlock.get(), 1, BLOCK_SIZE, pFile) != BLOCK_SIZE)
                break;
            if (!IsBootSector(pBlock.get()))
                continue;

            const BYTE* pLayout = pBlock.get() + SECTOR_SIZE;
            DWORD dwTableSize = ReadLE32(pLayout + LAYOUT_TABLE_SIZE_OFFSET);
            if (std::memcmp(pLayout, LAYOUT_SIGNATURE, 8) != 0 || dwTableSize < RESERVED_ENTRY_SIZE)
                break;

            // The table holds four entries; a layout sector declaring more keeps the first four.
            DWORD dwCount = dwTableSize / RESERVED_ENTRY_SIZE;
            if (dwCount > LEGACY_RESERVED_ENTRIES_KEPT)
                dwCount = LEGACY_RESERVED_ENTRIES_KEPT;
            for (DWORD i = 0; i < dwCount; ++i)
            {
                const BYTE* pEntry = pLayout + LAYOUT_HEAD_SIZE + i * RESERVED_ENTRY_SIZE;
                char szEntryName[9] = {};
                std::memcpy(szEntryName, pEntry, 8);
                if (std::strncmp(szEntryName, pRequest->szName, sizeof(pRequest->szName)) == 0)
                {
                    pRequest->dwStartBlock = 0;
                    pRequest->dwNumBlocks = ReadLE32(pEntry + 12);
                    pRequest->bFound = true;
                    break;
                }
            }
            bResult = true;
            break;
        }
    }
    std::fseek(pFile, nSavedPos, SEEK_SET);
    return bResult;
}

DWORD DecryptVersionText(BYTE* pSector, DWORD dwLen, DWORD dwKey1)
{
    BYTE key[4];
    WriteLE32(key, dwKey1);
    DWORD i = 0;
    for (; i < dwLen && pSector[i] != 0; ++i)
        pSector[i] = static_cast<BYTE>(static_cast<BYTE>(pSector[i] - 10) ^ key[i % 4]);
    return i;
}
