#include "TestFiles.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <string>

namespace
{
std::atomic<int> s_nFolders{0};
}

CTempFolder::CTempFolder()
{
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("vuq_legacy_" + std::to_string(std::random_device{}()) + "_" + std::to_string(s_nFolders++));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    m_strPath = path.string();
}

CTempFolder::~CTempFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}

std::FILE* TempFileWith(const std::vector<BYTE>& bytes)
{
    std::FILE* pFile = std::tmpfile();
    if (pFile == nullptr)
        return nullptr;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), pFile);
    std::rewind(pFile);
    return pFile;
}

std::vector<BYTE> ReadWholeFile(const std::string& strPath)
{
    std::vector<BYTE> bytes;
    std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
    if (pFile == nullptr)
        return bytes;
    BYTE buf[4096];
    size_t nRead = 0;
    while ((nRead = std::fread(buf, 1, sizeof(buf), pFile)) > 0)
        bytes.insert(bytes.end(), buf, buf + nRead);
    std::fclose(pFile);
    return bytes;
}
