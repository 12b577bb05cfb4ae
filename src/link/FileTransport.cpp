#include "link/FileTransport.h"


#include "common/LastError.h"

void PaceEmptyRead(IClock& clock, DWORD dwStartTick)
{
    DWORD dwElapsed = clock.GetTickCount() - dwStartTick;
    if (dwElapsed < TRANSPORT_READ_PACE_MS)
        clock.Sleep(TRANSPORT_READ_PACE_MS - dwElapsed);
}

CFileTransport::CFileTransport(IPortDriver& driver, IClock& clock, PORT_HANDLE hPort)
    : m_Driver(driver), m_Clock(clock), m_hPort(hPort)
{
}

CFileTransport::~CFileTransport()
{
    Close();
}

bool CFileTransport::Read(BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    *pdwRead = 0;
    DWORD dwStart = m_Clock.GetTickCount();
    bool bOk = false;
    if (m_hPort == INVALID_PORT)
        SetLastErrorCondition(std::errc::bad_file_descriptor);
    else
        bOk = m_Driver.Read(m_hPort, pBuf, dwLen, pdwRead);
    if (!bOk || *pdwRead == 0)
    {
        // The driver's own read time-out is real time and may be nothing at all (a
        // plain file reads 0 bytes at once); the pace keeps the caller's time limits
        // running without burning the processor.
        DWORD dwError = GetLastErrorCode();
        PaceEmptyRead(m_Clock, dwStart);
        SetLastErrorCode(dwError);
    }
    return bOk;
}

bool CFileTransport::Write(const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    *pdwWritten = 0;
    if (m_hPort == INVALID_PORT)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    return m_Driver.Write(m_hPort, pBuf, dwLen, pdwWritten);
}

bool CFileTransport::GetTimeouts(PORT_TIMEOUTS* pTimeouts)
{
    return m_hPort != INVALID_PORT && m_Driver.GetTimeouts(m_hPort, pTimeouts);
}

bool CFileTransport::SetTimeouts(const PORT_TIMEOUTS* pTimeouts)
{
    return m_hPort != INVALID_PORT && m_Driver.SetTimeouts(m_hPort, pTimeouts);
}

bool CFileTransport::Flush()
{
    return true;
}

void CFileTransport::Close()
{
    if (m_hPort == INVALID_PORT)
        return;
    m_Driver.Close(m_hPort);
    m_hPort = INVALID_PORT;
}
