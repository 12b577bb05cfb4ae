// COSUtil: the image container. Opens and checks "temp.dat" and builds, in memory,
// the images the update sends to the handset.
#pragma once

#include <cstdio>
#include <mutex>

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

private:
    std::FILE* m_File = nullptr;
    QWORD m_qwFileLength = 0;
    std::mutex m_csFile;   // serialises each seek-read-seek-back of SeekReadFile
    bool m_bLockCreated = false;
};
