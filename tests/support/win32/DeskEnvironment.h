// The files of a simulated desk in the dialog tests: the real current directory (the
// programs open their files in it and make TEMP current), real deletion, a settable
// free space, and TEMP, which is the test's own folder.
#pragma once

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/LastError.h"
#include "platform/HostEnvironment.h"

class CDeskEnvironment : public IHostEnvironment
{
public:
    explicit CDeskEnvironment(const std::string& strTemp) : m_strTemp(strTemp) {}
    void SetFreeSpaceBytes(QWORD qwBytes) { m_qwFree = qwBytes; }

    bool GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen) override
    {
        if (std::strcmp(pszName, "TEMP") != 0)
        {
            SetLastErrorCondition(std::errc::no_such_file_or_directory);
            return false;
        }
        return CopyText(m_strTemp, pszBuf, dwLen);
    }

    bool GetCurrentDir(char* pszBuf, DWORD dwLen) override
    {
        std::error_code ec;
        std::string strDir = std::filesystem::current_path(ec).string();
        return !ec && CopyText(strDir, pszBuf, dwLen);
    }

    bool SetCurrentDir(const char* pszPath) override
    {
        std::error_code ec;
        std::filesystem::current_path(pszPath, ec);
        if (ec)
            SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return !ec;
    }

    bool GetFreeSpace(const char*, QWORD* pqwFreeBytes) override
    {
        *pqwFreeBytes = m_qwFree;
        return true;
    }

    bool DeleteFile(const char* pszPath) override
    {
        std::error_code ec;
        if (std::filesystem::remove(pszPath, ec))
            return true;
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return false;
    }

private:
    static bool CopyText(const std::string& strText, char* pszBuf, DWORD dwLen)
    {
        if (strText.size() + 1 > dwLen)
        {
            SetLastErrorCondition(std::errc::result_out_of_range);
            return false;
        }
        std::memcpy(pszBuf, strText.c_str(), strText.size() + 1);
        return true;
    }

    std::string m_strTemp;
    std::atomic<QWORD> m_qwFree{QWORD(1) << 33};
};
