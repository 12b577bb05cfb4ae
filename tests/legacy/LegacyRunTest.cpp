#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "AllocationProbe.h"
#include "LegacyImage.h"
#include "ScriptedPort.h"
#include "TestFiles.h"
#include "common/ByteOrder.h"
#include "legacy/LegacyRun.h"
#include "platform/sim/RecordingProgressView.h"
#include "support/TraceCapture.h"

namespace
{
constexpr DWORD HOST_CODE = 1001;
constexpr char PORT_NAME[] = "/dev/legacy0";

// ----- What the handset must receive, derived from the image as built -----

DWORD Gated(const CLegacyImage& image, DWORD dwBit, int nPart)
{
    return (image.Layout().dwFlag & dwBit) != 0 ? image.PartSize(nPart) : 0;
}

DWORD ReserveSize(const CLegacyImage& image)
{
    return image.Layout().dwReserveBlocks * BLOCK_SIZE;
}

void Append(std::vector<BYTE>& out, const std::vector<BYTE>& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void SetWord(std::vector<BYTE>& header, DWORD dwOffset, DWORD dwValue)
{
    WriteLE32(header.data() + dwOffset, dwValue);
}

std::vector<BYTE> ExpectedPhase1(const CLegacyImage& image)
{
    std::vector<BYTE> out = image.Header();
    SetWord(out, 4, image.Layout().dwFlag & ~0x159u);
    SetWord(out, 8, 33280);
    SetWord(out, 56, 0xF4723D0A);
    SetWord(out, 96, HOST_CODE);
    std::vector<BYTE> os = image.Part(LPART_OS);
    out.insert(out.end(), os.begin(), os.begin() + 33280);
    if ((image.Layout().dwFlag & FLAG_BL) != 0)
        Append(out, image.Part(LPART_BL));
    Append(out, image.Part(LPART_UD));
    return out;
}

std::vector<BYTE> ExpectedReserve(const CLegacyImage& image)
{
    std::vector<BYTE> out = image.Header();
    SetWord(out, 4, image.Layout().dwFlag & ~0x144u);
    SetWord(out, 8, ReserveSize(image));
    SetWord(out, 16, 0);
    SetWord(out, 32, 0);
    SetWord(out, 36, 0);
    SetWord(out, 56, 0xF4723D0A);
    SetWord(out, 96, HOST_CODE);
    std::vector<BYTE> os = image.Part(LPART_OS);
    std::vector<BYTE> reserve(os.begin(), os.begin() + ReserveSize(image));
    if (reserve.size() >= 64 * SECTOR_SIZE)
    {
        std::vector<BYTE> plain = image.PlainSector63();
        std::copy(plain.begin(), plain.end(), reserve.begin() + 63 * SECTOR_SIZE);
    }
    Append(out, reserve);
    if ((image.Layout().dwFlag & FLAG_BL) != 0)
        Append(out, image.Part(LPART_BL));
    if ((image.Layout().dwFlag & FLAG_VN) != 0)
        Append(out, image.Part(LPART_VN));
    if ((image.Layout().dwFlag & FLAG_EB) != 0)
        Append(out, image.Part(LPART_EB));
    return out;
}

std::vector<BYTE> ExpectedOs(const CLegacyImage& image)
{
    std::vector<BYTE> os = image.Part(LPART_OS);
    return std::vector<BYTE>(os.begin() + ReserveSize(image), os.end());
}

std::vector<BYTE> ExpectedGsm(const CLegacyImage& image)
{
    std::vector<BYTE> out = image.Header();
    SetWord(out, 4, 0x100);
    for (DWORD dwOffset = 8; dwOffset < 32; dwOffset += 4)
        SetWord(out, dwOffset, 0);
    SetWord(out, 56, 0xF4723D0A);
    SetWord(out, 96, HOST_CODE);
    Append(out, image.Part(LPART_GSM1));
    Append(out, image.Part(LPART_GSM2));
    return out;
}

int ExpectedOverallTotal(const CLegacyImage& image)
{
    DWORD dwStreamed = Gated(image, FLAG_OS, LPART_OS) + Gated(image, FLAG_UD, LPART_UD) +
                       Gated(image, FLAG_VN, LPART_VN) + Gated(image, FLAG_EB, LPART_EB) +
                       Gated(image, FLAG_MOT, LPART_GSM1) + Gated(image, FLAG_MOT, LPART_GSM2);
    return static_cast<int>(dwStreamed / 12288 + Gated(image, FLAG_MOT, LPART_GSM2) / 3072 +
                            image.Layout().dwReserveBlocks);
}

::testing::AssertionResult SameBytes(const std::vector<BYTE>& actual, const std::vector<BYTE>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "length " << actual.size() << ", expected " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure() << "first difference at byte " << i << ": "
                                                 << static_cast<int>(actual[i]) << ", expected "
                                                 << static_cast<int>(expected[i]);
    return ::testing::AssertionSuccess();
}

std::vector<std::string> StepTexts(bool bPhase1, bool bGsm)
{
    std::vector<std::string> texts;
    if (bPhase1)
        texts = {"STEP 1 : Download system program", "STEP 2 : Update system program"};
    for (const char* psz : {"STEP 3 : Download add-on program", "STEP 3 : Download add-on program",
                            "STEP 4 : Update add-on program", "STEP 5 : Download Windows Mobile 5.0",
                            "STEP 6 : Update Windows Mobile 5.0"})
        texts.emplace_back(psz);
    if (bGsm)
    {
        texts.emplace_back("STEP 7 : Download GSM firmware");
        texts.emplace_back("STEP 8 : Update GSM firmware");
    }
    return texts;
}

// Runs whole updates against the scripted port with a clock 100 times faster (the
// reset reply's 5 s limit is 50 ms of real time, ample on a loaded machine).
class CLegacyRunTest : public ::testing::Test
{
protected:
    LEGACY_RUN_CONFIG Config()
    {
        return LEGACY_RUN_CONFIG{m_Clock, m_Port, &m_View, "", m_Folder.Path(), PORT_NAME, HOST_CODE, &m_State};
    }

    // The replies of a handset that accepts everything, frame by frame.
    void ScriptHappyReplies(const LEGACY_IMAGE_LAYOUT& layout)
    {
        int nFrame = 0;
        if ((layout.dwFlag & FLAG_UD) != 0)
            m_Port.ReplyAfterFrame(nFrame++, "device reset.\n");
        m_Port.ReplyAfterFrame(nFrame++, "3 LENGTH\n.\n.\n.\nReserved region ok.\n");
        m_Port.ReplyAfterFrame(nFrame++, ".\nOS program ok!\n");
        if ((layout.dwFlag & FLAG_MOT) != 0)
            m_Port.ReplyAfterFrame(nFrame++, "EDGE program ok!\n");
    }

    int RunWith(const CLegacyImage& image)
    {
        EXPECT_TRUE(image.Write(m_Folder.File("temp.dat")));
        return Run(Config());
    }

    int Run(const LEGACY_RUN_CONFIG& config)
    {
        EXPECT_EQ(UpdateRun(config), 0);
        EXPECT_EQ(m_Port.OpenHandleCount(), 0);   // the port is closed on every path
        return m_View.Result();
    }

    int ClosingFrames()
    {
        int nCount = 0;
        for (const RECEIVED_FRAME& frame : m_Port.Frames())
            nCount += frame.dwCommand == 57 ? 1 : 0;
        return nCount;
    }

    CTempFolder m_Folder;
    CClock m_Clock{100};
    CScriptedPort m_Port{m_Clock};
    CRecordingProgressView m_View{2};
    LEGACY_RUN_STATE m_State;
    CTraceCapture m_Trace;
};

LEGACY_IMAGE_LAYOUT MakeLayout(void (*pfnChange)(LEGACY_IMAGE_LAYOUT&))
{
    LEGACY_IMAGE_LAYOUT layout;
    pfnChange(layout);
    return layout;
}

constexpr DWORD FLAGS_NO_UD = FLAG_OS | FLAG_BL | FLAG_VN | FLAG_EB;
constexpr DWORD FLAGS_ALL = FLAG_OS | FLAG_BL | FLAG_UD | FLAG_VN | FLAG_EB | FLAG_MOT;
}

// ----- Image kinds: the bytes the handset receives -----

struct KIND_CASE
{
    const char* pszName;
    LEGACY_IMAGE_LAYOUT layout;
};

void PrintTo(const KIND_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}


class CImageKinds : public CLegacyRunTest, public ::testing::WithParamInterface<KIND_CASE>
{
};

TEST_P(CImageKinds, HandsetReceivesEveryPartWholeAndTheRunEndsWithOne)
{
    const CLegacyImage image(GetParam().layout);
    const LEGACY_IMAGE_LAYOUT& layout = image.Layout();
    const bool bPhase1 = (layout.dwFlag & FLAG_UD) != 0;
    const bool bGsm = (layout.dwFlag & FLAG_MOT) != 0;
    ScriptHappyReplies(layout);

    EXPECT_EQ(RunWith(image), 1);

    std::vector<std::vector<BYTE>> expected;
    if (bPhase1)
        expected.push_back(ExpectedPhase1(image));
    expected.push_back(ExpectedReserve(image));
    expected.push_back(ExpectedOs(image));
    if (bGsm)
        expected.push_back(ExpectedGsm(image));
    std::vector<RECEIVED_FRAME> frames = m_Port.Frames();
    ASSERT_EQ(frames.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i)
    {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(frames[i].dwCommand, 0u);
        EXPECT_TRUE(frames[i].bChecksumOk);
        EXPECT_TRUE(SameBytes(frames[i].payload, expected[i]));
    }
    // The closing frame, in one write of 126 bytes.
    EXPECT_EQ(frames.back().dwCommand, 57u);
    EXPECT_EQ(frames.back().dwSize, 126u);
    EXPECT_EQ(frames.back().payload, std::vector<BYTE>(116, 0));
    EXPECT_EQ(m_Port.FrameWriteSizes().back(), std::vector<DWORD>{126});
    // Each download counts its writes on the step bar: one per 12288 bytes of frame.
    std::vector<std::vector<DWORD>> writes = m_Port.FrameWriteSizes();
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(writes[i].size(), (expected[i].size() + 10 + 12287) / 12288);

    EXPECT_EQ(m_View.Title(), "Updating, Please keep connected between PC and PDA.");
    EXPECT_EQ(m_View.Heading(), "--Update Progress--");
    EXPECT_EQ(m_View.Captions(), StepTexts(bPhase1, bGsm));
    std::vector<RECORDED_BAR_STATE> overall = m_View.Bar(PROGRESS_BAR_OVERALL).History();
    ASSERT_FALSE(overall.empty());
    EXPECT_EQ(overall.front().nLower, 0);
    EXPECT_EQ(overall.front().nUpper, ExpectedOverallTotal(image));
    EXPECT_TRUE(m_View.MessageBoxes().empty());

    // The port was reopened once after the reset reply, under the name the run was given.
    EXPECT_EQ(m_Port.OpenNames(), std::vector<std::string>(bPhase1 ? 2 : 1, PORT_NAME));
    EXPECT_EQ(m_State.nWaitsDone, 3);
    EXPECT_EQ(m_State.nLastWait, bGsm ? 3 : 2);
    EXPECT_TRUE(m_Trace.Contains("End UPDATE_PROG1 dialog , return TRUE\r\n"));
    EXPECT_EQ(m_Trace.Contains("Get Handle.\r\n"), bPhase1);
    EXPECT_TRUE(m_Trace.Contains("DefineReserveRegion ok Reserve block = " + std::to_string(layout.dwReserveBlocks) +
                                 " RESERVE_SIZE = " + std::to_string(ReserveSize(image)) + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Images, CImageKinds,
    ::testing::Values(
        KIND_CASE{"WithUsbDownloader", LEGACY_IMAGE_LAYOUT{}},
        KIND_CASE{"WithoutUsbDownloader", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) {
                      s.dwFlag = FLAGS_NO_UD;
                      s.dwUd = 0;
                  })},
        KIND_CASE{"WithGsm", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) {
                      s.dwFlag = FLAGS_ALL;
                      s.dwGsm1 = 2048;
                      s.dwGsm2 = 7000;
                  })},
        KIND_CASE{"GsmWithoutUsbDownloader", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) {
                      s.dwFlag = FLAGS_NO_UD | FLAG_MOT;
                      s.dwUd = 0;
                      s.dwGsm1 = 100;
                      s.dwGsm2 = 3072;
                  })},
        KIND_CASE{"ZeroReserveBlocks", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) { s.dwReserveBlocks = 0; })},
        KIND_CASE{"SizesNotMultiplesOf512", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) {
                      s.dwFlag = FLAGS_ALL;
                      s.dwBl = 513;
                      s.dwUd = 1;
                      s.dwVn = 1023;
                      s.dwEb = 511;
                      s.dwGsm1 = 1;
                      s.dwGsm2 = 3073;
                  })},
        KIND_CASE{"OsPartNotWholeBlocks", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) {
                      s.dwOsBlocks = 3;
                      s.dwOsExtra = 1234;
                      s.dwReserveBlocks = 2;
                  })},
        KIND_CASE{"EmptyVersionText", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) { s.strVersion.clear(); })},
        // A part whose bit is clear is not sent, but still moves the parts behind it.
        KIND_CASE{"BootLoaderBitClearWithBytesInFile", MakeLayout([](LEGACY_IMAGE_LAYOUT& s) {
                      s.dwFlag = FLAGS_ALL & ~FLAG_BL;
                      s.dwGsm1 = 10;
                      s.dwGsm2 = 20;
                  })}),
    [](const ::testing::TestParamInfo<KIND_CASE>& paramInfo) { return paramInfo.param.pszName; });

TEST_F(CLegacyRunTest, HeadersCarryTheHostCodeAndReleaseTagAndDecryptedVersion)
{
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwFlag = FLAGS_ALL;
    layout.dwGsm1 = 64;
    layout.dwGsm2 = 64;
    CLegacyImage image(layout);
    ScriptHappyReplies(layout);
    ASSERT_EQ(RunWith(image), 1);

    std::vector<RECEIVED_FRAME> frames = m_Port.Frames();
    ASSERT_EQ(frames.size(), 5u);
    for (size_t i : {0u, 1u, 3u})
    {
        EXPECT_EQ(ReadLE32(frames[i].payload.data() + 56), 0xF4723D0Au);
        EXPECT_EQ(ReadLE32(frames[i].payload.data() + 96), HOST_CODE);
        EXPECT_EQ(ReadLE32(frames[i].payload.data() + 60), layout.dwKey1);
    }
    EXPECT_EQ(ReadLE32(frames[0].payload.data() + 4), 0x006u);
    EXPECT_EQ(ReadLE32(frames[1].payload.data() + 4), 0x01Bu);
    EXPECT_EQ(ReadLE32(frames[3].payload.data() + 4), 0x100u);
    const BYTE* pVersion = frames[1].payload.data() + 116 + 63 * 520;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pVersion)), "Palomux ROM 1.2.3 (WWE)");
    EXPECT_TRUE(m_Trace.Contains("decrypted string : Palomux ROM 1.2.3 (WWE)\n"));
    EXPECT_TRUE(m_Trace.Contains("Decrypt key 0 = 0x4d3c2b1a\n"));
}

// ----- Mended faults -----

TEST_F(CLegacyRunTest, StagingFileHoldsExactlyTheDownloadItSends)
{
    // Phase 1 (over 200 KB) is far longer than the reserve-region download (no
    // reserve blocks): nothing of it may follow the new content.
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwReserveBlocks = 0;
    layout.dwUd = 200000;
    CLegacyImage image(layout);
    ScriptHappyReplies(layout);
    ASSERT_EQ(RunWith(image), 1);

    std::vector<RECEIVED_FRAME> frames = m_Port.Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].dwSize, 116u + 1000 + 777 + 5 + 10);
    EXPECT_TRUE(SameBytes(ReadWholeFile(m_Folder.File("TempFileToDown")), ExpectedReserve(image)));
}

TEST_F(CLegacyRunTest, GsmDownloadIncludesItsHeaderAndTheWholeMotFile)
{
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwFlag = FLAGS_ALL;
    layout.dwGsm1 = 500;
    layout.dwGsm2 = 12000;
    CLegacyImage image(layout);
    ScriptHappyReplies(layout);
    ASSERT_EQ(RunWith(image), 1);

    std::vector<RECEIVED_FRAME> frames = m_Port.Frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[3].payload.size(), 116u + 500 + 12000);
    std::vector<BYTE> mot = image.Part(LPART_GSM2);
    EXPECT_TRUE(SameBytes(std::vector<BYTE>(frames[3].payload.end() - 116, frames[3].payload.end()),
                          std::vector<BYTE>(mot.end() - 116, mot.end())));
}

TEST_F(CLegacyRunTest, RunWithoutAViewStillCompletes)
{
    LEGACY_IMAGE_LAYOUT layout;
    CLegacyImage image(layout);
    ScriptHappyReplies(layout);
    ASSERT_TRUE(image.Write(m_Folder.File("temp.dat")));
    LEGACY_RUN_CONFIG config = Config();
    config.pView = nullptr;
    EXPECT_EQ(RunLegacyUpdate(config), 1);
    EXPECT_EQ(m_Port.Frames().size(), 4u);
}

TEST_F(CLegacyRunTest, RunWithAOneBarViewStillCompletes)
{
    LEGACY_IMAGE_LAYOUT layout;
    CLegacyImage image(layout);
    ScriptHappyReplies(layout);
    ASSERT_TRUE(image.Write(m_Folder.File("temp.dat")));
    CRecordingProgressView view(1);
    LEGACY_RUN_CONFIG config = Config();
    config.pView = &view;
    EXPECT_EQ(UpdateRun(config), 0);
    EXPECT_EQ(view.Result(), 1);
    EXPECT_EQ(m_Port.Frames().size(), 4u);
}

TEST_F(CLegacyRunTest, ExplicitImagePathAndDefaultPortName)
{
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwFlag = FLAGS_NO_UD;
    CLegacyImage image(layout);
    ScriptHappyReplies(layout);
    ASSERT_TRUE(image.Write(m_Folder.File("other.img")));
    LEGACY_RUN_CONFIG config = Config();
    config.strImagePath = m_Folder.File("other.img");
    config.strPortName.clear();
    EXPECT_EQ(Run(config), 1);
    EXPECT_EQ(m_Port.OpenNames(), std::vector<std::string>{"\\\\.\\wceusbsh001"});
}

// ----- Failures: every one ends the window with 3 and sends no closing frame -----

enum IMAGE_MODE
{
    IMAGE_WRITTEN,
    IMAGE_MISSING,
    IMAGE_SHORT_HEADER,
    IMAGE_CUT_AFTER_BL,   // the file ends 100 bytes into the UsbDownloader
    STAGING_FOLDER_MISSING,
};

struct FAIL_CASE
{
    const char* pszName;
    void (*pfnLayout)(LEGACY_IMAGE_LAYOUT&);
    IMAGE_MODE nMode;
    std::vector<std::string> replies;   // per frame
    int nFaultFrame;                    // -1: no write fault
    int nFaultWrite;
    WRITE_FAULT fault;
    int nOpenFailFirst;                 // -1: every open succeeds
    size_t nFrames;                     // frames the handset received
    const char* pszBox;
};

void PrintTo(const FAIL_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}


const std::vector<std::string> ALL_OK = {"device reset.\n", "Reserved region ok.\n", "OS program ok!\n",
                                         "EDGE program ok!\n"};

class CRunFailures : public CLegacyRunTest, public ::testing::WithParamInterface<FAIL_CASE>
{
};

TEST_P(CRunFailures, EndTheRunWithThree)
{
    const FAIL_CASE& test = GetParam();
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwFlag = FLAGS_ALL;
    layout.dwGsm1 = 300;
    layout.dwGsm2 = 5000;
    if (test.pfnLayout != nullptr)
        test.pfnLayout(layout);
    CLegacyImage image(layout);
    LEGACY_RUN_CONFIG config = Config();
    switch (test.nMode)
    {
    case IMAGE_WRITTEN:
        ASSERT_TRUE(image.Write(m_Folder.File("temp.dat")));
        break;
    case IMAGE_MISSING:
        break;
    case IMAGE_SHORT_HEADER:
    {
        CLegacyImage shortImage(layout);
        std::FILE* pFile = std::fopen(m_Folder.File("temp.dat").c_str(), "wb");
        ASSERT_NE(pFile, nullptr);
        std::fwrite(image.Bytes().data(), 1, 115, pFile);
        std::fclose(pFile);
        break;
    }
    case IMAGE_CUT_AFTER_BL:
    {
        std::FILE* pFile = std::fopen(m_Folder.File("temp.dat").c_str(), "wb");
        ASSERT_NE(pFile, nullptr);
        std::fwrite(image.Bytes().data(), 1, image.PartOffset(LPART_UD) + 100, pFile);
        std::fclose(pFile);
        break;
    }
    case STAGING_FOLDER_MISSING:
        ASSERT_TRUE(image.Write(m_Folder.File("temp.dat")));
        config.strImagePath = m_Folder.File("temp.dat");
        config.strStagingDir = m_Folder.File("missing");
        break;
    }
    for (size_t i = 0; i < test.replies.size(); ++i)
        m_Port.ReplyAfterFrame(static_cast<int>(i), test.replies[i]);
    if (test.nFaultFrame >= 0)
        m_Port.FailWrite(test.nFaultFrame, test.nFaultWrite, test.fault);
    if (test.nOpenFailFirst >= 0)
        m_Port.FailOpens(test.nOpenFailFirst, -1);
    DWORD dwStart = m_Clock.GetTickCount();

    EXPECT_EQ(Run(config), 3);

    EXPECT_LT(m_Clock.GetTickCount() - dwStart, 1200000u);   // every wait is bounded
    EXPECT_EQ(m_Port.Frames().size(), test.nFrames);
    EXPECT_EQ(ClosingFrames(), 0);
    EXPECT_TRUE(m_Trace.Contains("End UPDATE_PROG1 dialog , return FALSE\r\n"));
    std::vector<RECORDED_MESSAGE_BOX> boxes = m_View.MessageBoxes();
    if (test.pszBox != nullptr)
    {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].strText, test.pszBox);
    }
    else
    {
        EXPECT_TRUE(boxes.empty());
    }
}

const char BOX_NO_IMAGE[] = "No Image";
const char BOX_SIZE[] = "USB bulk transfer failed: size problem";

INSTANTIATE_TEST_SUITE_P(
    Table, CRunFailures,
    ::testing::Values(
        FAIL_CASE{"NoImage", nullptr, IMAGE_MISSING, ALL_OK, -1, 0, {}, -1, 0, BOX_NO_IMAGE},
        FAIL_CASE{"StagingNotCreatable", nullptr, STAGING_FOLDER_MISSING, ALL_OK, -1, 0, {}, -1, 0, nullptr},
        FAIL_CASE{"ShortHeader", nullptr, IMAGE_SHORT_HEADER, ALL_OK, -1, 0, {}, -1, 0, nullptr},
        FAIL_CASE{"NoLayout", [](LEGACY_IMAGE_LAYOUT& s) { s.nLayoutBlock = -1; }, IMAGE_WRITTEN, ALL_OK, -1, 0, {}, -1, 0,
                  nullptr},
        FAIL_CASE{"NoRevEntry", [](LEGACY_IMAGE_LAYOUT& s) { s.entries = {{"XIP", 0, 1}}; }, IMAGE_WRITTEN, ALL_OK, -1, 0,
                  {}, -1, 0, nullptr},
        FAIL_CASE{"ReserveLargerThanOsPart", [](LEGACY_IMAGE_LAYOUT& s) { s.dwReserveBlocks = 3; }, IMAGE_WRITTEN, ALL_OK,
                  -1, 0, {}, -1, 0, nullptr},
        FAIL_CASE{"Phase1ReadShort", nullptr, IMAGE_CUT_AFTER_BL, ALL_OK, -1, 0, {}, -1, 0, nullptr},
        FAIL_CASE{"Phase1PortNotOpen", nullptr, IMAGE_WRITTEN, ALL_OK, -1, 0, {}, 0, 0, nullptr},
        FAIL_CASE{"Phase1WriteFails", nullptr, IMAGE_WRITTEN, ALL_OK, 0, 0, {false, 0}, -1, 0, nullptr},
        FAIL_CASE{"ResetReplyMissing", nullptr, IMAGE_WRITTEN, {""}, -1, 0, {}, -1, 1, nullptr},
        FAIL_CASE{"ResetReplyFlashIncorrect", nullptr, IMAGE_WRITTEN, {"Flash Incorrect.\n"}, -1, 0, {}, -1, 1, nullptr},
        FAIL_CASE{"PortNeverComesBack", nullptr, IMAGE_WRITTEN, ALL_OK, -1, 0, {}, 1, 1, nullptr},
        FAIL_CASE{"ReserveWriteShort", nullptr, IMAGE_WRITTEN, ALL_OK, 1, 1, {true, 5}, -1, 1, BOX_SIZE},
        FAIL_CASE{"ReserveReplyMissing", nullptr, IMAGE_WRITTEN, {"device reset.\n", ""}, -1, 0, {}, -1, 2, nullptr},
        FAIL_CASE{"ReserveReplyFlashIncorrect", nullptr, IMAGE_WRITTEN, {"device reset.\n", "Flash Incorrect.\n"}, -1, 0,
                  {}, -1, 2, nullptr},
        FAIL_CASE{"OsWriteFails", nullptr, IMAGE_WRITTEN, ALL_OK, 2, 3, {false, 0}, -1, 2, BOX_SIZE},
        FAIL_CASE{"OsReplyNotCompatible", nullptr, IMAGE_WRITTEN,
                  {"device reset.\n", "Reserved region ok.\n", "OS not compatible.\n"}, -1, 0, {}, -1, 3, nullptr},
        FAIL_CASE{"OsReplyMissing", nullptr, IMAGE_WRITTEN,
                  {"device reset.\n", "Reserved region ok.\n", "OS program failed!\n"}, -1, 0, {}, -1, 3, nullptr},
        FAIL_CASE{"GsmWriteFails", nullptr, IMAGE_WRITTEN, ALL_OK, 3, 0, {false, 0}, -1, 3, nullptr},
        FAIL_CASE{"GsmReplyMissing", nullptr, IMAGE_WRITTEN,
                  {"device reset.\n", "Reserved region ok.\n", "OS program ok!\n", "EDGE program error!\n"}, -1, 0, {},
                  -1, 4, nullptr}),
    [](const ::testing::TestParamInfo<FAIL_CASE>& paramInfo) { return paramInfo.param.pszName; });

// A size word far beyond the file: the run refuses the image before it sends a byte
// or asks for more memory than the file holds.
struct OVERSIZED_CASE
{
    const char* pszName;
    DWORD dwSizeWord;   // S[i] set to 0x70000000 in the file's header
};

void PrintTo(const OVERSIZED_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}

class COversizedWords : public CLegacyRunTest, public ::testing::WithParamInterface<OVERSIZED_CASE>
{
};

TEST_P(COversizedWords, FailTheRunWithNothingSentAndMemoryNearTheFileSize)
{
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwFlag = FLAGS_ALL;
    layout.dwGsm1 = 300;
    layout.dwGsm2 = 5000;
    CLegacyImage image(layout);
    std::vector<BYTE> bytes = image.Bytes();
    WriteLE32(bytes.data() + OFFSET_OS_SIZE + 4 * GetParam().dwSizeWord, 0x70000000);
    std::FILE* pFile = std::fopen(m_Folder.File("temp.dat").c_str(), "wb");
    ASSERT_NE(pFile, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), pFile), bytes.size());
    std::fclose(pFile);
    for (size_t i = 0; i < ALL_OK.size(); ++i)
        m_Port.ReplyAfterFrame(static_cast<int>(i), ALL_OK[i]);

    int nResult = 0;
    size_t nLargest = 0;
    {
        CAllocationProbe probe(64u << 20);
        nResult = Run(Config());
        nLargest = probe.Largest();
    }

    EXPECT_EQ(nResult, 3);
    EXPECT_TRUE(m_Port.WriteSizes().empty());
    EXPECT_LE(nLargest, bytes.size());
    EXPECT_TRUE(m_View.MessageBoxes().empty());
    EXPECT_TRUE(m_Trace.Contains("End UPDATE_PROG1 dialog , return FALSE\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Words, COversizedWords,
                         ::testing::Values(OVERSIZED_CASE{"OsPart", 0}, OVERSIZED_CASE{"BootLoader", 1},
                                           OVERSIZED_CASE{"UsbDownloader", 2}, OVERSIZED_CASE{"Vantor", 3},
                                           OVERSIZED_CASE{"Ipl", 4}, OVERSIZED_CASE{"MotAgentFile", 6},
                                           OVERSIZED_CASE{"MotFile", 7}),
                         [](const ::testing::TestParamInfo<OVERSIZED_CASE>& paramInfo) {
                             return paramInfo.param.pszName;
                         });

TEST_F(CLegacyRunTest, ReopeningGivesUpAfterAMinute)
{
    LEGACY_IMAGE_LAYOUT layout;
    CLegacyImage image(layout);
    m_Port.ReplyAfterFrame(0, "device reset.\n");
    m_Port.FailOpens(1, -1);
    ASSERT_EQ(RunWith(image), 3);

    // 5 s pause, then one attempt every 3 s for 60 s (fewer when a loaded machine
    // stretches the scaled sleeps; never more).
    std::vector<DWORD> ticks = m_Port.OpenTicks();
    ASSERT_GE(ticks.size(), 5u);
    EXPECT_LE(ticks.size(), 22u);
    EXPECT_GE(ticks[1] - ticks[0], 8000u);
    for (size_t i = 2; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 3000u);
    EXPECT_GE(ticks.back() - ticks[1], 45000u);
    EXPECT_FALSE(m_Trace.Contains("Get Handle."));
}

TEST_F(CLegacyRunTest, PortComingBackLateIsTakenUp)
{
    LEGACY_IMAGE_LAYOUT layout;
    CLegacyImage image(layout);
    ScriptHappyReplies(layout);
    m_Port.FailOpens(1, 5);
    EXPECT_EQ(RunWith(image), 1);
    EXPECT_EQ(m_Port.OpenNames().size(), 7u);
}

// ----- The overall bar in the run's last wait -----

TEST_F(CLegacyRunTest, LengthInTheLastWaitLetsTheOverallBarEndWithTheHandsetsSteps)
{
    // With a GSM part the GSM reply is the last wait; the OS reply's announcement
    // only sets the step bar.
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwFlag = FLAGS_NO_UD | FLAG_MOT;
    layout.dwUd = 0;
    layout.dwReserveBlocks = 0;
    layout.dwGsm1 = 100;
    layout.dwGsm2 = 30720;
    CLegacyImage image(layout);
    m_Port.ReplyAfterFrame(0, "Reserved region ok.\n");
    m_Port.ReplyAfterFrame(1, "2 LENGTH\n.\n.\nOS program ok!\n");
    m_Port.ReplyAfterFrame(2, "5 LENGTH\n.\n.\n.\n.\n.\nEDGE program ok!\n");
    ASSERT_EQ(RunWith(image), 1);

    // Only the GSM reply re-derived the step, from the space left on the bar.
    ASSERT_EQ(m_Trace.Count("current pos = "), 1);
    std::string strLine = m_Trace.Lines()[static_cast<size_t>(m_Trace.Find("current pos = "))];
    int nPos = std::atoi(strLine.c_str() + std::string("current pos = ").size());
    int nTotal = ExpectedOverallTotal(image);
    EXPECT_NE(strLine.find("current nUpper = " + std::to_string(nTotal) + "\nlen=5\n"), std::string::npos);
    int nStep = static_cast<int>(std::ceil((nTotal - nPos) / 5.0));
    int nEnd = nPos;
    for (int i = 0; i < 5 && nEnd + nStep <= nTotal; ++i)
        nEnd += nStep;
    EXPECT_EQ(m_View.Bar(PROGRESS_BAR_OVERALL).GetPos(), nEnd);
    EXPECT_GT(nEnd, nPos + 5);   // more than one position per dot
    int nLower = -1;
    int nUpper = -1;
    m_View.Bar(PROGRESS_BAR_STEP).GetRange(&nLower, &nUpper);
    EXPECT_EQ(nUpper, 5);
    EXPECT_EQ(m_View.Bar(PROGRESS_BAR_STEP).GetPos(), 5);
}

TEST_F(CLegacyRunTest, EachRunStartsItsWaitCountersAfresh)
{
    // A run that reached its GSM reply ends with both counters at 3. The next run in
    // the same process, given the same place for its counters or none, must not take
    // its reset reply for its last wait: a "LENGTH" there only sets the step bar.
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwFlag = FLAGS_ALL;
    layout.dwGsm1 = 16;
    layout.dwGsm2 = 16;
    CLegacyImage image(layout);
    ASSERT_TRUE(image.Write(m_Folder.File("temp.dat")));
    auto RunOnce = [this](const char* pszResetReply, LEGACY_RUN_STATE* pState) {
        CScriptedPort port(m_Clock);
        port.ReplyAfterFrame(0, pszResetReply);
        port.ReplyAfterFrame(1, "Reserved region ok.\n");
        port.ReplyAfterFrame(2, "OS program ok!\n");
        port.ReplyAfterFrame(3, "EDGE program ok!\n");
        CRecordingProgressView view(2);
        EXPECT_EQ(UpdateRun(LEGACY_RUN_CONFIG{m_Clock, port, &view, "", m_Folder.Path(), PORT_NAME, HOST_CODE, pState}),
                  0);
        return view.Result();
    };
    for (LEGACY_RUN_STATE* pState : {&m_State, static_cast<LEGACY_RUN_STATE*>(nullptr)})
    {
        SCOPED_TRACE(pState != nullptr ? "counters given" : "no counters given");
        ASSERT_EQ(RunOnce("device reset.\n", pState), 1);
        if (pState != nullptr)
        {
            EXPECT_EQ(pState->nLastWait, 3);
            EXPECT_EQ(pState->nWaitsDone, 3);
        }
        int nRederived = m_Trace.Count("current pos = ");
        ASSERT_EQ(RunOnce("4 LENGTH\ndevice reset.\n", pState), 1);
        EXPECT_EQ(m_Trace.Count("current pos = "), nRederived);
    }
}
