// Builds image files for the legacy tests: the 116-byte header with its size words
// and flag, an OS part of whole blocks (plus extra bytes) with a boot sector and a
// "MSFLSH50" layout sector at the start of a block, the version text scrambled into
// sector 63, and the small parts and MOT parts, each with its own byte pattern.
#pragma once

#include <string>
#include <vector>

#include "common/Types.h"
#include "image/ImageFormat.h"

struct LAYOUT_ENTRY
{
    std::string strName;   // up to 8 bytes
    DWORD dwStartBlock;
    DWORD dwNumBlocks;
};

// Parts of the file, in file order.
enum LEGACY_PART
{
    LPART_OS = 0,
    LPART_BL,
    LPART_UD,
    LPART_VN,
    LPART_EB,
    LPART_GSM1,
    LPART_GSM2,
    LPART_COUNT,
};

struct LEGACY_IMAGE_LAYOUT
{
    DWORD dwFlag = FLAG_OS | FLAG_BL | FLAG_UD | FLAG_VN | FLAG_EB;
    DWORD dwOsBlocks = 2;          // OS part: this many blocks ...
    DWORD dwOsExtra = 0;           // ... plus this many bytes
    DWORD dwReserveBlocks = 1;     // block count of the "REV" entry (default entries)
    // Part sizes written into the header (S[1]..S[4], S[6], S[7]); the file holds
    // every part with a non-zero size, whatever the flag says.
    DWORD dwBl = 1000;
    DWORD dwUd = 3000;
    DWORD dwVn = 777;
    DWORD dwEb = 5;
    DWORD dwGsm1 = 0;
    DWORD dwGsm2 = 0;
    DWORD dwS5 = 0x5A5A5A5A;       // takes no space in the file
    DWORD dwKey1 = 0x4D3C2B1A;
    DWORD dwReleaseTag = 0x11223344;
    DWORD dwKey10 = 0x55667788;
    // Raw bytes of the plain version text (may hold a zero byte); empty: the sector
    // starts with a stored zero.
    std::string strVersion = "Palomux ROM 1.2.3 (WWE)";
    int nLayoutBlock = 0;          // block holding boot sector + layout sector; -1: none
    bool bBootSector = true;
    bool bLayoutSignature = true;
    // Reserved entries; empty: one entry "REV" with dwReserveBlocks.
    std::vector<LAYOUT_ENTRY> entries;
    DWORD dwTableSizeOverride = 0; // non-zero: the table-length field as given
};

class CLegacyImage
{
public:
    explicit CLegacyImage(const LEGACY_IMAGE_LAYOUT& layout);

    const LEGACY_IMAGE_LAYOUT& Layout() const { return m_Layout; }
    const std::vector<BYTE>& Bytes() const { return m_Bytes; }
    std::vector<BYTE> Header() const;
    std::vector<BYTE> Part(int nPart) const;
    DWORD PartSize(int nPart) const;
    DWORD PartOffset(int nPart) const;
    // The OS part's sector 63 as the handset should receive it: the plain version
    // text followed by the stored rest of the sector.
    std::vector<BYTE> PlainSector63() const;
    bool Write(const std::string& strPath) const;

private:
    LEGACY_IMAGE_LAYOUT m_Layout;
    std::vector<BYTE> m_Bytes;
};

// Byte pattern of a part: differs per part and does not repeat every 256 or 512 bytes.
BYTE PatternByte(int nPart, DWORD dwIndex);
