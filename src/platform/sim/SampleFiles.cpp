#include "platform/sim/SampleFiles.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/ByteOrder.h"
#include "image/ImageFormat.h"

namespace
{
constexpr DWORD SAMPLE_FLAG = 0x11F;
constexpr DWORD SAMPLE_OS_BLOCKS = 2;
constexpr DWORD SAMPLE_RESERVE_BLOCKS = 1;
constexpr DWORD SAMPLE_KEY1 = 0x3C9A5E17;
// Sizes of the parts after the OS part, in file order: boot loader, USB downloader,
// Vantor, IPL, (S[5] empty), the module's agent file and firmware file.
constexpr int PART_SIZE_WORDS[] = {1, 2, 3, 4, 6, 7};
constexpr DWORD PART_SIZES[] = {4096, 2048, 3072, 1024, 512, 768};

bool WriteFile(const std::filesystem::path& path, const std::vector<BYTE>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}
}

std::vector<BYTE> MakeSampleImage()
{
    DWORD dwSizes[SIZE_WORD_COUNT] = {};
    dwSizes[0] = SAMPLE_OS_BLOCKS * BLOCK_SIZE;
    size_t nLength = IMAGE_HEADER_SIZE + dwSizes[0];
    for (size_t i = 0; i < sizeof(PART_SIZES) / sizeof(PART_SIZES[0]); ++i)
    {
        dwSizes[PART_SIZE_WORDS[i]] = PART_SIZES[i];
        nLength += PART_SIZES[i];
    }
    std::vector<BYTE> image(nLength);
    BYTE* p = image.data();

    // Content first: a counting pattern that differs from part to part.
    for (size_t i = IMAGE_HEADER_SIZE; i < nLength; ++i)
        p[i] = static_cast<BYTE>(i + (i >> 9) + (i >> 17) * 0x25);

    // Header.
    std::memcpy(p, IMAGE_TAG, 4);
    WriteLE32(p + OFFSET_IMAGE_FLAG, SAMPLE_FLAG);
    for (DWORD i = 0; i < SIZE_WORD_COUNT; ++i)
        WriteLE32(p + OFFSET_OS_SIZE + 4 * i, dwSizes[i]);
    WriteLE32(p + OFFSET_RELEASE_TAG, 0x20000101);
    WriteLE32(p + OFFSET_KEY1, SAMPLE_KEY1);
    for (DWORD i = 2; i < HEADER_WORDS_HELD - 2; ++i)
        WriteLE32(p + OFFSET_RELEASE_TAG + 4 * i, 0x01010101u * i);
    WriteLE32(p + OFFSET_RELEASE_TAG + 4 * (HEADER_WORDS_HELD - 2), 2);   // "Flash Type"
    WriteLE32(p + OFFSET_KEY10, 0);
    for (DWORD i = 0; i < BLUETOOTH_SIZE; ++i)
        p[OFFSET_BLUETOOTH + i] = static_cast<BYTE>(0xB0 + i);

    // The reserve region's first sectors: a boot sector, then the flash layout with
    // its reserved entries.
    BYTE* pBoot = p + IMAGE_HEADER_SIZE;
    pBoot[0] = 0xEB;
    pBoot[510] = 0x55;
    pBoot[511] = 0xAA;
    BYTE* pLayout = pBoot + SECTOR_SIZE;
    std::memset(pLayout, 0, SECTOR_SIZE);
    std::memcpy(pLayout, LAYOUT_SIGNATURE, 8);
    WriteLE32(pLayout + 8, 2 * RESERVED_ENTRY_SIZE);
    BYTE* pEntry = pLayout + LAYOUT_HEAD_SIZE;
    std::memcpy(pEntry, "IPL", 3);
    pEntry += RESERVED_ENTRY_SIZE;
    std::memcpy(pEntry, "REV", 3);
    WriteLE32(pEntry + 12, SAMPLE_RESERVE_BLOCKS);

    // The version text in the OEM info block: (byte XOR Key1 byte) + 10, then a zero.
    BYTE key[4];
    WriteLE32(key, SAMPLE_KEY1);
    BYTE* pOem = p + OEM_INFO_FILE_OFFSET;
    std::memset(pOem, 0, OEM_INFO_SIZE);
    for (size_t i = 0; i < std::strlen(SAMPLE_VERSION_TEXT); ++i)
        pOem[i] = static_cast<BYTE>((static_cast<BYTE>(SAMPLE_VERSION_TEXT[i]) ^ key[i % 4]) + 10);
    return image;
}

std::vector<BYTE> MakeSampleAgent()
{
    const char TEXT[] = "Sample device agent for the virtual handset of VUQ.\r\n";
    std::vector<BYTE> agent;
    for (int i = 0; i < 16; ++i)
        agent.insert(agent.end(), TEXT, TEXT + sizeof(TEXT) - 1);
    return agent;
}

bool WriteMissingSampleFiles(const std::string& strFolder)
{
    std::error_code ec;
    std::filesystem::path folder(strFolder);
    bool bOk = true;
    if (!std::filesystem::exists(folder / SAMPLE_IMAGE_FILE, ec))
        bOk = WriteFile(folder / SAMPLE_IMAGE_FILE, MakeSampleImage()) && bOk;
    if (!std::filesystem::exists(folder / SAMPLE_AGENT_FILE, ec))
        bOk = WriteFile(folder / SAMPLE_AGENT_FILE, MakeSampleAgent()) && bOk;
    return bOk;
}
