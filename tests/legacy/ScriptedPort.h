// An in-memory download port for the legacy tests. It collects what is written,
// cuts it into frames (Command, Download Size, payload, checksum), and answers each
// complete frame with the reply bytes scripted for it. Reads hand out queued bytes
// one call at a time; an empty queue (or a scripted silence) is a read that returns
// nothing after the read time-out, spent on the test's clock. Opens can fail for a
// number of attempts, and single writes can fail or come out short.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/Types.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"

struct RECEIVED_FRAME
{
    DWORD dwCommand;
    DWORD dwSize;
    std::vector<BYTE> payload;
    WORD wChecksum;
    bool bChecksumOk;
};

struct WRITE_FAULT
{
    bool bOk;          // what Write returns
    DWORD dwWritten;   // how many bytes go out
};

class CScriptedPort : public IPortDriver
{
public:
    explicit CScriptedPort(IClock& clock);

    // Reply bytes queued once frame nFrame (0-based, in order of completion) has been received.
    void ReplyAfterFrame(int nFrame, const std::string& strBytes);
    // Bytes queued at once.
    void QueueReply(const std::string& strBytes);
    // nCount reads that return nothing, queued at once.
    void QueueSilence(int nCount);
    // Open attempts nFirst .. nFirst + nCount - 1 (0-based) fail; nCount -1: all from nFirst on.
    void FailOpens(int nFirst, int nCount);
    // Write nWrite (0-based) of frame nFrame behaves as given.
    void FailWrite(int nFrame, int nWrite, WRITE_FAULT fault);
    void SetInitialTimeouts(const PORT_TIMEOUTS& timeouts);

    PORT_HANDLE Open(const char* pszName) override;
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override;
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override;
    void Close(PORT_HANDLE hPort) override;

    std::vector<RECEIVED_FRAME> Frames();
    std::vector<DWORD> WriteSizes();                 // every write call, in order
    std::vector<std::vector<DWORD>> FrameWriteSizes();   // write sizes per completed frame
    std::vector<std::string> OpenNames();            // every open attempt
    std::vector<DWORD> OpenTicks();                  // clock tick of every open attempt
    int OpenHandleCount();                           // handles opened and not closed
    int ReadCount();
    // Time-outs in force at each read call.
    std::vector<PORT_TIMEOUTS> ReadTimeouts();
    PORT_TIMEOUTS CurrentTimeouts();
    size_t PendingReplyBytes();

private:
    void TakeFrames();

    IClock& m_Clock;
    std::mutex m_csState;
    std::deque<int> m_Queue;                         // a byte, or -1 for a read with nothing
    std::map<int, std::string> m_FrameReplies;
    std::map<std::pair<int, int>, WRITE_FAULT> m_WriteFaults;
    int m_nOpenFailFirst = 0;
    int m_nOpenFailCount = 0;
    int m_nOpenAttempts = 0;
    PORT_HANDLE m_hNext = 100;
    std::set<PORT_HANDLE> m_Open;
    std::vector<std::string> m_OpenNames;
    std::vector<DWORD> m_OpenTicks;
    std::vector<BYTE> m_Pending;                     // bytes of the frame being received
    std::vector<RECEIVED_FRAME> m_Frames;
    std::vector<DWORD> m_WriteSizes;
    std::vector<DWORD> m_CurrentFrameWrites;
    std::vector<std::vector<DWORD>> m_FrameWriteSizes;
    PORT_TIMEOUTS m_Timeouts{0, 0, 0};
    std::vector<PORT_TIMEOUTS> m_ReadTimeouts;
};
