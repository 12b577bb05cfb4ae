// Runs the built vuqctl as a user would, in a fresh temporary folder per test.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/Types.h"
#include "support/ImageBuilder.h"

struct CLI_RUN
{
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

inline std::string ReadAll(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::vector<BYTE> ReadBytes(const std::string& strPath)
{
    std::string strData = ReadAll(strPath);
    return std::vector<BYTE>(strData.begin(), strData.end());
}

class CCliTest : public ::testing::Test
{
protected:
    // vuqctl with these arguments (a shell command line), no standard input.
    CLI_RUN Run(const std::string& strArgs)
    {
        CLI_RUN result;
        std::string strCmd = std::string(VUQCTL_PATH) + " " + strArgs + " >" + m_Dir.File("out.txt") + " 2>" +
                             m_Dir.File("err.txt") + " </dev/null";
        int nStatus = std::system(strCmd.c_str());
        result.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        result.strOut = ReadAll(m_Dir.File("out.txt"));
        result.strErr = ReadAll(m_Dir.File("err.txt"));
        return result;
    }

    CTempDir m_Dir;
};
