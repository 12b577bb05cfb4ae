#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "LegacyImage.h"
#include "ScriptedPort.h"
#include "TestFiles.h"
#include "support/TraceCapture.h"
#include "legacy/LegacyExchange.h"
#include "platform/sim/RecordingProgressView.h"

namespace
{
std::vector<BYTE> PatternBytes(DWORD dwLen)
{
    std::vector<BYTE> bytes(dwLen);
    for (DWORD i = 0; i < dwLen; ++i)
        bytes[i] = PatternByte(3, i);
    return bytes;
}

class CExchangeTest : public ::testing::Test
{
protected:
    CClock m_Clock{1000};
    CScriptedPort m_Port{m_Clock};
    CRecordingProgressView m_View{2};
    std::unique_ptr<ITransport> m_pTransport = OpenPort(m_Port, m_Clock, "port");
    ITransport* m_pPort = m_pTransport.get();
};
}

// ----- DownloadFromFile -----

struct DOWNLOAD_CASE
{
    DWORD dwLen;
    std::vector<DWORD> writes;
};

class CDownloadSizes : public CExchangeTest, public ::testing::WithParamInterface<DOWNLOAD_CASE>
{
};

TEST_P(CDownloadSizes, SendsOneCorrectFrameInWritesOfAtMost12288Bytes)
{
    const DOWNLOAD_CASE& test = GetParam();
    const DWORD dwOffset = 7;
    std::vector<BYTE> file = PatternBytes(40000);
    std::FILE* pFile = TempFileWith(file);
    ASSERT_NE(pFile, nullptr);
    std::fseek(pFile, 123, SEEK_SET);
    m_View.Bar(PROGRESS_BAR_OVERALL).SetRange(0, 1000);
    m_View.Bar(PROGRESS_BAR_OVERALL).SetPos(5);

    EXPECT_TRUE(DownloadFromFile(m_pPort, pFile, dwOffset, test.dwLen, 0x1234, &m_View));

    EXPECT_EQ(std::ftell(pFile), 123);
    std::fclose(pFile);
    EXPECT_EQ(m_Port.WriteSizes(), test.writes);
    std::vector<RECEIVED_FRAME> frames = m_Port.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].dwCommand, 0x1234u);
    EXPECT_EQ(frames[0].dwSize, test.dwLen + 10);
    EXPECT_TRUE(frames[0].bChecksumOk);
    EXPECT_EQ(frames[0].payload, std::vector<BYTE>(file.begin() + dwOffset, file.begin() + dwOffset + test.dwLen));

    // The step bar counts the writes within 0 .. n / 12288; the overall bar moves
    // once per write after the first.
    std::vector<RECORDED_BAR_STATE> step = m_View.Bar(PROGRESS_BAR_STEP).History();
    ASSERT_FALSE(step.empty());
    int nStepUpper = static_cast<int>(test.dwLen / 12288);
    EXPECT_EQ(step.front().nUpper, nStepUpper);
    int nWrites = static_cast<int>(test.writes.size());
    EXPECT_EQ(step.back().nPos, nWrites < nStepUpper ? nWrites : nStepUpper);
    EXPECT_EQ(m_View.Bar(PROGRESS_BAR_OVERALL).GetPos(), 5 + nWrites - 1);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CDownloadSizes,
                         ::testing::Values(DOWNLOAD_CASE{0, {10}}, DOWNLOAD_CASE{1, {11}}, DOWNLOAD_CASE{100, {110}},
                                           DOWNLOAD_CASE{12278, {12288}}, DOWNLOAD_CASE{12279, {12288, 1}},
                                           DOWNLOAD_CASE{12280, {12288, 2}}, DOWNLOAD_CASE{24566, {12288, 12288}},
                                           DOWNLOAD_CASE{24567, {12288, 12288, 1}},
                                           DOWNLOAD_CASE{30000, {12288, 12288, 5434}}));

TEST_F(CExchangeTest, DownloadRefusesStretchesOutsideTheFileAndAbsentPorts)
{
    std::FILE* pFile = TempFileWith(PatternBytes(1000));
    ASSERT_NE(pFile, nullptr);
    EXPECT_FALSE(DownloadFromFile(m_pPort, pFile, 1001, 0, 0, &m_View));
    EXPECT_FALSE(DownloadFromFile(m_pPort, pFile, 900, 101, 0, &m_View));
    EXPECT_FALSE(DownloadFromFile(nullptr, pFile, 0, 100, 0, &m_View));
    EXPECT_EQ(std::ftell(pFile), 0);
    std::fclose(pFile);
    EXPECT_TRUE(m_Port.WriteSizes().empty());
    EXPECT_TRUE(m_View.MessageBoxes().empty());
}

struct WRITE_FAULT_CASE
{
    const char* pszName;
    int nWrite;
    WRITE_FAULT fault;
    bool bBox;   // "USB bulk transfer failed: size problem" shown
};

void PrintTo(const WRITE_FAULT_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}


class CDownloadWriteFaults : public CExchangeTest, public ::testing::WithParamInterface<WRITE_FAULT_CASE>
{
};

TEST_P(CDownloadWriteFaults, FailTheDownloadAndStopSending)
{
    const WRITE_FAULT_CASE& test = GetParam();
    std::FILE* pFile = TempFileWith(PatternBytes(30000));
    ASSERT_NE(pFile, nullptr);
    m_Port.FailWrite(0, test.nWrite, test.fault);

    EXPECT_FALSE(DownloadFromFile(m_pPort, pFile, 0, 30000, 0, &m_View));

    EXPECT_EQ(std::ftell(pFile), 0);
    std::fclose(pFile);
    EXPECT_EQ(m_Port.WriteSizes().size(), static_cast<size_t>(test.nWrite + 1));
    std::vector<RECORDED_MESSAGE_BOX> boxes = m_View.MessageBoxes();
    if (test.bBox)
    {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].strText, "USB bulk transfer failed: size problem");
        EXPECT_EQ(boxes[0].strCaption, "ERROR");
    }
    else
    {
        EXPECT_TRUE(boxes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Writes, CDownloadWriteFaults,
                         ::testing::Values(WRITE_FAULT_CASE{"FirstFails", 0, {false, 0}, false},
                                           WRITE_FAULT_CASE{"LaterFails", 1, {false, 0}, true},
                                           WRITE_FAULT_CASE{"LaterShort", 1, {true, 12287}, true},
                                           WRITE_FAULT_CASE{"LastShort", 2, {true, 100}, true}),
                         [](const ::testing::TestParamInfo<WRITE_FAULT_CASE>& paramInfo) { return paramInfo.param.pszName; });

// ----- SendClosingFrame -----

TEST_F(CExchangeTest, ClosingFrameIs126BytesInOneWrite)
{
    EXPECT_TRUE(SendClosingFrame(m_pPort, LEGACY_CLOSING_COMMAND));
    EXPECT_EQ(m_Port.WriteSizes(), std::vector<DWORD>{126});
    std::vector<RECEIVED_FRAME> frames = m_Port.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].dwCommand, 57u);
    EXPECT_EQ(frames[0].dwSize, 126u);
    EXPECT_EQ(frames[0].payload, std::vector<BYTE>(116, 0));
    EXPECT_EQ(frames[0].wChecksum, 0);
}

TEST_F(CExchangeTest, ClosingFrameFailsOnShortWriteOrAbsentPort)
{
    EXPECT_FALSE(SendClosingFrame(nullptr, LEGACY_CLOSING_COMMAND));
    EXPECT_TRUE(m_Port.WriteSizes().empty());
    m_Port.FailWrite(0, 0, {true, 125});
    EXPECT_FALSE(SendClosingFrame(m_pPort, LEGACY_CLOSING_COMMAND));
}

// ----- ReceiveReply -----

namespace
{
const PORT_TIMEOUTS PORT_OWN_TIMEOUTS{1, 2, 3};

bool IsPrepared(const PORT_TIMEOUTS& timeouts)
{
    return timeouts.ReadIntervalTimeout == 0xFFFFFFFFu && timeouts.ReadTotalTimeoutMultiplier == 0xFFFFFFFFu &&
           timeouts.ReadTotalTimeoutConstant == 100;
}

class CReplyTest : public CExchangeTest
{
protected:
    void SetUp() override { m_Port.SetInitialTimeouts(PORT_OWN_TIMEOUTS); }
    int Receive(DWORD dwLimit, const char* pszExpected)
    {
        return ReceiveReply(m_pPort, m_Clock, dwLimit, pszExpected, &m_View.Bar(PROGRESS_BAR_OVERALL),
                            &m_View.Bar(PROGRESS_BAR_STEP), m_State);
    }
    LEGACY_RUN_STATE m_State{2, 1};
};
}

struct REPLY_CASE
{
    const char* pszName;
    std::string strBytes;
    DWORD dwLimit;
    int nResult;
    DWORD dwMinTicks;   // the wait lasted at least this long (scaled)
};

void PrintTo(const REPLY_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}


class CReplyEnds : public CReplyTest, public ::testing::WithParamInterface<REPLY_CASE>
{
};

TEST_P(CReplyEnds, WithItsResultAndThePortsOwnTimeoutsRestored)
{
    const REPLY_CASE& test = GetParam();
    m_Port.QueueReply(test.strBytes);
    DWORD dwStart = m_Clock.GetTickCount();

    EXPECT_EQ(Receive(test.dwLimit, "device reset.\n"), test.nResult);

    DWORD dwTicks = m_Clock.GetTickCount() - dwStart;
    EXPECT_GE(dwTicks, test.dwMinTicks);
    // Far below the longest limit: a silent handset cannot hold the wait.
    EXPECT_LT(dwTicks, 300000u);
    PORT_TIMEOUTS now = m_Port.CurrentTimeouts();
    EXPECT_EQ(now.ReadIntervalTimeout, 1u);
    EXPECT_EQ(now.ReadTotalTimeoutMultiplier, 2u);
    EXPECT_EQ(now.ReadTotalTimeoutConstant, 3u);
    for (const PORT_TIMEOUTS& timeouts : m_Port.ReadTimeouts())
        EXPECT_TRUE(IsPrepared(timeouts));
}

INSTANTIATE_TEST_SUITE_P(
    Exits, CReplyEnds,
    ::testing::Values(
        REPLY_CASE{"Expected", "device reset.\n", 200000, 1, 0},
        REPLY_CASE{"OtherLinesIgnored", "OS program failed!\nOEM program failed.\nDEVICE RESET.\ndevice reset.\n",
                   200000, 1, 0},
        REPLY_CASE{"FlashIncorrect", "Flash Incorrect.\ndevice reset.\n", 600000, 0, 0},
        REPLY_CASE{"OsNotCompatible", "OS not compatible.\ndevice reset.\n", 600000, 0, 0},
        REPLY_CASE{"WholeLineOnly", "xdevice reset.\n", 600000, 0, 60000},
        REPLY_CASE{"SilenceAfterFirstByte", "dev", 600000, 0, 60000},
        REPLY_CASE{"NeverAByteEndsAtTheLimit", "", 5000, 0, 5000},
        REPLY_CASE{"ZeroLimit", "device reset.\n", 0, 0, 0}),
    [](const ::testing::TestParamInfo<REPLY_CASE>& paramInfo) { return paramInfo.param.pszName; });

TEST_F(CReplyTest, ZeroLimitAndMissingBarsReadNothing)
{
    m_Port.QueueReply("device reset.\n");
    EXPECT_EQ(Receive(0, "device reset.\n"), 0);
    EXPECT_EQ(ReceiveReply(m_pPort, m_Clock, 5000, "device reset.\n", nullptr, &m_View.Bar(PROGRESS_BAR_STEP),
                           m_State),
              0);
    EXPECT_EQ(m_Port.ReadCount(), 0);
}

TEST_F(CReplyTest, LineOf127BytesIsReadAndLineOf128IsDroppedWhole)
{
    std::string strFits = "   7 LENGTH" + std::string(115, ' ') + "\n";   // 127 bytes
    std::string strLong = "   9 LENGTH" + std::string(116, ' ') + "\n";   // 128 bytes
    ASSERT_EQ(strFits.size(), 127u);
    ASSERT_EQ(strLong.size(), 128u);
    CTraceCapture trace;
    m_Port.QueueReply(strFits + strLong + std::string(300, 'z') + "device reset.\n" + "\n" + "device reset.\n" +
                       "OS program ok!\n");

    // A limit far beyond the few hundred reads this takes, also under the sanitizers
    // (the clock runs 1000 times faster than real time).
    EXPECT_EQ(Receive(600000, "device reset.\n"), 1);

    // The 127-byte line set the step range; the overlong one changed nothing; the
    // expected line that followed 300 bytes of garbage was still recognised.
    bool bSeven = false;
    for (const RECORDED_BAR_STATE& state : m_View.Bar(PROGRESS_BAR_STEP).History())
    {
        EXPECT_NE(state.nUpper, 9);
        bSeven = bSeven || state.nUpper == 7;
    }
    EXPECT_TRUE(bSeven);
    EXPECT_EQ(trace.Count("dropped"), 2);
    EXPECT_EQ(m_Port.PendingReplyBytes(), 15u);   // the wait stopped at the first match
}

struct LENGTH_CASE
{
    const char* pszName;
    LEGACY_RUN_STATE state;
    std::string strLength;
    int nDots;
    std::vector<int> overallPositions;   // after each dot
    int nStepUpper;
    bool bRederived;
};

void PrintTo(const LENGTH_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}


class CLengthLines : public CReplyTest, public ::testing::WithParamInterface<LENGTH_CASE>
{
};

TEST_P(CLengthLines, SetTheStepBarAndInTheLastWaitTheOverallStep)
{
    const LENGTH_CASE& test = GetParam();
    m_State = test.state;
    CRecordingProgressBar& overall = m_View.Bar(PROGRESS_BAR_OVERALL);
    overall.SetRange(0, 100);
    overall.SetPos(10);
    std::string strReply = test.strLength;
    for (int i = 0; i < test.nDots; ++i)
        strReply += ".\n";
    m_Port.QueueReply(strReply);
    CTraceCapture trace;

    // Without the final line the wait ends on silence; the bars show what the lines did.
    EXPECT_EQ(Receive(600000, "OS program ok!\n"), 0);

    std::vector<RECORDED_BAR_STATE> history = overall.History();
    ASSERT_GE(history.size(), test.overallPositions.size());
    std::vector<int> positions;
    for (size_t i = history.size() - test.overallPositions.size(); i < history.size(); ++i)
        positions.push_back(history[i].nPos);
    EXPECT_EQ(positions, test.overallPositions);
    int nLower = -1;
    int nUpper = -1;
    m_View.Bar(PROGRESS_BAR_STEP).GetRange(&nLower, &nUpper);
    EXPECT_EQ(nLower, 0);
    EXPECT_EQ(nUpper, test.nStepUpper);
    EXPECT_EQ(trace.Contains("current pos = 10\ncurrent nUpper = 100\n"), test.bRederived);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CLengthLines,
    ::testing::Values(LENGTH_CASE{"OutsideLastWait", {2, 1}, "4 LENGTH\n", 3, {11, 12, 13}, 4, false},
                      LENGTH_CASE{"LastWaitExact", {2, 2}, "3 LENGTH\n", 3, {40, 70, 100}, 3, true},
                      LENGTH_CASE{"LastWaitRoundsUp", {3, 3}, "  4 LENGTH\n", 4, {33, 56, 79}, 4, true},
                      LENGTH_CASE{"ZeroCountDefinesNoStep", {2, 2}, "0 LENGTH\n", 2, {11, 12}, 0, false},
                      LENGTH_CASE{"WordFirstReadsZero", {2, 2}, "LENGTH 5\n", 2, {11, 12}, 0, false}),
    [](const ::testing::TestParamInfo<LENGTH_CASE>& paramInfo) { return paramInfo.param.pszName; });

TEST_F(CReplyTest, DotAtTheUpperEndStepsOnlyTheStepBar)
{
    CRecordingProgressBar& overall = m_View.Bar(PROGRESS_BAR_OVERALL);
    overall.SetRange(0, 100);
    overall.SetPos(100);
    m_View.Bar(PROGRESS_BAR_STEP).SetRange(0, 10);
    m_View.Bar(PROGRESS_BAR_STEP).SetPos(0);
    m_Port.QueueReply(".\n.\n");
    EXPECT_EQ(Receive(600000, "OS program ok!\n"), 0);
    EXPECT_EQ(overall.GetPos(), 100);
    EXPECT_EQ(m_View.Bar(PROGRESS_BAR_STEP).GetPos(), 2);
}

TEST_F(CReplyTest, SuccessFillsTheStepBar)
{
    m_Port.QueueReply("6 LENGTH\n.\n.\nOS program ok!\n");
    CTraceCapture trace;
    EXPECT_EQ(Receive(600000, "OS program ok!\n"), 1);
    EXPECT_EQ(m_View.Bar(PROGRESS_BAR_STEP).GetPos(), 6);
    EXPECT_TRUE(trace.Contains("Total 2 steps\n"));
    EXPECT_TRUE(trace.Contains("\tOS program ok!\n"));
}
