#include "support/PtyPair.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/posix/TtyPortDriver.h"

CPtyPair::CPtyPair()
{
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char szName[128];
    if (m_nMaster < 0 || grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0 ||
        ptsname_r(m_nMaster, szName, sizeof(szName)) != 0)
    {
        Close();
        return;
    }
    m_strSlave = szName;
    m_nSlave = ::open(szName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nSlave < 0 || !CTtyPortDriver::MakeRaw(m_nSlave))
        Close();
}

CPtyPair::~CPtyPair()
{
    Close();
}

void CPtyPair::Close()
{
    if (m_nSlave >= 0)
        ::close(m_nSlave);
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nSlave = -1;
    m_nMaster = -1;
}

bool CPtyPair::WriteMaster(const std::string& strBytes)
{
    return WriteMaster(std::vector<BYTE>(strBytes.begin(), strBytes.end()));
}

bool CPtyPair::WriteMaster(const std::vector<BYTE>& bytes)
{
    size_t nDone = 0;
    while (nDone < bytes.size())
    {
        ssize_t n = ::write(m_nMaster, bytes.data() + nDone, bytes.size() - nDone);
        if (n <= 0)
            return false;
        nDone += static_cast<size_t>(n);
    }
    return true;
}

std::vector<BYTE> CPtyPair::ReadMaster(size_t nCount, DWORD dwRealMs)
{
    std::vector<BYTE> bytes;
    auto tpEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwRealMs);
    while (bytes.size() < nCount)
    {
        auto msLeft = std::chrono::duration_cast<std::chrono::milliseconds>(tpEnd - std::chrono::steady_clock::now());
        if (msLeft.count() <= 0)
            break;
        pollfd pfd{m_nMaster, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(msLeft.count())) <= 0)
            break;
        BYTE buf[4096];
        size_t nWant = nCount - bytes.size() < sizeof(buf) ? nCount - bytes.size() : sizeof(buf);
        ssize_t n = ::read(m_nMaster, buf, nWant);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), buf, buf + n);
    }
    return bytes;
}
