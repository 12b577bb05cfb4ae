#include "platform/posix/TtyPortDriver.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
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
    int nFd = ::open(pszName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (nFd < 0)
    {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return INVALID_PORT;
    }
    if (isatty(nFd) && !MakeRaw(nFd))
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
    for (;;)
    {
        ssize_t nRead = ::read(static_cast<int>(hPort), pBuf, dwLen);
        if (nRead > 0)
        {
            *pdwRead = static_cast<DWORD>(nRead);
            return true;
        }
        if (nRead == 0)
        {
            // A node that has been hung up (the device went away, the other end of
            // a pipe closed) also reads 0 bytes; report that as the error it is,
            // not as a quiet line.
            pollfd pfd{static_cast<int>(hPort), POLLIN, 0};
            if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLHUP) != 0)
            {
                SetLastErrorCode(EIO);
                return false;
            }
            return true;
        }
        if (errno == EINTR)
            continue;
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
    DWORD dwDone = 0;
    while (dwDone < dwLen)
    {
        ssize_t nWritten = ::write(static_cast<int>(hPort), pBuf + dwDone, dwLen - dwDone);
        if (nWritten > 0)
        {
            dwDone += static_cast<DWORD>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno == EINTR)
            continue;
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
    int nFd = static_cast<int>(hPort);
    if (isatty(nFd))
    {
        termios tio{};
        if (tcgetattr(nFd, &tio) != 0)
        {
            SetLastErrorCode(static_cast<DWORD>(errno));
            return false;
        }
        DWORD dwMs = pTimeouts->ReadTotalTimeoutConstant == 0 ? DEFAULT_READ_MS : pTimeouts->ReadTotalTimeoutConstant;
        DWORD dwDeci = (dwMs + 99) / 100;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = static_cast<cc_t>(dwDeci > 255 ? 255 : dwDeci);
        if (tcsetattr(nFd, TCSANOW, &tio) != 0)
        {
            SetLastErrorCode(static_cast<DWORD>(errno));
            return false;
        }
    }
    else if (fcntl(nFd, F_GETFD) < 0)
    {
        SetLastErrorCode(EBADF);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_csTimeouts);
    m_Timeouts[hPort] = *pTimeouts;
    return true;
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
