#include "platform/sim/PtyHandsetTransport.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

#include "common/LastError.h"
#include "platform/posix/TtyPortDriver.h"

namespace
{
// Waits up to dwMs for nEvents on the node: the revents, 0 on a time-out or an error.
short WaitFor(int nFd, short nEvents, DWORD dwMs)
{
    pollfd pfd{nFd, nEvents, 0};
    int nTimeout = dwMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(dwMs);
    return ::poll(&pfd, 1, nTimeout) > 0 ? pfd.revents : 0;
}

class CPtyEndpoint : public IHandsetEndpoint
{
public:
    CPtyEndpoint(int nMaster, int nSlave, std::string strName)
        : m_nMaster(nMaster), m_nSlave(nSlave), m_strName(std::move(strName))
    {
    }
    ~CPtyEndpoint() override
    {
        ::close(m_nMaster);
        ::close(m_nSlave);
    }
    CPtyEndpoint(const CPtyEndpoint&) = delete;
    CPtyEndpoint& operator=(const CPtyEndpoint&) = delete;

    const std::string& Name() const override { return m_strName; }

    // The slave node exists from the opening on.
    void Attach() override {}

    bool WaitForInput(DWORD dwRealMs) override
    {
        short nEvents = WaitFor(m_nMaster, POLLIN, dwRealMs);
        if ((nEvents & POLLIN) != 0)
            return true;
        // A hang-up has nothing to read: wait the time out instead of spinning.
        if (nEvents != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(dwRealMs));
        return false;
    }

    bool Receive(BYTE* pBuf, size_t nLen, size_t* pnRead) override
    {
        *pnRead = 0;
        if (nLen == 0)
            return true;
        ssize_t nRead = ::read(m_nMaster, pBuf, nLen);
        if (nRead > 0)
            *pnRead = static_cast<size_t>(nRead);
        return nRead >= 0;
    }

    bool Send(const BYTE* pBuf, size_t nLen, DWORD dwRealMs) override
    {
        size_t nDone = 0;
        while (nDone < nLen)
        {
            ssize_t nWritten = ::write(m_nMaster, pBuf + nDone, nLen - nDone);
            if (nWritten > 0)
                nDone += static_cast<size_t>(nWritten);
            else if (nWritten < 0 && errno == EINTR)
                continue;
            else if (nWritten < 0 && errno == EAGAIN)
            {
                // The desktop has not read the earlier replies yet: wait for room.
                if (WaitFor(m_nMaster, POLLOUT, dwRealMs) == 0)
                    return false;
            }
            else
                return false;
        }
        return true;
    }

    void WaitUntilSentIsRead(DWORD dwRealMs) override
    {
        // What was just written may still be on its way into the slave's queue.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto tpEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwRealMs);
        while (std::chrono::steady_clock::now() < tpEnd)
        {
            int nPending = 0;
            if (::ioctl(m_nSlave, FIONREAD, &nPending) != 0 || nPending == 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    int m_nMaster;
    int m_nSlave;   // kept open so the master never sees a hang-up
    std::string m_strName;
};
}

std::unique_ptr<IHandsetEndpoint> CPtyHandsetTransport::OpenEndpoint()
{
    // Non-blocking: the handset reads on while data is there and only then polls,
    // one system call per chunk as a plain reader would.
    int nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (nMaster < 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return nullptr;
    }
    char szName[128];
    if (grantpt(nMaster) != 0 || unlockpt(nMaster) != 0 || ptsname_r(nMaster, szName, sizeof(szName)) != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        ::close(nMaster);
        return nullptr;
    }
    int nSlave = ::open(szName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Raw at once: a cooked line discipline would echo and translate the frames.
    if (nSlave < 0 || !CTtyPortDriver::MakeRaw(nSlave))
    {
        if (nSlave < 0)
            SetLastErrorCode(static_cast<DWORD>(errno));
        else
            ::close(nSlave);
        ::close(nMaster);
        return nullptr;
    }
    return std::make_unique<CPtyEndpoint>(nMaster, nSlave, szName);
}
