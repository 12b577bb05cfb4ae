// Fuzzes the image container: an input is written to a file, parsed, and when it
// parses, every read the update makes of it (version text, prepared images, parts)
// runs on buffers of exactly the size the container asks for, so a write past the
// end shows up under the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "image/ImageFormat.h"
#include "image/OSUtil.h"

namespace
{
// Prepared images and parts above this are skipped, to keep each run quick.
constexpr QWORD SIZE_CAP = 4u * 1024u * 1024u;
constexpr DWORD PREPARE_SPARE = 10;

// The file the inputs are written to: one per process, reused for every input.
class CInputFile
{
public:
    CInputFile()
    {
        char szTemplate[] = "/tmp/vuq_fuzz_image_XXXXXX";
        int nFd = mkstemp(szTemplate);
        if (nFd >= 0)
        {
            close(nFd);
            m_strPath = szTemplate;
        }
    }
    ~CInputFile()
    {
        if (!m_strPath.empty())
            std::remove(m_strPath.c_str());
    }
    CInputFile(const CInputFile&) = delete;
    CInputFile& operator=(const CInputFile&) = delete;

    bool Write(const uint8_t* pData, size_t nSize)
    {
        if (m_strPath.empty())
            return false;
        std::FILE* pFile = std::fopen(m_strPath.c_str(), "wb");
        if (pFile == nullptr)
            return false;
        bool bOk = nSize == 0 || std::fwrite(pData, 1, nSize, pFile) == nSize;
        return std::fclose(pFile) == 0 && bOk;
    }
    const char* Path() const { return m_strPath.c_str(); }

private:
    std::string m_strPath;
};

CInputFile& InputFile()
{
    static CInputFile s_File;
    return s_File;
}

void ExercisePrepare(COSUtil& util, DWORD dwFlag, int nOsType)
{
    DWORD dwRequired = util.PrepareOSOnMem(dwFlag, nOsType, nullptr, 0);
    if (dwRequired == 0 || dwRequired > SIZE_CAP)
        return;
    // The size the caller gives is what it asked for plus spare bytes; the container
    // must write no more than it said it needs.
    std::vector<BYTE> image(dwRequired + PREPARE_SPARE);
    util.PrepareOSOnMem(dwFlag, nOsType, image.data(), static_cast<DWORD>(image.size()));
    // One byte short: must be refused without writing (the vector is that short, so
    // a write shows up; one byte at least, so the pointer is a real allocation).
    std::vector<BYTE> shortImage(dwRequired > 1 ? dwRequired - 1 : 1);
    util.PrepareOSOnMem(dwFlag, nOsType, shortImage.data(), dwRequired - 1);
}

void ExerciseExtract(COSUtil& util, int nPart)
{
    int64_t nSize = util.GetDescriptor(nPart).nSize;
    if (nSize < 0 || static_cast<QWORD>(nSize) > SIZE_CAP)
        return;
    QWORD qwSize = static_cast<QWORD>(nSize);
    // A vector of exactly the part's size (one byte for an empty part, so the pointer
    // is a real allocation).
    std::vector<BYTE> part(qwSize == 0 ? 1 : qwSize);
    util.Extract(nPart, part.data(), qwSize);
    if (qwSize > 0)
    {
        std::vector<BYTE> shortPart(qwSize - 1 == 0 ? 1 : qwSize - 1);
        util.Extract(nPart, shortPart.data(), qwSize - 1);
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CInputFile& file = InputFile();
    if (!file.Write(pData, nSize))
        return 0;

    COSUtil util;
    int nErr = 0;
    bool bParsed = util.InitFile(file.Path(), &nErr);

    // The version text is read even after a failed parse (from whatever was held).
    char szVersion[VERSION_TEXT_MAX + 1];
    util.GetVersionText(szVersion, sizeof(szVersion));
    char szTiny[4];
    util.GetVersionText(szTiny, sizeof(szTiny));
    if (!bParsed)
        return 0;

    const DWORD FLAGS[] = {0x000, FLAG_OS, PHASE1_MASK, FLAG_BL, FLAG_EB | FLAG_MOT, 0x11F, 0x1FF,
                           util.m_dwImageFlag & (FLAG_LIMIT - 1), FLAG_LIMIT};
    const int OS_TYPES[] = {OS_TYPE_OS, OS_TYPE_RESERVE, OS_TYPE_RESERVE_AND_OS, 3};
    for (DWORD dwFlag : FLAGS)
    {
        for (int nOsType : OS_TYPES)
        {
            ExercisePrepare(util, dwFlag, nOsType);
            if (!(dwFlag & FLAG_OS))
                break;   // the OS type only matters with the OS part
        }
    }

    for (int nPart = PART_RESERVE; nPart <= PART_MOT_FILE; ++nPart)
        ExerciseExtract(util, nPart);

    util.HasParts(util.m_dwImageFlag);
    RESERVED_ENTRY entry = {};
    entry.szName[0] = 'I';
    entry.szName[1] = 'P';
    entry.szName[2] = 'L';
    util.DefineReserveRegions(&entry);
    util.Close();
    return 0;
}
