// The search for the reserve region: a boot sector followed by the flash layout
// sector, whose reserved-entry table gives the number of reserve blocks.
#include <cstring>
#include <vector>

#include "common/ByteOrder.h"
#include "common/Trace.h"
#include "image/OSUtil.h"

namespace
{
// The search reads the file in windows of this many sector pairs (just under 256 KiB
// with the overlapping sector, so each window is one direct read into a buffer that
// stays in the CPU cache): a layout sector deep inside a large OS part costs one read
// per window, not one per sector.
constexpr QWORD WINDOW_SECTORS = 503;

bool IsBootSector(const BYTE* pSector)
{
    return (pSector[0] == 0xEB || pSector[0] == 0xE9) && pSector[510] == 0x55 && pSector[511] == 0xAA;
}
}

bool COSUtil::FindLayoutSector(BYTE* pLayout)
{
    std::FILE* pFile = m_pParseFile != nullptr ? m_pParseFile : m_File;
    if (pFile == nullptr)
        return false;
    QWORD qwLength = 0;
    {
        std::lock_guard<std::mutex> lock(m_csFile);
        if (!FileLength(pFile, &qwLength))
            return false;
    }

    // Each window overlaps the next by one sector, so every pair of consecutive sectors
    // (k, k + 1) that lies wholly in the file is looked at once, in order.
    std::vector<BYTE> window((WINDOW_SECTORS + 1) * SECTOR_SIZE);
    QWORD qwPos = IMAGE_HEADER_SIZE;
    while (qwPos <= qwLength && qwLength - qwPos >= 2 * SECTOR_SIZE)
    {
        QWORD qwRead = qwLength - qwPos;
        if (qwRead > window.size())
            qwRead = window.size();
        if (!SeekReadFile(pFile, qwPos, qwRead, window.data()))
            return false;
        QWORD qwPairs = qwRead / SECTOR_SIZE - 1;
        for (QWORD k = 0; k < qwPairs; ++k)
        {
            const BYTE* pSector = window.data() + k * SECTOR_SIZE;
            if (IsBootSector(pSector) &&
                std::memcmp(pSector + SECTOR_SIZE, LAYOUT_SIGNATURE, sizeof(LAYOUT_SIGNATURE) - 1) == 0)
            {
                std::memcpy(pLayout, pSector + SECTOR_SIZE, SECTOR_SIZE);
                return true;
            }
        }
        qwPos += qwPairs * SECTOR_SIZE;
    }
    return false;
}

bool COSUtil::DefineReserveRegions(RESERVED_ENTRY* pEntry)
{
    Trace(false, "DefineReserveRegions++\r\n");
    m_bRevMatched = false;
    bool bOk = false;
    BYTE layout[SECTOR_SIZE];
    if (pEntry == nullptr)
    {
        Trace(false, "DefineReserveRegions : no entry to look for\r\n");
    }
    else if (FindLayoutSector(layout))
    {
        // Only the entries that fit in the layout sector are read, whatever length the
        // table claims.
        DWORD dwCount = ReadLE32(layout + 8) / RESERVED_ENTRY_SIZE;
        if (dwCount > RESERVED_ENTRIES_MAX)
        {
            Trace(false, "reserved table claims %u entries, %u are read\r\n", dwCount, RESERVED_ENTRIES_MAX);
            dwCount = RESERVED_ENTRIES_MAX;
        }
        const BYTE* pMatch = nullptr;
        for (DWORD i = 0; i < dwCount && pMatch == nullptr; ++i)
        {
            const BYTE* pItem = layout + LAYOUT_HEAD_SIZE + i * RESERVED_ENTRY_SIZE;
            if (std::strncmp(reinterpret_cast<const char*>(pItem), pEntry->szName, sizeof(pEntry->szName)) == 0)
                pMatch = pItem;
        }
        if (dwCount == 0)
        {
            Trace(false, "reserved table is empty\r\n");
        }
        else if (pMatch == nullptr)
        {
            Trace(false, "no reserved entry named %.8s\r\n", pEntry->szName);
        }
        else
        {
            pEntry->dwStartBlock = 0;
            pEntry->dwNumBlocks = ReadLE32(pMatch + 12);
            m_bRevMatched = true;
            // The region must hold the OEM info (so at least one block) and lie inside the OS part.
            int64_t nRegion = static_cast<int64_t>(pEntry->dwNumBlocks) * BLOCK_SIZE;
            if (pEntry->dwNumBlocks == 0)
                Trace(false, "reserve region of 0 blocks cannot hold the OEM info\r\n");
            else if (nRegion > static_cast<int64_t>(m_dwOSSize[0]))
                Trace(false, "reserve region of %u blocks exceeds the OS part\r\n", pEntry->dwNumBlocks);
            else
                bOk = true;
        }
    }
    Trace(false, "DefineReserveRegions--\r\n");
    return bOk;
}
