// The image file "temp.dat": header layout, part identifiers, flag bits and the
// flash geometry of its OS part.
#pragma once

#include "common/Types.h"

constexpr DWORD IMAGE_HEADER_SIZE = 116;
constexpr char IMAGE_TAG[] = "TAVU";
constexpr DWORD SIZE_WORD_COUNT = 12;       // "OS size ": S[0]..S[11]
constexpr DWORD SIZE_WORDS_HELD = 8;        // S[0]..S[7] are read
constexpr DWORD HEADER_WORDS_HELD = 11;     // "RELEASE Tag" .. "Key10", offsets 56..99
constexpr DWORD BLUETOOTH_SIZE = 16;        // header bytes 100..115

// Header field offsets.
constexpr DWORD OFFSET_IMAGE_FLAG = 4;
constexpr DWORD OFFSET_OS_SIZE = 8;
constexpr DWORD OFFSET_RELEASE_TAG = 56;
constexpr DWORD OFFSET_KEY1 = 60;
constexpr DWORD OFFSET_KEY10 = 96;
constexpr DWORD OFFSET_BLUETOOTH = 100;

// Flash geometry of the OS part.
constexpr DWORD SECTOR_SIZE = 520;
constexpr DWORD SECTOR_DATA_SIZE = 512;
constexpr DWORD SECTORS_PER_BLOCK = 256;
constexpr DWORD BLOCK_SIZE = SECTOR_SIZE * SECTORS_PER_BLOCK;   // 133120
constexpr DWORD OEM_INFO_SECTOR = 63;
constexpr DWORD OEM_INFO_SIZE = 512;
constexpr DWORD OEM_INFO_FILE_OFFSET = IMAGE_HEADER_SIZE + OEM_INFO_SECTOR * SECTOR_SIZE;   // 32876
constexpr DWORD OEM_INFO_REGION_OFFSET = OEM_INFO_SECTOR * SECTOR_SIZE;                     // 32760
constexpr DWORD OEM_BLOCK_SIZE = 64 * SECTOR_SIZE;                                          // 33280
constexpr DWORD VERSION_TEXT_MAX = 63;
constexpr char LAYOUT_SIGNATURE[] = "MSFLSH50";
constexpr DWORD LAYOUT_HEAD_SIZE = 16;
constexpr DWORD RESERVED_ENTRY_SIZE = 16;
constexpr DWORD RESERVED_ENTRIES_MAX = (SECTOR_SIZE - LAYOUT_HEAD_SIZE) / RESERVED_ENTRY_SIZE;   // 31

// "Image Flag" bits.
constexpr DWORD FLAG_OS = 0x001;
constexpr DWORD FLAG_BL = 0x002;
constexpr DWORD FLAG_UD = 0x004;
constexpr DWORD FLAG_VN = 0x008;
constexpr DWORD FLAG_EB = 0x010;
constexpr DWORD FLAG_MOT = 0x100;
constexpr DWORD FLAG_LIMIT = 0x200;   // this and above: unknown

// Masks of the update's images.
constexpr DWORD PHASE1_MASK = 0x006;
constexpr DWORD PHASE2_CLEAR_MASK = 0x146;

// OS_TYPE: what the OS part of a prepared image holds when bit 0x001 is set.
enum OS_TYPE
{
    OS_TYPE_OS = 0,
    OS_TYPE_RESERVE = 1,
    OS_TYPE_RESERVE_AND_OS = 2,
};

// Indices into the header-descriptor table.
enum HEADER_FIELD_ID
{
    FIELD_TAVU_TAG = 0,
    FIELD_IMAGE_FLAG = 1,
    FIELD_OS_SIZE = 2,
    FIELD_RELEASE_TAG = 3,
    FIELD_KEY1 = 4,
    FIELD_KEY10 = 13,
    FIELD_BLUETOOTH = 14,
    PART_RESERVE = 15,
    PART_OS = 16,
    PART_BL = 17,
    PART_UD = 18,
    PART_VN = 19,
    PART_EB = 20,
    PART_MOT = 21,
    PART_MOT_FILE = 22,
    HEADER_DESCRIPTOR_COUNT = 23,
};

// One entry of the header-descriptor table. Offsets and sizes are 64-bit, so no
// sum of size words can wrap.
struct HEADER_DESCRIPTOR
{
    int64_t nOffset;
    int64_t nSize;
    const char* pszName;
};

// The table before any parse: the header fields at their fixed places and the part
// entries (15..22) empty. Each COSUtil starts from it and fills its own part entries
// from the image it parses.
extern const HEADER_DESCRIPTOR DEFAULT_HEADER_DESCRIPTORS[HEADER_DESCRIPTOR_COUNT];
