#include "LegacyImage.h"

#include <cstdio>
#include <cstring>

#include "common/ByteOrder.h"

BYTE PatternByte(int nPart, DWORD dwIndex)
{
    return static_cast<BYTE>(dwIndex * 7 + (dwIndex >> 8) * 13 + (dwIndex >> 16) * 29 + 31 * nPart + 1);
}

CLegacyImage::CLegacyImage(const LEGACY_IMAGE_SPEC& spec) : m_Spec(spec)
{
    if (m_Spec.entries.empty())
        m_Spec.entries.push_back({"REV", 0, m_Spec.dwReserveBlocks});

    BYTE header[IMAGE_HEADER_SIZE] = {};
    std::memcpy(header, IMAGE_TAG, 4);
    WriteLE32(header + OFFSET_IMAGE_FLAG, m_Spec.dwFlag);
    const DWORD sizeWords[8] = {m_Spec.dwOsBlocks * BLOCK_SIZE + m_Spec.dwOsExtra, m_Spec.dwBl, m_Spec.dwUd, m_Spec.dwVn,
                                m_Spec.dwEb, m_Spec.dwS5, m_Spec.dwGsm1, m_Spec.dwGsm2};
    for (DWORD i = 0; i < 8; ++i)
        WriteLE32(header + OFFSET_OS_SIZE + 4 * i, sizeWords[i]);
    WriteLE32(header + OFFSET_RELEASE_TAG, m_Spec.dwReleaseTag);
    WriteLE32(header + OFFSET_KEY1, m_Spec.dwKey1);
    for (DWORD dwOff = 64; dwOff < 96; dwOff += 4)
        WriteLE32(header + dwOff, 0xC0DE0000u + dwOff);
    WriteLE32(header + OFFSET_KEY10, m_Spec.dwKey10);
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
    if (m_Spec.nLayoutBlock >= 0)
    {
        BYTE* pBoot = pOs + static_cast<size_t>(m_Spec.nLayoutBlock) * BLOCK_SIZE;
        if (m_Spec.bBootSector)
        {
            pBoot[0] = 0xEB;
            pBoot[510] = 0x55;
            pBoot[511] = 0xAA;
        }
        BYTE* pLayout = pBoot + SECTOR_SIZE;
        if (m_Spec.bLayoutSignature)
            std::memcpy(pLayout, LAYOUT_SIGNATURE, 8);
        DWORD dwTable = m_Spec.dwTableSizeOverride != 0 ? m_Spec.dwTableSizeOverride
                                                        : static_cast<DWORD>(m_Spec.entries.size()) * RESERVED_ENTRY_SIZE;
        WriteLE32(pLayout + 8, dwTable);
        WriteLE32(pLayout + 12, 0);
        for (size_t i = 0; i < m_Spec.entries.size(); ++i)
        {
            BYTE* pEntry = pLayout + LAYOUT_HEAD_SIZE + i * RESERVED_ENTRY_SIZE;
            std::memset(pEntry, 0, 8);
            std::memcpy(pEntry, m_Spec.entries[i].strName.data(),
                        m_Spec.entries[i].strName.size() < 8 ? m_Spec.entries[i].strName.size() : 8);
            WriteLE32(pEntry + 8, m_Spec.entries[i].dwStartBlock);
            WriteLE32(pEntry + 12, m_Spec.entries[i].dwNumBlocks);
        }
    }

    // Sector 63: the scrambled version text and its stored zero.
    if (PartSize(LPART_OS) >= (OEM_INFO_SECTOR + 1) * SECTOR_SIZE)
    {
        BYTE* pSector = pOs + OEM_INFO_SECTOR * SECTOR_SIZE;
        BYTE key[4];
        WriteLE32(key, m_Spec.dwKey1);
        for (size_t i = 0; i < m_Spec.strVersion.size(); ++i)
            pSector[i] = static_cast<BYTE>((static_cast<BYTE>(m_Spec.strVersion[i]) ^ key[i % 4]) + 10);
        pSector[m_Spec.strVersion.size()] = 0;
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
        return m_Spec.dwOsBlocks * BLOCK_SIZE + m_Spec.dwOsExtra;
    case LPART_BL:
        return m_Spec.dwBl;
    case LPART_UD:
        return m_Spec.dwUd;
    case LPART_VN:
        return m_Spec.dwVn;
    case LPART_EB:
        return m_Spec.dwEb;
    case LPART_GSM1:
        return m_Spec.dwGsm1;
    case LPART_GSM2:
        return m_Spec.dwGsm2;
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
    std::memcpy(sector.data(), m_Spec.strVersion.data(), m_Spec.strVersion.size());
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
