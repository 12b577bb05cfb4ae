// vuq_fuzz_seeds OUTDIR: writes the seed corpus of the fuzz targets to
// OUTDIR/<target>/: small valid images (and near misses) for the image parse,
// typical reply streams for the two reply readers, and page texts for the markup.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/ByteOrder.h"
#include "image/OSUtil.h"
#include "res/Strings.h"
#include "support/ImageBuilder.h"

namespace
{
bool WriteSeed(const std::filesystem::path& dir, const char* pszName, const std::vector<BYTE>& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string strPath = (dir / pszName).string();
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
    {
        std::fprintf(stderr, "vuq_fuzz_seeds: cannot write %s\n", strPath.c_str());
        return false;
    }
    bool bOk = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), pFile) == bytes.size();
    return std::fclose(pFile) == 0 && bOk;
}

std::vector<BYTE> Bytes(const std::string& strText)
{
    return std::vector<BYTE>(strText.begin(), strText.end());
}

struct IMAGE_SEED
{
    const char* pszName;
    CImageBuilder image;
};

std::vector<IMAGE_SEED> ImageSeeds()
{
    std::vector<IMAGE_SEED> seeds;
    seeds.push_back({"sample_2_blocks", CImageBuilder()});
    seeds.push_back({"one_block", CImageBuilder().SetOsPartBlocks(1)});
    seeds.push_back({"phase1_only", CImageBuilder().SetOsPartBlocks(1).SetImageFlag(PHASE1_MASK)});
    seeds.push_back({"many_entries", CImageBuilder().SetOsPartBlocks(1).SetReservedEntries(
                                         {{"IPL", 0, 0}, {"XIP", 0, 0}, {"FSR", 0, 0}, {"REV", 0, 1}})});
    seeds.push_back({"boot_at_sector_5", CImageBuilder().SetOsPartBlocks(1).SetBootSector(5)});
    seeds.push_back({"table_length_lies", CImageBuilder().SetOsPartBlocks(1).SetTableLength(0xFFFFFFF0u)});
    seeds.push_back({"one_byte_short", CImageBuilder().SetOsPartBlocks(1).SetTrailingBytes(-1)});
    // Near misses: an OS part just past the OEM info block, too small for its
    // reserve block (refused at the last check), and cheap to mutate.
    for (int nVariant = 0; nVariant < 3; ++nVariant)
    {
        static const char* const NAMES[] = {"small_os_part", "small_phase1", "small_no_parts"};
        CImageBuilder image;
        image.SetSize(0, OEM_BLOCK_SIZE + 2 * SECTOR_SIZE);
        for (int nIndex = 1; nIndex < static_cast<int>(SIZE_WORD_COUNT); ++nIndex)
            image.SetSize(nIndex, nVariant == 2 ? 0 : static_cast<DWORD>(40 * nIndex));
        if (nVariant == 1)
            image.SetImageFlag(PHASE1_MASK);
        seeds.push_back({NAMES[nVariant], image});
    }
    return seeds;
}

// The legacy reply target's input: an 8-byte head (see fuzz_legacy_reply.cpp) and
// the bytes the handset sends.
std::vector<BYTE> LegacyInput(BYTE bMode, BYTE bLimit, WORD wUpper, WORD wPos, WORD wStepUpper, const std::string& strReply)
{
    std::vector<BYTE> bytes(8);
    bytes[0] = bMode;
    bytes[1] = bLimit;
    WriteLE16(bytes.data() + 2, wUpper);
    WriteLE16(bytes.data() + 4, wPos);
    WriteLE16(bytes.data() + 6, wStepUpper);
    bytes.insert(bytes.end(), strReply.begin(), strReply.end());
    return bytes;
}
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: vuq_fuzz_seeds OUTDIR\n");
        return 2;
    }
    const std::filesystem::path outDir(argv[1]);
    bool bOk = true;

    // Images: each is checked with the container, so a seed that stops parsing
    // (the builder or the parse changed) is noticed.
    const std::filesystem::path imageDir = outDir / "fuzz_image_parse";
    for (const IMAGE_SEED& seed : ImageSeeds())
    {
        std::vector<BYTE> bytes = seed.image.Build();
        bOk = WriteSeed(imageDir, seed.pszName, bytes) && bOk;
        COSUtil util;
        int nErr = 0;
        bool bParsed = util.InitFile((imageDir / seed.pszName).string().c_str(), &nErr);
        std::printf("vuq_fuzz_seeds: %-18s %7zu bytes, parse %s (%d)\n", seed.pszName, bytes.size(),
                    bParsed ? "ok" : "refused", nErr);
    }
    std::vector<BYTE> header(IMAGE_HEADER_SIZE, 0);
    header[0] = 'T';
    header[1] = 'A';
    header[2] = 'V';
    header[3] = 'U';
    bOk = WriteSeed(imageDir, "header_only", header) && bOk;

    // Reply lines of the updater: the first byte is the download stage.
    const std::filesystem::path linkDir = outDir / "fuzz_reply_lines";
    const struct
    {
        const char* pszName;
        const char* pszText;
    } LINK_SEEDS[] = {
        {"os_download", "\x03" "12 LENGTH\n.\n.\n.\n.\nOS program ok!\n"},
        {"reserve", "\x02" "3 LENGTH\n.\n.\n.\nReserved region ok.\n"},
        {"edge", "\x04" "2 LENGTH\n.\n.\nEDGE program ok!\n"},
        {"errors", "\x02" "Flash Incorrect.\nOS program failed!\nOEM program failed.\nOS not compatible.\n"
                   "EDGE program error!\n"},
        {"reset", "\x00" "device reset.\n"},
        {"negative_length", "\x03" "-5 LENGTH\n.\n"},
        {"huge_length", "\x03" "99999999999 LENGTH\n.\n"},
    };
    for (const auto& seed : LINK_SEEDS)
    {
        // The stage byte may be a zero, which ends a C string: count it in by hand.
        std::string strText(1, seed.pszText[0]);
        strText += seed.pszText + 1;
        bOk = WriteSeed(linkDir, seed.pszName, Bytes(strText)) && bOk;
    }

    // Reply stream of the legacy updater, behind its head; and the sample image for
    // the reserve-region lookup that reads the same input as a file.
    const std::filesystem::path legacyDir = outDir / "fuzz_legacy_reply";
    bOk = WriteSeed(legacyDir, "os_ok", LegacyInput(0x09, 180, 100, 10, 0, "4 LENGTH\n.\n.\n.\n.\nOS program ok!\n")) && bOk;
    bOk = WriteSeed(legacyDir, "reserve_ok", LegacyInput(0x01, 60, 50, 0, 10, "Reserved region ok.\n")) && bOk;
    bOk = WriteSeed(legacyDir, "reset", LegacyInput(0x00, 5, 0, 0, 0, "noise\ndevice reset.\n")) && bOk;
    bOk = WriteSeed(legacyDir, "flash_incorrect", LegacyInput(0x03, 200, 10, 5, 0, ".\nFlash Incorrect.\n")) && bOk;
    bOk = WriteSeed(legacyDir, "failing_port", LegacyInput(0x06, 10, 10, 0, 0, "2 LENGTH\n.\n")) && bOk;
    bOk = WriteSeed(legacyDir, "long_line", LegacyInput(0x0A, 100, 30, 0, 0, std::string(200, 'x') + "\nEDGE program ok!\n")) &&
          bOk;
    bOk = WriteSeed(legacyDir, "sample_image", CImageBuilder().SetOsPartBlocks(1).Build()) && bOk;
    bOk = WriteSeed(legacyDir, "image_table_length_lies",
                    CImageBuilder().SetOsPartBlocks(1).SetTableLength(0xFFFFFFF0u).Build()) &&
          bOk;
    bOk = WriteSeed(legacyDir, "image_bad_signature",
                    CImageBuilder().SetOsPartBlocks(1).SetLayoutSignature("MSFLSH49").Build()) &&
          bOk;
    // Page texts in the markup: the first byte picks single-byte (0) or double-byte
    // (1) reading, the rest is the text.
    const std::filesystem::path markupDir = outDir / "fuzz_markup";
    const struct
    {
        const char* pszName;
        char cMode;
        const char* pszText;
    } MARKUP_SEEDS[] = {
        {"welcome", 0, "/cblack /B /s240 Welcome to the Device Software Update\nUtility./b /s180 \n\nThis program "
                       "will take you through the installation.\n\nClick Next to continue."},
        {"not_connected", 0, "/cblack /B /s240 ERROR:Connection\n\n\n/b /s180 Please check the USB cable."},
        {"finish", 0, "/B /cblack Congratulations\n\n/b You have now almost completed the update."},
        {"confirm", 0, "/cblack Your device software is about to be update\nFrom : \nDevice CE image version : "
                       "1.2.3\t\t\t   \nGSM Version : A/B-7\n\n/s220 While the update is in progress"},
        {"tokens_at_end", 0, "x/s240 y/cred z/B"},
        {"stray_slashes", 0, "//b C:/temp/ /x /S12 /"},
        {"huge_size", 0, "/s99999999999999999999 /COrAnGe x"},
        {"double_byte", 1, "/B\x82\xA0/cred \x83\x5C/s200 \x82"},
    };
    for (const auto& seed : MARKUP_SEEDS)
        bOk = WriteSeed(markupDir, seed.pszName, Bytes(std::string(1, seed.cMode) + seed.pszText)) && bOk;
    bOk = WriteSeed(markupDir, "progress", Bytes(std::string(1, '\0') + LoadVuqString(IDS_PROGRESS_TEXT))) && bOk;
    return bOk ? 0 : 1;
}
