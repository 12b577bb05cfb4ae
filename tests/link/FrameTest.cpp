#include <gtest/gtest.h>

#include <algorithm>

#include <future>
#include <random>
#include <string>
#include <vector>

#include "common/ByteOrder.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "link/LinkFakes.h"
#include "platform/posix/TtyPortDriver.h"
#include "support/PtyPair.h"
#include "support/TraceCapture.h"

namespace
{
// The frame as the handset expects it, built independently of the link.
std::vector<BYTE> ExpectedFrame(const std::vector<BYTE>& payload, DWORD dwCommand)
{
    std::vector<BYTE> frame(payload.size() + 10);
    WriteLE32(frame.data(), dwCommand);
    WriteLE32(frame.data() + 4, static_cast<DWORD>(payload.size() + 10));
    std::copy(payload.begin(), payload.end(), frame.begin() + 8);
    WORD wSum = 0;
    for (BYTE b : payload)
        wSum = static_cast<WORD>(wSum + b);
    WriteLE16(frame.data() + 8 + payload.size(), wSum);
    return frame;
}

// A prepared buffer: the payload and 10 spare bytes (filled with a marker so a
// test sees whether they were touched).
std::vector<BYTE> Prepared(const std::vector<BYTE>& payload)
{
    std::vector<BYTE> buf(payload);
    buf.resize(payload.size() + 10, 0xEE);
    return buf;
}

std::vector<BYTE> Pattern(size_t nLen, unsigned nSeed)
{
    std::mt19937 rng(nSeed);
    std::vector<BYTE> bytes(nLen);
    for (BYTE& b : bytes)
        b = static_cast<BYTE>(rng());
    return bytes;
}

class FrameFixture : public CLinkTest
{
protected:
    int Send(CDownloader& link, std::vector<BYTE>& buf, int portIndex, DWORD dwCommand)
    {
        COSUtil util;
        util.m_pBuf = buf.data();
        util.m_nBufLen = static_cast<DWORD>(buf.size());
        return link.ProcessDownload(&util, portIndex, dwCommand);
    }
};
}

TEST_F(FrameFixture, CrossesAPseudoTerminalByteForByte)
{
    CPtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    CTtyPortDriver tty;
    CClock clock(1000);
    m_Context.pPortDriver = &tty;
    m_Context.pClock = &clock;
    CDownloader link(m_Context);
    link.AddUSB(pty.SlaveName().c_str());
    ASSERT_TRUE(link.OpenUSB(0));

    struct CASE
    {
        std::vector<BYTE> Payload;
        DWORD dwCommand;
        WORD wChecksum;   // 0xFFFF: not checked here
    };
    const CASE cases[] = {
        {{}, 0, 0x0000},
        {{0x61, 0x62, 0x63}, 0, 0x0126},
        {std::vector<BYTE>(257, 0xFF), 0, 0xFFFF},
        {std::vector<BYTE>(258, 0xFF), 0, 0x00FE},
        {Pattern(12278, 1), 0, 0xFFFF},   // size 12288: one piece
        {Pattern(12279, 2), 0, 0xFFFF},   // size 12289: 12288 + 1, checksum split over both
        {Pattern(40000, 3), CLOSING_COMMAND, 0xFFFF},
        {{0x0A, 0x0D, 0x03, 0x11, 0x13, 0x04, 0x1A, 0x7F, 0xFF, 0x00}, 0, 0xFFFF},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.Payload.size());
        std::vector<BYTE> buf = Prepared(c.Payload);
        std::vector<BYTE> expected = ExpectedFrame(c.Payload, c.dwCommand);
        // The master is read while the frame goes out: a pseudo-terminal holds only a few KiB.
        auto received = std::async(std::launch::async, [&] { return pty.ReadMaster(expected.size(), 5000); });
        ASSERT_EQ(Send(link, buf, 0, c.dwCommand), DOWNLOAD_OK);
        EXPECT_EQ(received.get(), expected);
        EXPECT_EQ(buf, expected) << "the buffer holds the frame afterwards";
        if (c.wChecksum != 0xFFFF || c.Payload.size() == 257)
        {
            EXPECT_EQ(ReadLE16(expected.data() + expected.size() - 2), c.wChecksum);
        }
    }
    link.ClosePort(0);
}

TEST_F(FrameFixture, WritesPiecesOfAtMost12288Bytes)
{
    CDownloader link(m_Context);
    link.AddUSB("/dev/fake");
    ASSERT_TRUE(link.OpenUSB(0));
    struct CASE
    {
        size_t nPayload;
        std::vector<size_t> Pieces;
    };
    const CASE cases[] = {
        {0, {10}},
        {12278, {12288}},
        {12279, {12288, 1}},
        {12288 * 2 - 9, {12288, 12288, 1}},
        {12288 * 3, {12288, 12288, 12288, 10}},
    };
    for (const CASE& c : cases)
    {
        SCOPED_TRACE(c.nPayload);
        m_Driver.Pieces.clear();
        std::vector<BYTE> payload = Pattern(c.nPayload, 7);
        std::vector<BYTE> buf = Prepared(payload);
        ASSERT_EQ(Send(link, buf, 0, 0), DOWNLOAD_OK);
        std::vector<size_t> sizes;
        std::vector<BYTE> joined;
        for (const auto& piece : m_Driver.Pieces)
        {
            sizes.push_back(piece.size());
            joined.insert(joined.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(sizes, c.Pieces);
        EXPECT_EQ(joined, ExpectedFrame(payload, 0));
    }
}

TEST_F(FrameFixture, RefusedRequestsLeaveTheBufferUntouched)
{
    CDownloader link(m_Context);
    link.AddUSB("/dev/fake");
    ASSERT_TRUE(link.OpenUSB(0));
    std::vector<BYTE> payload = Pattern(100, 9);
    for (int portIndex : {-1, 1, 2})
    {
        std::vector<BYTE> buf = Prepared(payload);
        EXPECT_EQ(Send(link, buf, portIndex, 0), DOWNLOAD_REFUSED) << portIndex;
        EXPECT_EQ(buf, Prepared(payload));
    }
    for (size_t nSize : {0u, 1u, 9u})
    {
        std::vector<BYTE> buf(nSize, 0x5A);
        EXPECT_EQ(Send(link, buf, 0, 0), DOWNLOAD_REFUSED) << nSize;
        EXPECT_EQ(buf, std::vector<BYTE>(nSize, 0x5A));
    }
    COSUtil empty;
    empty.m_nBufLen = 100;
    EXPECT_EQ(link.ProcessDownload(&empty, 0, 0), DOWNLOAD_REFUSED);
    EXPECT_TRUE(m_Driver.Pieces.empty());
}

TEST_F(FrameFixture, AShortWriteEndsTheSendWith18)
{
    CDownloader link(m_Context);
    link.AddUSB("/dev/fake");
    ASSERT_TRUE(link.OpenUSB(0));
    m_Driver.nShortWrite = 1;
    std::vector<BYTE> payload = Pattern(12288 * 3, 11);
    std::vector<BYTE> buf = Prepared(payload);
    CTraceCapture capture;
    EXPECT_EQ(Send(link, buf, 0, 0), DOWNLOAD_WRITE_FAILED);
    ASSERT_EQ(m_Driver.Pieces.size(), 2u) << "no write after the short one";
    EXPECT_EQ(m_Driver.Pieces[1].size(), 12287u);
    EXPECT_EQ(buf, ExpectedFrame(payload, 0)) << "the buffer still becomes the frame";

    // Trace order: the checksum and size lines come before the write error.
    int nSize = capture.Find("Download Size = ");
    int nError = capture.Find("WriteFile error, last error = ");
    ASSERT_GE(nSize, 0);
    EXPECT_GT(nError, nSize);
    EXPECT_GE(capture.Find("CDownloader :: ProcessDownload -- Result = 18 ", nError), 0);
}

TEST_F(FrameFixture, AFailedWriteOnAClosedPortGives18)
{
    CDownloader link(m_Context);   // never opened: hOut is invalid
    std::vector<BYTE> buf = Prepared(Pattern(50, 1));
    EXPECT_EQ(Send(link, buf, 0, 0), DOWNLOAD_WRITE_FAILED);
}

TEST_F(FrameFixture, TraceLinesOfASend)
{
    CDownloader link(m_Context);
    link.AddUSB("/dev/fake");
    ASSERT_TRUE(link.OpenUSB(0));
    std::vector<BYTE> buf = Prepared({0x61, 0x62, 0x63});
    CTraceCapture capture;
    ASSERT_EQ(Send(link, buf, 0, 0), DOWNLOAD_OK);
    // Only the link's own lines: the image container traces its own life as well.
    std::vector<std::string> lines;
    for (const std::string& strLine : capture.Lines())
        if (strLine.rfind("COSUtil", 0) != 0)
            lines.push_back(strLine);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[0].find("CDownloader :: ProcessDownload pBuf = 0x"), std::string::npos);
    EXPECT_NE(lines[0].find(", size = 3, id = 0++"), std::string::npos);
    EXPECT_EQ(lines[1], "CDownloader :: ByteCheckSum++");
    EXPECT_EQ(lines[2], "CDownloader :: ByteCheckSum--");
    EXPECT_EQ(lines[3], "Download Size = 13\r\n*(pBuf) = 0x0\r\n*(pBuf+8+BufferSize) = 0x26\r\n");
    EXPECT_EQ(lines[4], "CDownloader :: ProcessDownload -- Result = 1 ");
}

TEST(ByteCheckSum, IsTheWrappingByteSumForEveryLengthAndAlignment)
{
    std::vector<BYTE> data = Pattern(5000, 5);
    for (size_t nOffset : {0u, 1u, 3u, 7u})
    {
        for (size_t nLen = 0; nLen + nOffset <= 2100; nLen += 1 + nLen / 16)
        {
            WORD wExpected = 0;
            for (size_t i = 0; i < nLen; ++i)
                wExpected = static_cast<WORD>(wExpected + data[nOffset + i]);
            ASSERT_EQ(CDownloader::ByteCheckSum(data.data() + nOffset, static_cast<int>(nLen)), wExpected)
                << nOffset << " " << nLen;
        }
    }
    // Long runs of 0xFF stress the lane folding.
    std::vector<BYTE> ff(1 << 20, 0xFF);
    EXPECT_EQ(CDownloader::ByteCheckSum(ff.data(), static_cast<int>(ff.size())),
              static_cast<WORD>((static_cast<QWORD>(ff.size()) * 255) & 0xFFFF));
    EXPECT_EQ(CDownloader::ByteCheckSum(ff.data(), 257), 0xFFFF);
    EXPECT_EQ(CDownloader::ByteCheckSum(ff.data(), 258), 0x00FE);
    EXPECT_EQ(CDownloader::ByteCheckSum(ff.data(), 0), 0);
    EXPECT_EQ(CDownloader::ByteCheckSum(ff.data(), -5), 0);
}
