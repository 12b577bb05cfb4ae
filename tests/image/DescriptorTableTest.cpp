// Each COSUtil keeps the part entries of the image it parsed: images parsed side by
// side in one process do not see each other's sizes, and a parse that fails leaves
// no size from its unchecked header behind.
#include <gtest/gtest.h>

#include "ImageTestUtil.h"

namespace
{
class DescriptorTableTest : public ::testing::Test
{
protected:
    // Parses the bytes from a file of their own; returns the parse code.
    int Parse(COSUtil& util, const char* pszName, const std::vector<BYTE>& bytes)
    {
        EXPECT_TRUE(WriteBytes(m_Dir.File(pszName), bytes));
        int nErr = 0;
        util.InitFile(m_Dir.File(pszName).c_str(), &nErr);
        return nErr;
    }

    CTempDir m_Dir;
};

TEST_F(DescriptorTableTest, TwoParsedImagesKeepTheirOwnPartSizes)
{
    CImageBuilder small;
    CImageBuilder large;
    large.SetOsPartBlocks(3).SetReserveBlocks(2).SetSize(1, 4000).SetSize(2, 2500).SetSize(7, 9000);
    COSUtil first;
    COSUtil second;
    ASSERT_EQ(IMAGE_OK, Parse(first, "small.dat", small.Build()));
    ASSERT_EQ(IMAGE_OK, Parse(second, "large.dat", large.Build()));

    for (int nPart = PART_RESERVE; nPart <= PART_MOT_FILE; ++nPart)
    {
        EXPECT_EQ(static_cast<int64_t>(small.PartOffset(nPart)), first.GetDescriptor(nPart).nOffset) << nPart;
        EXPECT_EQ(static_cast<int64_t>(small.PartSize(nPart)), first.GetDescriptor(nPart).nSize) << nPart;
        EXPECT_EQ(static_cast<int64_t>(large.PartOffset(nPart)), second.GetDescriptor(nPart).nOffset) << nPart;
        EXPECT_EQ(static_cast<int64_t>(large.PartSize(nPart)), second.GetDescriptor(nPart).nSize) << nPart;
    }
    // What each builds and reads follows its own image.
    for (int nOsType : {OS_TYPE_OS, OS_TYPE_RESERVE, OS_TYPE_RESERVE_AND_OS})
    {
        EXPECT_EQ(small.PreparedImage(0x11F, nOsType).size(), first.PrepareOSOnMem(0x11F, nOsType, nullptr, 0));
        EXPECT_EQ(large.PreparedImage(0x11F, nOsType).size(), second.PrepareOSOnMem(0x11F, nOsType, nullptr, 0));
    }
    std::vector<BYTE> bootLoader(static_cast<size_t>(small.PartSize(PART_BL)));
    ASSERT_TRUE(first.Extract(PART_BL, bootLoader.data(), bootLoader.size()));
    EXPECT_EQ(small.PartBytes(PART_BL), bootLoader);
}

TEST_F(DescriptorTableTest, FailedParseLeavesNoSizeFromItsHeader)
{
    CImageBuilder valid;
    COSUtil good;
    ASSERT_EQ(IMAGE_OK, Parse(good, "good.dat", valid.Build()));
    const DWORD dwGoodPhase1 = good.PrepareOSOnMem(PHASE1_MASK, OS_TYPE_OS, nullptr, 0);

    // A few hundred KB whose UsbDownloader word claims 0x70000000 bytes.
    std::vector<BYTE> oversized = valid.Build();
    WriteLE32(oversized.data() + OFFSET_OS_SIZE + 4 * 2, 0x70000000);
    COSUtil bad;
    ASSERT_EQ(IMAGE_BAD_LAYOUT, Parse(bad, "oversized.dat", oversized));

    // The failed image asks for no more than its file holds, and the good one is untouched.
    EXPECT_LE(bad.PrepareOSOnMem(PHASE1_MASK, OS_TYPE_OS, nullptr, 0), oversized.size());
    EXPECT_EQ(0, bad.GetDescriptor(PART_UD).nSize);
    EXPECT_EQ(dwGoodPhase1, good.PrepareOSOnMem(PHASE1_MASK, OS_TYPE_OS, nullptr, 0));
    EXPECT_EQ(static_cast<int64_t>(valid.PartSize(PART_UD)), good.GetDescriptor(PART_UD).nSize);
}

TEST_F(DescriptorTableTest, UnparsedImageHoldsTheDefaultTable)
{
    COSUtil util;
    for (int i = 0; i < HEADER_DESCRIPTOR_COUNT; ++i)
    {
        EXPECT_EQ(DEFAULT_HEADER_DESCRIPTORS[i].nOffset, util.GetDescriptor(i).nOffset) << i;
        EXPECT_EQ(DEFAULT_HEADER_DESCRIPTORS[i].nSize, util.GetDescriptor(i).nSize) << i;
        EXPECT_STREQ(DEFAULT_HEADER_DESCRIPTORS[i].pszName, util.GetDescriptor(i).pszName) << i;
    }
    EXPECT_EQ(IMAGE_HEADER_SIZE, util.PrepareOSOnMem(0, OS_TYPE_OS, nullptr, 0));
}
}
