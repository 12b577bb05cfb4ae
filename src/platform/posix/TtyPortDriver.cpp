#include "platform/posix/TtyPortDriver.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "common/LastError.h"

namespace
{
constexpr DWORD DEFAULT_READ_MS = 100;
const PORT_TIMEOUTS DEFAULT_TIMEOUTS = {0xFFFFFFFFu, 0, DEFAULT_READ_MS};

bool IsValid(PORT_HANDLE hPort)
{
    return hPort >= 0 && hPort <= 0x7FFFFFFF;
}

// Waits up to dwMs for nEvents on the node; the revents, 0 on a time-out, -1 on an
// error (errno kept).
int WaitFor(int nFd, short nEvents, DWORD dwMs)
{
    pollfd pfd{nFd, nEvents, 0};
    int nTimeout = dwMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(dwMs);
    for (;;)
    {
        int nReady = ::poll(&pfd, 1, nTimeout);
        if (nReady > 0)
            return pfd.revents;
        if (nReady == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}
}

CTtyPortDriver::CTtyPortDriver(DWORD dwWriteLimitMs) : m_dwWriteLimitMs(dwWriteLimitMs)
{
}

bool CTtyPortDriver::MakeRaw(int nFd)
{
    termios tio{};
    if (tcgetattr(nFd, &tio) != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 1;
    if (tcsetattr(nFd, TCSANOW, &tio) != 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    return true;
}

PORT_HANDLE CTtyPortDriver::Open(const char* pszName)
{
    if (pszName == nullptr || pszName[0] == '\0')
    {
        SetLastErrorCode(ENOENT);
        return INVALID_PORT;
    }
    int nFd = ::open(pszName, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (nFd < 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return INVALID_PORT;
    }
    // Held exclusively: a node another holder has locked is busy.
    if (::flock(nFd, LOCK_EX | LOCK_NB) != 0)
    {
        int nError = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(nFd);
        SetLastErrorCode(static_cast<DWORD>(nError));
        return INVALID_PORT;
    }
    if (isatty(nFd) && (::ioctl(nFd, TIOCEXCL) != 0 || !MakeRaw(nFd)))
    {
        int nError = errno;
        ::close(nFd);
        SetLastErrorCode(static_cast<DWORD>(nError));
        return INVALID_PORT;
    }
    std::lock_guard<std::mutex> lock(m_csTimeouts);
    m_Timeouts[nFd] = DEFAULT_TIMEOUTS;
    return nFd;
}

bool CTtyPortDriver::Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    if (pdwRead != nullptr)
        *pdwRead = 0;
    if (!IsValid(hPort) || pBuf == nullptr || pdwRead == nullptr)
    {
        SetLastErrorCode(EBADF);
        return false;
    }
    int nFd = static_cast<int>(hPort);
    int nEvents = WaitFor(nFd, POLLIN, ReadTimeoutMs(hPort));
    if (nEvents < 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
    if (nEvents == 0)
        return true;   // nothing arrived within the time-out
    for (;;)
    {
        ssize_t nRead = ::read(nFd, pBuf, dwLen);
        if (nRead > 0)
        {
            *pdwRead = static_cast<DWORD>(nRead);
            return true;
        }
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead == 0 || errno == EAGAIN)
        {
            // A node that has been hung up (the device went away, the other end of
            // a pipe closed) also reads nothing; report that as the error it is,
            // not as a quiet line. A regular file at its end is quiet.
            if ((nEvents & (POLLHUP | POLLERR)) != 0)
            {
                SetLastErrorCode(EIO);
                return false;
            }
            return true;
        }
        SetLastErrorCode(static_cast<DWORD>(errno));
        return false;
    }
}

bool CTtyPortDriver::Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    if (!IsValid(hPort) || (pBuf == nullptr && dwLen != 0) || pdwWritten == nullptr)
    {
        SetLastErrorCode(EBADF);
        return false;
    }
    int nFd = static_cast<int>(hPort);
    DWORD dwDone = 0;
    auto tpProgress = std::chrono::steady_clock::now();
    while (dwDone < dwLen)
    {
        ssize_t nWritten = ::write(nFd, pBuf + dwDone, dwLen - dwDone);
        if (nWritten > 0)
        {
            dwDone += static_cast<DWORD>(nWritten);
            tpProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten < 0 && errno == EAGAIN)
        {
            // The node takes nothing now: wait for room, but never longer than the
            // write limit without progress (a handset that stopped reading).
            auto nWaited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                                 tpProgress).count();
            if (nWaited >= static_cast<long long>(m_dwWriteLimitMs))
            {
                SetLastErrorCode(ETIMEDOUT);
                *pdwWritten = dwDone;
                return false;
            }
            if (WaitFor(nFd, POLLOUT, m_dwWriteLimitMs - static_cast<DWORD>(nWaited)) >= 0)
                continue;
        }
        SetLastErrorCode(nWritten < 0 ? static_cast<DWORD>(errno) : static_cast<DWORD>(EIO));
        *pdwWritten = dwDone;
        return false;
    }
    *pdwWritten = dwDone;
    return true;
}

bool CTtyPortDriver::GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts)
{
    if (!IsValid(hPort) || pTimeouts == nullptr || fcntl(static_cast<int>(hPort), F_GETFD) < 0)
    {
        SetLastErrorCode(EBADF);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_csTimeouts);
    auto it = m_Timeouts.find(hPort);
    *pTimeouts = it != m_Timeouts.end() ? it->second : DEFAULT_TIMEOUTS;
    return true;
}

bool CTtyPortDriver::SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts)
{
    if (!IsValid(hPort) || pTimeouts == nullptr)
    {
        SetLastErrorCode(EBADF);
        return false;
    }
    if (fcntl(static_cast<int>(hPort), F_GETFD) < 0)
    {
        SetLastErrorCode(EBADF);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_csTimeouts);
    m_Timeouts[hPort] = *pTimeouts;
    return true;
}

DWORD CTtyPortDriver::ReadTimeoutMs(PORT_HANDLE hPort)
{
    std::lock_guard<std::mutex> lock(m_csTimeouts);
    auto it = m_Timeouts.find(hPort);
    DWORD dwMs = it != m_Timeouts.end() ? it->second.ReadTotalTimeoutConstant : DEFAULT_READ_MS;
    return dwMs == 0 ? DEFAULT_READ_MS : dwMs;
}

void CTtyPortDriver::Close(PORT_HANDLE hPort)
{
    if (!IsValid(hPort))
        return;
    {
        std::lock_guard<std::mutex> lock(m_csTimeouts);
        m_Timeouts.erase(hPort);
    }
    ::close(static_cast<int>(hPort));
}
