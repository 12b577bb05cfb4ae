// Building the images the update sends: headers, parts, the OEM block, and the order
// of the preparation's checks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "ImageTestUtil.h"
#include "support/TraceCapture.h"

namespace
{
constexpr BYTE FILL = 0xCD;

class PrepareTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(IMAGE_OK, InitWith(m_Util, m_Image));
    }

    // Prepares into a buffer of the required size plus 10 spare bytes, pre-filled, and
    // returns the required bytes; empty when the preparation fails.
    std::vector<BYTE> Prepare(DWORD dwFlag, int nOsType)
    {
        DWORD dwSize = m_Util.PrepareOSOnMem(dwFlag, nOsType, nullptr, 0);
        if (dwSize == 0)
            return {};
        std::vector<BYTE> buf(dwSize + 10, FILL);
        if (m_Util.PrepareOSOnMem(dwFlag, nOsType, buf.data(), static_cast<DWORD>(buf.size())) != 1)
            return {};
        EXPECT_EQ(buf.data(), m_Util.m_pBuf);
        EXPECT_EQ(dwSize + 10, m_Util.m_nBufLen);
        for (size_t i = dwSize; i < buf.size(); ++i)
            EXPECT_EQ(FILL, buf[i]) << "spare byte " << i - dwSize << " written";
        buf.resize(dwSize);
        return buf;
    }

    CTempDir m_Dir{true};
    CImageBuilder m_Image;
    COSUtil m_Util;
};

TEST_F(PrepareTest, ImagesOfAnUpdate)
{
    // Phase 1: "Key10" set to 1001 first; BootLoader and UsbDownloader behind the OEM block.
    m_Util.SetKey10(1001);
    CImageBuilder withKey10 = m_Image;
    withKey10.SetHeaderWord(10, 1001);
    std::vector<BYTE> phase1 = Prepare(m_Util.m_dwImageFlag & PHASE1_MASK, OS_TYPE_OS);
    EXPECT_EQ(withKey10.PreparedImage(0x006, OS_TYPE_OS), phase1);
    ASSERT_EQ(IMAGE_HEADER_SIZE + OEM_BLOCK_SIZE + 1000 + 777, phase1.size());
    EXPECT_EQ(OEM_BLOCK_SIZE, ReadLE32(phase1.data() + OFFSET_OS_SIZE));
    EXPECT_EQ(1001u, ReadLE32(phase1.data() + OFFSET_KEY10));

    // Phase 2, first: reserve region, Vantor and IPL; every later header keeps 1001.
    DWORD dwFlag2 = m_Util.m_dwImageFlag & ~PHASE2_CLEAR_MASK;
    EXPECT_EQ(0x019u, dwFlag2);
    EXPECT_EQ(withKey10.PreparedImage(0x019, OS_TYPE_RESERVE), Prepare(dwFlag2, OS_TYPE_RESERVE));

    // Phase 2, second: the operating system alone.
    std::vector<BYTE> os(static_cast<size_t>(m_Util.GetDescriptor(PART_OS).nSize) + 10, FILL);
    ASSERT_TRUE(m_Util.Extract(PART_OS, os.data(), os.size()));
    os.resize(os.size() - 10);
    EXPECT_EQ(m_Image.PartBytes(PART_OS), os);

    // Closing header: flag 0, every size word 0.
    EXPECT_EQ(IMAGE_HEADER_SIZE, m_Util.PrepareOSOnMem(0, OS_TYPE_OS, nullptr, 0));
    std::vector<BYTE> closing(IMAGE_HEADER_SIZE, FILL);
    ASSERT_EQ(1u, m_Util.PrepareOSOnMem(0, OS_TYPE_OS, closing.data(), IMAGE_HEADER_SIZE));
    EXPECT_EQ(withKey10.PreparedImage(0, OS_TYPE_OS), closing);
    for (DWORD i = 0; i < SIZE_WORD_COUNT; ++i)
        EXPECT_EQ(0u, ReadLE32(closing.data() + OFFSET_OS_SIZE + 4 * i));
}

TEST_F(PrepareTest, EveryFlagAndOsTypeGivesTheExpectedBytes)
{
    const struct
    {
        DWORD dwFlag;
        int nOsType;
    } cases[] = {
        {0x001, OS_TYPE_OS}, {0x001, OS_TYPE_RESERVE}, {0x001, OS_TYPE_RESERVE_AND_OS}, {0x002, OS_TYPE_OS},
        {0x004, OS_TYPE_OS}, {0x008, OS_TYPE_OS},      {0x010, OS_TYPE_OS},             {0x100, OS_TYPE_OS},
        {0x018, OS_TYPE_OS}, {0x11F, OS_TYPE_RESERVE_AND_OS}, {0x1FF, OS_TYPE_RESERVE}, {0x106, 7},
    };
    for (const auto& test : cases)
        EXPECT_EQ(m_Image.PreparedImage(test.dwFlag, test.nOsType), Prepare(test.dwFlag, test.nOsType))
            << std::hex << test.dwFlag << " type " << test.nOsType;
}

TEST_F(PrepareTest, OemBlockOutsideTheOemInfoIsZero)
{
    // Same image twice, from buffers that held different bytes: identical results.
    for (BYTE bFill : {BYTE{0x00}, BYTE{0xFF}})
    {
        std::vector<BYTE> mot(m_Util.PrepareOSOnMem(0x100, OS_TYPE_OS, nullptr, 0), bFill);
        ASSERT_EQ(1u, m_Util.PrepareOSOnMem(0x100, OS_TYPE_OS, mot.data(), static_cast<DWORD>(mot.size())));
        const BYTE* pBlock = mot.data() + IMAGE_HEADER_SIZE;
        std::vector<BYTE> oem = m_Image.OemInfo();
        EXPECT_EQ(0, std::memcmp(pBlock + OEM_INFO_REGION_OFFSET, oem.data(), OEM_INFO_SIZE));
        for (DWORD i = 0; i < OEM_BLOCK_SIZE; ++i)
        {
            bool bOemInfo = i >= OEM_INFO_REGION_OFFSET && i < OEM_INFO_REGION_OFFSET + OEM_INFO_SIZE;
            ASSERT_TRUE(bOemInfo || pBlock[i] == 0) << "OEM block byte " << i;
        }
    }
}

TEST_F(PrepareTest, ChecksInOrder)
{
    CTraceCapture trace;
    // An unknown flag is refused even when only the size is asked for.
    EXPECT_EQ(0u, m_Util.PrepareOSOnMem(0x200, OS_TYPE_OS, nullptr, 0));
    EXPECT_TRUE(trace.Contains("unknown flag\r\n"));
    EXPECT_FALSE(trace.Contains("buffer is invalid"));

    // The size query ignores len.
    DWORD dwSize = m_Util.PrepareOSOnMem(0x006, OS_TYPE_OS, nullptr, 5);
    EXPECT_EQ(IMAGE_HEADER_SIZE + OEM_BLOCK_SIZE + 1000 + 777, dwSize);
    EXPECT_TRUE(trace.Contains("buffer is invalid, return required size\r\n"));

    // One byte short: nothing written, the last buffer kept.
    BYTE* pPrevious = m_Util.m_pBuf;
    std::vector<BYTE> buf(dwSize, FILL);
    EXPECT_EQ(0u, m_Util.PrepareOSOnMem(0x006, OS_TYPE_OS, buf.data(), dwSize - 1));
    EXPECT_TRUE(trace.Contains("buffer is not enough"));
    EXPECT_EQ(std::vector<BYTE>(dwSize, FILL), buf);
    EXPECT_EQ(pPrevious, m_Util.m_pBuf);

    // Exactly the required size succeeds.
    EXPECT_EQ(1u, m_Util.PrepareOSOnMem(0x006, OS_TYPE_OS, buf.data(), dwSize));
    EXPECT_EQ(buf.data(), m_Util.m_pBuf);
    EXPECT_EQ(dwSize, m_Util.m_nBufLen);
    EXPECT_EQ(4, trace.Count("COSUtil : PrepareOSOnMem--\r\n"));
}

TEST_F(PrepareTest, SpareFlagBitsChangeOnlyTheHeaderFlag)
{
    for (DWORD dwBase : {0x000u, 0x001u, 0x006u, 0x019u})
    {
        std::vector<BYTE> base = Prepare(dwBase, OS_TYPE_RESERVE);
        for (DWORD dwSpare : {0x020u, 0x040u, 0x080u, 0x0E0u})
        {
            std::vector<BYTE> spare = Prepare(dwBase | dwSpare, OS_TYPE_RESERVE);
            ASSERT_EQ(base.size(), spare.size());
            EXPECT_EQ(dwBase | dwSpare, ReadLE32(spare.data() + OFFSET_IMAGE_FLAG));
            WriteLE32(spare.data() + OFFSET_IMAGE_FLAG, dwBase);
            EXPECT_EQ(base, spare) << std::hex << dwBase << " " << dwSpare;
        }
    }
}

TEST_F(PrepareTest, UnknownOsTypeWithOsBitIsRefused)
{
    CTraceCapture trace;
    std::vector<BYTE> buf(1 << 20, FILL);
    for (int nType : {-1, 3, 7})
    {
        EXPECT_EQ(0u, m_Util.PrepareOSOnMem(0x001, nType, nullptr, 0));
        EXPECT_EQ(0u, m_Util.PrepareOSOnMem(0x019, nType, buf.data(), static_cast<DWORD>(buf.size())));
    }
    EXPECT_EQ(6, trace.Count("OS_TYPE unknown!!!\r\n"));
    EXPECT_EQ(std::vector<BYTE>(1 << 20, FILL), buf);
    EXPECT_FALSE(m_Util.PrepareHeader(0x001, 3, buf.data()));
}

TEST_F(PrepareTest, PrepareHeaderRefusesUnknownFlagBits)
{
    CTraceCapture trace;
    std::vector<BYTE> buf(IMAGE_HEADER_SIZE, FILL);
    EXPECT_FALSE(m_Util.PrepareHeader(0x200, OS_TYPE_OS, buf.data()));
    EXPECT_TRUE(trace.Contains("unknown flag bit\r\n"));
    EXPECT_EQ(std::vector<BYTE>(IMAGE_HEADER_SIZE, FILL), buf);
    EXPECT_TRUE(m_Util.PrepareHeader(0x1FF, OS_TYPE_RESERVE_AND_OS, buf.data()));
    EXPECT_EQ(m_Image.PreparedImage(0x1FF, OS_TYPE_RESERVE_AND_OS).size() - IMAGE_HEADER_SIZE -
                  m_Image.PartSize(PART_BL) - m_Image.PartSize(PART_UD) - m_Image.PartSize(PART_VN) -
                  m_Image.PartSize(PART_EB) - m_Image.PartSize(PART_MOT) - m_Image.PartSize(PART_MOT_FILE),
              ReadLE32(buf.data() + OFFSET_OS_SIZE));
}

// A parsed image whose descriptor table the test can damage.
class CDamagedOSUtil : public COSUtil
{
public:
    void SetPartSize(int nPart, int64_t nSize) { m_HeaderDescriptors[nPart].nSize = nSize; }
};

TEST_F(PrepareTest, RequiredSizeThatDoesNotFit32BitsIsRefused)
{
    // Only a damaged descriptor table can get here: a parsed image is under 4 GiB.
    CDamagedOSUtil util;
    ASSERT_EQ(IMAGE_OK, InitWith(util, m_Image));
    util.SetPartSize(PART_BL, 0xFFFFFFF0);
    CTraceCapture trace;
    EXPECT_EQ(0u, util.PrepareOSOnMem(0x006, OS_TYPE_OS, nullptr, 0));
    EXPECT_TRUE(trace.Contains("does not fit 32 bits"));
}

TEST_F(PrepareTest, FailingPartNamesItself)
{
    // The file is cut short after Init, so the read of the named part fails.
    const struct
    {
        DWORD dwFlag;
        int nOsType;
        int nCutPart;
        const char* pszLine;
    } cases[] = {
        {0x001, OS_TYPE_OS, PART_OS, "Extract PART_OS fail buf = 0x"},
        {0x001, OS_TYPE_RESERVE_AND_OS, PART_OS, "Extract PART_OS fail buf = 0x"},
        {0x001, OS_TYPE_RESERVE, PART_RESERVE, "Extract PART_RESERVE fail buf = 0x"},
        {0x006, OS_TYPE_OS, PART_UD, "Extract PART_UD fail buf = 0x"},
        {0x002, OS_TYPE_OS, PART_BL, "Extract PART_BL fail buf = 0x"},
        {0x008, OS_TYPE_OS, PART_VN, "Extract PART_VN fail buf = 0x"},
        {0x010, OS_TYPE_OS, PART_EB, "Extract PART_EB fail buf = 0x"},
        {0x100, OS_TYPE_OS, PART_MOT, "Extract PART_MOT fail buf = 0x"},
        {0x100, OS_TYPE_OS, PART_MOT_FILE, "Extract PART_MOT fail buf = 0x"},
    };
    for (const auto& test : cases)
    {
        COSUtil util;
        ASSERT_EQ(IMAGE_OK, InitWith(util, m_Image));
        std::filesystem::resize_file("temp.dat", m_Image.PartOffset(test.nCutPart) + 1);
        DWORD dwSize = util.PrepareOSOnMem(test.dwFlag, test.nOsType, nullptr, 0);
        std::vector<BYTE> buf(dwSize);
        CTraceCapture trace;
        EXPECT_EQ(0u, util.PrepareOSOnMem(test.dwFlag, test.nOsType, buf.data(), dwSize));
        EXPECT_TRUE(trace.Contains(test.pszLine)) << test.pszLine;
        EXPECT_EQ(nullptr, util.m_pBuf);
    }
}

TEST_F(PrepareTest, ExtractGivesEveryPart)
{
    for (int nPart = PART_RESERVE; nPart <= PART_MOT_FILE; ++nPart)
    {
        std::vector<BYTE> buf(static_cast<size_t>(m_Util.GetDescriptor(nPart).nSize));
        ASSERT_TRUE(m_Util.Extract(nPart, buf.data(), buf.size())) << nPart;
        EXPECT_EQ(m_Image.PartBytes(nPart), buf) << nPart;
    }
}

TEST_F(PrepareTest, ExtractStampsTheHeldOemInfoOnTheReserveRegion)
{
    for (DWORD i = 0; i < OEM_INFO_SIZE; ++i)
        m_Util.m_OemInfo[i] = static_cast<BYTE>(i * 3);
    std::vector<BYTE> buf(BLOCK_SIZE);
    ASSERT_TRUE(m_Util.Extract(PART_RESERVE, buf.data(), buf.size()));
    EXPECT_EQ(0, std::memcmp(buf.data() + OEM_INFO_REGION_OFFSET, m_Util.m_OemInfo, OEM_INFO_SIZE));
    std::vector<BYTE> expected = m_Image.PartBytes(PART_RESERVE);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + OEM_INFO_REGION_OFFSET, expected.begin()));
}

TEST_F(PrepareTest, ExtractRefusesSmallBuffersAndBadIds)
{
    CTraceCapture trace;
    std::vector<BYTE> buf(1000, FILL);
    EXPECT_FALSE(m_Util.Extract(PART_BL, buf.data(), 999));
    EXPECT_TRUE(trace.Contains("buffer(999) smaller than needed(1000)\r\n"));
    EXPECT_EQ(std::vector<BYTE>(1000, FILL), buf);
    EXPECT_FALSE(m_Util.Extract(-1, buf.data(), buf.size()));
    EXPECT_FALSE(m_Util.Extract(HEADER_DESCRIPTOR_COUNT, buf.data(), buf.size()));
    EXPECT_EQ(3, trace.Count("COSUtil :: Extract --\r\n"));
    // A header field by its index.
    ASSERT_TRUE(m_Util.Extract(FIELD_BLUETOOTH, buf.data(), 4));
    EXPECT_EQ(0, std::memcmp(buf.data(), m_Image.Bluetooth().data(), 4));
}
}
