// Runs the built vuqctl on builder images and checks exit codes, JSON and output bytes.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <nlohmann/json.hpp>

#include "cli/CliTest.h"
#include "image/ImageFormat.h"
#include "support/ImageBuilder.h"

namespace
{
class VuqctlTest : public CCliTest
{
protected:
    std::string Write(const CImageBuilder& image, const std::string& strName = "image.dat")
    {
        std::string strPath = m_Dir.File(strName);
        EXPECT_TRUE(image.WriteTo(strPath));
        return strPath;
    }
};

std::set<std::string> Keys(const nlohmann::json& object)
{
    std::set<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it)
        keys.insert(it.key());
    return keys;
}

const std::set<std::string> HEADER_KEYS = {"code", "image_flag", "os_size", "release_tag", "keys",
                                           "flash_type", "key10", "bluetooth"};

std::set<std::string> With(std::set<std::string> keys, std::initializer_list<const char*> more)
{
    for (const char* pszKey : more)
        keys.insert(pszKey);
    return keys;
}

TEST_F(VuqctlTest, InfoJsonKeysFollowHowFarTheParseGot)
{
    const struct
    {
        const char* pszName;
        std::function<void(CImageBuilder&)> change;
        int nCode;
        int nExit;
        std::set<std::string> keys;
    } cases[] = {
        {"valid", [](CImageBuilder&) {}, 1, 0, With(HEADER_KEYS, {"version", "reserve_blocks", "parts"})},
        {"bad tag", [](CImageBuilder& b) { b.SetTag("ABCD"); }, 101, 1, {"code"}},
        {"length", [](CImageBuilder& b) { b.SetTrailingBytes(1); }, 102, 1, {"code"}},
        {"oem info", [](CImageBuilder& b) { b.SetSize(0, 100); }, 103, 1, HEADER_KEYS},
        {"no layout", [](CImageBuilder& b) { b.SetBootSector(-1); }, 102, 1, With(HEADER_KEYS, {"version"})},
        {"rev too big", [](CImageBuilder& b) { b.SetReserveBlocks(5); }, 102, 1,
         With(HEADER_KEYS, {"version", "reserve_blocks"})},
    };
    for (const auto& test : cases)
    {
        CImageBuilder image;
        test.change(image);
        CLI_RUN result = Run("info --json " + Write(image));
        EXPECT_EQ(test.nExit, result.nExit) << test.pszName;
        nlohmann::json info = nlohmann::json::parse(result.strOut, nullptr, false);
        ASSERT_TRUE(info.is_object()) << test.pszName << ": " << result.strOut;
        EXPECT_EQ(test.keys, Keys(info)) << test.pszName;
        EXPECT_EQ(test.nCode, info["code"]) << test.pszName;
    }
}

TEST_F(VuqctlTest, InfoJsonValues)
{
    CImageBuilder image;
    image.SetOsPartBlocks(3).SetReserveBlocks(2).SetSize(5, 99).SetVersionText("VUQ 2.01.00 ABC");
    CLI_RUN result = Run("info --json " + Write(image));
    ASSERT_EQ(0, result.nExit) << result.strErr;
    nlohmann::json info = nlohmann::json::parse(result.strOut);
    EXPECT_EQ(image.ImageFlag(), info["image_flag"]);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(image.Size(i), info["os_size"][i]);
    EXPECT_EQ(image.HeaderWord(0), info["release_tag"]);
    ASSERT_EQ(8u, info["keys"].size());
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(image.HeaderWord(i + 1), info["keys"][i]);
    EXPECT_EQ(image.HeaderWord(9), info["flash_type"]);
    EXPECT_EQ(image.HeaderWord(10), info["key10"]);
    EXPECT_EQ("b0b1b2b3b4b5b6b7b8b9babbbcbdbebf", info["bluetooth"]);
    EXPECT_EQ(2, info["reserve_blocks"]);
    EXPECT_EQ("VUQ 2.01.00 ABC", info["version"]);
    const char* const NAMES[] = {"Reserve Region", "OS", "BootLoader", "UsbDownloader",
                                 "Vantor", "IPL", "MOT Agent File", "MOT File"};
    ASSERT_EQ(8u, info["parts"].size());
    for (int i = 0; i < 8; ++i)
    {
        const nlohmann::json& part = info["parts"][i];
        EXPECT_EQ(std::set<std::string>({"id", "name", "offset", "size"}), Keys(part));
        EXPECT_EQ(PART_RESERVE + i, part["id"]);
        EXPECT_EQ(NAMES[i], part["name"]);
        EXPECT_EQ(image.PartOffset(PART_RESERVE + i), part["offset"]);
        EXPECT_EQ(image.PartSize(PART_RESERVE + i), part["size"]);
    }
}

TEST_F(VuqctlTest, InfoSummaryAndErrors)
{
    CLI_RUN result = Run("info " + Write(CImageBuilder()));
    EXPECT_EQ(0, result.nExit);
    EXPECT_NE(std::string::npos, result.strOut.find("VUQ 1.00.07 WWE"));
    EXPECT_NE(std::string::npos, result.strOut.find("MOT Agent File"));

    result = Run("info " + Write(CImageBuilder().SetTag("XXXX")));
    EXPECT_EQ(1, result.nExit);
    EXPECT_NE(std::string::npos, result.strErr.find("image.dat"));
    EXPECT_NE(std::string::npos, result.strErr.find("101"));

    result = Run("info " + m_Dir.File("missing.dat"));
    EXPECT_EQ(2, result.nExit);
    EXPECT_NE(std::string::npos, result.strErr.find("missing.dat"));
    EXPECT_NE(std::string::npos, result.strErr.find("No such file"));
    EXPECT_TRUE(result.strOut.empty());

    EXPECT_EQ(2, Run("info").nExit);
    EXPECT_EQ(2, Run("").nExit);
    EXPECT_EQ(2, Run("nosuchverb x").nExit);
}

TEST_F(VuqctlTest, EveryVerbHasHelp)
{
    for (const char* pszVerb : {"info", "prepare", "extract", "flash"})
    {
        CLI_RUN result = Run(std::string(pszVerb) + " --help");
        EXPECT_EQ(0, result.nExit) << pszVerb;
        EXPECT_NE(std::string::npos, result.strOut.find("IMAGE")) << pszVerb;
    }
}

TEST_F(VuqctlTest, PrepareWritesThePreparedImage)
{
    CImageBuilder image;
    std::string strImage = Write(image);
    CImageBuilder withKey10 = image;
    withKey10.SetHeaderWord(10, 1001);
    const struct
    {
        const char* pszArgs;
        DWORD dwFlag;
        int nOsType;
        const CImageBuilder* pExpected;
    } cases[] = {
        {"--flag 0x006 --os-type 0 --key10 1001", 0x006, 0, &withKey10},
        {"--flag 0x19 --os-type 1 --key10 0x3E9", 0x019, 1, &withKey10},
        {"--flag 25 --os-type 1", 0x019, 1, &image},
        {"--flag 0 --os-type 0", 0, 0, &image},
        {"--flag 0x1FF --os-type 2", 0x1FF, 2, &image},
        {"--flag 0x100 --os-type 9", 0x100, 9, &image},
    };
    for (const auto& test : cases)
    {
        std::string strOut = m_Dir.File("out.bin");
        CLI_RUN result = Run(std::string("prepare ") + test.pszArgs + " " + strImage + " " + strOut);
        ASSERT_EQ(0, result.nExit) << test.pszArgs << ": " << result.strErr;
        EXPECT_EQ(test.pExpected->PreparedImage(test.dwFlag, test.nOsType), ReadBytes(strOut)) << test.pszArgs;
    }
}

TEST_F(VuqctlTest, PrepareFailuresSayWhy)
{
    std::string strImage = Write(CImageBuilder());
    std::string strOut = m_Dir.File("out.bin");
    const struct
    {
        std::string strArgs;
        int nExit;
        const char* pszReason;
    } cases[] = {
        {"--flag 0x200 --os-type 0 " + strImage + " " + strOut, 1, "unknown flag"},
        {"--flag 0x001 --os-type 3 " + strImage + " " + strOut, 1, "OS_TYPE unknown"},
        {"--flag zz --os-type 0 " + strImage + " " + strOut, 2, "--flag"},
        {"--flag 0x100000000 --os-type 0 " + strImage + " " + strOut, 2, "--flag"},
        {"--flag 1 --os-type 0 --key10 -1 " + strImage + " " + strOut, 2, "--key10"},
        {"--flag 1 " + strImage + " " + strOut, 2, "os-type"},
        {"--flag 1 --os-type 0 " + m_Dir.File("missing.dat") + " " + strOut, 2, "missing.dat"},
        {"--flag 1 --os-type 0 " + strImage + " " + m_Dir.File("no/such/dir/out.bin"), 1, "out.bin"},
    };
    for (const auto& test : cases)
    {
        CLI_RUN result = Run("prepare " + test.strArgs);
        EXPECT_EQ(test.nExit, result.nExit) << test.strArgs;
        EXPECT_NE(std::string::npos, result.strErr.find(test.pszReason)) << test.strArgs << ": " << result.strErr;
    }
}

TEST_F(VuqctlTest, ExtractWritesEachPart)
{
    CImageBuilder image;
    image.SetOsPartBlocks(3);
    std::string strImage = Write(image);
    for (int nPart = PART_RESERVE; nPart <= PART_MOT_FILE; ++nPart)
    {
        std::string strOut = m_Dir.File("part.bin");
        CLI_RUN result = Run("extract --part " + std::to_string(nPart) + " " + strImage + " " + strOut);
        ASSERT_EQ(0, result.nExit) << nPart << ": " << result.strErr;
        EXPECT_EQ(image.PartBytes(nPart), ReadBytes(strOut)) << nPart;
    }
    for (const char* pszPart : {"14", "23", "x"})
        EXPECT_EQ(2, Run(std::string("extract --part ") + pszPart + " " + strImage + " " + m_Dir.File("p")).nExit);
    CLI_RUN result = Run("extract --part 16 " + Write(CImageBuilder().SetTrailingBytes(-1)) + " " + m_Dir.File("p"));
    EXPECT_EQ(1, result.nExit);
    EXPECT_NE(std::string::npos, result.strErr.find("102"));
}
}
