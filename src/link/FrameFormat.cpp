#include "link/FrameFormat.h"

#include <cstring>

#include "common/ByteOrder.h"

void WriteFrameHead(BYTE* pHead, DWORD dwCommand, DWORD dwFrameLen)
{
    WriteLE32(pHead, dwCommand);
    WriteLE32(pHead + 4, dwFrameLen);
}

// Each 64-bit word is split into its even and odd bytes, which add into four
// 16-bit lanes. 128 words add at most 128 * 2 * 255 = 65280 to a lane, so the lanes
// are folded before they can carry.
QWORD SumFrameBytes(const BYTE* pBuf, size_t nLen)
{
    constexpr QWORD EVEN_BYTES = 0x00FF00FF00FF00FFull;
    constexpr size_t WORDS_PER_FOLD = 128;
    QWORD qwTotal = 0;
    while (nLen >= 8)
    {
        size_t nWords = nLen / 8 < WORDS_PER_FOLD ? nLen / 8 : WORDS_PER_FOLD;
        QWORD qwLanes = 0;
        for (size_t i = 0; i < nWords; ++i)
        {
            QWORD qwWord;
            std::memcpy(&qwWord, pBuf + i * 8, sizeof(qwWord));
            qwLanes += (qwWord & EVEN_BYTES) + ((qwWord >> 8) & EVEN_BYTES);
        }
        qwTotal += (qwLanes & 0xFFFF) + ((qwLanes >> 16) & 0xFFFF) + ((qwLanes >> 32) & 0xFFFF) + (qwLanes >> 48);
        pBuf += nWords * 8;
        nLen -= nWords * 8;
    }
    while (nLen-- > 0)
        qwTotal += *pBuf++;
    return qwTotal;
}

WORD FrameChecksum(const BYTE* pBuf, size_t nLen, WORD wStart)
{
    return static_cast<WORD>(wStart + SumFrameBytes(pBuf, nLen));
}

bool WriteFramePiece(ITransport& transport, const BYTE* pPiece, DWORD dwLen, DWORD* pdwWritten)
{
    *pdwWritten = 0;
    return transport.Write(pPiece, dwLen, pdwWritten) && *pdwWritten == dwLen;
}
