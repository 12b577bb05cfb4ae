// The sample files simulated runs write into TEMP: an image the updater accepts
// with every part it sends, and a folder's own files are never replaced.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/OSUtil.h"
#include "platform/sim/SampleFiles.h"
#include "support/ImageBuilder.h"

namespace
{
std::vector<BYTE> ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
}

// The sample parses completely, holds the parts of both phases, and shows its
// version text; each phase's image can be prepared from it.
TEST(SampleFiles, ImageIsAcceptedWithEveryPhase)
{
    CTempDir dir;
    ASSERT_TRUE(WriteMissingSampleFiles(dir.Path()));
    COSUtil util;
    int nErr = 0;
    ASSERT_TRUE(util.InitFile(dir.File(SAMPLE_IMAGE_FILE).c_str(), &nErr)) << "parse code " << nErr;
    EXPECT_EQ(util.m_nParseStage, PARSE_COMPLETE);
    EXPECT_EQ(util.m_dwReserveBlocks, 1u);
    for (DWORD dwBit : {FLAG_OS, FLAG_BL, FLAG_UD, FLAG_VN, FLAG_EB})
        EXPECT_TRUE(util.HasParts(dwBit)) << dwBit;

    char szVersion[64];
    util.GetVersionText(szVersion, sizeof(szVersion));
    EXPECT_STREQ(szVersion, SAMPLE_VERSION_TEXT);

    EXPECT_NE(util.PrepareOSOnMem(util.m_dwImageFlag & PHASE1_MASK, OS_TYPE_OS, nullptr, 0), 0u);
    EXPECT_NE(util.PrepareOSOnMem(util.m_dwImageFlag & ~PHASE2_CLEAR_MASK, OS_TYPE_RESERVE, nullptr, 0), 0u);
    EXPECT_GT(util.GetDescriptor(PART_OS).nSize, 0);
    util.Close();
    EXPECT_FALSE(ReadFile(dir.File(SAMPLE_AGENT_FILE)).empty());
}

// Files that are already in the folder stay as they are; only the missing one is written.
TEST(SampleFiles, ExistingFilesAreKept)
{
    CTempDir dir;
    CImageBuilder image;
    ASSERT_TRUE(image.WriteTo(dir.File(SAMPLE_IMAGE_FILE)));
    ASSERT_TRUE(WriteMissingSampleFiles(dir.Path()));

    EXPECT_TRUE(ReadFile(dir.File(SAMPLE_IMAGE_FILE)) == image.Build());
    EXPECT_TRUE(ReadFile(dir.File(SAMPLE_AGENT_FILE)) == MakeSampleAgent());
}
