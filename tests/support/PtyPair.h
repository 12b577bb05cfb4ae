// A raw pseudo-terminal for tests: the test holds the master side and hands the
// slave's name to the code under test, which opens it as a device node.
#pragma once

#include <string>
#include <vector>

#include "common/Types.h"

class CPtyPair
{
public:
    CPtyPair();
    ~CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    bool IsOpen() const { return m_nMaster >= 0; }
    const std::string& SlaveName() const { return m_strSlave; }
    int MasterFd() const { return m_nMaster; }

    // Writes all bytes to the master side.
    bool WriteMaster(const std::string& strBytes);
    bool WriteMaster(const std::vector<BYTE>& bytes);
    // Reads what the master side receives until nCount bytes came or dwRealMs passed.
    std::vector<BYTE> ReadMaster(size_t nCount, DWORD dwRealMs);
    // Closes both sides (the slave's users then see a hang-up).
    void Close();

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
    std::string m_strSlave;
};
