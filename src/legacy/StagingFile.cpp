#include "legacy/StagingFile.h"

#include "common/Trace.h"

CStagingFile::~CStagingFile()
{
    Close();
}

bool CStagingFile::Create(const std::string& strFolder)
{
    Close();
    m_strPath = strFolder.empty() ? std::string(LEGACY_STAGING_NAME) : strFolder + "/" + LEGACY_STAGING_NAME;
    m_pFile = std::fopen(m_strPath.c_str(), "w+b");
    m_dwLength = 0;
    return m_pFile != nullptr;
}

bool CStagingFile::Rewrite()
{
    if (m_pFile == nullptr)
        return false;
    // Reopening with "w+b" truncates the file to nothing.
    m_pFile = std::freopen(m_strPath.c_str(), "w+b", m_pFile);
    m_dwLength = 0;
    if (m_pFile == nullptr)
        Trace(false, "Staging file %s cannot be rewritten\r\n", m_strPath.c_str());
    return m_pFile != nullptr;
}

bool CStagingFile::Append(const BYTE* pBuf, DWORD dwLen)
{
    if (m_pFile == nullptr || std::fseek(m_pFile, static_cast<long>(m_dwLength), SEEK_SET) != 0)
        return false;
    if (dwLen > 0 && std::fwrite(pBuf, 1, dwLen, m_pFile) != dwLen)
        return false;
    m_dwLength += dwLen;
    return true;
}

bool CStagingFile::Flush()
{
    return m_pFile != nullptr && std::fflush(m_pFile) == 0;
}

void CStagingFile::Close()
{
    if (m_pFile != nullptr)
        std::fclose(m_pFile);
    m_pFile = nullptr;
    m_dwLength = 0;
}
