// Reading and checking the image file: parse codes and their order, the reserve
// region search, the descriptor table and the held header values.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "ImageTestUtil.h"
#include "support/TraceCapture.h"

namespace
{
struct PARSE_CASE
{
    const char* pszName;
    std::function<std::vector<BYTE>()> build;
    int nCode;
    const char* pszTrace;   // a line the parse must write, or null
    DWORD dwReserveBlocks;  // checked for code 1
};

std::vector<BYTE> Valid(const std::function<void(CImageBuilder&)>& change)
{
    CImageBuilder image;
    change(image);
    return image.Build();
}

// An image of 8 blocks with the boot sector at nSector: the search's read windows
// meet every 503 sectors.
std::vector<BYTE> BootAt(int64_t nSector)
{
    return Valid([nSector](CImageBuilder& b) { b.SetOsPartBlocks(8).SetBootSector(nSector); });
}

std::vector<BYTE> TableLength(DWORD dwLen)
{
    return Valid([dwLen](CImageBuilder& b) { b.SetReservedEntries({{"REV", 0, 1}}).SetTableLength(dwLen); });
}

const PARSE_CASE PARSE_CASES[] = {
    {"Valid", [] { return CImageBuilder().Build(); }, IMAGE_OK, nullptr, 1},
    {"ShortHeaderBeforeTag", [] { return std::vector<BYTE>(115, 'X'); }, IMAGE_READ_ERROR,
     "OS File header read error \r\n", 0},
    {"EmptyFile", [] { return std::vector<BYTE>(); }, IMAGE_READ_ERROR, "OS File header read error \r\n", 0},
    {"BadTag", [] { return Valid([](CImageBuilder& b) { b.SetTag("TAVX"); }); }, IMAGE_BAD_TAG, nullptr, 0},
    {"LowerCaseTag", [] { return Valid([](CImageBuilder& b) { b.SetTag("tavu"); }); }, IMAGE_BAD_TAG, nullptr, 0},
    {"OneByteLong", [] { return Valid([](CImageBuilder& b) { b.SetTrailingBytes(1); }); }, IMAGE_BAD_LAYOUT,
     nullptr, 0},
    {"OneByteShort", [] { return Valid([](CImageBuilder& b) { b.SetTrailingBytes(-1); }); }, IMAGE_BAD_LAYOUT,
     nullptr, 0},
    {"S5Ignored", [] { return Valid([](CImageBuilder& b) { b.SetSize(5, 0xFFFFFFFF); }); }, IMAGE_OK, nullptr, 1},
    {"NoBootSector", [] { return Valid([](CImageBuilder& b) { b.SetBootSector(-1); }); }, IMAGE_BAD_LAYOUT,
     "DefineReserveRegions fail\r\n", 0},
    {"WrongSignature", [] { return Valid([](CImageBuilder& b) { b.SetLayoutSignature("MSFLSH51"); }); },
     IMAGE_BAD_LAYOUT, "DefineReserveRegions fail\r\n", 0},
    {"BootByteE9", [] { return Valid([](CImageBuilder& b) { b.SetBootByte(0xE9); }); }, IMAGE_OK, nullptr, 1},
    {"BootByteOther", [] { return Valid([](CImageBuilder& b) { b.SetBootByte(0xEA); }); }, IMAGE_BAD_LAYOUT,
     "DefineReserveRegions fail\r\n", 0},
    {"LoneBootSectorSlidesOn",
     [] { return Valid([](CImageBuilder& b) { b.AddLoneBootSector(0).AddLoneBootSector(3).SetBootSector(5); }); },
     IMAGE_OK, nullptr, 1},
    {"LayoutInLastBlock", [] { return BootAt(8 * SECTORS_PER_BLOCK - 2); }, IMAGE_OK, nullptr, 1},
    {"LayoutEndsWithFile",
     [] {
         return Valid([](CImageBuilder& b) {
             for (int i = 1; i <= 7; ++i)
                 b.SetSize(i, 0);
             b.SetBootSector(2 * SECTORS_PER_BLOCK - 2);
         });
     },
     IMAGE_OK, nullptr, 1},
    {"PairLastInWindow", [] { return BootAt(502); }, IMAGE_OK, nullptr, 1},
    {"PairAcrossWindows", [] { return BootAt(503); }, IMAGE_OK, nullptr, 1},
    {"PairFirstInNextWindow", [] { return BootAt(504); }, IMAGE_OK, nullptr, 1},
    {"PairAcrossThirdWindow", [] { return BootAt(2 * 503 - 1); }, IMAGE_OK, nullptr, 1},
    {"LayoutPastOsPart", [] { return Valid([](CImageBuilder& b) { b.SetBootSector(2 * SECTORS_PER_BLOCK); }); },
     IMAGE_OK, nullptr, 1},
    {"TableLength0", [] { return TableLength(0); }, IMAGE_BAD_LAYOUT, "DefineReserveRegions fail\r\n", 0},
    {"TableLength1", [] { return TableLength(1); }, IMAGE_BAD_LAYOUT, "DefineReserveRegions fail\r\n", 0},
    {"TableLength15", [] { return TableLength(15); }, IMAGE_BAD_LAYOUT, "DefineReserveRegions fail\r\n", 0},
    {"TableLength16", [] { return TableLength(16); }, IMAGE_OK, nullptr, 1},
    {"OemInfoUnreadable",
     [] {
         return Valid([](CImageBuilder& b) {
             b.SetSize(0, 1000);
             for (int i = 1; i <= 7; ++i)
                 b.SetSize(i, 0);
         });
     },
     IMAGE_READ_ERROR, "OS File Oem info read error \r\n", 0},
    {"FirstRevEntryCounts",
     [] { return Valid([](CImageBuilder& b) { b.SetOsPartBlocks(4).SetReservedEntries({{"REV", 0, 2}, {"REV", 0, 3}}); }); },
     IMAGE_OK, nullptr, 2},
    {"RevNameIsExact",
     [] { return Valid([](CImageBuilder& b) { b.SetReservedEntries({{"rev", 0, 1}, {"REVX", 0, 1}, {"REV", 0, 2}}); }); },
     IMAGE_OK, nullptr, 2},
    {"NameOfEightBytes",
     [] { return Valid([](CImageBuilder& b) { b.SetReservedEntries({{std::string("REV\0ABCD", 8), 0, 1}}); }); }, IMAGE_OK, nullptr,
     1},
    // Tables the parse refuses instead of guessing a region.
    {"NoRevEntry", [] { return Valid([](CImageBuilder& b) { b.SetReservedEntries({{"IPL", 0, 1}, {"XIP", 0, 1}}); }); },
     IMAGE_BAD_LAYOUT, "no reserved entry named REV", 0},
    {"RevOfZeroBlocks", [] { return Valid([](CImageBuilder& b) { b.SetReserveBlocks(0); }); }, IMAGE_BAD_LAYOUT,
     "reserve region of 0 blocks", 0},
    {"RevLargerThanOsPart", [] { return Valid([](CImageBuilder& b) { b.SetReserveBlocks(3); }); }, IMAGE_BAD_LAYOUT,
     "exceeds the OS part", 0},
    {"RevFillsOsPart", [] { return Valid([](CImageBuilder& b) { b.SetReserveBlocks(2); }); }, IMAGE_OK, nullptr, 2},
    {"RevAsEntry31",
     [] {
         std::vector<RESERVED_ITEM> entries(30, RESERVED_ITEM{"XIP", 0, 1});
         entries.push_back({"REV", 0, 1});
         return Valid([&entries](CImageBuilder& b) { b.SetReservedEntries(entries).SetTableLength(40 * 16); });
     },
     IMAGE_OK, "claims 40 entries", 1},
};

class ParseCodeTest : public ::testing::TestWithParam<PARSE_CASE>
{
protected:
    CTempDir m_Dir{true};
};

TEST_P(ParseCodeTest, GivesCodeAndTrace)
{
    const PARSE_CASE& test = GetParam();
    CTraceCapture trace;
    COSUtil util;
    int nCode = InitWith(util, test.build());
    EXPECT_EQ(test.nCode, nCode);
    EXPECT_EQ(test.nCode == IMAGE_OK ? OSUTIL_INITIALIZED : OSUTIL_INIT_FAILED, util.m_nState);
    if (test.pszTrace != nullptr)
    {
        EXPECT_TRUE(trace.Contains(test.pszTrace)) << test.pszTrace;
    }
    if (test.nCode == IMAGE_OK)
    {
        EXPECT_EQ(test.dwReserveBlocks, util.m_dwReserveBlocks);
    }
    else
    {
        EXPECT_NE(-1, trace.Find("COSUtil : Init --> faile, ErrCode = " + std::to_string(test.nCode) + "\r\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseCodeTest, ::testing::ValuesIn(PARSE_CASES),
                         [](const ::testing::TestParamInfo<PARSE_CASE>& paramInfo) { return std::string(paramInfo.param.pszName); });

class ParseTest : public ::testing::Test
{
protected:
    CTempDir m_Dir{true};
};

TEST_F(ParseTest, SizeWordsThatWrapIn32BitsAreRefused)
{
    // S[6] + S[7] = 2^32: a 32-bit sum would equal the real length of the file.
    CImageBuilder image;
    image.SetSize(6, 0).SetSize(7, 0);
    std::vector<BYTE> bytes = image.Build();
    WriteLE32(bytes.data() + OFFSET_OS_SIZE + 24, 0x80000000u);
    WriteLE32(bytes.data() + OFFSET_OS_SIZE + 28, 0x80000000u);
    COSUtil util;
    EXPECT_EQ(IMAGE_BAD_LAYOUT, InitWith(util, bytes));

    // A single word that pushes the total to 4 GiB or more is refused the same way.
    bytes = image.Build();
    WriteLE32(bytes.data() + OFFSET_OS_SIZE + 28, 0xFFFFFFFFu);
    COSUtil other;
    EXPECT_EQ(IMAGE_BAD_LAYOUT, InitWith(other, bytes));
}

TEST_F(ParseTest, ReadsNoMoreThan31ReservedEntries)
{
    // A 32nd entry named "REV" would start at byte 512 of the layout sector, running into
    // the next sector; the table claims it, but only the 31 that fit are read.
    CImageBuilder image;
    std::vector<RESERVED_ITEM> entries(31, RESERVED_ITEM{"XIP", 0, 1});
    image.SetReservedEntries(entries).SetTableLength(32 * 16);
    std::vector<BYTE> bytes = image.Build();
    BYTE* pEntry32 = bytes.data() + IMAGE_HEADER_SIZE + SECTOR_SIZE + LAYOUT_HEAD_SIZE + 31 * RESERVED_ENTRY_SIZE;
    std::memcpy(pEntry32, "REV\0\0\0\0\0", 8);
    WriteLE32(pEntry32 + 12, 1);
    CTraceCapture trace;
    COSUtil util;
    EXPECT_EQ(IMAGE_BAD_LAYOUT, InitWith(util, bytes));
    EXPECT_TRUE(trace.Contains("no reserved entry named REV"));
}

TEST_F(ParseTest, FillsDescriptorTable)
{
    static const char* const NAMES[HEADER_DESCRIPTOR_COUNT] = {
        "TAVU TAG", "Image Flag", "OS size ", "RELEASE Tag", "Key1", "Key2", "Key3", "Key4",
        "Key5", "Key6", "Key7", "Key8", "Flash Type", "Key10", "Bluetooth", "Reserve Region",
        "OS", "BootLoader", "UsbDownloader", "Vantor", "IPL", "MOT Agent File", "MOT File"};
    CImageBuilder odd;
    odd.SetOsPartBlocks(5).SetReserveBlocks(2).SetSize(5, 12345).SetSize(3, 0).SetSize(7, 1);
    for (const CImageBuilder& image : {CImageBuilder(), odd})
    {
        COSUtil util;
        ASSERT_EQ(IMAGE_OK, InitWith(util, image));
        for (int i = 0; i < HEADER_DESCRIPTOR_COUNT; ++i)
            EXPECT_STREQ(NAMES[i], util.GetDescriptor(i).pszName);
        for (int i = 0; i < PART_RESERVE; ++i)
        {
            EXPECT_EQ(i <= 2 ? (i == 2 ? 8 : 4 * i) : 56 + 4 * (i - 3), util.GetDescriptor(i).nOffset) << i;
            EXPECT_EQ(i == 2 ? 48 : 4, util.GetDescriptor(i).nSize) << i;
        }
        for (int nPart = PART_RESERVE; nPart <= PART_MOT_FILE; ++nPart)
        {
            EXPECT_EQ(static_cast<int64_t>(image.PartOffset(nPart)), util.GetDescriptor(nPart).nOffset) << nPart;
            EXPECT_EQ(static_cast<int64_t>(image.PartSize(nPart)), util.GetDescriptor(nPart).nSize) << nPart;
        }
    }
}

TEST_F(ParseTest, KeepsHeaderValues)
{
    CImageBuilder image;
    image.SetImageFlag(0x0A5).SetSize(5, 0xDEAD).SetHeaderWord(0, 0x01020304).SetHeaderWord(9, 0x55).SetHeaderWord(10, 3);
    COSUtil util;
    ASSERT_EQ(IMAGE_OK, InitWith(util, image));
    EXPECT_EQ(0x0A5u, util.m_dwImageFlag);
    for (DWORD i = 0; i < SIZE_WORDS_HELD; ++i)
        EXPECT_EQ(image.Size(static_cast<int>(i)), util.m_dwOSSize[i]) << i;
    for (DWORD i = 0; i < HEADER_WORDS_HELD; ++i)
        EXPECT_EQ(image.HeaderWord(static_cast<int>(i)), util.m_dwHeaderWords[i]) << i;
    EXPECT_EQ(0, std::memcmp(image.Bluetooth().data(), util.m_Bluetooth, BLUETOOTH_SIZE));
    std::vector<BYTE> oem = image.OemInfo();
    EXPECT_EQ(0, std::memcmp(oem.data(), util.m_OemInfo, OEM_INFO_SIZE));
    EXPECT_EQ(PARSE_COMPLETE, util.m_nParseStage);
}

TEST_F(ParseTest, ParseStageTellsHowFarTheParseGot)
{
    struct STAGE_CASE
    {
        std::function<void(CImageBuilder&)> change;
        int nStage;
    } cases[] = {
        {[](CImageBuilder& b) { b.SetTag("XXXX"); }, PARSE_NOTHING},
        {[](CImageBuilder& b) { b.SetTrailingBytes(3); }, PARSE_NOTHING},
        {[](CImageBuilder& b) { b.SetSize(0, 500); }, PARSE_HEADER_KEPT},
        {[](CImageBuilder& b) { b.SetBootSector(-1); }, PARSE_OEM_READ},
        {[](CImageBuilder& b) { b.SetReserveBlocks(9); }, PARSE_RESERVE_FOUND},
        {[](CImageBuilder&) {}, PARSE_COMPLETE},
    };
    for (const STAGE_CASE& test : cases)
    {
        CImageBuilder image;
        test.change(image);
        COSUtil util;
        InitWith(util, image);
        EXPECT_EQ(test.nStage, util.m_nParseStage);
        if (test.nStage == PARSE_RESERVE_FOUND)
        {
            EXPECT_EQ(9u, util.m_dwReserveBlocks);
        }
    }
}

TEST_F(ParseTest, TracesEntryAndExitOfEachStep)
{
    CTraceCapture trace;
    COSUtil util;
    ASSERT_EQ(IMAGE_OK, InitWith(util, CImageBuilder()));
    int nInit = trace.Find("COSUtil::Init++\r\n");
    int nParse = trace.Find("COSUtil::Parse ++\r\n", nInit);
    int nSearch = trace.Find("DefineReserveRegions++\r\n", nParse);
    int nSearchEnd = trace.Find("DefineReserveRegions--\r\n", nSearch);
    int nParseEnd = trace.Find("COSUtil::Parse --\r\n", nSearchEnd);
    int nInitEnd = trace.Find("COSUtil::Init--\r\n", nParseEnd);
    EXPECT_TRUE(nInit >= 0 && nParse > nInit && nSearch > nParse && nSearchEnd > nSearch && nParseEnd > nSearchEnd &&
                nInitEnd > nParseEnd);
}
}
