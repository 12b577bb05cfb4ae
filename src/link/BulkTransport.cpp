#include "link/BulkTransport.h"


#include "common/LastError.h"
#include "link/FileTransport.h"

CBulkTransport::CBulkTransport(IBulkUsb* pBulk, IPortDriver& driver, IClock& clock, PORT_HANDLE hFile,
                               bool bCanFlush)
    : m_pBulk(pBulk), m_Driver(driver), m_Clock(clock), m_hFile(hFile), m_bCanFlush(bCanFlush)
{
}

CBulkTransport::~CBulkTransport()
{
    Close();
}

void CBulkTransport::AttachInterface(BULK_HANDLE hUsb)
{
    m_hUsb = m_pBulk != nullptr ? hUsb : nullptr;
}

void CBulkTransport::SetPipes(BYTE byInPipe, BYTE byOutPipe)
{
    m_byInPipe = byInPipe;
    m_byOutPipe = byOutPipe;
}

bool CBulkTransport::Read(BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    *pdwRead = 0;
    DWORD dwStart = m_Clock.GetTickCount();
    bool bOk = false;
    if (m_hUsb == nullptr)
        SetLastErrorCondition(std::errc::bad_file_descriptor);
    else
        bOk = m_pBulk->ReadPipe(m_hUsb, m_byInPipe, pBuf, dwLen, pdwRead);
    if (!bOk || *pdwRead == 0)
    {
        DWORD dwError = GetLastErrorCode();
        PaceEmptyRead(m_Clock, dwStart);
        SetLastErrorCode(dwError);
    }
    return bOk;
}

bool CBulkTransport::Write(const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    *pdwWritten = 0;
    if (m_hUsb == nullptr)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    return m_pBulk->WritePipe(m_hUsb, m_byOutPipe, pBuf, dwLen, pdwWritten);
}

bool CBulkTransport::GetTimeouts(PORT_TIMEOUTS* /*pTimeouts*/)
{
    return false;
}

bool CBulkTransport::SetTimeouts(const PORT_TIMEOUTS* /*pTimeouts*/)
{
    return false;
}

bool CBulkTransport::Flush()
{
    if (!m_bCanFlush || m_hUsb == nullptr)
        return true;
    return m_pBulk->FlushPipe(m_hUsb, m_byInPipe);
}

void CBulkTransport::Close()
{
    if (m_hUsb != nullptr)
    {
        m_pBulk->Free(m_hUsb);
        m_hUsb = nullptr;
    }
    if (m_hFile != INVALID_PORT)
    {
        m_Driver.Close(m_hFile);
        m_hFile = INVALID_PORT;
    }
}
