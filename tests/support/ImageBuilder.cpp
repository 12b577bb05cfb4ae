#include "support/ImageBuilder.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "common/ByteOrder.h"

namespace
{
// Size word index of each part entry 17..22.
constexpr int PART_SIZE_INDEX[] = {1, 2, 3, 4, 6, 7};
// Id whose pattern fills bytes past the last part.
constexpr int TRAILING_PATTERN_ID = 23;
}

CImageBuilder::CImageBuilder()
{
    m_dwSizes[0] = 2 * BLOCK_SIZE;
    m_dwSizes[1] = 1000;
    m_dwSizes[2] = 777;
    m_dwSizes[3] = 1500;
    m_dwSizes[4] = 600;
    m_dwSizes[6] = 300;
    m_dwSizes[7] = 450;
    m_dwHeaderWords[0] = 0x0A3D72F4;
    m_dwHeaderWords[1] = 0x5AC31E87;
    for (int i = 2; i <= 8; ++i)
        m_dwHeaderWords[i] = 0x21212121u * static_cast<DWORD>(i);
    m_dwHeaderWords[9] = 2;
    m_dwHeaderWords[10] = 7;
    for (DWORD i = 0; i < BLUETOOTH_SIZE; ++i)
        m_Bluetooth[i] = static_cast<BYTE>(0xB0 + i);
    m_Entries = {{"IPL", 0, 0}, {"REV", 0, 1}};
}

CImageBuilder& CImageBuilder::SetTag(const std::string& strTag)
{
    m_strTag = strTag;
    return *this;
}

CImageBuilder& CImageBuilder::SetImageFlag(DWORD dwFlag)
{
    m_dwImageFlag = dwFlag;
    return *this;
}

CImageBuilder& CImageBuilder::SetSize(int nIndex, DWORD dwSize)
{
    m_dwSizes[nIndex] = dwSize;
    return *this;
}

CImageBuilder& CImageBuilder::SetOsPartBlocks(DWORD dwBlocks)
{
    m_dwSizes[0] = dwBlocks * BLOCK_SIZE;
    return *this;
}

CImageBuilder& CImageBuilder::SetHeaderWord(int nIndex, DWORD dwValue)
{
    m_dwHeaderWords[nIndex] = dwValue;
    return *this;
}

CImageBuilder& CImageBuilder::SetBluetooth(const std::array<BYTE, BLUETOOTH_SIZE>& bluetooth)
{
    m_Bluetooth = bluetooth;
    return *this;
}

CImageBuilder& CImageBuilder::SetReserveBlocks(DWORD dwBlocks)
{
    bool bFound = false;
    for (RESERVED_ITEM& item : m_Entries)
        if (item.strName == "REV")
        {
            item.dwNumBlocks = dwBlocks;
            bFound = true;
        }
    if (!bFound)
        m_Entries.push_back({"REV", 0, dwBlocks});
    return *this;
}

CImageBuilder& CImageBuilder::SetReservedEntries(const std::vector<RESERVED_ITEM>& entries)
{
    m_Entries = entries;
    return *this;
}

CImageBuilder& CImageBuilder::SetTableLength(DWORD dwBytes)
{
    m_bTableLengthSet = true;
    m_dwTableLength = dwBytes;
    return *this;
}

CImageBuilder& CImageBuilder::SetBootSector(int64_t nSector)
{
    m_nBootSector = nSector;
    return *this;
}

CImageBuilder& CImageBuilder::SetBootByte(BYTE bFirst)
{
    m_bBootByte = bFirst;
    return *this;
}

CImageBuilder& CImageBuilder::SetLayoutSignature(const std::string& strSignature)
{
    m_strSignature = strSignature;
    return *this;
}

CImageBuilder& CImageBuilder::AddLoneBootSector(int64_t nSector)
{
    m_LoneBootSectors.push_back(nSector);
    return *this;
}

CImageBuilder& CImageBuilder::SetVersionText(const std::string& strText)
{
    m_strVersion = strText;
    return *this;
}

CImageBuilder& CImageBuilder::SetTrailingBytes(int64_t nDelta)
{
    m_nTrailing = nDelta;
    return *this;
}

BYTE CImageBuilder::PatternByte(int nPart, QWORD qwOffset)
{
    // Consecutive bytes differ by 1 or 2, so no 0x55 0xAA pair and no "MSFLSH50" can
    // appear; parts differ from each other by a multiple of 0x25 at the same offset.
    return static_cast<BYTE>(qwOffset + (qwOffset >> 8) + static_cast<QWORD>(nPart) * 0x25);
}

DWORD CImageBuilder::ReserveBlocks() const
{
    size_t nRead = m_Entries.size() < RESERVED_ENTRIES_MAX ? m_Entries.size() : RESERVED_ENTRIES_MAX;
    DWORD dwTableLength = m_bTableLengthSet ? m_dwTableLength : static_cast<DWORD>(nRead * RESERVED_ENTRY_SIZE);
    size_t nCount = dwTableLength / RESERVED_ENTRY_SIZE;
    if (nCount > nRead)
        nCount = nRead;
    for (size_t i = 0; i < nCount; ++i)
        if (m_Entries[i].strName == "REV")
            return m_Entries[i].dwNumBlocks;
    return 0;
}

QWORD CImageBuilder::RequiredLength() const
{
    QWORD qwLength = IMAGE_HEADER_SIZE + static_cast<QWORD>(m_dwSizes[0]);
    for (int nIndex : PART_SIZE_INDEX)
        qwLength += m_dwSizes[nIndex];
    return qwLength;
}

QWORD CImageBuilder::PartOffset(int nPart) const
{
    QWORD qwReserve = static_cast<QWORD>(ReserveBlocks()) * BLOCK_SIZE;
    if (nPart == PART_RESERVE)
        return IMAGE_HEADER_SIZE;
    if (nPart == PART_OS)
        return IMAGE_HEADER_SIZE + qwReserve;
    QWORD qwOffset = IMAGE_HEADER_SIZE + static_cast<QWORD>(m_dwSizes[0]);
    for (int i = 0; i < nPart - PART_BL; ++i)
        qwOffset += m_dwSizes[PART_SIZE_INDEX[i]];
    return qwOffset;
}

QWORD CImageBuilder::PartSize(int nPart) const
{
    QWORD qwReserve = static_cast<QWORD>(ReserveBlocks()) * BLOCK_SIZE;
    if (nPart == PART_RESERVE)
        return qwReserve;
    if (nPart == PART_OS)
        return m_dwSizes[0] > qwReserve ? m_dwSizes[0] - qwReserve : 0;
    return m_dwSizes[PART_SIZE_INDEX[nPart - PART_BL]];
}

std::vector<BYTE> CImageBuilder::Build() const
{
    QWORD qwRequired = RequiredLength();
    int64_t nFinal = static_cast<int64_t>(qwRequired) + m_nTrailing;
    if (nFinal < 0)
        nFinal = 0;
    QWORD qwFull = qwRequired > static_cast<QWORD>(nFinal) ? qwRequired : static_cast<QWORD>(nFinal);
    std::vector<BYTE> image(qwFull);
    BYTE* p = image.data();

    // Header.
    for (size_t i = 0; i < 4 && i < m_strTag.size(); ++i)
        p[i] = static_cast<BYTE>(m_strTag[i]);
    WriteLE32(p + OFFSET_IMAGE_FLAG, m_dwImageFlag);
    for (DWORD i = 0; i < SIZE_WORD_COUNT; ++i)
        WriteLE32(p + OFFSET_OS_SIZE + 4 * i, m_dwSizes[i]);
    for (DWORD i = 0; i < HEADER_WORDS_HELD; ++i)
        WriteLE32(p + OFFSET_RELEASE_TAG + 4 * i, m_dwHeaderWords[i]);
    std::memcpy(p + OFFSET_BLUETOOTH, m_Bluetooth.data(), BLUETOOTH_SIZE);

    // OS part: the reserve region, then the operating system.
    QWORD qwSplit = PartSize(PART_RESERVE);
    if (qwSplit > m_dwSizes[0])
        qwSplit = m_dwSizes[0];
    BYTE* pOs = p + IMAGE_HEADER_SIZE;
    for (QWORD j = 0; j < qwSplit; ++j)
        pOs[j] = PatternByte(PART_RESERVE, j);
    for (QWORD j = qwSplit; j < m_dwSizes[0]; ++j)
        pOs[j] = PatternByte(PART_OS, j - qwSplit);
    for (int nPart = PART_BL; nPart <= PART_MOT_FILE; ++nPart)
    {
        BYTE* pPart = p + PartOffset(nPart);
        QWORD qwSize = PartSize(nPart);
        for (QWORD j = 0; j < qwSize; ++j)
            pPart[j] = PatternByte(nPart, j);
    }
    for (QWORD j = qwRequired; j < qwFull; ++j)
        p[j] = PatternByte(TRAILING_PATTERN_ID, j - qwRequired);

    // OEM info: the scrambled version text and its stored zero, when sector 63 lies in the OS part.
    if (static_cast<QWORD>(OEM_INFO_FILE_OFFSET) + OEM_INFO_SIZE <= IMAGE_HEADER_SIZE + static_cast<QWORD>(m_dwSizes[0]))
    {
        BYTE key[4];
        WriteLE32(key, m_dwHeaderWords[1]);
        BYTE* pOem = p + OEM_INFO_FILE_OFFSET;
        size_t nText = m_strVersion.size() < OEM_INFO_SIZE ? m_strVersion.size() : OEM_INFO_SIZE;
        for (size_t i = 0; i < nText; ++i)
            pOem[i] = static_cast<BYTE>((static_cast<BYTE>(m_strVersion[i]) ^ key[i % 4]) + 10);
        if (nText < OEM_INFO_SIZE)
            pOem[nText] = 0;
    }

    // Boot sectors, and the layout sector after the real one.
    auto SectorAt = [&](int64_t nSector) -> BYTE* {
        if (nSector < 0)
            return nullptr;
        QWORD qwOffset = IMAGE_HEADER_SIZE + static_cast<QWORD>(nSector) * SECTOR_SIZE;
        return qwOffset + SECTOR_SIZE <= qwFull ? p + qwOffset : nullptr;
    };
    auto WriteBoot = [&](BYTE* pSector) {
        pSector[0] = m_bBootByte;
        pSector[510] = 0x55;
        pSector[511] = 0xAA;
    };
    for (int64_t nSector : m_LoneBootSectors)
        if (BYTE* pSector = SectorAt(nSector))
            WriteBoot(pSector);
    BYTE* pBoot = SectorAt(m_nBootSector);
    BYTE* pLayout = m_nBootSector >= 0 ? SectorAt(m_nBootSector + 1) : nullptr;
    if (pBoot != nullptr && pLayout != nullptr)
    {
        WriteBoot(pBoot);
        std::memset(pLayout, 0, LAYOUT_HEAD_SIZE);
        for (size_t i = 0; i < 8 && i < m_strSignature.size(); ++i)
            pLayout[i] = static_cast<BYTE>(m_strSignature[i]);
        size_t nWritten = m_Entries.size() < RESERVED_ENTRIES_MAX ? m_Entries.size() : RESERVED_ENTRIES_MAX;
        WriteLE32(pLayout + 8, m_bTableLengthSet ? m_dwTableLength : static_cast<DWORD>(nWritten * RESERVED_ENTRY_SIZE));
        for (size_t i = 0; i < nWritten; ++i)
        {
            BYTE* pItem = pLayout + LAYOUT_HEAD_SIZE + i * RESERVED_ENTRY_SIZE;
            std::memset(pItem, 0, 8);
            const std::string& strName = m_Entries[i].strName;
            std::memcpy(pItem, strName.data(), strName.size() < 8 ? strName.size() : 8);
            WriteLE32(pItem + 8, m_Entries[i].dwStartBlock);
            WriteLE32(pItem + 12, m_Entries[i].dwNumBlocks);
        }
    }

    image.resize(static_cast<size_t>(nFinal));
    return image;
}

bool CImageBuilder::WriteTo(const std::string& strPath) const
{
    std::vector<BYTE> image = Build();
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    bool bOk = image.empty() || std::fwrite(image.data(), 1, image.size(), pFile) == image.size();
    return std::fclose(pFile) == 0 && bOk;
}

std::vector<BYTE> CImageBuilder::PartBytes(int nPart) const
{
    std::vector<BYTE> image = Build();
    QWORD qwOffset = PartOffset(nPart);
    QWORD qwSize = PartSize(nPart);
    if (qwOffset + qwSize > image.size())
        return {};
    return std::vector<BYTE>(image.begin() + static_cast<ptrdiff_t>(qwOffset),
                             image.begin() + static_cast<ptrdiff_t>(qwOffset + qwSize));
}

std::vector<BYTE> CImageBuilder::OemInfo() const
{
    std::vector<BYTE> image = Build();
    if (image.size() < static_cast<QWORD>(OEM_INFO_FILE_OFFSET) + OEM_INFO_SIZE)
        return std::vector<BYTE>(OEM_INFO_SIZE, 0);
    return std::vector<BYTE>(image.begin() + OEM_INFO_FILE_OFFSET, image.begin() + OEM_INFO_FILE_OFFSET + OEM_INFO_SIZE);
}

std::vector<BYTE> CImageBuilder::PreparedImage(DWORD dwFlag, int nOsType) const
{
    if (dwFlag >= FLAG_LIMIT)
        return {};
    if ((dwFlag & FLAG_OS) && (nOsType < OS_TYPE_OS || nOsType > OS_TYPE_RESERVE_AND_OS))
        return {};
    const DWORD dwOemParts = FLAG_BL | FLAG_UD | FLAG_MOT;
    std::vector<BYTE> out(IMAGE_HEADER_SIZE, 0);
    std::memcpy(out.data(), "TAVU", 4);
    WriteLE32(out.data() + OFFSET_IMAGE_FLAG, dwFlag);
    auto Append = [&out](const std::vector<BYTE>& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); };

    DWORD dwOsWord = 0;
    if (dwFlag & FLAG_OS)
    {
        if (nOsType != OS_TYPE_OS)
        {
            Append(PartBytes(PART_RESERVE));
            dwOsWord += static_cast<DWORD>(PartSize(PART_RESERVE));
        }
        if (nOsType != OS_TYPE_RESERVE)
        {
            Append(PartBytes(PART_OS));
            dwOsWord += static_cast<DWORD>(PartSize(PART_OS));
        }
    }
    else if (dwFlag & dwOemParts)
    {
        std::vector<BYTE> oemBlock(OEM_BLOCK_SIZE, 0);
        std::vector<BYTE> oemInfo = OemInfo();
        std::memcpy(oemBlock.data() + OEM_INFO_REGION_OFFSET, oemInfo.data(), OEM_INFO_SIZE);
        Append(oemBlock);
        dwOsWord = OEM_BLOCK_SIZE;
    }
    WriteLE32(out.data() + OFFSET_OS_SIZE, dwOsWord);
    const struct
    {
        DWORD dwBit;
        int nPart;
        int nWord;
    } parts[] = {{FLAG_BL, PART_BL, 1},   {FLAG_UD, PART_UD, 2},  {FLAG_VN, PART_VN, 3},
                 {FLAG_EB, PART_EB, 4},   {FLAG_MOT, PART_MOT, 6}, {FLAG_MOT, PART_MOT_FILE, 7}};
    for (const auto& part : parts)
        if (dwFlag & part.dwBit)
        {
            Append(PartBytes(part.nPart));
            WriteLE32(out.data() + OFFSET_OS_SIZE + 4 * part.nWord, static_cast<DWORD>(PartSize(part.nPart)));
        }
    for (DWORD i = 0; i < HEADER_WORDS_HELD; ++i)
        WriteLE32(out.data() + OFFSET_RELEASE_TAG + 4 * i, m_dwHeaderWords[i]);
    std::memcpy(out.data() + OFFSET_BLUETOOTH, m_Bluetooth.data(), BLUETOOTH_SIZE);
    return out;
}

CTempDir::CTempDir(bool bEnter)
{
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec)
        base = "/tmp";
    std::random_device random;
    for (int nTry = 0; nTry < 100 && m_strPath.empty(); ++nTry)
    {
        char szName[32];
        std::snprintf(szName, sizeof(szName), "vuq-test-%08x", static_cast<unsigned>(random()));
        std::filesystem::path dir = base / szName;
        if (std::filesystem::create_directory(dir, ec) && !ec)
            m_strPath = dir.string();
    }
    if (bEnter && !m_strPath.empty())
    {
        m_strPrevious = std::filesystem::current_path(ec).string();
        std::filesystem::current_path(m_strPath, ec);
    }
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    if (!m_strPrevious.empty())
        std::filesystem::current_path(m_strPrevious, ec);
    if (!m_strPath.empty())
        std::filesystem::remove_all(m_strPath, ec);
}
