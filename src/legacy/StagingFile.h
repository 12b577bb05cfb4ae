// The staging file "TempFileToDown": each download of a legacy run is written into
// it from offset 0 and sent from there.
#pragma once

#include <cstdio>
#include <string>

#include "common/Types.h"

constexpr char LEGACY_STAGING_NAME[] = "TempFileToDown";

class CStagingFile
{
public:
    CStagingFile() = default;
    ~CStagingFile();
    CStagingFile(const CStagingFile&) = delete;
    CStagingFile& operator=(const CStagingFile&) = delete;

    // Creates (or truncates) the file in strFolder for reading and writing.
    bool Create(const std::string& strFolder);
    // Empties the file before the next download is written, so nothing of an earlier,
    // longer download stays behind the new content.
    bool Rewrite();
    // Appends bytes; false on a short write.
    bool Append(const BYTE* pBuf, DWORD dwLen);
    // Puts what was appended on disk before it is sent; false when that fails.
    bool Flush();
    // Bytes written since the last Create or Rewrite: the length to send.
    DWORD GetLength() const { return m_dwLength; }
    std::FILE* GetFile() const { return m_pFile; }
    const std::string& GetPath() const { return m_strPath; }
    void Close();

private:
    std::FILE* m_pFile = nullptr;
    std::string m_strPath;
    DWORD m_dwLength = 0;
};
