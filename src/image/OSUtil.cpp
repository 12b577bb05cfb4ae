// COSUtil: opening, checking and reading the image file.
#include "image/OSUtil.h"

#include <climits>
#include <cstring>

#include "common/ByteOrder.h"
#include "common/Trace.h"

namespace
{
unsigned PtrText(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}

// Positions the file at an absolute offset. std::fseek takes a long, which is 64-bit
// on 64-bit Linux, so every offset of an image (under 4 GiB) is reachable. On Windows
// long is 32-bit: a port there must use _fseeki64/_ftelli64 in these two helpers.
bool SeekTo(std::FILE* pFile, QWORD qwPos)
{
    if (qwPos > static_cast<QWORD>(LONG_MAX))
        return false;
    return std::fseek(pFile, static_cast<long>(qwPos), SEEK_SET) == 0;
}

bool Tell(std::FILE* pFile, QWORD* pqwPos)
{
    long nPos = std::ftell(pFile);
    if (nPos < 0)
        return false;
    *pqwPos = static_cast<QWORD>(nPos);
    return true;
}

// Large reads go through a staging buffer of this size that stays in the CPU cache:
// the kernel copies from the page cache into it and a memcpy moves it on, which is
// about twice as fast as one large read into a cold destination.
constexpr size_t READ_PIECE_SIZE = 256 * 1024;

// Size word index of each part entry 17..22 (S[5] names no region).
constexpr int PART_SIZE_INDEX[] = {1, 2, 3, 4, 6, 7};
}

COSUtil::COSUtil()
{
    std::memcpy(m_HeaderDescriptors, DEFAULT_HEADER_DESCRIPTORS, sizeof(m_HeaderDescriptors));
}

COSUtil::~COSUtil()
{
    Close();
}

bool COSUtil::Init(int* pErr)
{
    return OpenAndParse("temp.dat", pErr);
}

bool COSUtil::InitFile(const char* pszPath, int* pErr)
{
    return OpenAndParse(pszPath, pErr);
}

bool COSUtil::OpenAndParse(const char* pszPath, int* pErr)
{
    Trace(false, "COSUtil::Init++\r\n");
    if (m_nState == OSUTIL_INITIALIZED)
    {
        Trace(false, "COSUtil:: OSUtil has been initialized, return \r\n");
        return true;
    }
    m_nState = OSUTIL_NOT_INITIALIZED;
    m_pBuf = nullptr;
    m_nBufLen = 0;

    bool bOk = false;
    m_File = pszPath != nullptr ? std::fopen(pszPath, "rb") : nullptr;
    if (m_File == nullptr)
    {
        Trace(false, "OS File open error\r\n");
    }
    else
    {
        m_bLockCreated = true;
        int nErr = IMAGE_OK;
        bOk = Parse(m_File, &nErr);
        if (pErr != nullptr)
            *pErr = nErr;
        if (!bOk)
        {
            Trace(false, "COSUtil : Init --> faile, ErrCode = %d\r\n", nErr);
            std::fclose(m_File);
            m_File = nullptr;
            m_bLockCreated = false;
        }
        else
        {
            m_nState = OSUTIL_INITIALIZED;
        }
    }
    Trace(false, "COSUtil::Init--\r\n");
    if (!bOk)
        m_nState = OSUTIL_INIT_FAILED;
    return bOk;
}

void COSUtil::ResetHeldValues()
{
    std::memset(m_OemInfo, 0, sizeof(m_OemInfo));
    std::memset(m_dwHeaderWords, 0, sizeof(m_dwHeaderWords));
    m_dwImageFlag = 0;
    std::memset(m_dwOSSize, 0, sizeof(m_dwOSSize));
    std::memset(m_Bluetooth, 0, sizeof(m_Bluetooth));
    m_dwReserveBlocks = 0;
    m_nParseStage = PARSE_NOTHING;
    std::memcpy(m_HeaderDescriptors, DEFAULT_HEADER_DESCRIPTORS, sizeof(m_HeaderDescriptors));
}

const HEADER_DESCRIPTOR& COSUtil::GetDescriptor(int nIndex) const
{
    static const HEADER_DESCRIPTOR NO_ENTRY = {0, 0, "(none)"};
    if (nIndex < 0 || nIndex >= HEADER_DESCRIPTOR_COUNT)
        return NO_ENTRY;
    return m_HeaderDescriptors[nIndex];
}

bool COSUtil::Parse(std::FILE* pFile, int* pErr)
{
    Trace(false, "COSUtil::Parse ++\r\n");
    m_pParseFile = pFile;
    int nErr = ParseSteps(pFile);
    m_pParseFile = nullptr;
    if (pErr != nullptr)
        *pErr = nErr;
    Trace(false, "COSUtil::Parse --\r\n");
    return nErr == IMAGE_OK;
}

int COSUtil::ParseSteps(std::FILE* pFile)
{
    ResetHeldValues();

    BYTE header[IMAGE_HEADER_SIZE];
    if (!SeekReadFile(pFile, 0, IMAGE_HEADER_SIZE, header))
    {
        Trace(false, "OS File header read error \r\n");
        return IMAGE_READ_ERROR;
    }
    const HEADER_DESCRIPTOR& tag = m_HeaderDescriptors[FIELD_TAVU_TAG];
    if (std::memcmp(header + tag.nOffset, IMAGE_TAG, static_cast<size_t>(tag.nSize)) != 0)
        return IMAGE_BAD_TAG;

    // Part entries from the size words, in a table of their own until every check has
    // passed: no size from an unchecked header reaches this image's table. Every sum is
    // 64-bit, so size words that add up past 4 GiB cannot wrap into a length that
    // happens to match the file.
    HEADER_DESCRIPTOR table[HEADER_DESCRIPTOR_COUNT];
    std::memcpy(table, DEFAULT_HEADER_DESCRIPTORS, sizeof(table));
    QWORD qwSizes[SIZE_WORDS_HELD];
    for (DWORD i = 0; i < SIZE_WORDS_HELD; ++i)
        qwSizes[i] = ReadLE32(header + OFFSET_OS_SIZE + 4 * i);
    table[PART_RESERVE].nOffset = IMAGE_HEADER_SIZE;
    table[PART_RESERVE].nSize = static_cast<int64_t>(qwSizes[0]);
    table[PART_OS].nOffset = IMAGE_HEADER_SIZE;
    table[PART_OS].nSize = 0;
    int64_t nOffset = IMAGE_HEADER_SIZE + static_cast<int64_t>(qwSizes[0]);
    for (int i = 0; i < 6; ++i)
    {
        HEADER_DESCRIPTOR& entry = table[PART_BL + i];
        entry.nOffset = nOffset;
        entry.nSize = static_cast<int64_t>(qwSizes[PART_SIZE_INDEX[i]]);
        nOffset += entry.nSize;
    }

    // The file holds exactly the header and the parts; images of 4 GiB or more are
    // refused, so every offset and size of a usable image fits 32 bits.
    QWORD qwRequired = static_cast<QWORD>(nOffset);
    QWORD qwLength = 0;
    if (!FileLength(pFile, &qwLength) || qwLength != qwRequired || qwRequired > 0xFFFFFFFFull)
        return IMAGE_BAD_LAYOUT;

    m_dwImageFlag = ReadLE32(header + OFFSET_IMAGE_FLAG);
    for (DWORD i = 0; i < SIZE_WORDS_HELD; ++i)
        m_dwOSSize[i] = static_cast<DWORD>(qwSizes[i]);
    for (DWORD i = 0; i < HEADER_WORDS_HELD; ++i)
        m_dwHeaderWords[i] = ReadLE32(header + OFFSET_RELEASE_TAG + 4 * i);
    std::memcpy(m_Bluetooth, header + OFFSET_BLUETOOTH, BLUETOOTH_SIZE);
    m_nParseStage = PARSE_HEADER_KEPT;

    BYTE oemInfo[OEM_INFO_SIZE];
    if (!SeekReadFile(pFile, OEM_INFO_FILE_OFFSET, OEM_INFO_SIZE, oemInfo))
    {
        Trace(false, "OS File Oem info read error \r\n");
        return IMAGE_READ_ERROR;
    }
    std::memcpy(m_OemInfo, oemInfo, OEM_INFO_SIZE);
    m_nParseStage = PARSE_OEM_READ;

    RESERVED_ENTRY rev = {};
    std::memcpy(rev.szName, "REV", 4);
    bool bFound = DefineReserveRegions(&rev);
    if (m_bRevMatched)
    {
        m_dwReserveBlocks = rev.dwNumBlocks;
        m_nParseStage = PARSE_RESERVE_FOUND;
    }
    if (!bFound)
    {
        Trace(false, "DefineReserveRegions fail\r\n");
        return IMAGE_BAD_LAYOUT;
    }

    int64_t nReserveSize = static_cast<int64_t>(rev.dwNumBlocks) * BLOCK_SIZE;
    table[PART_RESERVE].nSize = nReserveSize;
    table[PART_OS].nOffset = IMAGE_HEADER_SIZE + nReserveSize;
    table[PART_OS].nSize = static_cast<int64_t>(qwSizes[0]) - nReserveSize;
    std::memcpy(m_HeaderDescriptors, table, sizeof(m_HeaderDescriptors));
    m_nParseStage = PARSE_COMPLETE;
    return IMAGE_OK;
}

bool COSUtil::FileLength(std::FILE* pFile, QWORD* pqwLen)
{
    QWORD qwSaved = 0;
    if (!Tell(pFile, &qwSaved))
        return false;
    bool bOk = std::fseek(pFile, 0, SEEK_END) == 0 && Tell(pFile, pqwLen);
    return SeekTo(pFile, qwSaved) && bOk;
}

bool COSUtil::SeekReadFile(std::FILE* pFile, QWORD qwPos, QWORD qwSize, BYTE* pBuf)
{
    if (pFile == nullptr)
    {
        Trace(false, "SeekReadFile : Invalid handle value.\r\n");
        return false;
    }
    if (pBuf == nullptr)
    {
        Trace(false, "SeekReadFile : Invalid buffer.\r\n");
        return false;
    }

    std::lock_guard<std::mutex> lock(m_csFile);
    QWORD qwLength = 0;
    if (!FileLength(pFile, &qwLength))
    {
        Trace(false, "SeekReadFile : file length unknown.\r\n");
        return false;
    }
    // pos + size is never formed, so it cannot wrap.
    if (qwPos > qwLength || qwSize > qwLength - qwPos)
    {
        Trace(false, "SeekReadFile : pos(%lld) or size(%lld) exceed file length(%lld)\r\n",
              static_cast<long long>(qwPos), static_cast<long long>(qwSize), static_cast<long long>(qwLength));
        return false;
    }
    QWORD qwSaved = 0;
    if (!Tell(pFile, &qwSaved) || !SeekTo(pFile, qwPos))
    {
        Trace(false, "SeekReadFile : seek error.\r\n");
        return false;
    }
    QWORD qwRead = 0;
    if (qwSize <= READ_PIECE_SIZE)
    {
        qwRead = qwSize == 0 ? 0 : std::fread(pBuf, 1, static_cast<size_t>(qwSize), pFile);
    }
    else
    {
        m_ReadPiece.resize(READ_PIECE_SIZE);
        while (qwRead < qwSize)
        {
            size_t nWant = qwSize - qwRead < READ_PIECE_SIZE ? static_cast<size_t>(qwSize - qwRead) : READ_PIECE_SIZE;
            size_t nGot = std::fread(m_ReadPiece.data(), 1, nWant, pFile);
            std::memcpy(pBuf + qwRead, m_ReadPiece.data(), nGot);
            qwRead += nGot;
            if (nGot != nWant)
                break;
        }
    }
    bool bRestored = SeekTo(pFile, qwSaved);
    return bRestored && qwRead == qwSize;
}

bool COSUtil::Extract(int nPart, BYTE* pBuf, QWORD qwLen)
{
    bool bValid = nPart >= 0 && nPart < HEADER_DESCRIPTOR_COUNT;
    Trace(false, "COSUtil :: Extract %s ++ pBuf = 0x%X len = %lld\r\n",
          GetDescriptor(nPart).pszName, PtrText(pBuf), static_cast<long long>(qwLen));
    bool bOk = false;
    if (!bValid)
    {
        Trace(false, "invalid part %d\r\n", nPart);
    }
    else if (m_File == nullptr)
    {
        Trace(false, "os file invalid\r\n");
    }
    else
    {
        const HEADER_DESCRIPTOR& entry = m_HeaderDescriptors[nPart];
        QWORD qwSize = entry.nSize < 0 ? 0 : static_cast<QWORD>(entry.nSize);
        if (qwLen < qwSize)
        {
            Trace(false, "buffer(%lld) smaller than needed(%lld)\r\n", static_cast<long long>(qwLen),
                  static_cast<long long>(entry.nSize));
        }
        else if (nPart == PART_RESERVE)
        {
            if (!SeekReadFile(m_File, static_cast<QWORD>(entry.nOffset), qwSize, pBuf))
                Trace(false, "SeakReadFile on PART_RESERVE error\r\n");
            else if (qwSize < OEM_INFO_REGION_OFFSET + OEM_INFO_SIZE)
                Trace(false, "reserve region too small for the OEM info\r\n");
            else
            {
                std::memcpy(pBuf + OEM_INFO_REGION_OFFSET, m_OemInfo, OEM_INFO_SIZE);
                bOk = true;
            }
        }
        else if (!SeekReadFile(m_File, static_cast<QWORD>(entry.nOffset), qwSize, pBuf))
        {
            Trace(false, "SeekReadFile error\r\n");
        }
        else
        {
            bOk = true;
        }
    }
    Trace(false, "COSUtil :: Extract --\r\n");
    return bOk;
}

bool COSUtil::HasParts(DWORD dwMask)
{
    return m_nState == OSUTIL_INITIALIZED && (m_dwImageFlag & dwMask) == dwMask;
}

void COSUtil::SetKey10(DWORD dwValue)
{
    m_dwHeaderWords[FIELD_KEY10 - FIELD_RELEASE_TAG] = dwValue;
}

void COSUtil::Close()
{
    Trace(false, "COSUtil :: ~COSUtil++ m_File = 0x%X\r\n", PtrText(m_File));
    if (m_File != nullptr)
    {
        std::fclose(m_File);
        m_File = nullptr;
    }
    m_bLockCreated = false;
    // With the file released the container no longer holds an image: a later Init
    // opens and checks the file again instead of returning at once on a closed file.
    if (m_nState == OSUTIL_INITIALIZED)
        m_nState = OSUTIL_NOT_INITIALIZED;
    Trace(false, "COSUtil :: ~COSUtil--\r\n");
}
