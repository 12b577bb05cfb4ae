// Whole exchanges between the link (CDownloader and CDeviceChangeHandler) and the
// virtual handset, over each of the handset's transports: a pseudo-terminal reached
// through the production tty driver, and the in-process bus reached through
// CSimPortDriver.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/ByteOrder.h"
#include "common/LastError.h"
#include "image/OSUtil.h"
#include "link/DeviceChange.h"
#include "link/Downloader.h"
#include "link/LinkFakes.h"
#include "platform/sim/RecordingProgressView.h"
#include "platform/sim/SimDeviceNotifier.h"
#include "platform/sim/VirtualHandset.h"
#include "support/HandsetLink.h"

namespace
{
constexpr DWORD REAL_WAIT_MS = 10000;
// The port's write limit: ample for a handset that reads, short for one that stops.
constexpr DWORD WRITE_LIMIT_MS = 2000;

std::vector<BYTE> Bytes(size_t nLen, unsigned nSeed)
{
    std::mt19937 rng(nSeed);
    std::vector<BYTE> bytes(nLen);
    for (BYTE& b : bytes)
        b = static_cast<BYTE>(rng());
    return bytes;
}

// A prepared image: a 116-byte header (flag, size words) and its parts.
std::vector<BYTE> HeaderImage(DWORD dwFlag, const std::vector<DWORD>& sizes, size_t nBody)
{
    std::vector<BYTE> image(116, 0);
    std::memcpy(image.data(), "TAVU", 4);
    WriteLE32(image.data() + 4, dwFlag);
    for (size_t i = 0; i < sizes.size(); ++i)
        WriteLE32(image.data() + 8 + 4 * i, sizes[i]);
    std::vector<BYTE> body = Bytes(nBody, static_cast<unsigned>(dwFlag + nBody));
    image.insert(image.end(), body.begin(), body.end());
    return image;
}

std::vector<BYTE> Phase1Image()
{
    return HeaderImage(0x006, {33280, 300, 700}, 33280 + 300 + 700);
}

std::vector<BYTE> ReserveImage()
{
    return HeaderImage(0x019, {5000, 0, 0, 400, 600}, 5000 + 400 + 600);
}

// The parameter is the handset's transport (HANDSET_LINK).
class HandsetFixture : public ::testing::TestWithParam<int>
{
protected:
    void SetUp() override
    {
        m_Context.pClock = &m_Clock;
        m_Context.pPortDriver = &m_Link.Driver();
        m_Context.pHostVersion = &m_Host;
        m_Context.pMessageBox = &m_Box;
        m_pLink = std::make_unique<CDownloader>(m_Context);
        m_pHandler = std::make_unique<CDeviceChangeHandler>(*m_pLink);
        m_Handset.SetDelays(50, 100, 300);
        ASSERT_TRUE(m_Notifier.Start(m_pHandler.get()));
    }
    void TearDown() override
    {
        m_Notifier.Stop();
        m_Handset.Shutdown();
    }

    // The worker's way to a port: wait, open.
    void Connect()
    {
        ASSERT_TRUE(m_Handset.EnterDownloaderMode());
        ASSERT_TRUE(m_Handset.WaitForArrivals(1, REAL_WAIT_MS));
        ASSERT_EQ(m_pLink->WaitForAnyUSBConnect(), 0);
        ASSERT_TRUE(m_pLink->OpenUSB(0));
    }

    int Send(const std::vector<BYTE>& image, DWORD dwCommand = 0)
    {
        std::vector<BYTE> buf(image);
        buf.resize(image.size() + 10);
        COSUtil util;
        util.m_pBuf = buf.data();
        util.m_nBufLen = static_cast<DWORD>(buf.size());
        return m_pLink->ProcessDownload(&util, 0, dwCommand);
    }

    CClock m_Clock{1000};
    CHandsetLink m_Link{GetParam(), WRITE_LIMIT_MS};
    CVersionHost m_Host{true, 5, 1};
    CRecordingMessageBox m_Box;
    PlatformContext m_Context;
    CVirtualHandset m_Handset{m_Clock, m_Link.Transport()};
    CSimDeviceNotifier m_Notifier{m_Handset};
    std::unique_ptr<CDownloader> m_pLink;
    std::unique_ptr<CDeviceChangeHandler> m_pHandler;
};
}

TEST_P(HandsetFixture, AWholeUpdateInTheCurrentDialect)
{
    Connect();
    std::string strFirst = m_pLink->m_PortInfo[0].FileName;
    EXPECT_EQ(strFirst, m_Handset.DeviceName());

    // Phase 1: the handset leaves without a word and comes back under a new name.
    std::vector<BYTE> phase1 = Phase1Image();
    ASSERT_EQ(Send(phase1), DOWNLOAD_OK);
    ASSERT_EQ(m_Clock.WaitForEvent(*m_pLink->m_PortInfo[0].hRemovalEvent, 15000), EVENT_SIGNALLED);
    m_pLink->ClosePort(0);
    ASSERT_TRUE(m_Handset.WaitForArrivals(2, REAL_WAIT_MS));
    ASSERT_EQ(m_pLink->WaitForAnyUSBConnect(), 0);
    ASSERT_TRUE(m_pLink->OpenUSB(0));
    std::string strSecond = m_pLink->m_PortInfo[0].FileName;
    EXPECT_NE(strSecond, strFirst);

    // Phase 2: reserve region, then the operating system, with the bar moving.
    CRecordingProgressView view;
    m_pLink->m_pAttachedDlg = &view;
    m_pLink->SetDownloadStage(2);
    std::vector<BYTE> reserve = ReserveImage();
    ASSERT_EQ(Send(reserve), DOWNLOAD_OK);
    EXPECT_TRUE(m_pLink->WaitAndProcessResponse(0, ID_RESERVEOK));
    int nUpper = 0;
    view.Bar(0).GetRange(nullptr, &nUpper);
    EXPECT_EQ(nUpper, 14) << "the handset's \"3 LENGTH\" set the range";
    EXPECT_EQ(view.Bar(0).GetPos(), 5 + 3);

    m_pLink->SetDownloadStage(4);
    std::vector<BYTE> os = Bytes(30000, 4);
    ASSERT_EQ(Send(os), DOWNLOAD_OK);
    EXPECT_TRUE(m_pLink->WaitAndProcessResponse(0, ID_OSOK));

    std::vector<BYTE> closing = HeaderImage(0, {}, 0);
    ASSERT_EQ(Send(closing, CLOSING_COMMAND), DOWNLOAD_OK);
    ASSERT_TRUE(m_Handset.WaitForFrames(4, REAL_WAIT_MS));

    std::vector<HANDSET_FRAME> frames = m_Handset.Frames();
    ASSERT_EQ(frames.size(), 4u);
    const std::vector<BYTE>* sent[] = {&phase1, &reserve, &os, &closing};
    const int kinds[] = {HANDSET_FRAME_PHASE1, HANDSET_FRAME_RESERVE, HANDSET_FRAME_OS, HANDSET_FRAME_CLOSING};
    for (size_t i = 0; i < frames.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].Payload, *sent[i]);
        EXPECT_EQ(frames[i].dwDeclaredSize, sent[i]->size() + 10);
        EXPECT_TRUE(frames[i].bChecksumOk);
        EXPECT_TRUE(frames[i].bComplete);
        EXPECT_EQ(frames[i].nKind, kinds[i]);
        EXPECT_EQ(frames[i].strDevice, i == 0 ? strFirst : strSecond);
    }
    EXPECT_EQ(frames[3].dwCommand, CLOSING_COMMAND);
    EXPECT_TRUE(m_Box.Boxes().empty());
    EXPECT_TRUE(view.MessageBoxes().empty());
}

TEST_P(HandsetFixture, TheLegacyDialect)
{
    m_Handset.SetDialect(HANDSET_DIALECT_LEGACY);
    Connect();
    ASSERT_EQ(Send(Phase1Image()), DOWNLOAD_OK);
    char szReply[REPLY_BUFFER_SIZE] = {};
    ASSERT_TRUE(m_pLink->GetResponse(0, szReply));
    EXPECT_STREQ(szReply, "device reset.\n");
    EXPECT_EQ(m_pLink->ProcessResponse(szReply), ID_RESET);
    ASSERT_TRUE(m_Handset.WaitForArrivals(2, REAL_WAIT_MS));
    m_pLink->ClosePort(0);
    ASSERT_EQ(m_pLink->WaitForAnyUSBConnect(), 0);
    ASSERT_TRUE(m_pLink->OpenUSB(0));

    // The legacy reserve image: header, reserve region, boot loader, Vantor and IPL, each whole.
    std::vector<BYTE> reserve = HeaderImage(0x01B, {5000, 1000, 0, 400, 600}, 5000 + 1000 + 400 + 600);
    ASSERT_EQ(Send(reserve), DOWNLOAD_OK);
    std::vector<std::string> lines;
    for (int i = 0; i < 5; ++i)
    {
        std::memset(szReply, 0, sizeof(szReply));
        ASSERT_TRUE(m_pLink->GetResponse(0, szReply));
        lines.emplace_back(szReply);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"3 LENGTH\n", ".\n", ".\n", ".\n", "Reserved region ok.\n"}));

    ASSERT_EQ(Send(HeaderImage(0x100, {0, 0, 0, 0, 0, 0, 900, 1100}, 2000)), DOWNLOAD_OK);
    EXPECT_TRUE(m_pLink->WaitAndProcessResponse(0, ID_EDGEOK));
    ASSERT_EQ(Send(Bytes(20000, 9)), DOWNLOAD_OK);
    EXPECT_TRUE(m_pLink->WaitAndProcessResponse(0, ID_OSOK));
    std::vector<HANDSET_FRAME> frames = m_Handset.Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].nKind, HANDSET_FRAME_RESERVE);
    EXPECT_TRUE(frames[1].bHeaderOk);
    EXPECT_EQ(frames[2].nKind, HANDSET_FRAME_MODULE);
}

TEST_P(HandsetFixture, BadFramesAreRecordedAndAnsweredWithAFailure)
{
    Connect();
    // A header whose sizes do not account for the payload.
    ASSERT_EQ(Send(HeaderImage(0x001, {5000}, 4000)), DOWNLOAD_OK);
    EXPECT_FALSE(m_pLink->WaitAndProcessResponse(0, ID_RESERVEOK));
    // A wrong checksum, written by hand.
    std::vector<BYTE> frame(8 + 20 + 2, 0x33);
    WriteLE32(frame.data(), 0);
    WriteLE32(frame.data() + 4, static_cast<DWORD>(frame.size()));
    DWORD dwWritten = 0;
    ASSERT_TRUE(m_Link.Driver().Write(m_pLink->m_PortInfo[0].hOut, frame.data(), static_cast<DWORD>(frame.size()), &dwWritten));
    EXPECT_FALSE(m_pLink->WaitAndProcessResponse(0, ID_OSOK));
    ASSERT_TRUE(m_Handset.WaitForFrames(2, REAL_WAIT_MS));
    std::vector<HANDSET_FRAME> frames = m_Handset.Frames();
    EXPECT_TRUE(frames[0].bChecksumOk);
    EXPECT_FALSE(frames[0].bHeaderOk);
    EXPECT_FALSE(frames[1].bChecksumOk);
    EXPECT_EQ(frames[1].nKind, HANDSET_FRAME_BAD);
    EXPECT_EQ(m_Box.Boxes().size(), 2u) << "each failure showed \"os program fail\"";
}

TEST_P(HandsetFixture, ScriptedAndFaultyReplies)
{
    Connect();
    struct CASE
    {
        std::vector<std::string> Replies;
        bool bResult;
    };
    const CASE cases[] = {
        {{"1 LENGTH\n", ".\n", "OS program failed!\n"}, false},
        {{"Flash Incorrect.\n"}, false},
        {{CVirtualHandset::OverlongLine(300), "OS program ok!\n"}, false},
        {{CVirtualHandset::GarbageBytes() + "\n", "OEM program failed.\n", "OS program ok!\n"}, true},
    };
    size_t nFrame = 0;
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(nFrame);
        m_Handset.ScriptReplies(nFrame++, c.Replies);
        ASSERT_EQ(Send(Bytes(100, 1)), DOWNLOAD_OK);
        EXPECT_EQ(m_pLink->WaitAndProcessResponse(0, ID_OSOK), c.bResult);
        // Start each case on a clean line.
        m_pLink->ClosePort(0);
        m_pLink->AddUSB(m_Handset.DeviceName().c_str());
        ASSERT_TRUE(m_pLink->OpenUSB(0));
        BYTE drain[512];
        DWORD dwRead = 1;
        while (dwRead > 0 && m_Link.Driver().Read(m_pLink->m_PortInfo[0].hOut, drain, sizeof(drain), &dwRead))
        {
        }
    }
}

TEST_P(HandsetFixture, DroppingOffTheBusMidFrameFailsTheWrite)
{
    Connect();
    m_Handset.DropAfterBytes(5000, false);
    EXPECT_EQ(Send(Bytes(40000, 2)), DOWNLOAD_WRITE_FAILED);
    ASSERT_TRUE(m_Handset.WaitForRemovals(1, REAL_WAIT_MS));
    EXPECT_EQ(m_Clock.WaitForEvent(*m_pLink->m_PortInfo[0].hRemovalEvent, 1000), EVENT_SIGNALLED);
    std::vector<HANDSET_FRAME> frames = m_Handset.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].bComplete);
    EXPECT_EQ(frames[0].Payload.size(), 5000u - 8);
    EXPECT_FALSE(m_Handset.IsPresent());
}

TEST_P(HandsetFixture, AHandsetThatStopsReadingFailsTheWriteAtTheWriteLimit)
{
    Connect();
    m_Handset.StopReadingAfterBytes(5000);
    // Far more than the link holds: the write stalls once the handset stops reading.
    EXPECT_EQ(Send(Bytes(1 << 20, 5)), DOWNLOAD_WRITE_FAILED);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ETIMEDOUT)) << "the write limit ended it";
    EXPECT_TRUE(m_Handset.IsPresent()) << "it stays on the bus";
    EXPECT_EQ(m_Handset.RemovalCount(), 0);
    EXPECT_EQ(m_Handset.FrameCount(), 0u) << "no frame came whole";

    // The stalled port still reads what the handset has to say: nothing.
    BYTE b = 0;
    DWORD dwRead = 1;
    EXPECT_TRUE(m_Link.Driver().Read(m_pLink->m_PortInfo[0].hOut, &b, 1, &dwRead));
    EXPECT_EQ(dwRead, 0u);
}

TEST_P(HandsetFixture, SilenceRunsTheWaitOut)
{
    CClock fast(4000);
    m_Context.pClock = &fast;
    CDownloader link(m_Context);
    CDeviceChangeHandler handler(link);
    m_Notifier.Start(&handler);
    m_Handset.SetSilent(true);
    ASSERT_TRUE(m_Handset.EnterDownloaderMode());
    ASSERT_TRUE(m_Handset.WaitForArrivals(1, REAL_WAIT_MS));
    ASSERT_TRUE(link.OpenUSB(0));
    std::vector<BYTE> buf(60, 1);
    COSUtil util;
    util.m_pBuf = buf.data();
    util.m_nBufLen = 60;
    ASSERT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_OK);
    DWORD dwStart = fast.GetTickCount();
    EXPECT_FALSE(link.WaitAndProcessResponse(0, ID_OSOK));
    EXPECT_GE(fast.GetTickCount() - dwStart, 360000u);
    ASSERT_TRUE(m_Handset.WaitForFrames(1, REAL_WAIT_MS));
    m_Notifier.Stop();
}

TEST_P(HandsetFixture, RefusingToLeaveAndNotComingBack)
{
    m_Handset.SetRefuseToLeave(true);
    Connect();
    ASSERT_EQ(Send(Phase1Image()), DOWNLOAD_OK);
    EXPECT_EQ(m_Clock.WaitForEvent(*m_pLink->m_PortInfo[0].hRemovalEvent, 15000), EVENT_TIMEOUT);
    EXPECT_TRUE(m_Handset.IsPresent());

    m_Handset.SetRefuseToLeave(false);
    m_Handset.SetNoComeBack(true);
    ASSERT_EQ(Send(Phase1Image()), DOWNLOAD_OK);
    ASSERT_TRUE(m_Handset.WaitForRemovals(1, REAL_WAIT_MS));
    EXPECT_FALSE(m_Handset.WaitForArrivals(2, 500));
    EXPECT_EQ(m_Handset.DeviceName(), "");
    EXPECT_STREQ(m_pLink->m_PortInfo[0].FileName, "");

    // Starting the agent again brings it back.
    ASSERT_TRUE(m_Handset.EnterDownloaderMode());
    EXPECT_TRUE(m_Handset.WaitForArrivals(2, REAL_WAIT_MS));
    EXPECT_TRUE(m_pLink->m_PortInfo[0].bConnected);
}

INSTANTIATE_TEST_SUITE_P(Links, HandsetFixture, ::testing::ValuesIn(HANDSET_LINKS),
                         [](const ::testing::TestParamInfo<int>& param) { return HandsetLinkName(param.param); });
