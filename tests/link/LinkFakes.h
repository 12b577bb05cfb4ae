// Small fakes the link tests share: a manual clock and a recording port driver,
// with the support's host version and recording message box.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/Clock.h"
#include "platform/HostVersion.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "platform/PortDriver.h"
#include "link/Downloader.h"
#include "support/RecordingMessageBox.h"
#include "support/VersionHost.h"


// A clock that only moves when someone sleeps or waits in vain: every Sleep and
// every timed-out wait adds its milliseconds to the tick count at once.
class CManualClock : public IClock
{
public:
    explicit CManualClock(DWORD dwStart = 0) : m_dwTicks(dwStart) {}
    DWORD GetTickCount() override
    {
        std::lock_guard<std::mutex> lock(m_cs);
        return m_dwTicks;
    }
    void Sleep(DWORD dwMs) override
    {
        std::lock_guard<std::mutex> lock(m_cs);
        m_Sleeps.push_back(dwMs);
        m_dwTicks += dwMs;
    }
    int WaitForEvent(CEvent& event, DWORD dwMs) override
    {
        int nResult = event.WaitReal(std::chrono::nanoseconds(0), false);
        if (nResult == EVENT_TIMEOUT && dwMs != WAIT_FOREVER)
        {
            std::lock_guard<std::mutex> lock(m_cs);
            m_dwTicks += dwMs;
            m_Waits.push_back(dwMs);
        }
        return nResult;
    }
    std::vector<DWORD> Sleeps()
    {
        std::lock_guard<std::mutex> lock(m_cs);
        return m_Sleeps;
    }
    std::vector<DWORD> Waits()
    {
        std::lock_guard<std::mutex> lock(m_cs);
        return m_Waits;
    }

private:
    std::mutex m_cs;
    DWORD m_dwTicks;
    std::vector<DWORD> m_Sleeps;
    std::vector<DWORD> m_Waits;
};

// A port driver that records the write calls (one entry per call) and can make
// one call short or failing; opens succeed for names it was told about.
class CRecordingPortDriver : public IPortDriver
{
public:
    std::vector<std::vector<BYTE>> Pieces;
    std::vector<std::string> Opened;
    std::vector<PORT_HANDLE> Closed;
    int nShortWrite = -1;      // this call reports one byte fewer
    int nFailingWrite = -1;    // this call fails
    std::atomic<int> nOpenFailures{0};   // the first n opens fail (opens may come from a check thread)
    bool bReadsFail = false;   // every read fails at once, as on a port whose device is gone
    std::deque<BYTE> ReadBytes;

    PORT_HANDLE Open(const char* pszName) override
    {
        std::lock_guard<std::mutex> lock(m_csOpen);
        Opened.emplace_back(pszName);
        if (nOpenFailures.load() > 0)
        {
            --nOpenFailures;
            SetLastErrorCondition(std::errc::no_such_file_or_directory);
            return INVALID_PORT;
        }
        return 7;
    }
    bool Read(PORT_HANDLE, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override
    {
        *pdwRead = 0;
        if (bReadsFail)
        {
            SetLastErrorCondition(std::errc::io_error);
            return false;
        }
        while (*pdwRead < dwLen && !ReadBytes.empty())
        {
            pBuf[(*pdwRead)++] = ReadBytes.front();
            ReadBytes.pop_front();
        }
        return true;
    }
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override
    {
        int nIndex = static_cast<int>(Pieces.size());
        *pdwWritten = 0;
        if (hPort == INVALID_PORT || nIndex == nFailingWrite)
        {
            Pieces.emplace_back();
            SetLastErrorCondition(std::errc::io_error);
            return false;
        }
        DWORD dwTaken = nIndex == nShortWrite ? dwLen - 1 : dwLen;
        Pieces.emplace_back(pBuf, pBuf + dwTaken);
        *pdwWritten = dwTaken;
        return true;
    }
    bool GetTimeouts(PORT_HANDLE, PORT_TIMEOUTS*) override { return false; }
    bool SetTimeouts(PORT_HANDLE, const PORT_TIMEOUTS*) override { return false; }
    void Close(PORT_HANDLE hPort) override
    {
        std::lock_guard<std::mutex> lock(m_csOpen);
        Closed.push_back(hPort);
    }

private:
    std::mutex m_csOpen;
};

// The link on fakes: a manual clock, a recording port driver, a 5.1 host (the file
// transport) and a recording message box.
class CLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Context.pClock = &m_Clock;
        m_Context.pPortDriver = &m_Driver;
        m_Context.pHostVersion = &m_Host;
        m_Context.pMessageBox = &m_Box;
    }

    CManualClock m_Clock;
    CRecordingPortDriver m_Driver;
    CVersionHost m_Host{true, 5, 1};
    CRecordingMessageBox m_Box;
    PlatformContext m_Context;
};
