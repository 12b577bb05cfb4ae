// Image files for tests, of any layout and with any fault, so a test states its case
// instead of its bytes.
//
//   CImageBuilder image;                         // the default sample image (below)
//   image.SetReserveBlocks(0).SetTrailingBytes(1);
//   image.WriteTo(dir.File("temp.dat"));
//   EXPECT_EQ(image.PartBytes(PART_BL), bytesTheHandsetGot);
//
// Default image: "TAVU", flag 0x11F, an OS part of 2 blocks (S[0] = 266240) whose
// first block is the reserve region (N = 1), BootLoader 1000 bytes, UsbDownloader 777,
// Vantor 1500, IPL 600, S[5] = 0, MOT Agent File 300, MOT File 450; boot sector at
// sector 0 of the OS part and the layout sector at sector 1 with the reserved entries
// {"IPL", 0, 0} and {"REV", 0, N}; version text "VUQ 1.00.07 WWE" scrambled with
// Key1 = 0x5AC31E87 (four different bytes); distinct values in every other header word
// ("RELEASE Tag" 0x0A3D72F4, Key2..Key8 0x21212121 * i..., "Flash Type" 2, "Key10" 7)
// and Bluetooth bytes 0xB0..0xBF.
//
// Contents: every byte of a part is PatternByte(part id, offset within the part), so
// bytes from different parts or offsets differ and a test can tell where they came
// from. The reserve region uses id PART_RESERVE and the operating system PART_OS (the
// split follows the "REV" count the parse will find). The pattern never forms a boot
// sector or a layout signature by chance. The boot, layout and OEM info sectors are
// written over the pattern.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Types.h"
#include "image/ImageFormat.h"

struct RESERVED_ITEM
{
    std::string strName;   // up to 8 bytes; shorter names are NUL-padded
    DWORD dwStartBlock = 0;
    DWORD dwNumBlocks = 0;
};

class CImageBuilder
{
public:
    CImageBuilder();

    // --- Header ---
    CImageBuilder& SetTag(const std::string& strTag);           // the first 4 bytes, default "TAVU"
    CImageBuilder& SetImageFlag(DWORD dwFlag);
    CImageBuilder& SetSize(int nIndex, DWORD dwSize);           // size word S[nIndex], 0..11
    CImageBuilder& SetOsPartBlocks(DWORD dwBlocks);             // S[0] = dwBlocks * 133120 (reserve included)
    // Words 56..99: 0 "RELEASE Tag", 1..8 "Key1".."Key8", 9 "Flash Type", 10 "Key10".
    CImageBuilder& SetHeaderWord(int nIndex, DWORD dwValue);
    CImageBuilder& SetKey1(DWORD dwKey1) { return SetHeaderWord(1, dwKey1); }
    CImageBuilder& SetBluetooth(const std::array<BYTE, BLUETOOTH_SIZE>& bluetooth);

    // --- Reserve region ---
    // The block count of every "REV" entry (one is appended when none exists).
    CImageBuilder& SetReserveBlocks(DWORD dwBlocks);
    // The reserved-entry table as written; entries beyond the 31 that fit in the
    // sector are dropped. The table-length field follows it unless SetTableLength is used.
    CImageBuilder& SetReservedEntries(const std::vector<RESERVED_ITEM>& entries);
    CImageBuilder& SetTableLength(DWORD dwBytes);               // the field at layout offset 8, may lie
    // Sector index (within the OS part) of the boot sector; the layout sector follows it.
    // A negative index writes neither. The sectors may lie past the OS part.
    CImageBuilder& SetBootSector(int64_t nSector);
    CImageBuilder& SetBootByte(BYTE bFirst);                    // 0xEB (default) or 0xE9; anything else breaks it
    CImageBuilder& SetLayoutSignature(const std::string& strSignature);   // default "MSFLSH50"
    CImageBuilder& AddLoneBootSector(int64_t nSector);          // a boot sector with no layout sector after it

    // --- Version text (OEM info block, sector 63 of the OS part) ---
    // Stored scrambled with "Key1" and followed by a stored zero (the text may be longer
    // than 63 bytes to test the cut). A plain byte equal to key byte XOR 0xF6 would be
    // stored as zero and end the text early.
    CImageBuilder& SetVersionText(const std::string& strText);

    // --- File end ---
    CImageBuilder& SetTrailingBytes(int64_t nDelta);            // > 0 extra bytes, < 0 bytes missing

    // --- Results ---
    std::vector<BYTE> Build() const;
    bool WriteTo(const std::string& strPath) const;

    // --- Expectations, derived from the settings, not from COSUtil ---
    DWORD Size(int nIndex) const { return m_dwSizes[nIndex]; }
    DWORD ImageFlag() const { return m_dwImageFlag; }
    DWORD HeaderWord(int nIndex) const { return m_dwHeaderWords[nIndex]; }
    const std::array<BYTE, BLUETOOTH_SIZE>& Bluetooth() const { return m_Bluetooth; }
    const std::string& VersionText() const { return m_strVersion; }
    // N as the parse finds it: the first "REV" entry among those the parse reads.
    DWORD ReserveBlocks() const;
    // 116 + S[0..4] + S[6] + S[7]: the length a valid file has.
    QWORD RequiredLength() const;
    // The descriptor entry (15..22) after a successful parse.
    QWORD PartOffset(int nPart) const;
    QWORD PartSize(int nPart) const;
    // What Extract(nPart) yields: the file's bytes of the part (the reserve region with
    // the OEM info, which already sits there).
    std::vector<BYTE> PartBytes(int nPart) const;
    std::vector<BYTE> OemInfo() const;   // the 512 bytes at file offset 32876
    // What PrepareOSOnMem(dwFlag, nOsType, ...) writes (the required size, without the
    // 10 spare bytes); empty for a flag of 0x200 or more or an unknown OS_TYPE with bit
    // 0x001. Uses the held words as set here: for the phase-1 image, set "Key10" to 1001
    // on a copy of the builder first.
    std::vector<BYTE> PreparedImage(DWORD dwFlag, int nOsType) const;

    static BYTE PatternByte(int nPart, QWORD qwOffset);

private:
    std::string m_strTag = "TAVU";
    DWORD m_dwImageFlag = 0x11F;
    DWORD m_dwSizes[SIZE_WORD_COUNT] = {};
    DWORD m_dwHeaderWords[HEADER_WORDS_HELD] = {};
    std::array<BYTE, BLUETOOTH_SIZE> m_Bluetooth = {};
    std::vector<RESERVED_ITEM> m_Entries;
    bool m_bTableLengthSet = false;
    DWORD m_dwTableLength = 0;
    int64_t m_nBootSector = 0;
    BYTE m_bBootByte = 0xEB;
    std::string m_strSignature = LAYOUT_SIGNATURE;
    std::vector<int64_t> m_LoneBootSectors;
    std::string m_strVersion = "VUQ 1.00.07 WWE";
    int64_t m_nTrailing = 0;
};

// A fresh directory under the system's temporary folder, removed with everything in
// it on destruction. With bEnter it is the current directory while it lives (for code
// that opens "temp.dat" in the current directory); the previous one is restored.
class CTempDir
{
public:
    explicit CTempDir(bool bEnter = false);
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
    std::string m_strPrevious;
};
