// Temporary folders and files for the legacy tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/Types.h"

// A fresh folder under the system's temporary folder, removed with everything in it.
class CTempFolder
{
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const char* pszName) const { return m_strPath + "/" + pszName; }

private:
    std::string m_strPath;
};

// An anonymous temporary file holding the bytes, positioned at its start.
std::FILE* TempFileWith(const std::vector<BYTE>& bytes);
std::vector<BYTE> ReadWholeFile(const std::string& strPath);
