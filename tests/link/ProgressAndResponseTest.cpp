#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <fstream>
#include <cstring>
#include <string>
#include <vector>

#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "link/LinkFakes.h"
#include "platform/posix/TtyPortDriver.h"
#include "platform/sim/RecordingProgressView.h"
#include "res/Strings.h"
#include "support/ImageBuilder.h"
#include "support/PtyPair.h"
#include "support/TraceCapture.h"

namespace
{
class LinkFixture : public CLinkTest
{
};
}

TEST(SetupProgress, RangeAndStartPositionFollowTheSinglePrecisionRule)
{
    struct CASE
    {
        DWORD dwCount;
        int nStage;
        int nRange;
        int nPos;
    };
    const CASE cases[] = {
        {1, 2, 4, 1},   {1, 3, 4, 2},   {1, 4, 4, 3},   {3, 2, 14, 5},  {3, 3, 14, 8},
        {3, 4, 14, 11}, {10, 2, 49, 19}, {10, 3, 49, 29}, {10, 4, 49, 39}, {0, 2, 0, 0},
        {1, 0, 4, 0},   {120, 2, 599, 239},
    };
    for (const CASE& c : cases)
    {
        CRecordingProgressView view;
        EXPECT_EQ(SetupProgress(c.dwCount, view.GetBar(PROGRESS_BAR_MAIN), c.nStage), c.nRange) << c.dwCount;
        int nLower = -1;
        int nUpper = -1;
        view.Bar(0).GetRange(&nLower, &nUpper);
        EXPECT_EQ(nLower, 0);
        EXPECT_EQ(nUpper, c.nRange);
        EXPECT_EQ(view.Bar(0).GetPos(), c.nPos) << c.dwCount << " stage " << c.nStage;
    }
    for (DWORD dwCount : {1u, 2u, 7u, 1000u, 349525u, 13421773u})
        EXPECT_EQ(SetupProgress(dwCount, nullptr, 0), static_cast<int>(5 * dwCount - 1)) << dwCount;
}

TEST_F(LinkFixture, ProgressMovesOnePositionPerFullPieceFromStage2)
{
    CRecordingProgressView view;
    CDownloader link(m_Context);
    link.m_pAttachedDlg = &view;
    link.AddUSB("/dev/fake");
    ASSERT_TRUE(link.OpenUSB(0));
    COSUtil util;
    std::vector<BYTE> buf(12288 * 3 + 5);
    util.m_pBuf = buf.data();
    util.m_nBufLen = static_cast<DWORD>(buf.size());

    link.SetDownloadStage(2);
    ASSERT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_OK);
    int nUpper = 0;
    view.Bar(0).GetRange(nullptr, &nUpper);
    EXPECT_EQ(nUpper, 14);
    // Four pieces, three steps: the range allows positions 6, 7 and 8 (start 5), and more.
    std::vector<int> positions;
    for (const RECORDED_BAR_STATE& state : view.Bar(0).History())
        positions.push_back(state.nPos);
    EXPECT_EQ(positions, (std::vector<int>{0, 5, 6, 7, 8, 9}));
    EXPECT_EQ(view.Percents(), (std::vector<std::string>{"42", "50", "57", "64"}));

    // Stages 0 and 1 leave the bar and the percent box alone.
    for (int nStage : {0, 1})
    {
        CRecordingProgressView quiet;
        link.m_pAttachedDlg = &quiet;
        link.SetDownloadStage(nStage);
        ASSERT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_OK);
        EXPECT_TRUE(quiet.Bar(0).History().empty());
        EXPECT_TRUE(quiet.Percents().empty());
    }

    // Less than one full piece: range 0, position 0, no movement.
    CRecordingProgressView small;
    link.m_pAttachedDlg = &small;
    link.SetDownloadStage(3);
    std::vector<BYTE> tiny(100);
    util.m_pBuf = tiny.data();
    util.m_nBufLen = 100;
    ASSERT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_OK);
    int nLower = -1;
    small.Bar(0).GetRange(&nLower, &nUpper);
    EXPECT_EQ(nUpper, 0);
    EXPECT_EQ(small.Bar(0).GetPos(), 0);
    EXPECT_TRUE(small.Percents().empty());

    // Without a progress window the frame still goes out.
    link.m_pAttachedDlg = nullptr;
    m_Driver.Pieces.clear();
    util.m_pBuf = buf.data();
    util.m_nBufLen = static_cast<DWORD>(buf.size());
    EXPECT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_OK);
    EXPECT_EQ(m_Driver.Pieces.size(), 4u);
}

TEST_F(LinkFixture, RepliesAreClassifiedByTheFirstMatchingRow)
{
    struct CASE
    {
        const char* pszReply;
        int nId;
        const char* pszName;
    };
    const CASE cases[] = {
        {"EDGE program ok!\n", ID_EDGEOK, "ID_EDGEOK"},
        {"Flash Incorrect.\n", ID_NFERR, "ID_NFERR"},
        {"Reserved region ok.\n", ID_RESERVEOK, "ID_RESERVEOK"},
        {"OS program ok!\n", ID_OSOK, "ID_OSOK"},
        {"OS program failed!\n", ID_OSERR, "ID_OSERR"},
        {"OEM program failed.\n", ID_OEMERR, "ID_OEMERR"},
        {"OS not compatible.\n", ID_OSNOTMATCH, "ID_OSNOTMATCH"},
        {"device reset.\n", ID_RESET, "ID_RESET"},
        {".\n", ID_STEP, "ID_STEP"},
        {"EDGE program error!\n", ID_EDGEERR, "ID_EDGEERR"},
        {"120 LENGTH\n", ID_LENGTH, "ID_LENGTH"},
        {"", ID_NOT_DEFINE, "ID_NOT_DEFINE"},
        // Order of the rows decides, and "contains" is a substring test.
        {"EDGE program ok!\nOS program ok!\n", ID_EDGEOK, "ID_EDGEOK"},
        {"OS program ok!\nFlash Incorrect.\n", ID_NFERR, "ID_NFERR"},
        {"Reserved region ok.\nOS program ok!\n", ID_RESERVEOK, "ID_RESERVEOK"},
        {"xx OS program ok!\n", ID_OSOK, "ID_OSOK"},
        {"device reset.\nLENGTH\n", ID_RESET, "ID_RESET"},
        {".\nLENGTH", ID_LENGTH, "ID_LENGTH"},   // a step must be exactly ".\n"
        {"..\n", ID_NOT_DEFINE, "ID_NOT_DEFINE"},
        {". \n", ID_NOT_DEFINE, "ID_NOT_DEFINE"},
        {"os program ok!\n", ID_NOT_DEFINE, "ID_NOT_DEFINE"},
        {"OS program ok!", ID_NOT_DEFINE, "ID_NOT_DEFINE"},
    };
    CRecordingProgressView view;
    CDownloader link(m_Context);
    link.m_pAttachedDlg = &view;
    for (const CASE& c : cases)
    {
        CTraceCapture capture;
        EXPECT_EQ(link.ProcessResponse(c.pszReply), c.nId) << c.pszReply;
        EXPECT_EQ(capture.Count(std::string("response id = ") + c.pszName), 1) << c.pszReply;
        EXPECT_EQ(capture.Count("CDownloader::ProcessResponse --"), c.nId == ID_NOT_DEFINE ? 1 : 0);
    }
}

TEST_F(LinkFixture, ErrorRepliesShowTheirBoxOnTheWindowOrOnTheirOwn)
{
    struct CASE
    {
        const char* pszReply;
        UINT nText;
    };
    const CASE cases[] = {
        {"Flash Incorrect.\n", IDS_FLASH_TYPE_NOT_MATCH}, {"OS program failed!\n", IDS_OS_PROGRAM_FAIL},
        {"OEM program failed.\n", IDS_OEM_PROGRAM_FAIL},  {"OS not compatible.\n", IDS_OS_NOT_COMPATIBLE},
        {"EDGE program error!\n", IDS_EDGE_UPDATE_FAIL},
    };
    CRecordingProgressView view;
    CDownloader link(m_Context);
    link.m_pAttachedDlg = &view;
    for (const CASE& c : cases)
        link.ProcessResponse(c.pszReply);
    link.ProcessResponse("OS program ok!\n");
    std::vector<RECORDED_MESSAGE_BOX> boxes = view.MessageBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    for (size_t i = 0; i < boxes.size(); ++i)
    {
        EXPECT_EQ(boxes[i].strText, LoadVuqString(cases[i].nText));
        EXPECT_EQ(boxes[i].strCaption, "ERROR");
        EXPECT_EQ(boxes[i].uStyle, MB_STYLE_ICONERROR | MB_STYLE_TOPMOST);
    }
    EXPECT_EQ(std::string(LoadVuqString(IDS_FLASH_TYPE_NOT_MATCH)), "flash type not match");
    EXPECT_TRUE(m_Box.Boxes().empty());

    link.m_pAttachedDlg = nullptr;
    CTraceCapture capture;
    link.ProcessResponse("OS program failed!\n");
    ASSERT_EQ(m_Box.Boxes().size(), 1u);
    EXPECT_EQ(m_Box.Boxes()[0].strText, "os program fail");
    EXPECT_TRUE(capture.Contains("No attached dialog"));
}

TEST_F(LinkFixture, LengthAndStepRepliesDriveTheBar)
{
    CRecordingProgressView view;
    CDownloader link(m_Context);
    link.m_pAttachedDlg = &view;
    link.SetDownloadStage(2);
    int nUpper = 0;

    EXPECT_EQ(link.ProcessResponse("120 LENGTH\n"), ID_LENGTH);
    view.Bar(0).GetRange(nullptr, &nUpper);
    EXPECT_EQ(nUpper, 599);
    EXPECT_EQ(view.Bar(0).GetPos(), 239);
    EXPECT_EQ(link.ProcessResponse(".\n"), ID_STEP);
    EXPECT_EQ(view.Bar(0).GetPos(), 240);
    EXPECT_EQ(view.Percents().back(), "40 %");

    // At the upper limit a step changes nothing.
    view.Bar(0).SetPos(599);
    size_t nPercents = view.Percents().size();
    link.ProcessResponse(".\n");
    EXPECT_EQ(view.Bar(0).GetPos(), 599);
    EXPECT_EQ(view.Percents().size(), nPercents);

    // The word first: the number reads 0, so range and position 0, and no step moves.
    link.ProcessResponse("LENGTH 120\n");
    view.Bar(0).GetRange(nullptr, &nUpper);
    EXPECT_EQ(nUpper, 0);
    EXPECT_EQ(view.Bar(0).GetPos(), 0);
    link.ProcessResponse(".\n");
    EXPECT_EQ(view.Bar(0).GetPos(), 0);

    // Below stage 2 a step does not move the bar.
    link.ProcessResponse("10 LENGTH\n");
    int nPos = view.Bar(0).GetPos();
    link.SetDownloadStage(1);
    link.ProcessResponse(".\n");
    EXPECT_EQ(view.Bar(0).GetPos(), nPos);

    // A negative count reads as a huge unsigned one: the range is clamped to the
    // largest int, and a step at that end neither moves the bar nor overflows.
    link.SetDownloadStage(4);
    link.ProcessResponse("-5 LENGTH\n");
    view.Bar(0).GetRange(nullptr, &nUpper);
    EXPECT_EQ(nUpper, INT_MAX);
    view.Bar(0).SetPos(INT_MAX);
    link.ProcessResponse(".\n");
    EXPECT_EQ(view.Bar(0).GetPos(), INT_MAX);
}

TEST_F(LinkFixture, FailingReadsArePacedUntilTheLineLimit)
{
    // Every read fails at once: the line still ends after its 200000 ms, in pauses
    // of 100 ms rather than a loop that never lets the processor go.
    CDownloader link(m_Context);
    link.AddUSB("/dev/gone");
    ASSERT_TRUE(link.OpenUSB(0));
    m_Driver.bReadsFail = true;
    char szReply[REPLY_BUFFER_SIZE] = {};
    EXPECT_FALSE(link.GetResponse(0, szReply));
    EXPECT_STREQ(szReply, "");
    std::vector<DWORD> sleeps = m_Clock.Sleeps();
    ASSERT_EQ(sleeps.size(), 2000u);
    EXPECT_EQ(sleeps.front(), 100u);
}

namespace
{
// The link on one end of a pseudo-terminal, the test on the other.
class PtyReplyFixture : public LinkFixture
{
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        ASSERT_TRUE(m_Pty.IsOpen());
        m_Context.pPortDriver = &m_Tty;
        m_Context.pClock = &m_Scaled;
        m_pLink = std::make_unique<CDownloader>(m_Context);
        m_pLink->AddUSB(m_Pty.SlaveName().c_str());
        ASSERT_TRUE(m_pLink->OpenUSB(0));
    }
    void TearDown() override
    {
        m_pLink.reset();
        LinkFixture::TearDown();
    }

    CPtyPair m_Pty;
    CTtyPortDriver m_Tty;
    CClock m_Scaled{1000};
    std::unique_ptr<CDownloader> m_pLink;
};
}

TEST_F(PtyReplyFixture, ALineOf255BytesFitsAndA256thByteOverruns)
{
    std::string strLine(254, 'a');
    strLine += '\n';
    ASSERT_TRUE(m_Pty.WriteMaster(strLine + "next\n"));
    char szReply[REPLY_BUFFER_SIZE] = {};
    EXPECT_TRUE(m_pLink->GetResponse(0, szReply));
    EXPECT_EQ(std::string(szReply), strLine);
    // What followed the line feed stays for the next read.
    std::memset(szReply, 0, sizeof(szReply));
    EXPECT_TRUE(m_pLink->GetResponse(0, szReply));
    EXPECT_EQ(std::string(szReply), "next\n");

    CTraceCapture capture;
    ASSERT_TRUE(m_Pty.WriteMaster(std::string(255, 'b') + "\n"));
    std::memset(szReply, 0, sizeof(szReply));
    EXPECT_FALSE(m_pLink->GetResponse(0, szReply));
    EXPECT_TRUE(capture.Contains("buffer overrun"));
    EXPECT_EQ(std::strlen(szReply), 255u);
}

TEST_F(PtyReplyFixture, ASilentLineEndsAfter200000msWithWhatCame)
{
    ASSERT_TRUE(m_Pty.WriteMaster("OS pro"));
    char szReply[REPLY_BUFFER_SIZE] = {};
    DWORD dwStart = m_Scaled.GetTickCount();
    EXPECT_TRUE(m_pLink->GetResponse(0, szReply));
    EXPECT_GE(m_Scaled.GetTickCount() - dwStart, 200000u);
    EXPECT_EQ(std::string(szReply), "OS pro");
}

TEST_F(PtyReplyFixture, TheWaitGoesOnPastNonFatalRepliesAndStopsAtFatalOnes)
{
    struct CASE
    {
        std::string strReplies;
        int nRequired;
        bool bResult;
        size_t nBoxes;
    };
    const CASE cases[] = {
        {"3 LENGTH\n.\n.\nOS program ok!\n.\nReserved region ok.\n", ID_RESERVEOK, true, 0},
        {"OEM program failed.\nReserved region ok.\n", ID_RESERVEOK, true, 1},
        {"garbage\n\nOS program ok!\n", ID_OSOK, true, 0},
        {"Flash Incorrect.\nReserved region ok.\n", ID_RESERVEOK, false, 1},
        {"OS program failed!\nOS program ok!\n", ID_OSOK, false, 1},
        {"OS not compatible.\nOS program ok!\n", ID_OSOK, false, 1},
        {"EDGE program error!\nOS program ok!\n", ID_OSOK, false, 1},
        {std::string(300, 'x') + "\nOS program ok!\n", ID_OSOK, false, 0},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.strReplies.substr(0, 40));
        CRecordingProgressView view;
        m_pLink->m_pAttachedDlg = &view;
        ASSERT_TRUE(m_Pty.WriteMaster(c.strReplies));
        CTraceCapture capture;
        EXPECT_EQ(m_pLink->WaitAndProcessResponse(0, c.nRequired), c.bResult);
        EXPECT_EQ(view.MessageBoxes().size(), c.nBoxes);
        EXPECT_EQ(capture.Count("*************required response has got************"), c.bResult ? 1 : 0);
        // Drain what a failed wait left on the line.
        m_pLink->ClosePort(0);
        m_pLink->AddUSB(m_Pty.SlaveName().c_str());
        ASSERT_TRUE(m_pLink->OpenUSB(0));
        std::vector<BYTE> leftover;
        char szReply[REPLY_BUFFER_SIZE];
        while (!c.bResult && m_Pty.IsOpen())
        {
            std::memset(szReply, 0, sizeof(szReply));
            m_pLink->GetResponse(0, szReply);
            if (szReply[0] == '\0')
                break;
        }
    }
}

TEST_F(PtyReplyFixture, TheWaitEndsAfter360000msOfUselessReplies)
{
    CClock fast(4000);
    m_Context.pClock = &fast;
    m_pLink->ClosePort(0);   // the port is held exclusively: one link at a time
    CDownloader link(m_Context);
    link.AddUSB(m_Pty.SlaveName().c_str());
    ASSERT_TRUE(link.OpenUSB(0));
    DWORD dwStart = fast.GetTickCount();
    EXPECT_FALSE(link.WaitAndProcessResponse(0, ID_OSOK));
    EXPECT_GE(fast.GetTickCount() - dwStart, 360000u);
}

namespace
{
// The production tty driver, counting its reads.
class CCountingTty : public CTtyPortDriver
{
public:
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override
    {
        ++m_nReads;
        return CTtyPortDriver::Read(hPort, pBuf, dwLen, pdwRead);
    }
    int Reads() const { return m_nReads.load(); }

private:
    std::atomic<int> m_nReads{0};
};
}

// A node that answers every read at once with nothing (a plain file at its end):
// the reply wait is paced through the clock, about one read per 100 ms of the line
// limit, instead of spinning on the processor until the limit runs out.
TEST(ReplyPacing, APortThatAnswersNothingAtOnceIsPacedNotSpun)
{
    CTempDir dir;
    std::string strPort = dir.File("not-a-tty");
    std::ofstream(strPort).put('\0');
    CCountingTty port;
    CClock clock(2000);   // the 200000 ms line limit passes in 100 ms
    PlatformContext context;
    context.pClock = &clock;
    context.pPortDriver = &port;
    CDownloader link(context);
    link.AddUSB(strPort.c_str());
    ASSERT_TRUE(link.OpenUSB(0));
    char szReply[REPLY_BUFFER_SIZE] = {};
    EXPECT_TRUE(link.GetResponse(0, szReply)) << "the line limit passed on a port whose reads succeed";
    EXPECT_LE(port.Reads(), 200000 / 100 + 10);
    link.ClosePort(0);
}
