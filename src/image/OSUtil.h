// COSUtil: the image container. Opens and checks "temp.dat" and builds, in memory,
// the images the update sends to the handset.
#pragma once

#include <cstdio>
#include <mutex>
#include <vector>

#include "common/Types.h"
#include "image/ImageFormat.h"

// Parse codes handed to the caller of Init.
enum IMAGE_PARSE_CODE
{
    IMAGE_OK = 1,
    IMAGE_BAD_TAG = 101,
    IMAGE_BAD_LAYOUT = 102,
    IMAGE_READ_ERROR = 103,
};

// How far the last parse got (what the held values can be trusted for).
enum PARSE_STAGE
{
    PARSE_NOTHING = 0,          // no header values held
    PARSE_HEADER_KEPT = 1,      // tag and length passed; header values held
    PARSE_OEM_READ = 2,         // the OEM info block (version text) was read
    PARSE_RESERVE_FOUND = 3,    // the "REV" entry was found (m_dwReserveBlocks set)
    PARSE_COMPLETE = 4,         // every check passed
};

// m_nState values.
enum OSUTIL_STATE
{
    OSUTIL_NOT_INITIALIZED = 0,
    OSUTIL_INITIALIZED = 1,
    OSUTIL_INIT_FAILED = 2,
};

// A reserved entry of the flash layout sector.
struct RESERVED_ENTRY
{
    char szName[8];
    DWORD dwStartBlock;
    DWORD dwNumBlocks;
};

class COSUtil
{
public:
    COSUtil();
    ~COSUtil();
    COSUtil(const COSUtil&) = delete;
    COSUtil& operator=(const COSUtil&) = delete;

    // Opens "temp.dat" in the current directory and parses it.
    bool Init(int* pErr);
    // The same on a named file (vuqctl reads any path in place).
    bool InitFile(const char* pszPath, int* pErr);
    bool Parse(std::FILE* pFile, int* pErr);
    bool SeekReadFile(std::FILE* pFile, QWORD qwPos, QWORD qwSize, BYTE* pBuf);
    bool DefineReserveRegions(RESERVED_ENTRY* pEntry);
    bool Extract(int nPart, BYTE* pBuf, QWORD qwLen);
    bool HasParts(DWORD dwMask);
    bool PrepareHeader(DWORD dwFlag, int nOsType, BYTE* pBuf);
    DWORD PrepareOSOnMem(DWORD dwFlag, int nOsType, BYTE* pBuf, DWORD dwLen);
    void Close();

    // The held "Key10" (the worker sets 1001 before phase 1).
    void SetKey10(DWORD dwValue);
    // Entry nIndex of this image's header-descriptor table: the default table with
    // the part entries of the last successful parse (empty before one and after a
    // failed one). An index outside the table gives an empty entry named "(none)".
    const HEADER_DESCRIPTOR& GetDescriptor(int nIndex) const;
    // The version text: the OEM info block's leading bytes unscrambled with "Key1"
    // (at most 63 bytes, NUL-terminated).
    void GetVersionText(char* pszBuf, size_t nLen);

    // The image most recently prepared (not owned) and the length the caller gave.
    BYTE* m_pBuf = nullptr;
    DWORD m_nBufLen = 0;
    int m_nState = OSUTIL_NOT_INITIALIZED;

    BYTE m_OemInfo[OEM_INFO_SIZE] = {};
    DWORD m_dwHeaderWords[HEADER_WORDS_HELD] = {};   // "RELEASE Tag", "Key1".."Key8", "Flash Type", "Key10"
    DWORD m_dwImageFlag = 0;
    DWORD m_dwOSSize[SIZE_WORDS_HELD] = {};
    BYTE m_Bluetooth[BLUETOOTH_SIZE] = {};
    DWORD m_dwReserveBlocks = 0;                      // N, from the "REV" entry
    int m_nParseStage = PARSE_NOTHING;                // how far the last parse got

protected:
    // This image's table; only a successful parse changes it.
    HEADER_DESCRIPTOR m_HeaderDescriptors[HEADER_DESCRIPTOR_COUNT];

private:
    bool OpenAndParse(const char* pszPath, int* pErr);
    int ParseSteps(std::FILE* pFile);
    void ResetHeldValues();
    // The OS part's size word [0] of a prepared header (bit 0x001 set); false for an unknown OS_TYPE.
    bool OsPartSize(int nOsType, QWORD* pqwSize) const;
    // The bytes a preparation writes for dwFlag and nOsType; false when it does not fit 32 bits.
    bool RequiredSize(DWORD dwFlag, int nOsType, QWORD* pqwSize) const;
    // The size of a descriptor entry, 0 for a negative one.
    QWORD EntrySize(int nPart) const;
    // Slides a two-sector window one sector at a time from the start of the OS part and
    // copies the first layout sector that follows a boot sector to pLayout (520 bytes).
    bool FindLayoutSector(BYTE* pLayout);
    static bool FileLength(std::FILE* pFile, QWORD* pqwLen);

    std::FILE* m_File = nullptr;
    std::FILE* m_pParseFile = nullptr;   // the file a running Parse reads (the reserve search uses it)
    std::mutex m_csFile;   // serialises each seek-read-seek-back of SeekReadFile
    bool m_bLockCreated = false;   // the lock "exists" while the image is initialized
    bool m_bRevMatched = false;    // the last reserve search found the "REV" entry
    std::vector<BYTE> m_ReadPiece;  // staging buffer of large reads (under m_csFile)
};
