#include "legacy/LegacyExchange.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/ByteOrder.h"
#include "common/Trace.h"
#include "link/FileTransport.h"
#include "res/Strings.h"

namespace
{
constexpr char DEVICE_LINK_CAPTION[] = "ERROR";

// Length of an open file, or -1 when it cannot be told. The position is left at the end.
long long FileLength(std::FILE* pFile)
{
    if (std::fseek(pFile, 0, SEEK_END) != 0)
        return -1;
    return static_cast<long long>(std::ftell(pFile));
}

void ShowSizeProblem(IProgressView* pView)
{
    if (pView != nullptr)
        pView->MessageBox(LoadLegacyString(IDS_LEGACY_BULK_SIZE_PROBLEM), DEVICE_LINK_CAPTION,
                          MB_STYLE_OK | MB_STYLE_ICONERROR);
}
}

void FormatLegacyPortName(char* pszBuf, size_t nLen, int nIndex)
{
    std::snprintf(pszBuf, nLen, "\\\\.\\wceusbsh00%d", nIndex);
}

std::unique_ptr<ITransport> OpenPort(IPortDriver& port, IClock& clock, const char* pszName, PORT_HANDLE* phPort)
{
    PORT_HANDLE hPort = pszName != nullptr ? port.Open(pszName) : INVALID_PORT;
    if (phPort != nullptr)
        *phPort = hPort;
    if (hPort == INVALID_PORT)
        return nullptr;
    return std::make_unique<CFileTransport>(port, clock, hPort);
}

bool DownloadFromFile(ITransport* pTransport, std::FILE* pFile, DWORD dwOffset, DWORD dwLen, DWORD dwValue,
                      IProgressView* pView)
{
    IProgressBar* pOverall = pView != nullptr ? pView->GetBar(PROGRESS_BAR_OVERALL) : nullptr;
    IProgressBar* pStep = pView != nullptr ? pView->GetBar(PROGRESS_BAR_STEP) : nullptr;
    if (pStep != nullptr)
    {
        pStep->SetRange(0, static_cast<int>(dwLen / LEGACY_WRITE_SIZE));
        pStep->SetPos(0);
    }
    if (pFile == nullptr)
        return false;

    long nSavedPos = std::ftell(pFile);
    long long llFileLen = FileLength(pFile);
    QWORD qwFrameLen = static_cast<QWORD>(dwLen) + FRAME_OVERHEAD;
    if (pTransport == nullptr || llFileLen < 0 || dwOffset > static_cast<QWORD>(llFileLen) ||
        static_cast<QWORD>(dwOffset) + dwLen > static_cast<QWORD>(llFileLen) || qwFrameLen > 0xFFFFFFFFu)
    {
        Trace(false, "DownloadFromFile: refused, offset %u length %u file length %lld\r\n", dwOffset, dwLen,
              llFileLen);
        std::fseek(pFile, nSavedPos, SEEK_SET);
        return false;
    }
    std::fseek(pFile, static_cast<long>(dwOffset), SEEK_SET);

    std::unique_ptr<BYTE[]> pBuf(new (std::nothrow) BYTE[LEGACY_WRITE_SIZE]);
    if (!pBuf)
    {
        std::fseek(pFile, nSavedPos, SEEK_SET);
        return false;
    }

    // The frame is produced as one stream (head, data, checksum) cut into writes of
    // at most 12288 bytes; the checksum bytes land wherever the stream puts them, so
    // any length, also one below a single write, goes out as one correct frame.
    const QWORD qwChecksumPos = FRAME_HEAD_SIZE + static_cast<QWORD>(dwLen);
    QWORD qwSent = 0;
    DWORD dwDataLeft = dwLen;
    WORD wSum = 0;
    int nWrites = 0;
    bool bOk = true;
    while (qwSent < qwFrameLen)
    {
        QWORD qwLeft = qwFrameLen - qwSent;
        DWORD dwPiece = qwLeft > LEGACY_WRITE_SIZE ? LEGACY_WRITE_SIZE : static_cast<DWORD>(qwLeft);
        DWORD dwFill = 0;
        if (qwSent == 0)
        {
            WriteFrameHead(pBuf.get(), dwValue, static_cast<DWORD>(qwFrameLen));
            dwFill = FRAME_HEAD_SIZE;
        }
        DWORD dwData = dwPiece - dwFill < dwDataLeft ? dwPiece - dwFill : dwDataLeft;
        if (dwData > 0)
        {
            if (std::fread(pBuf.get() + dwFill, 1, dwData, pFile) != dwData)
            {
                Trace(false, "DownloadFromFile: file read short\r\n");
                bOk = false;
                break;
            }
            wSum = FrameChecksum(pBuf.get() + dwFill, dwData, wSum);
            dwFill += dwData;
            dwDataLeft -= dwData;
        }
        for (; dwFill < dwPiece; ++dwFill)
        {
            QWORD qwPos = qwSent + dwFill;
            pBuf[dwFill] = qwPos == qwChecksumPos ? static_cast<BYTE>(wSum) : static_cast<BYTE>(wSum >> 8);
        }

        if (nWrites > 0 && pOverall != nullptr)
            pOverall->SetPos(pOverall->GetPos() + 1);
        if (pStep != nullptr)
            pStep->SetPos(nWrites + 1);

        DWORD dwWritten = 0;
        if (!WriteFramePiece(*pTransport, pBuf.get(), dwPiece, &dwWritten))
        {
            Trace(false, "DownloadFromFile: write %d failed, %u of %u bytes\r\n", nWrites + 1, dwWritten, dwPiece);
            if (nWrites > 0)
                ShowSizeProblem(pView);
            bOk = false;
            break;
        }
        ++nWrites;
        qwSent += dwPiece;
    }

    std::fseek(pFile, nSavedPos, SEEK_SET);
    return bOk;
}

bool SendClosingFrame(ITransport* pTransport, DWORD dwCommand)
{
    if (pTransport == nullptr)
        return false;
    BYTE frame[LEGACY_CLOSING_FRAME_SIZE] = {};
    WriteFrameHead(frame, dwCommand, LEGACY_CLOSING_FRAME_SIZE);
    DWORD dwWritten = 0;
    return WriteFramePiece(*pTransport, frame, LEGACY_CLOSING_FRAME_SIZE, &dwWritten);
}

namespace
{
// The port's own read time-outs, restored however the wait ends.
class CTimeoutRestorer
{
public:
    explicit CTimeoutRestorer(ITransport& transport) : m_Transport(transport)
    {
        m_bSaved = m_Transport.GetTimeouts(&m_Saved);
    }
    ~CTimeoutRestorer()
    {
        if (m_bSaved)
            m_Transport.SetTimeouts(&m_Saved);
    }
    CTimeoutRestorer(const CTimeoutRestorer&) = delete;
    CTimeoutRestorer& operator=(const CTimeoutRestorer&) = delete;

private:
    ITransport& m_Transport;
    PORT_TIMEOUTS m_Saved{};
    bool m_bSaved;
};
}

int ReceiveReply(ITransport* pTransport, IClock& clock, DWORD dwLimitMs, const char* pszExpected,
                 IProgressBar* pOverall, IProgressBar* pStep, const LEGACY_RUN_STATE& state)
{
    if (pOverall == nullptr || pStep == nullptr || pszExpected == nullptr || pTransport == nullptr)
        return 0;

    CTimeoutRestorer restorer(*pTransport);
    // A read returns at once with what has arrived, or after 100 ms with nothing, so
    // the limit and the silence rule are checked at least ten times a second.
    PORT_TIMEOUTS prepared{0xFFFFFFFFu, 0xFFFFFFFFu, LEGACY_READ_TIMEOUT_MS};
    bool bSet = pTransport->SetTimeouts(&prepared);
    Trace(false, "Result of SetCommTimeouts = %d\r\n", bSet ? 1 : 0);

    int nOverallStep = 1;
    pOverall->SetStep(nOverallStep);
    pStep->SetStep(1);
    int nLower = 0;
    int nUpper = 0;
    pOverall->GetRange(&nLower, &nUpper);

    if (dwLimitMs == 0)
        return 0;

    const DWORD dwStart = clock.GetTickCount();
    DWORD dwLastByte = dwStart;
    bool bByteSeen = false;
    char szLine[LEGACY_LINE_BUFFER_SIZE] = {};
    DWORD dwIndex = 0;
    bool bOverlong = false;
    int nDots = 0;

    for (;;)
    {
        DWORD dwNow = clock.GetTickCount();
        if (dwNow - dwStart >= dwLimitMs)
        {
            Trace(false, "ReceiveReply: no \"%s\" within %u ms\r\n", pszExpected, dwLimitMs);
            return 0;
        }

        BYTE byIn = 0;
        DWORD dwRead = 0;
        bool bReadOk = pTransport->Read(&byIn, 1, &dwRead);
        if (!bReadOk || dwRead == 0)
        {
            if (bByteSeen && clock.GetTickCount() - dwLastByte > LEGACY_SILENCE_LIMIT_MS)
            {
                Trace(false, "ReceiveReply: handset silent for %u ms\r\n", LEGACY_SILENCE_LIMIT_MS);
                return 0;
            }
            // The transport paces reads that bring nothing, failed ones too.
            continue;
        }

        bByteSeen = true;
        dwLastByte = clock.GetTickCount();
        // The line keeps room for its terminator; a longer line is dropped whole.
        if (dwIndex < LEGACY_LINE_BUFFER_SIZE - 1)
            szLine[dwIndex++] = static_cast<char>(byIn);
        else
            bOverlong = true;
        if (byIn != '\n')
            continue;

        if (bOverlong)
        {
            Trace(false, "ReceiveReply: reply line of %u bytes or more dropped\r\n", LEGACY_LINE_BUFFER_SIZE);
        }
        else
        {
            Trace(false, "\t%s", szLine);
            if (std::strcmp(szLine, pszExpected) == 0)
            {
                int nStepLower = 0;
                int nStepUpper = 0;
                pStep->GetRange(&nStepLower, &nStepUpper);
                pStep->SetPos(nStepUpper);
                Trace(false, "Total %d steps\n", nDots);
                return 1;
            }
            if (std::strcmp(szLine, LEGACY_REPLY_FLASH_INCORRECT) == 0 ||
                std::strcmp(szLine, LEGACY_REPLY_OS_NOT_COMPATIBLE) == 0)
                return 0;

            if (std::strstr(szLine, LEGACY_REPLY_LENGTH) != nullptr)
            {
                long lCount = std::strtol(szLine, nullptr, 10);
                int nCount = lCount > 0x7FFFFFFFL ? 0x7FFFFFFF : (lCount < 0 ? 0 : static_cast<int>(lCount));
                // A count of 0 defines no step: the overall bar keeps its step and the
                // step bar gets the empty range 0..0.
                if (nCount > 0 && state.nLastWait == state.nWaitsDone)
                {
                    int nPos = pOverall->GetPos();
                    Trace(false, "current pos = %d\ncurrent nUpper = %d\nlen=%d\n", nPos, nUpper, nCount);
                    nOverallStep = static_cast<int>(std::ceil(static_cast<double>(nUpper - nPos) / nCount));
                    pOverall->SetStep(nOverallStep);
                }
                pStep->SetRange(0, nCount);
                pStep->SetPos(0);
            }
            else if (std::strcmp(szLine, LEGACY_REPLY_STEP) == 0)
            {
                ++nDots;
                if (static_cast<long long>(pOverall->GetPos()) + nOverallStep <= nUpper)
                    pOverall->StepIt();
                pStep->StepIt();
            }
        }
        std::memset(szLine, 0, sizeof(szLine));
        dwIndex = 0;
        bOverlong = false;
    }
}
