// CDownloader: the download frame (Command, Download Size, payload, checksum),
// built in place in the prepared buffer and written in pieces of 12288 bytes, and
// the progress bar that moves with it.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/ByteOrder.h"
#include "common/LastError.h"
#include "common/Trace.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"

namespace
{
// The single-precision value of 0.2, as the progress rule uses it.
constexpr double PROGRESS_FACTOR = 0.20000000298023224;
constexpr size_t HEAD_SIZE = FRAME_HEAD_SIZE;

int ClampToInt(double dValue)
{
    if (dValue >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (dValue <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(dValue);
}

}

int SetupProgress(DWORD dwCount, IProgressBar* pBar, int nDownloadStage)
{
    // Range and position are computed in double from the single-precision 0.2, in
    // this order, and truncated; values beyond an int are held at its limit.
    int nRange = ClampToInt(static_cast<double>(dwCount) / PROGRESS_FACTOR);
    if (pBar != nullptr)
    {
        pBar->SetRange(0, nRange);
        pBar->SetStep(1);
        pBar->SetPos(ClampToInt(nDownloadStage * PROGRESS_FACTOR * nRange));
    }
    return nRange;
}

WORD CDownloader::ByteCheckSum(const BYTE* pBuf, int nLen)
{
    Trace(false, "CDownloader :: ByteCheckSum++");
    WORD wSum = 0;
    if (pBuf != nullptr && nLen > 0)
        wSum = static_cast<WORD>(SumFrameBytes(pBuf, static_cast<size_t>(nLen)));
    Trace(false, "CDownloader :: ByteCheckSum--");
    return wSum;
}

int CDownloader::ProcessDownload(COSUtil* pOSUtil, int portIndex, DWORD Command)
{
    BYTE* pBuf = pOSUtil != nullptr ? pOSUtil->m_pBuf : nullptr;
    DWORD size = pOSUtil != nullptr ? pOSUtil->m_nBufLen : 0;
    int BufferSize = static_cast<int>(size - FRAME_OVERHEAD);
    Trace(false, "CDownloader :: ProcessDownload pBuf = 0x%X, size = %d, id = %d++",
          static_cast<unsigned>(reinterpret_cast<uintptr_t>(pBuf)), BufferSize, portIndex);

    int nResult = DOWNLOAD_OK;
    if (pBuf == nullptr || static_cast<unsigned>(portIndex) != 0)
    {
        nResult = DOWNLOAD_REFUSED;
    }
    else if (size < FRAME_OVERHEAD)
    {
        // A buffer without room for the head and the checksum is refused untouched.
        Trace(false, "prepared size %u is below the frame overhead", static_cast<unsigned>(size));
        nResult = DOWNLOAD_REFUSED;
    }
    else
    {
        nResult = SendFrame(pBuf, size, portIndex, Command);
    }
    Trace(false, "CDownloader :: ProcessDownload -- Result = %d ", nResult);
    return nResult;
}

// The frame is built piece by piece just ahead of the write that sends it: the
// payload moves 8 bytes up while the piece is in cache, and its bytes are summed
// on the way. The 8 payload bytes that each move pushes into the next piece are
// kept aside first. Afterwards the whole buffer holds the frame, also when a write
// failed (the rest is then built without being sent).
int CDownloader::SendFrame(BYTE* pBuf, DWORD dwSize, int portIndex, DWORD Command)
{
    const size_t nPayload = dwSize - FRAME_OVERHEAD;
    const size_t nFrame = dwSize;

    IProgressBar* pBar = AttachedBar();
    int nRange = 0;
    if (GetDownloadStage() >= 2)
        nRange = SetupProgress(dwSize / DOWNLOAD_PIECE_SIZE, pBar, GetDownloadStage());

    BYTE Head[HEAD_SIZE];
    WriteFrameHead(Head, Command, dwSize);

    QWORD qwSum = 0;
    WORD wCheckSum = 0;
    bool bSumReported = false;
    auto ReportSum = [&]() {
        // The checksum trace lines appear once the sum is complete, before any line
        // of the send loop.
        if (bSumReported)
            return;
        bSumReported = true;
        Trace(false, "CDownloader :: ByteCheckSum++");
        Trace(false, "CDownloader :: ByteCheckSum--");
        Trace(false, "Download Size = %d\r\n*(pBuf) = 0x%X\r\n*(pBuf+8+BufferSize) = 0x%X\r\n", static_cast<int>(dwSize),
              static_cast<unsigned>(Head[0]), static_cast<unsigned>(wCheckSum & 0xFF));
    };

    BYTE Carry[HEAD_SIZE];   // original payload bytes that belong at the start of the piece
    std::memcpy(Carry, Head, HEAD_SIZE);
    int nResult = DOWNLOAD_OK;
    DWORD dwErrorAtFailure = 0;

    for (size_t nStart = 0; nStart < nFrame; nStart += DOWNLOAD_PIECE_SIZE)
    {
        size_t nEnd = nFrame - nStart > DOWNLOAD_PIECE_SIZE ? nStart + DOWNLOAD_PIECE_SIZE : nFrame;
        bool bLast = nEnd == nFrame;

        // Payload bytes that land in [nStart + 8, nEnd) come from [nStart, nMoveEnd).
        size_t nMoveEnd = nEnd - HEAD_SIZE < nPayload ? nEnd - HEAD_SIZE : nPayload;
        size_t nMove = nMoveEnd > nStart ? nMoveEnd - nStart : 0;

        BYTE NextCarry[HEAD_SIZE] = {};
        if (!bLast)
            std::memcpy(NextCarry, pBuf + nEnd - HEAD_SIZE, HEAD_SIZE);

        // Sum the payload bytes of this piece: the carried ones and the moved ones.
        for (size_t i = 0; i < HEAD_SIZE; ++i)
        {
            size_t nPos = nStart + i;   // frame position
            if (nPos >= HEAD_SIZE && nPos - HEAD_SIZE < nPayload && nPos < nEnd)
                qwSum += Carry[i];
        }
        qwSum += SumFrameBytes(pBuf + nStart, nMove);
        if (nMoveEnd == nPayload)
            wCheckSum = static_cast<WORD>(qwSum);

        std::memmove(pBuf + nStart + HEAD_SIZE, pBuf + nStart, nMove);
        for (size_t i = 0; i < HEAD_SIZE && nStart + i < nEnd; ++i)
        {
            size_t nPos = nStart + i;
            if (nPos < HEAD_SIZE || nPos - HEAD_SIZE < nPayload)
                pBuf[nPos] = Carry[i];
        }
        // The checksum bytes, wherever they fall (they may straddle two pieces).
        for (size_t i = 0; i < 2; ++i)
        {
            size_t nPos = HEAD_SIZE + nPayload + i;
            if (nPos >= nStart && nPos < nEnd)
                pBuf[nPos] = static_cast<BYTE>(wCheckSum >> (8 * i));
        }
        if (nMoveEnd == nPayload)
            ReportSum();
        if (!bLast)
            std::memcpy(Carry, NextCarry, HEAD_SIZE);

        if (nResult != DOWNLOAD_OK)
            continue;   // only building the rest of the frame
        DWORD dwPiece = static_cast<DWORD>(nEnd - nStart);
        DWORD dwWritten = 0;
        ITransport* pTransport = m_pTransport[portIndex].get();
        if (pTransport == nullptr)
            SetLastErrorCondition(std::errc::bad_file_descriptor);
        if (pTransport == nullptr || !WriteFramePiece(*pTransport, pBuf + nStart, dwPiece, &dwWritten))
        {
            dwErrorAtFailure = GetLastErrorCode();
            nResult = DOWNLOAD_WRITE_FAILED;
            continue;
        }

        // One step per good piece while there is room in the range.
        if (pBar != nullptr && GetDownloadStage() >= 2)
        {
            int nPos = pBar->GetPos();
            if (nPos < nRange)
            {
                pBar->StepIt();
                nPos = pBar->GetPos();
                char szPercent[16];
                std::snprintf(szPercent, sizeof(szPercent), "%d",
                              static_cast<int>(static_cast<double>(nPos) / nRange * 100));
                m_pAttachedDlg->SetPercent(szPercent);
            }
        }
    }
    ReportSum();
    if (nResult == DOWNLOAD_WRITE_FAILED)
    {
        SetLastErrorCode(dwErrorAtFailure);
        Trace(false, "WriteFile error, last error = %s", GetLastErrorText());
    }
    return nResult;
}
