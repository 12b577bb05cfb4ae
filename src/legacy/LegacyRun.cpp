#include "legacy/LegacyRun.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/ByteOrder.h"
#include "common/Trace.h"
#include "image/ImageFormat.h"
#include "legacy/LegacyExchange.h"
#include "legacy/ReserveRegion.h"
#include "legacy/StagingFile.h"
#include "platform/ProgressBarModel.h"
#include "res/Strings.h"

namespace
{
constexpr char WORKER_CAPTION[] = "Warning";
constexpr DWORD SIZE_WORD_OS = 0;
constexpr DWORD SIZE_WORD_BL = 1;
constexpr DWORD SIZE_WORD_UD = 2;
constexpr DWORD SIZE_WORD_VN = 3;
constexpr DWORD SIZE_WORD_EB = 4;
constexpr DWORD SIZE_WORD_GSM1 = 6;
constexpr DWORD SIZE_WORD_GSM2 = 7;
// Largest file position and download length the run works with: a signed 32-bit
// file position, which also keeps every frame's 32-bit size from wrapping.
constexpr QWORD POSITION_MAX = 0x7FFFFFFF;

// Stands in for the window when a run is given none: the bars count for nobody and
// message boxes become trace lines.
class CDetachedView : public IProgressView
{
public:
    IProgressBar* GetBar(int nBar) override
    {
        return nBar == PROGRESS_BAR_OVERALL ? &m_Overall : (nBar == PROGRESS_BAR_STEP ? &m_Step : nullptr);
    }
    void SetCaption(const char*) override {}
    void SetPercent(const char*) override {}
    void SetTitle(const char*) override {}
    void SetHeading(const char*) override {}
    int MessageBox(const char* pszText, const char* pszCaption, UINT) override
    {
        Trace(false, "%s: %s\r\n", pszCaption, pszText);
        return MB_ANSWER_OK;
    }
    void EndDialog(int) override {}

private:
    CProgressBarModel m_Overall;
    CProgressBarModel m_Step;
};

DWORD SizeWord(const BYTE* pHeader, DWORD dwIndex)
{
    return ReadLE32(pHeader + OFFSET_OS_SIZE + 4 * dwIndex);
}

void SetSizeWord(BYTE* pHeader, DWORD dwIndex, DWORD dwValue)
{
    WriteLE32(pHeader + OFFSET_OS_SIZE + 4 * dwIndex, dwValue);
}

class CLegacyRun
{
public:
    explicit CLegacyRun(const LEGACY_RUN_CONFIG& config)
        : m_Config(config), m_Port(config.port), m_Clock(config.clock),
          m_pView(config.pView != nullptr ? config.pView : &m_Detached)
    {
    }
    ~CLegacyRun() { Release(); }
    CLegacyRun(const CLegacyRun&) = delete;
    CLegacyRun& operator=(const CLegacyRun&) = delete;

    int Run();

private:
    bool Start();
    void TakeSizes();
    bool PartsLieInFile();
    bool Phase1();
    bool ReopenPort();
    bool StageReserveRegion();
    bool CopyReserveSectors();
    bool ReserveAndOs();
    bool GsmPart();
    void Release();

    bool ReadAt(QWORD qwOffset, BYTE* pBuf, DWORD dwLen);
    bool CopyToStaging(QWORD qwOffset, DWORD dwLen);
    bool SendStaging();
    int Wait(DWORD dwLimitMs, const char* pszExpected);
    // The view's bar, or a private one when the view lacks it (a one-bar view), so
    // the reply waits still work.
    IProgressBar* Bar(int nBar)
    {
        IProgressBar* pBar = m_pView->GetBar(nBar);
        if (pBar != nullptr)
            return pBar;
        return nBar == PROGRESS_BAR_OVERALL ? &m_OverallFallback : &m_StepFallback;
    }
    void ShowStep(UINT nStringId) { m_pView->SetCaption(LoadLegacyString(nStringId)); }
    void StampHeader(BYTE* pHeader) const
    {
        WriteLE32(pHeader + OFFSET_RELEASE_TAG, LEGACY_RELEASE_TAG);
        WriteLE32(pHeader + OFFSET_KEY10, m_Config.dwHostCode);
    }

    const LEGACY_RUN_CONFIG& m_Config;
    IPortDriver& m_Port;
    IClock& m_Clock;
    CDetachedView m_Detached;
    CProgressBarModel m_OverallFallback;
    CProgressBarModel m_StepFallback;
    IProgressView* m_pView;
    // The reply waits' counters: this run's own, both 0 when it starts.
    LEGACY_RUN_STATE m_State;

    std::string m_strPortName;
    std::unique_ptr<ITransport> m_pTransport;   // the open port
    std::FILE* m_pImage = nullptr;
    CStagingFile m_Staging;
    BYTE m_Header[SECTOR_SIZE] = {};

    DWORD m_dwFlag = 0;
    // Part sizes that the flag selects (0 for a part whose bit is clear).
    DWORD m_dwOs = 0, m_dwBl = 0, m_dwUd = 0, m_dwVn = 0, m_dwEb = 0, m_dwGsm1 = 0, m_dwGsm2 = 0;
    // Where each part lies in the file, from the size words (the file's own layout).
    QWORD m_qwBlOffset = 0, m_qwUdOffset = 0, m_qwVnOffset = 0, m_qwEbOffset = 0, m_qwGsmOffset = 0;
    DWORD m_dwReserveBlocks = 0;
    DWORD m_dwReserveSize = 0;
};

int CLegacyRun::Run()
{
    bool bOk = Start();
    if (bOk)
    {
        TakeSizes();
        if (static_cast<QWORD>(m_dwReserveBlocks) * BLOCK_SIZE > m_dwOs)
        {
            Trace(false, "Reserve region of %u blocks exceeds the OS part of %u bytes\r\n", m_dwReserveBlocks, m_dwOs);
            bOk = false;
        }
        else
        {
            m_dwReserveSize = m_dwReserveBlocks * BLOCK_SIZE;
            bOk = PartsLieInFile();
        }
    }
    if (bOk)
    {
        IProgressBar* pOverall = Bar(PROGRESS_BAR_OVERALL);
        QWORD qwStreamed = static_cast<QWORD>(m_dwOs) + m_dwUd + m_dwVn + m_dwEb + m_dwGsm1 + m_dwGsm2;
        QWORD qwTotal = qwStreamed / LEGACY_WRITE_SIZE + m_dwGsm2 / LEGACY_GSM_BAR_UNIT + m_dwReserveSize / BLOCK_SIZE;
        pOverall->SetRange(0, static_cast<int>(qwTotal));
        pOverall->SetPos(0);
    }
    if (bOk && (m_dwFlag & FLAG_UD) != 0)
        bOk = Phase1();
    if (bOk)
        bOk = StageReserveRegion();
    if (bOk)
        bOk = ReserveAndOs();
    if (bOk && (m_dwFlag & FLAG_MOT) != 0)
        bOk = GsmPart();
    if (bOk)
    {
        // The closing frame only follows a run the handset confirmed in full.
        m_Clock.Sleep(LEGACY_PAUSE_BEFORE_CLOSING_MS);
        if (!SendClosingFrame(m_pTransport.get(), LEGACY_CLOSING_COMMAND))
            Trace(false, "Closing frame not sent\r\n");
    }

    Release();
    if (m_Config.pState != nullptr)
        *m_Config.pState = m_State;
    int nResult = bOk ? LEGACY_RUN_DONE : LEGACY_RUN_FAILED;
    Trace(false, bOk ? "End UPDATE_PROG1 dialog , return TRUE\r\n" : "End UPDATE_PROG1 dialog , return FALSE\r\n");
    return nResult;
}

bool CLegacyRun::Start()
{
    m_pView->SetTitle(LoadLegacyString(IDS_LEGACY_PROGRESS_TITLE));
    m_pView->SetHeading(LoadLegacyString(IDS_LEGACY_PROGRESS_HEADING));

    if (m_Config.strPortName.empty())
    {
        char szName[LEGACY_PORT_NAME_LEN];
        FormatLegacyPortName(szName, sizeof(szName));
        m_strPortName = szName;
    }
    else
    {
        m_strPortName = m_Config.strPortName;
    }
    // Not tested here: a port that did not open makes the first download fail.
    PORT_HANDLE hPort = INVALID_PORT;
    m_pTransport = OpenPort(m_Port, m_Clock, m_strPortName.c_str(), &hPort);
    Trace(false, "USB handle is %x\r\n", static_cast<unsigned>(hPort));

    std::string strImage = m_Config.strImagePath;
    if (strImage.empty())
        strImage = m_Config.strStagingDir.empty() ? std::string(LEGACY_IMAGE_NAME)
                                                  : m_Config.strStagingDir + "/" + LEGACY_IMAGE_NAME;
    m_pImage = std::fopen(strImage.c_str(), "rb");
    if (m_pImage == nullptr)
    {
        m_pView->MessageBox(LoadLegacyString(IDS_LEGACY_NO_IMAGE), WORKER_CAPTION,
                            MB_STYLE_OK | MB_STYLE_ICONEXCLAMATION);
        return false;
    }
    if (!m_Staging.Create(m_Config.strStagingDir))
    {
        Trace(false, "Cannot create %s\r\n", m_Staging.GetPath().c_str());
        return false;
    }
    if (std::fread(m_Header, 1, IMAGE_HEADER_SIZE, m_pImage) != IMAGE_HEADER_SIZE)
    {
        Trace(false, "Image header shorter than %u bytes\r\n", IMAGE_HEADER_SIZE);
        return false;
    }

    RESERVE_ENTRY_REQUEST request{};
    std::strcpy(request.szName, LEGACY_RESERVE_ENTRY_NAME);
    if (!DefineReserveRegion(m_pImage, &request))
    {
        Trace(false, "DefineReserveRegion failed\r\n");
        return false;
    }
    if (!request.bFound)
    {
        // Without its entry the reserve region has no size to send.
        Trace(false, "Layout sector has no entry \"%s\"\r\n", LEGACY_RESERVE_ENTRY_NAME);
        return false;
    }
    m_dwReserveBlocks = request.dwNumBlocks;
    return true;
}

void CLegacyRun::TakeSizes()
{
    m_dwFlag = ReadLE32(m_Header + OFFSET_IMAGE_FLAG);
    auto take = [this](DWORD dwBit, DWORD dwWord) { return (m_dwFlag & dwBit) != 0 ? SizeWord(m_Header, dwWord) : 0; };
    m_dwOs = take(FLAG_OS, SIZE_WORD_OS);
    m_dwBl = take(FLAG_BL, SIZE_WORD_BL);
    m_dwUd = take(FLAG_UD, SIZE_WORD_UD);
    m_dwVn = take(FLAG_VN, SIZE_WORD_VN);
    m_dwEb = take(FLAG_EB, SIZE_WORD_EB);
    m_dwGsm1 = take(FLAG_MOT, SIZE_WORD_GSM1);
    m_dwGsm2 = take(FLAG_MOT, SIZE_WORD_GSM2);

    m_qwBlOffset = IMAGE_HEADER_SIZE + static_cast<QWORD>(SizeWord(m_Header, SIZE_WORD_OS));
    m_qwUdOffset = m_qwBlOffset + SizeWord(m_Header, SIZE_WORD_BL);
    m_qwVnOffset = m_qwUdOffset + SizeWord(m_Header, SIZE_WORD_UD);
    m_qwEbOffset = m_qwVnOffset + SizeWord(m_Header, SIZE_WORD_VN);
    m_qwGsmOffset = m_qwEbOffset + SizeWord(m_Header, SIZE_WORD_EB);

    if ((m_dwFlag & FLAG_OS) != 0)
        m_State.nLastWait = 2;
    if ((m_dwFlag & FLAG_MOT) != 0)
        m_State.nLastWait = 3;

    Trace(false, "IMGFLAG is %x\r\n", m_dwFlag);
    Trace(false, "OS size is %d\r\nBL size is %d\r\nUD size is %d\r\nVN size is %d\r\nEB size is %d\r\n",
          static_cast<int>(m_dwOs), static_cast<int>(m_dwBl), static_cast<int>(m_dwUd), static_cast<int>(m_dwVn),
          static_cast<int>(m_dwEb));
}

// Every size the run allocates, stages or sends by comes from a header word: each
// part it reads must lie inside the file, and each download must fit its frame,
// before the first byte is allocated or sent. An image that claims more is refused
// whole, so nothing of it reaches the handset.
bool CLegacyRun::PartsLieInFile()
{
    long nLength = std::fseek(m_pImage, 0, SEEK_END) == 0 ? std::ftell(m_pImage) : -1;
    if (nLength < 0)
    {
        Trace(false, "Image length unknown\r\n");
        return false;
    }
    // Parts beyond POSITION_MAX could not be sought to either.
    const QWORD qwLength = static_cast<QWORD>(nLength) < POSITION_MAX ? static_cast<QWORD>(nLength) : POSITION_MAX;

    struct REGION
    {
        bool bUsed;
        QWORD qwOffset;
        QWORD qwSize;
        const char* pszName;
    };
    const bool bPhase1 = (m_dwFlag & FLAG_UD) != 0;
    const REGION regions[] = {
        {bPhase1, IMAGE_HEADER_SIZE, LEGACY_PHASE1_OS_SIZE, "phase 1 start"},
        {true, IMAGE_HEADER_SIZE, m_dwOs, "OS"},
        {m_dwBl != 0, m_qwBlOffset, m_dwBl, "BL"},
        {m_dwUd != 0, m_qwUdOffset, m_dwUd, "UD"},
        {m_dwVn != 0, m_qwVnOffset, m_dwVn, "VN"},
        {m_dwEb != 0, m_qwEbOffset, m_dwEb, "EB"},
        {m_dwGsm1 != 0 || m_dwGsm2 != 0, m_qwGsmOffset, static_cast<QWORD>(m_dwGsm1) + m_dwGsm2, "GSM"},
    };
    for (const REGION& region : regions)
    {
        if (region.bUsed && (region.qwOffset > qwLength || region.qwSize > qwLength - region.qwOffset))
        {
            Trace(false, "%s part of %llu bytes at %llu exceeds the image length %llu\r\n", region.pszName,
                  static_cast<unsigned long long>(region.qwSize), static_cast<unsigned long long>(region.qwOffset),
                  static_cast<unsigned long long>(qwLength));
            return false;
        }
    }

    const QWORD qwPhase1 = static_cast<QWORD>(IMAGE_HEADER_SIZE) + LEGACY_PHASE1_OS_SIZE + m_dwBl + m_dwUd;
    const QWORD qwReserve = static_cast<QWORD>(IMAGE_HEADER_SIZE) + m_dwReserveSize + m_dwBl + m_dwVn + m_dwEb;
    const QWORD qwGsm = static_cast<QWORD>(IMAGE_HEADER_SIZE) + m_dwGsm1 + m_dwGsm2;
    if ((bPhase1 && qwPhase1 > POSITION_MAX) || qwReserve > POSITION_MAX ||
        IMAGE_HEADER_SIZE + static_cast<QWORD>(m_dwOs) > POSITION_MAX || qwGsm > POSITION_MAX)
    {
        Trace(false, "A download of this image exceeds %llu bytes\r\n",
              static_cast<unsigned long long>(POSITION_MAX));
        return false;
    }
    return true;
}

bool CLegacyRun::ReadAt(QWORD qwOffset, BYTE* pBuf, DWORD dwLen)
{
    if (qwOffset > POSITION_MAX || std::fseek(m_pImage, static_cast<long>(qwOffset), SEEK_SET) != 0)
        return false;
    return std::fread(pBuf, 1, dwLen, m_pImage) == dwLen;
}

bool CLegacyRun::CopyToStaging(QWORD qwOffset, DWORD dwLen)
{
    if (qwOffset > POSITION_MAX || std::fseek(m_pImage, static_cast<long>(qwOffset), SEEK_SET) != 0)
        return false;
    BYTE piece[LEGACY_COPY_PIECE];
    while (dwLen > 0)
    {
        DWORD dwPiece = dwLen < LEGACY_COPY_PIECE ? dwLen : LEGACY_COPY_PIECE;
        if (std::fread(piece, 1, dwPiece, m_pImage) != dwPiece || !m_Staging.Append(piece, dwPiece))
        {
            Trace(false, "Copy to staging short, %u bytes left\r\n", dwLen);
            return false;
        }
        dwLen -= dwPiece;
    }
    return true;
}

bool CLegacyRun::SendStaging()
{
    if (!m_Staging.Flush())
        return false;
    return DownloadFromFile(m_pTransport.get(), m_Staging.GetFile(), 0, m_Staging.GetLength(), 0, m_pView);
}

int CLegacyRun::Wait(DWORD dwLimitMs, const char* pszExpected)
{
    return ReceiveReply(m_pTransport.get(), m_Clock, dwLimitMs, pszExpected, Bar(PROGRESS_BAR_OVERALL),
                        Bar(PROGRESS_BAR_STEP), m_State);
}

bool CLegacyRun::Phase1()
{
    const QWORD qwLen = static_cast<QWORD>(IMAGE_HEADER_SIZE) + LEGACY_PHASE1_OS_SIZE + m_dwBl + m_dwUd;
    if (qwLen > POSITION_MAX)
        return false;
    const DWORD dwLen = static_cast<DWORD>(qwLen);
    std::unique_ptr<BYTE[]> pImage(new (std::nothrow) BYTE[dwLen + 1]());
    if (!pImage)
        return false;

    BYTE* pHeader = pImage.get();
    std::memcpy(pHeader, m_Header, IMAGE_HEADER_SIZE);
    SetSizeWord(pHeader, SIZE_WORD_OS, LEGACY_PHASE1_OS_SIZE);
    WriteLE32(pHeader + OFFSET_IMAGE_FLAG, m_dwFlag & ~LEGACY_PHASE1_CLEAR_MASK);
    StampHeader(pHeader);

    ShowStep(IDS_LEGACY_STEP1);
    Trace(false, "Download USB downloader\r\n");
    BYTE* pNext = pImage.get() + IMAGE_HEADER_SIZE;
    bool bRead = ReadAt(IMAGE_HEADER_SIZE, pNext, LEGACY_PHASE1_OS_SIZE);
    pNext += LEGACY_PHASE1_OS_SIZE;
    bRead = bRead && ReadAt(m_qwBlOffset, pNext, m_dwBl);
    pNext += m_dwBl;
    bRead = bRead && ReadAt(m_qwUdOffset, pNext, m_dwUd);
    if (!bRead)
    {
        Trace(false, "Phase 1 image read short of %u bytes\r\n", dwLen);
        return false;
    }

    if (!m_Staging.Rewrite() || !m_Staging.Append(pImage.get(), dwLen) || !SendStaging())
        return false;
    pImage.reset();

    ShowStep(IDS_LEGACY_STEP2);
    int nReply = Wait(LEGACY_LIMIT_RESET_MS, LEGACY_REPLY_RESET);
    Trace(false, "result of Recive [device reset.] = %d\r\n", nReply);
    if (nReply != 1)
        return false;
    if (!ReopenPort())
        return false;
    Trace(false, "Download USB Downloader Finish.\r\n");
    return true;
}

bool CLegacyRun::ReopenPort()
{
    m_pTransport.reset();
    m_Clock.Sleep(LEGACY_REOPEN_PAUSE_MS);
    // The handset restarts and comes back under the same port; a handset that has not
    // come back within a minute ends the run instead of keeping the window open for ever.
    const DWORD dwStart = m_Clock.GetTickCount();
    do
    {
        m_Clock.Sleep(LEGACY_REOPEN_INTERVAL_MS);
        m_pTransport = OpenPort(m_Port, m_Clock, m_strPortName.c_str());
    } while (!m_pTransport && m_Clock.GetTickCount() - dwStart < LEGACY_REOPEN_LIMIT_MS);
    if (!m_pTransport)
    {
        Trace(false, "Port %s did not come back within %u ms\r\n", m_strPortName.c_str(), LEGACY_REOPEN_LIMIT_MS);
        return false;
    }
    Trace(false, "Get Handle.\r\n");
    return true;
}

bool CLegacyRun::StageReserveRegion()
{
    m_State.nWaitsDone = 1;
    ShowStep(IDS_LEGACY_STEP3);
    Trace(false, "DefineReserveRegion ok Reserve block = %d RESERVE_SIZE = %d\r\n", static_cast<int>(m_dwReserveBlocks),
          static_cast<int>(m_dwReserveSize));

    SetSizeWord(m_Header, SIZE_WORD_OS, m_dwReserveSize);
    WriteLE32(m_Header + OFFSET_IMAGE_FLAG, m_dwFlag & ~LEGACY_PHASE2_CLEAR_MASK);
    SetSizeWord(m_Header, SIZE_WORD_UD, 0);
    SetSizeWord(m_Header, SIZE_WORD_GSM1, 0);
    SetSizeWord(m_Header, SIZE_WORD_GSM2, 0);
    StampHeader(m_Header);

    if (!m_Staging.Rewrite() || !m_Staging.Append(m_Header, IMAGE_HEADER_SIZE) || !CopyReserveSectors())
        return false;
    // The small parts, each whole.
    if ((m_dwFlag & FLAG_BL) != 0 && !CopyToStaging(m_qwBlOffset, m_dwBl))
        return false;
    if ((m_dwFlag & FLAG_VN) != 0 && !CopyToStaging(m_qwVnOffset, m_dwVn))
        return false;
    if ((m_dwFlag & FLAG_EB) != 0 && !CopyToStaging(m_qwEbOffset, m_dwEb))
        return false;

    ShowStep(IDS_LEGACY_STEP3);
    Trace(false, "Download part 2.\r\n");
    return SendStaging();
}

bool CLegacyRun::CopyReserveSectors()
{
    const DWORD dwKey = ReadLE32(m_Header + OFFSET_KEY1);
    if (std::fseek(m_pImage, static_cast<long>(IMAGE_HEADER_SIZE), SEEK_SET) != 0)
        return false;
    BYTE sector[SECTOR_SIZE];
    const DWORD dwSectors = m_dwReserveSize / SECTOR_SIZE;
    for (DWORD i = 0; i < dwSectors; ++i)
    {
        if (std::fread(sector, 1, SECTOR_SIZE, m_pImage) != SECTOR_SIZE)
        {
            Trace(false, "Reserve region read short at sector %u\r\n", i);
            return false;
        }
        if (i == OEM_INFO_SECTOR)
        {
            char szText[SECTOR_SIZE + 1] = {};
            std::memcpy(szText, sector, SECTOR_SIZE);
            Trace(false, "Decrypt key 0 = 0x%08x\n", dwKey);
            Trace(false, "encrypted string : %s\n", szText);
            DWORD dwText = DecryptVersionText(sector, SECTOR_SIZE, dwKey);
            std::memset(szText, 0, sizeof(szText));
            std::memcpy(szText, sector, dwText);
            Trace(false, "decrypted string : %s\n", szText);
        }
        Trace(false, "write %d bytes. %02x %02x %02x %02x\n", static_cast<int>(i * SECTOR_SIZE), sector[0], sector[4],
              sector[8], sector[12]);
        if (!m_Staging.Append(sector, SECTOR_SIZE))
            return false;
    }
    return true;
}

bool CLegacyRun::ReserveAndOs()
{
    ShowStep(IDS_LEGACY_STEP4);
    int nReply = Wait(LEGACY_LIMIT_RESERVE_MS, LEGACY_REPLY_RESERVE_OK);
    m_State.nWaitsDone = 2;
    m_Clock.Sleep(LEGACY_PAUSE_AFTER_RESERVE_MS);
    ShowStep(IDS_LEGACY_STEP5);
    if (nReply != 1)
        return false;

    // The operating system goes straight from the image file, frame by frame.
    if (!DownloadFromFile(m_pTransport.get(), m_pImage, IMAGE_HEADER_SIZE + m_dwReserveSize, m_dwOs - m_dwReserveSize,
                          0, m_pView))
        return false;

    ShowStep(IDS_LEGACY_STEP6);
    nReply = Wait(LEGACY_LIMIT_OS_MS, LEGACY_REPLY_OS_OK);
    m_State.nWaitsDone = 3;
    return nReply == 1;
}

bool CLegacyRun::GsmPart()
{
    m_Clock.Sleep(LEGACY_PAUSE_BEFORE_GSM_MS);
    ShowStep(IDS_LEGACY_STEP7);

    BYTE header[IMAGE_HEADER_SIZE];
    if (!ReadAt(0, header, IMAGE_HEADER_SIZE))
        return false;
    WriteLE32(header + OFFSET_IMAGE_FLAG, LEGACY_GSM_FLAG);
    for (DWORD i = SIZE_WORD_OS; i < SIZE_WORD_GSM1; ++i)
        SetSizeWord(header, i, 0);
    StampHeader(header);

    // The header declares both MOT parts in full, so the frame carries the header and
    // both parts whole.
    QWORD qwParts = static_cast<QWORD>(m_dwGsm1) + m_dwGsm2;
    if (qwParts > POSITION_MAX || !m_Staging.Rewrite() || !m_Staging.Append(header, IMAGE_HEADER_SIZE) ||
        !CopyToStaging(m_qwGsmOffset, static_cast<DWORD>(qwParts)) || !SendStaging())
        return false;

    ShowStep(IDS_LEGACY_STEP8);
    return Wait(LEGACY_LIMIT_GSM_MS, LEGACY_REPLY_EDGE_OK) == 1;
}

void CLegacyRun::Release()
{
    m_pTransport.reset();
    if (m_pImage != nullptr)
        std::fclose(m_pImage);
    m_pImage = nullptr;
    m_Staging.Close();
}
}

int RunLegacyUpdate(const LEGACY_RUN_CONFIG& config)
{
    CLegacyRun run(config);
    return run.Run();
}

int UpdateRun(const LEGACY_RUN_CONFIG& config)
{
    int nResult = RunLegacyUpdate(config);
    if (config.pView != nullptr)
        config.pView->EndDialog(nResult);
    return 0;
}
