#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "LegacyImage.h"
#include "TestFiles.h"
#include "legacy/ReserveRegion.h"

namespace
{
struct LOOKUP_CASE
{
    const char* pszName;
    LEGACY_IMAGE_LAYOUT layout;
    bool bResult;
    bool bFound;
    DWORD dwNumBlocks;
};

void PrintTo(const LOOKUP_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}

// Looks for the "REV" entry in an image file holding these bytes.
bool LookUpRev(const std::vector<BYTE>& bytes)
{
    std::FILE* pFile = TempFileWith(bytes);
    EXPECT_NE(pFile, nullptr);
    if (pFile == nullptr)
        return false;
    RESERVE_ENTRY_REQUEST request{};
    std::strcpy(request.szName, "REV");
    bool bResult = DefineReserveRegion(pFile, &request);
    std::fclose(pFile);
    return bResult;
}

LEGACY_IMAGE_LAYOUT WithLayout(void (*pfnChange)(LEGACY_IMAGE_LAYOUT&))
{
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwOsBlocks = 3;
    layout.dwReserveBlocks = 2;
    pfnChange(layout);
    return layout;
}

class CReserveLookup : public ::testing::TestWithParam<LOOKUP_CASE>
{
};
}

TEST_P(CReserveLookup, FindsTheLayoutAtTheFirstBootBlock)
{
    const LOOKUP_CASE& test = GetParam();
    CLegacyImage image(test.layout);
    std::FILE* pFile = TempFileWith(image.Bytes());
    ASSERT_NE(pFile, nullptr);
    std::fseek(pFile, 77, SEEK_SET);
    RESERVE_ENTRY_REQUEST request{};
    std::strcpy(request.szName, "REV");
    request.dwStartBlock = 99;
    request.dwNumBlocks = 99;

    EXPECT_EQ(DefineReserveRegion(pFile, &request), test.bResult);

    EXPECT_EQ(std::ftell(pFile), 77);
    std::fclose(pFile);
    EXPECT_EQ(request.bFound, test.bFound);
    if (test.bFound)
    {
        EXPECT_EQ(request.dwStartBlock, 0u);
        EXPECT_EQ(request.dwNumBlocks, test.dwNumBlocks);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CReserveLookup,
    ::testing::Values(
        LOOKUP_CASE{"FirstBlock", WithLayout([](LEGACY_IMAGE_LAYOUT&) {}), true, true, 2},
        LOOKUP_CASE{"SecondBlock", WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.nLayoutBlock = 1; }), true, true, 2},
        LOOKUP_CASE{"RevAfterOtherEntries",
                    WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.entries = {{"XIP", 0, 7}, {"REVX", 0, 8}, {"REV", 3, 1}}; }),
                    true, true, 1},
        LOOKUP_CASE{"FirstOfTwoRev", WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.entries = {{"REV", 0, 4}, {"REV", 0, 5}}; }),
                    true, true, 4},
        LOOKUP_CASE{"NoRevEntry", WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.entries = {{"XIP", 0, 7}}; }), true, false, 0},
        // Only four entries are kept: a "REV" in fifth place is not seen.
        LOOKUP_CASE{"RevFifth",
                    WithLayout([](LEGACY_IMAGE_LAYOUT& s) {
                        s.entries = {{"A", 0, 1}, {"B", 0, 1}, {"C", 0, 1}, {"D", 0, 1}, {"REV", 0, 2}};
                    }),
                    true, false, 0},
        LOOKUP_CASE{"RevFourth",
                    WithLayout([](LEGACY_IMAGE_LAYOUT& s) {
                        s.entries = {{"A", 0, 1}, {"B", 0, 1}, {"C", 0, 1}, {"REV", 0, 2}, {"E", 0, 1}};
                    }),
                    true, true, 2},
        LOOKUP_CASE{"TableShorterThanOneEntry", WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.dwTableSizeOverride = 15; }), false,
                    false, 0},
        LOOKUP_CASE{"NoSignature", WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.bLayoutSignature = false; }), false, false, 0},
        LOOKUP_CASE{"NoBootSector", WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.nLayoutBlock = -1; }), false, false, 0},
        LOOKUP_CASE{"LayoutWithoutBootSector", WithLayout([](LEGACY_IMAGE_LAYOUT& s) { s.bBootSector = false; }), false,
                    false, 0}),
    [](const ::testing::TestParamInfo<LOOKUP_CASE>& paramInfo) { return paramInfo.param.pszName; });

TEST(ReserveLookup, FirstBootBlockWithoutLayoutRefusesTheImage)
{
    // Block 0 starts with a boot sector but has no layout sector; block 1 has both.
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwOsBlocks = 3;
    layout.nLayoutBlock = 1;
    CLegacyImage image(layout);
    std::vector<BYTE> bytes = image.Bytes();
    bytes[IMAGE_HEADER_SIZE] = 0xE9;
    bytes[IMAGE_HEADER_SIZE + 510] = 0x55;
    bytes[IMAGE_HEADER_SIZE + 511] = 0xAA;
    EXPECT_FALSE(LookUpRev(bytes));
}

TEST(ReserveLookup, BootSectorInsideABlockIsNotFound)
{
    // Boot and layout sectors at sectors 5 and 6 of block 0 instead of 0 and 1.
    LEGACY_IMAGE_LAYOUT layout;
    layout.nLayoutBlock = -1;
    CLegacyImage image(layout);
    LEGACY_IMAGE_LAYOUT shifted = layout;
    shifted.nLayoutBlock = 0;
    CLegacyImage shiftedImage(shifted);
    std::vector<BYTE> bytes = image.Bytes();
    std::memcpy(bytes.data() + IMAGE_HEADER_SIZE + 5 * SECTOR_SIZE, shiftedImage.Bytes().data() + IMAGE_HEADER_SIZE,
                2 * SECTOR_SIZE);
    EXPECT_FALSE(LookUpRev(bytes));
}

TEST(ReserveLookup, FileShorterThanOneBlockHasNoLayout)
{
    LEGACY_IMAGE_LAYOUT layout;
    CLegacyImage image(layout);
    std::vector<BYTE> bytes(image.Bytes().begin(), image.Bytes().begin() + IMAGE_HEADER_SIZE + BLOCK_SIZE - 1);
    EXPECT_FALSE(LookUpRev(bytes));
}

TEST(VersionText, DecryptsUpToTheFirstStoredZero)
{
    const DWORD dwKey = 0x4D3C2B1A;   // key bytes 1A 2B 3C 4D
    // "AB" stored, then a byte that decrypts to zero (stored 0x1A + 10 at index 2 is
    // 0x3C + 10), then 'C', then the stored zero and bytes that stay as they are.
    BYTE sector[12] = {static_cast<BYTE>(('A' ^ 0x1A) + 10), static_cast<BYTE>(('B' ^ 0x2B) + 10), 0x3C + 10,
                       static_cast<BYTE>(('C' ^ 0x4D) + 10), 0, 0x77, 0x88, 0x99, 0, 0, 0, 0};
    EXPECT_EQ(DecryptVersionText(sector, sizeof(sector), dwKey), 4u);
    EXPECT_EQ(sector[0], 'A');
    EXPECT_EQ(sector[1], 'B');
    EXPECT_EQ(sector[2], 0);
    EXPECT_EQ(sector[3], 'C');
    EXPECT_EQ(sector[4], 0);
    EXPECT_EQ(sector[5], 0x77);

    BYTE empty[4] = {0, 5, 6, 7};
    EXPECT_EQ(DecryptVersionText(empty, sizeof(empty), dwKey), 0u);
    EXPECT_EQ(empty[1], 5);

    // No zero at all: the whole sector is decrypted, nothing beyond it is touched.
    BYTE full[4] = {11, 12, 13, 14};
    EXPECT_EQ(DecryptVersionText(full, sizeof(full), 0), 4u);
    EXPECT_EQ(full[3], 4);
}
