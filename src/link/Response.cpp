// CDownloader: the handset's reply lines: reading one line, classifying it, and
// waiting for the reply the worker needs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/LastError.h"
#include "common/Trace.h"
#include "link/Downloader.h"
#include "link/FileTransport.h"
#include "res/Strings.h"

namespace
{
constexpr DWORD LINE_LIMIT_MS = 200000;
constexpr DWORD WAIT_LIMIT_MS = 360000;
constexpr DWORD REPLY_MAX_BYTES = REPLY_BUFFER_SIZE - 1;   // 255, the terminator needs the last byte

// Reply texts of ids 0..10, indexed by response id. ID_STEP is matched whole, the
// others anywhere in the reply.
const char* const REPLY_TEXTS[ID_NOT_DEFINE] = {
    "EDGE program ok!\n",    "Flash Incorrect.\n",   "Reserved region ok.\n",  "OS program ok!\n",
    "OS program failed!\n",  "OEM program failed.\n", "OS not compatible.\n",  "device reset.\n",
    ".\n",                   "EDGE program error!\n", "LENGTH",
};

const char* const RESPONSE_NAMES[ID_NOT_DEFINE + 1] = {
    "ID_EDGEOK", "ID_NFERR", "ID_RESERVEOK", "ID_OSOK", "ID_OSERR",   "ID_OEMERR",
    "ID_OSNOTMATCH", "ID_RESET", "ID_STEP",  "ID_EDGEERR", "ID_LENGTH", "ID_NOT_DEFINE",
};

int ClassifyReply(const char* pszReply)
{
    for (int nId = 0; nId < ID_NOT_DEFINE; ++nId)
    {
        if (nId == ID_STEP)
        {
            // Exactly ".\n": the first three bytes are '.', line feed, NUL.
            if (std::strcmp(pszReply, ".\n") == 0)
                return nId;
        }
        else if (std::strstr(pszReply, REPLY_TEXTS[nId]) != nullptr)
        {
            return nId;
        }
    }
    return ID_NOT_DEFINE;
}

bool IsFatal(int nId)
{
    return nId == ID_NFERR || nId == ID_OSERR || nId == ID_OSNOTMATCH || nId == ID_EDGEERR;
}

// The leading decimal number of a reply, as a standard conversion reads it; values
// beyond an int are held at its limits.
int LeadingNumber(const char* pszReply)
{
    long lValue = std::strtol(pszReply, nullptr, 10);
    if (lValue > 0x7FFFFFFFL)
        return 0x7FFFFFFF;
    if (lValue < -0x7FFFFFFFL - 1)
        return -0x7FFFFFFF - 1;
    return static_cast<int>(lValue);
}
}

bool CDownloader::GetResponse(int portIndex, char* pszReply)
{
    DWORD dwInitTick = m_Platform.pClock->GetTickCount();
    Trace(false, "CDownloader :: GetResponse from %d USB++", portIndex);
    if (static_cast<unsigned>(portIndex) >= static_cast<unsigned>(PORT_COUNT) || pszReply == nullptr ||
        (m_osVersion == OS_VISTA && !m_bBulkUsbLoaded))
    {
        // No such port, or a bulk path without its library: nothing can be read.
        Trace(false, "no port to read from");
        Trace(false, "CDownloader :: GetResponse --");
        return false;
    }

    DWORD dwStored = 0;
    bool bResult = false;
    for (;;)
    {
        BYTE byChar = 0;
        DWORD dwRead = 0;
        bool bRead = ReadReplyByte(portIndex, &byChar, &dwRead);
        if (bRead && dwRead == 1)
        {
            Trace(false, "char get : %c", byChar);
            if (dwStored >= REPLY_MAX_BYTES)
            {
                Trace(false, "buffer overrun");
                bResult = false;
                break;
            }
            pszReply[dwStored++] = static_cast<char>(byChar);
            if (byChar == '\n')
            {
                pszReply[dwStored] = '\0';
                // The bulk transport drops what the host still holds for the IN pipe.
                ITransport* pTransport = m_pTransport[portIndex].get();
                if (pTransport != nullptr && !pTransport->Flush())
                    Trace(false, "Flush pipe error, cause = %s", GetLastErrorText());
                Trace(false, "string terminate char get, break loop");
                bResult = true;
                break;
            }
        }
        else if (!bRead || dwRead == 0)
        {
            // A read that came back empty or failed is retried at once: the transport
            // paces such reads, so the line limit runs out without burning the
            // processor whatever the device node does.
            Trace(false, "ReadFile error tick = %d\r\n%s", static_cast<int>(m_Platform.pClock->GetTickCount()),
                  GetLastErrorText());
        }

        DWORD dwCurTick = m_Platform.pClock->GetTickCount();
        Trace(false, "dwCurTick - dwInitTick = %d", static_cast<int>(dwCurTick - dwInitTick));
        if (dwCurTick - dwInitTick >= LINE_LIMIT_MS)
        {
            bResult = bRead;
            break;
        }
    }
    Trace(false, "CDownloader :: GetResponse --");
    return bResult;
}

bool CDownloader::ReadReplyByte(int portIndex, BYTE* pByte, DWORD* pdwRead)
{
    *pdwRead = 0;
    ITransport* pTransport = m_pTransport[portIndex].get();
    if (pTransport != nullptr)
        return pTransport->Read(pByte, 1, pdwRead);
    // No open port: a failed read, paced as the transports pace theirs.
    DWORD dwStart = m_Platform.pClock->GetTickCount();
    PaceEmptyRead(*m_Platform.pClock, dwStart);
    SetLastErrorCondition(std::errc::bad_file_descriptor);
    return false;
}

int CDownloader::ProcessResponse(const char* pszReply)
{
    if (pszReply == nullptr)
        pszReply = "";
    Trace(false, "CDownloader::ProcessResponse (%s) ++", pszReply);
    IProgressBar* pBar = AttachedBar();
    int nUpper = 0;
    if (m_pAttachedDlg == nullptr)
        Trace(false, "No attached dialog");
    else if (pBar != nullptr)
        pBar->GetRange(nullptr, &nUpper);

    int nId = ClassifyReply(pszReply);
    if (nId == ID_NOT_DEFINE)
        Trace(false, "CDownloader::ProcessResponse --");
    Trace(false, "response id = %s", RESPONSE_NAMES[nId]);

    switch (nId)
    {
    case ID_NFERR:
        ShowErrorBox(IDS_FLASH_TYPE_NOT_MATCH);
        break;
    case ID_OSERR:
        ShowErrorBox(IDS_OS_PROGRAM_FAIL);
        break;
    case ID_OEMERR:
        ShowErrorBox(IDS_OEM_PROGRAM_FAIL);
        break;
    case ID_OSNOTMATCH:
        ShowErrorBox(IDS_OS_NOT_COMPATIBLE);
        break;
    case ID_EDGEERR:
        ShowErrorBox(IDS_EDGE_UPDATE_FAIL);
        break;
    case ID_STEP:
    {
        int nStage = GetDownloadStage();
        if (pBar != nullptr && pBar->GetPos() < nUpper && nStage >= 2)
        {
            pBar->StepIt();
            int nPos = pBar->GetPos();
            double dRatio = static_cast<double>(nPos) / nUpper;
            Trace(false, "prog1->GetPos() = %d, range = %d stage = %d prog1->GetPos()/range = %f", nPos, nUpper,
                  nStage, dRatio);
            char szPercent[32];
            std::snprintf(szPercent, sizeof(szPercent), "%2.0f %c", dRatio * 100, '%');
            m_pAttachedDlg->SetPercent(szPercent);
        }
        break;
    }
    case ID_LENGTH:
        if (m_pAttachedDlg != nullptr)
            SetupProgress(static_cast<DWORD>(LeadingNumber(pszReply)), pBar, GetDownloadStage());
        break;
    default:
        break;
    }
    return nId;
}

bool CDownloader::WaitAndProcessResponse(int portIndex, int nRequiredId)
{
    DWORD dwStart = m_Platform.pClock->GetTickCount();
    Trace(false, "CDownloader::WaitAndProcessResponse ++ id=%d", nRequiredId);
    bool bResult = false;
    for (;;)
    {
        char szReply[REPLY_BUFFER_SIZE];
        std::memset(szReply, 0, sizeof(szReply));
        if (!GetResponse(portIndex, szReply))
            break;
        int nId = ProcessResponse(szReply);
        if (nId == nRequiredId)
        {
            Trace(false, "*************required response has got************");
            bResult = true;
            break;
        }
        if (IsFatal(nId))
            break;
        if (m_Platform.pClock->GetTickCount() - dwStart >= WAIT_LIMIT_MS)
            break;
    }
    Trace(false, "CDownloader::WaitAndProcessResponse --");
    return bResult;
}
