// COSUtil: building the images sent to the handset, a rebuilt header followed by
// the parts its flag selects, in one caller-owned buffer.
#include <cstring>

#include "common/ByteOrder.h"
#include "common/Trace.h"
#include "image/OSUtil.h"

namespace
{
unsigned PtrText(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}

constexpr DWORD FLAG_NEEDS_OEM_BLOCK = FLAG_BL | FLAG_UD | FLAG_MOT;
}

QWORD COSUtil::EntrySize(int nPart) const
{
    int64_t nSize = GetDescriptor(nPart).nSize;
    return nSize < 0 ? 0 : static_cast<QWORD>(nSize);
}

bool COSUtil::OsPartSize(int nOsType, QWORD* pqwSize) const
{
    switch (nOsType)
    {
    case OS_TYPE_OS:
        *pqwSize = EntrySize(PART_OS);
        return true;
    case OS_TYPE_RESERVE:
        *pqwSize = EntrySize(PART_RESERVE);
        return true;
    case OS_TYPE_RESERVE_AND_OS:
        *pqwSize = EntrySize(PART_RESERVE) + EntrySize(PART_OS);
        return true;
    default:
        return false;
    }
}

bool COSUtil::RequiredSize(DWORD dwFlag, int nOsType, QWORD* pqwSize) const
{
    QWORD qwSize = IMAGE_HEADER_SIZE;
    if (dwFlag & FLAG_OS)
    {
        QWORD qwOs = 0;
        if (!OsPartSize(nOsType, &qwOs))
            return false;
        qwSize += qwOs;
    }
    else if (dwFlag & FLAG_NEEDS_OEM_BLOCK)
    {
        qwSize += OEM_BLOCK_SIZE;
    }
    if (dwFlag & FLAG_BL)
        qwSize += EntrySize(PART_BL);
    if (dwFlag & FLAG_UD)
        qwSize += EntrySize(PART_UD);
    if (dwFlag & FLAG_VN)
        qwSize += EntrySize(PART_VN);
    if (dwFlag & FLAG_EB)
        qwSize += EntrySize(PART_EB);
    if (dwFlag & FLAG_MOT)
        qwSize += EntrySize(PART_MOT) + EntrySize(PART_MOT_FILE);
    *pqwSize = qwSize;
    return qwSize <= 0xFFFFFFFFull;
}

bool COSUtil::PrepareHeader(DWORD dwFlag, int nOsType, BYTE* pBuf)
{
    Trace(false, "COSUtil::PrepareHeader++ pBuf = 0x%X\r\n", PtrText(pBuf));
    bool bOk = false;
    QWORD qwOsWord = 0;
    if (dwFlag >= FLAG_LIMIT)
    {
        Trace(false, "unknown flag bit\r\n");
    }
    else if (pBuf == nullptr)
    {
        Trace(false, "PrepareHeader : invalid buffer\r\n");
    }
    else if ((dwFlag & FLAG_OS) && !OsPartSize(nOsType, &qwOsWord))
    {
        Trace(false, "OS_TYPE unknown!!!\r\n");
    }
    else if (qwOsWord > 0xFFFFFFFFull)
    {
        Trace(false, "PrepareHeader : OS part size does not fit a size word\r\n");
    }
    else
    {
        if (!(dwFlag & FLAG_OS) && (dwFlag & FLAG_NEEDS_OEM_BLOCK))
            qwOsWord = OEM_BLOCK_SIZE;
        BYTE header[IMAGE_HEADER_SIZE] = {};
        std::memcpy(header, IMAGE_TAG, 4);
        WriteLE32(header + OFFSET_IMAGE_FLAG, dwFlag);
        DWORD dwSizes[SIZE_WORD_COUNT] = {};
        dwSizes[0] = static_cast<DWORD>(qwOsWord);
        if (dwFlag & FLAG_BL)
            dwSizes[1] = static_cast<DWORD>(EntrySize(PART_BL));
        if (dwFlag & FLAG_UD)
            dwSizes[2] = static_cast<DWORD>(EntrySize(PART_UD));
        if (dwFlag & FLAG_VN)
            dwSizes[3] = static_cast<DWORD>(EntrySize(PART_VN));
        if (dwFlag & FLAG_EB)
            dwSizes[4] = static_cast<DWORD>(EntrySize(PART_EB));
        if (dwFlag & FLAG_MOT)
        {
            dwSizes[6] = static_cast<DWORD>(EntrySize(PART_MOT));
            dwSizes[7] = static_cast<DWORD>(EntrySize(PART_MOT_FILE));
        }
        for (DWORD i = 0; i < SIZE_WORD_COUNT; ++i)
            WriteLE32(header + OFFSET_OS_SIZE + 4 * i, dwSizes[i]);
        for (DWORD i = 0; i < HEADER_WORDS_HELD; ++i)
            WriteLE32(header + OFFSET_RELEASE_TAG + 4 * i, m_dwHeaderWords[i]);
        std::memcpy(header + OFFSET_BLUETOOTH, m_Bluetooth, BLUETOOTH_SIZE);
        std::memcpy(pBuf, header, IMAGE_HEADER_SIZE);
        bOk = true;
    }
    Trace(false, "COSUtil::PrepareHeader--\r\n");
    return bOk;
}

DWORD COSUtil::PrepareOSOnMem(DWORD dwFlag, int nOsType, BYTE* pBuf, DWORD dwLen)
{
    Trace(false, "COSUtil : PrepareOSOnMem++ flag = 0x%X, pBuf = 0x%X\r\n", dwFlag, PtrText(pBuf));
    DWORD dwResult = 0;
    QWORD qwRequired = 0;
    if (dwFlag >= FLAG_LIMIT)
    {
        Trace(false, "unknown flag\r\n");
    }
    else if ((dwFlag & FLAG_OS) && nOsType != OS_TYPE_OS && nOsType != OS_TYPE_RESERVE &&
             nOsType != OS_TYPE_RESERVE_AND_OS)
    {
        // Refused outright: a header whose size word [0] does not match the data after it
        // would be sent otherwise.
        Trace(false, "OS_TYPE unknown!!!\r\n");
    }
    else if (!RequiredSize(dwFlag, nOsType, &qwRequired))
    {
        Trace(false, "required size %llu does not fit 32 bits\r\n", static_cast<unsigned long long>(qwRequired));
    }
    else if (pBuf == nullptr)
    {
        Trace(false, "buffer is invalid, return required size\r\n");
        dwResult = static_cast<DWORD>(qwRequired);
    }
    else if (dwLen < qwRequired)
    {
        Trace(false, "buffer is not enough");
    }
    else if (!PrepareHeader(dwFlag, nOsType, pBuf))
    {
        Trace(false, "prepare header error\r\n");
    }
    else
    {
        int64_t nFree = static_cast<int64_t>(dwLen) - IMAGE_HEADER_SIZE;
        BYTE* pPos = pBuf + IMAGE_HEADER_SIZE;
        bool bOk = true;
        // Copies one part at the running position; pszTag names it in the failure line.
        auto Put = [&](int nPart, const char* pszTag) {
            if (!bOk)
                return;
            if (nFree < 0 || !Extract(nPart, pPos, static_cast<QWORD>(nFree)))
            {
                Trace(false, "Extract %s fail buf = 0x%X, len = %lld\r\n", pszTag, PtrText(pPos),
                      static_cast<long long>(nFree));
                bOk = false;
                return;
            }
            int64_t nSize = static_cast<int64_t>(EntrySize(nPart));
            pPos += nSize;
            nFree -= nSize;
        };
        if (dwFlag & FLAG_OS)
        {
            if (nOsType == OS_TYPE_RESERVE || nOsType == OS_TYPE_RESERVE_AND_OS)
                Put(PART_RESERVE, "PART_RESERVE");
            if (nOsType == OS_TYPE_OS || nOsType == OS_TYPE_RESERVE_AND_OS)
                Put(PART_OS, "PART_OS");
        }
        else if (dwFlag & FLAG_NEEDS_OEM_BLOCK)
        {
            // The OEM block stands in for the reserve region: the OEM info at its place and
            // zeros elsewhere, so the same image always gives the same bytes.
            if (nFree < static_cast<int64_t>(OEM_BLOCK_SIZE))
            {
                bOk = false;
                nFree -= OEM_BLOCK_SIZE;
            }
            else
            {
                std::memset(pPos, 0, OEM_BLOCK_SIZE);
                std::memcpy(pPos + OEM_INFO_REGION_OFFSET, m_OemInfo, OEM_INFO_SIZE);
                pPos += OEM_BLOCK_SIZE;
                nFree -= OEM_BLOCK_SIZE;
            }
        }
        if (dwFlag & FLAG_BL)
            Put(PART_BL, "PART_BL");
        if (dwFlag & FLAG_UD)
            Put(PART_UD, "PART_UD");
        if (dwFlag & FLAG_VN)
            Put(PART_VN, "PART_VN");
        if (dwFlag & FLAG_EB)
            Put(PART_EB, "PART_EB");
        if (dwFlag & FLAG_MOT)
        {
            Put(PART_MOT, "PART_MOT");
            Put(PART_MOT_FILE, "PART_MOT");
        }
        if (nFree < 0)
        {
            Trace(false, "Buffer overrun!!!\r\n");
        }
        else if (bOk)
        {
            m_pBuf = pBuf;
            m_nBufLen = dwLen;
            dwResult = 1;
        }
    }
    Trace(false, "COSUtil : PrepareOSOnMem--\r\n");
    return dwResult;
}
