// Init's states, Close, positioned reads and the version text.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "ImageTestUtil.h"
#include "support/TraceCapture.h"

namespace
{
class LifecycleTest : public ::testing::Test
{
protected:
    CTempDir m_Dir{true};
    COSUtil m_Util;
};

TEST_F(LifecycleTest, MissingFileFailsWithoutCode)
{
    CTraceCapture trace;
    int nErr = 77;
    EXPECT_FALSE(m_Util.Init(&nErr));
    EXPECT_EQ(77, nErr);
    EXPECT_EQ(OSUTIL_INIT_FAILED, m_Util.m_nState);
    EXPECT_TRUE(trace.Contains("OS File open error\r\n"));
    EXPECT_TRUE(trace.Contains("COSUtil::Init--\r\n"));
    EXPECT_FALSE(m_Util.HasParts(0));
}

TEST_F(LifecycleTest, FailedInitThenRetry)
{
    CImageBuilder image;
    EXPECT_EQ(IMAGE_BAD_LAYOUT, InitWith(m_Util, CImageBuilder(image).SetTrailingBytes(1)));
    EXPECT_EQ(OSUTIL_INIT_FAILED, m_Util.m_nState);
    EXPECT_FALSE(m_Util.HasParts(0));
    EXPECT_FALSE(m_Util.HasParts(FLAG_BL));
    std::vector<BYTE> buf(2000);
    EXPECT_FALSE(m_Util.Extract(PART_BL, buf.data(), buf.size()));

    // The failed file was closed: it can be replaced, and a later Init starts again.
    EXPECT_EQ(IMAGE_OK, InitWith(m_Util, image));
    EXPECT_EQ(OSUTIL_INITIALIZED, m_Util.m_nState);
    EXPECT_TRUE(m_Util.Extract(PART_BL, buf.data(), buf.size()));
}

TEST_F(LifecycleTest, SecondInitReturnsAtOnce)
{
    ASSERT_EQ(IMAGE_OK, InitWith(m_Util, CImageBuilder()));
    std::filesystem::remove("temp.dat");
    CTraceCapture trace;
    int nErr = 55;
    EXPECT_TRUE(m_Util.Init(&nErr));
    EXPECT_EQ(55, nErr);
    EXPECT_TRUE(trace.Contains("COSUtil:: OSUtil has been initialized, return \r\n"));
    EXPECT_FALSE(trace.Contains("COSUtil::Parse ++"));
    EXPECT_EQ(OSUTIL_INITIALIZED, m_Util.m_nState);
}

TEST_F(LifecycleTest, HasPartsNeedsEveryBit)
{
    ASSERT_EQ(IMAGE_OK, InitWith(m_Util, CImageBuilder().SetImageFlag(0x11F)));
    const struct
    {
        DWORD dwMask;
        bool bHas;
    } cases[] = {{0x000, true}, {0x006, true}, {0x11F, true}, {0x020, false}, {0x003 | 0x200, false}, {0x120, false}};
    for (const auto& test : cases)
        EXPECT_EQ(test.bHas, m_Util.HasParts(test.dwMask)) << std::hex << test.dwMask;
}

TEST_F(LifecycleTest, CloseTwice)
{
    ASSERT_EQ(IMAGE_OK, InitWith(m_Util, CImageBuilder()));
    CTraceCapture trace;
    m_Util.Close();
    m_Util.Close();
    EXPECT_EQ(2, trace.Count("COSUtil :: ~COSUtil++ m_File = 0x"));
    EXPECT_EQ(2, trace.Count("COSUtil :: ~COSUtil--\r\n"));
    EXPECT_TRUE(trace.Contains("COSUtil :: ~COSUtil++ m_File = 0x0\r\n"));
    std::vector<BYTE> buf(2000);
    EXPECT_FALSE(m_Util.Extract(PART_BL, buf.data(), buf.size()));
    EXPECT_TRUE(trace.Contains("os file invalid\r\n"));
    EXPECT_FALSE(m_Util.HasParts(0));
    // The closed image can be opened again.
    int nErr = 0;
    EXPECT_TRUE(m_Util.Init(&nErr));
    EXPECT_EQ(IMAGE_OK, nErr);
}

TEST_F(LifecycleTest, SeekReadFileBounds)
{
    std::vector<BYTE> bytes = CImageBuilder().Build();
    ASSERT_TRUE(WriteBytes("image.bin", bytes));
    std::FILE* pFile = std::fopen("image.bin", "rb");
    ASSERT_NE(nullptr, pFile);
    const QWORD LEN = bytes.size();
    const struct
    {
        QWORD qwPos;
        QWORD qwSize;
        bool bOk;
    } cases[] = {
        {LEN - 1, 1, true}, {LEN, 0, true},        {LEN, 1, false},          {0, LEN, true},
        {1, LEN, false},    {LEN + 1, 0, false},   {10, ~QWORD{0} - 5, false}, {~QWORD{0}, 2, false},
    };
    BYTE buf[16] = {};
    std::vector<BYTE> whole(LEN + 1);
    ASSERT_EQ(0, std::fseek(pFile, 7, SEEK_SET));
    for (const auto& test : cases)
    {
        CTraceCapture trace;
        BYTE* pBuf = test.qwSize > sizeof(buf) ? whole.data() : buf;
        EXPECT_EQ(test.bOk, m_Util.SeekReadFile(pFile, test.qwPos, test.qwSize, pBuf)) << test.qwPos << " " << test.qwSize;
        EXPECT_EQ(!test.bOk, trace.Contains("SeekReadFile : pos("));
        EXPECT_EQ(7, std::ftell(pFile));
    }
    ASSERT_TRUE(m_Util.SeekReadFile(pFile, LEN - 1, 1, buf));
    EXPECT_EQ(bytes.back(), buf[0]);
    CTraceCapture trace;
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_FALSE(m_Util.SeekReadFile(pFile, LEN, 1, buf));
    EXPECT_EQ("SeekReadFile : pos(" + std::to_string(LEN) + ") or size(1) exceed file length(" + std::to_string(LEN) +
                  ")\r\n",
              trace.Lines().at(0));
    EXPECT_FALSE(m_Util.SeekReadFile(nullptr, 0, 1, buf));
    EXPECT_TRUE(trace.Contains("SeekReadFile : Invalid handle value.\r\n"));
    EXPECT_FALSE(m_Util.SeekReadFile(pFile, 0, 1, nullptr));
    EXPECT_TRUE(trace.Contains("SeekReadFile : Invalid buffer.\r\n"));
    std::fclose(pFile);
}

TEST_F(LifecycleTest, VersionText)
{
    const std::string LONG_TEXT(70, 'A');
    const struct
    {
        DWORD dwKey1;
        std::string strText;
        std::string strExpected;
    } cases[] = {
        {0x5AC31E87, "VUQ 1.00.07 WWE", "VUQ 1.00.07 WWE"},
        {0x00000000, "VUQ 1.00.07 WWE", "VUQ 1.00.07 WWE"},
        {0x04030201, "abcdefgh", "abcdefgh"},
        {0x5AC31E87, "", ""},
        {0x5AC31E87, std::string(63, 'x'), std::string(63, 'x')},
        {0x5AC31E87, LONG_TEXT, LONG_TEXT.substr(0, 63)},
    };
    for (const auto& test : cases)
    {
        COSUtil util;
        CImageBuilder image;
        image.SetKey1(test.dwKey1).SetVersionText(test.strText);
        ASSERT_EQ(IMAGE_OK, InitWith(util, image));
        char szText[128];
        util.GetVersionText(szText, sizeof(szText));
        EXPECT_EQ(test.strExpected, std::string(szText));
    }
}

TEST_F(LifecycleTest, VersionTextUsesKeyBytesInFileOrder)
{
    // Stored bytes written by hand: plain "AB" with key bytes 01 02 (file order).
    ASSERT_EQ(IMAGE_OK, InitWith(m_Util, CImageBuilder().SetKey1(0x00000201)));
    m_Util.m_OemInfo[0] = static_cast<BYTE>(('A' ^ 0x01) + 10);
    m_Util.m_OemInfo[1] = static_cast<BYTE>(('B' ^ 0x02) + 10);
    m_Util.m_OemInfo[2] = 0;
    char szText[8];
    m_Util.GetVersionText(szText, sizeof(szText));
    EXPECT_STREQ("AB", szText);
    // A short buffer cuts the text and still terminates it.
    char szShort[2];
    m_Util.GetVersionText(szShort, sizeof(szShort));
    EXPECT_STREQ("A", szShort);
}
}

namespace
{
TEST(SeekReadFileLarge, ReadsAcrossStagingPiecesMatchTheFile)
{
    CTempDir dir;
    std::vector<BYTE> bytes = CImageBuilder().SetOsPartBlocks(6).Build();
    ASSERT_TRUE(WriteBytes(dir.File("image.bin"), bytes));
    std::FILE* pFile = std::fopen(dir.File("image.bin").c_str(), "rb");
    ASSERT_NE(nullptr, pFile);
    COSUtil util;
    const QWORD LEN = bytes.size();
    const struct
    {
        QWORD qwPos;
        QWORD qwSize;
    } cases[] = {{0, LEN}, {1, LEN - 1}, {12345, 256 * 1024 + 1}, {LEN - 3 * 256 * 1024 - 7, 3 * 256 * 1024 + 7}};
    for (const auto& test : cases)
    {
        std::vector<BYTE> buf(test.qwSize);
        ASSERT_TRUE(util.SeekReadFile(pFile, test.qwPos, test.qwSize, buf.data())) << test.qwPos;
        EXPECT_TRUE(std::equal(buf.begin(), buf.end(), bytes.begin() + static_cast<ptrdiff_t>(test.qwPos)))
            << test.qwPos;
        EXPECT_EQ(0, std::ftell(pFile));
    }
    std::fclose(pFile);
}
}
