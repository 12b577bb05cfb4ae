#include "LegacyImage.h"

#include <cstdio>
#include <cstring>

#include "common/ByteOrder.h"

BYTE PatternByte(int nPart, DWORD dwIndex)
{
    return static_cast<BYTE>(dwIndex * 7 + (dwIndex >> 8) * 13 + (dwIndex >> 16) * 29 + 31 * nPart + 1);
}

CLegacyImage::CLegacyImage(const LEGACY_IMAGE_LAYOUT& layout) : m_Layout(layout)
{
    if (m_Layout.entries.empty())
        m_Layout.entries.push_back({"REV", 0, m_Layout.dwReserveBlocks});

    BYTE header[IMAGE_HEADER_SIZE] = {};
    std::memcpy(header, IMAGE_TAG, 4);
    WriteLE32(header + OFFSET_IMAGE_FLAG, m_Layout.dwFlag);
    const DWORD sizeWords[8] = {m_Layout.dwOsBlocks * BLOCK_SIZE + m_Layout.dwOsExtra, m_Layout.dwBl, m_Layout.dwUd, m_Layout.dwVn,
                                m_Layout.dwEb, m_Layout.dwS5, m_Layout.dwGsm1, m_Layout.dwGsm2};
    for (DWORD i = 0; i < 8; ++i)
        WriteLE32(header + OFFSET_OS_SIZE + 4 * i, sizeWords[i]);
    WriteLE32(header + OFFSET_RELEASE_TAG, m_Layout.dwReleaseTag);
    WriteLE32(header + OFFSET_KEY1, m_Layout.dwKey1);
    for (DWORD dwOff = 64; dwOff < 96; dwOff += 4)
        WriteLE32(header + dwOff, 0xC0DE0000u + dwOff);
    WriteLE32(header + OFFSET_KEY10, m_Layout.dwKey10);
    for (DWORD i = 0; i < BLUETOOTH_SIZE; ++i)
        header[OFFSET_BLUETOOTH + i] = static_cast<BYTE>(0xB0 + i);
    m_Bytes.assign(header, header + IMAGE_HEADER_SIZE);

    for (int nPart = 0; nPart < LPART_COUNT; ++nPart)
    {
        DWORD dwSize = PartSize(nPart);
        for (DWORD i = 0; i < dwSize; ++i)
            m_Bytes.push_back(PatternByte(nPart, i));
    }

    BYTE* pOs = m_Bytes.data() + IMAGE_HEADER_SIZE;
    if (m_Layout.nLayoutBlock >= 0)
    {
        BYTE* pBoot = pOs + static_cast<size_t>(m_Layout.nLayoutBlock) * BLOCK_SIZE;
        if (m_Layout.bBootSector)
        {
            pBoot[0] = 0xEB;
            pBoot[510] = 0x55;
            pBoot[511] = 0xAA;
        }
        BYTE* pLayout = pBoot + SECTOR_SIZE;
        if (m_Layout.bLayoutSignature)
            std::memcpy(pLayout, LAYOUT_SIGNATURE, 8);
        DWORD dwTable = m_Layout.dwTableSizeOverride != 0 ? m_Layout.dwTableSizeOverride
                                                        : static_cast<DWORD>(m_Layout.entries.size()) * RESERVED_ENTRY_SIZE;
        WriteLE32(pLayout + 8, dwTable);
        WriteLE32(pLayout + 12, 0);
        for (size_t i = 0; i < m_Layout.entries.size(); ++i)
        {
            BYTE* pEntry = pLayout + LAYOUT_HEAD_SIZE + i * RESERVED_ENTRY_SIZE;
            std::memset(pEntry, 0, 8);
            std::memcpy(pEntry, m_Layout.entries[i].strName.data(),
                        m_Layout.entries[i].strName.size() < 8 ? m_Layout.entries[i].strName.size() : 8);
            WriteLE32(pEntry + 8, m_Layout.entries[i].dwStartBlock);
            WriteLE32(pEntry + 12, m_Layout.entries[i].dwNumBlocks);
        }
    }

    // Sector 63: the scrambled version text and its stored zero.
    if (PartSize(LPART_OS) >= (OEM_INFO_SECTOR + 1) * SECTOR_SIZE)
    {
        BYTE* pSector = pOs + OEM_INFO_SECTOR * SECTOR_SIZE;
        BYTE key[4];
        WriteLE32(key, m_Layout.dwKey1);
        for (size_t i = 0; i < m_Layout.strVersion.size(); ++i)
            pSector[i] = static_cast<BYTE>((static_cast<BYTE>(m_Layout.strVersion[i]) ^ key[i % 4]) + 10);
        pSector[m_Layout.strVersion.size()] = 0;
    }
}

std::vector<BYTE> CLegacyImage::Header() const
{
    return std::vector<BYTE>(m_Bytes.begin(), m_Bytes.begin() + IMAGE_HEADER_SIZE);
}

DWORD CLegacyImage::PartSize(int nPart) const
{
    switch (nPart)
    {
    case LPART_OS:
        return m_Layout.dwOsBlocks * BLOCK_SIZE + m_Layout.dwOsExtra;
    case LPART_BL:
        return m_Layout.dwBl;
    case LPART_UD:
        return m_Layout.dwUd;
    case LPART_VN:
        return m_Layout.dwVn;
    case LPART_EB:
        return m_Layout.dwEb;
    case LPART_GSM1:
        return m_Layout.dwGsm1;
    case LPART_GSM2:
        return m_Layout.dwGsm2;
    default:
        return 0;
    }
}

DWORD CLegacyImage::PartOffset(int nPart) const
{
    DWORD dwOffset = IMAGE_HEADER_SIZE;
    for (int i = 0; i < nPart; ++i)
        dwOffset += PartSize(i);
    return dwOffset;
}

std::vector<BYTE> CLegacyImage::Part(int nPart) const
{
    auto itStart = m_Bytes.begin() + PartOffset(nPart);
    return std::vector<BYTE>(itStart, itStart + PartSize(nPart));
}

std::vector<BYTE> CLegacyImage::PlainSector63() const
{
    auto itStart = m_Bytes.begin() + OEM_INFO_FILE_OFFSET;
    std::vector<BYTE> sector(itStart, itStart + SECTOR_SIZE);
    std::memcpy(sector.data(), m_Layout.strVersion.data(), m_Layout.strVersion.size());
    return sector;
}

bool CLegacyImage::Write(const std::string& strPath) const
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    bool bOk = std::fwrite(m_Bytes.data(), 1, m_Bytes.size(), pFile) == m_Bytes.size();
    return std::fclose(pFile) == 0 && bOk;
}
