// CVirtualHandset, USB-downloader mode: a handset on the transport it is given (a
// pseudo-terminal on Linux, reached through the production tty driver, or the
// in-process bus on every OS, reached through CSimPortDriver). It reads download
// frames, checks each one (Download Size, checksum, and for a frame that starts
// with an image header the header's part sizes against the payload), records it,
// and answers with the reply lines of the current or the legacy dialect. After a
// phase-1 image it leaves the bus and comes back under a new device name,
// announcing both through the device-event sink it is given.
//
// Default replies per frame:
//   phase-1 image (header, BL or UD bit, S[0] = 33280, no OS bit)
//       current: none; legacy: "device reset.\n"; then it leaves and comes back
//   header image with flag exactly 0x100 (communication module)
//       "<n> LENGTH\n", n dots, "EDGE program ok!\n"
//   any other header image (the reserve region and the small parts)
//       "<n> LENGTH\n", n dots, "Reserved region ok.\n"
//   frame without a header (the operating system)
//       "<n> LENGTH\n", n dots, "OS program ok!\n"
//   Command 57 (closing frame): none
//   a frame that fails a check: the bad-frame reply ("OS program failed!\n")
// n is the progress tick count (SetProgressTicks; 0 sends neither line nor dots).
// In both dialects a header image must carry exactly the parts its header
// declares; the closing command's cut header is not checked.
//
// Every delay goes through the IClock it is given, so tests run them scaled.
// The handset's own polling of its link is real time.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Types.h"
#include "platform/Clock.h"
#include "platform/DeviceNotifier.h"
#include "platform/sim/HandsetTransport.h"

enum HANDSET_DIALECT
{
    HANDSET_DIALECT_CURRENT = 0,
    HANDSET_DIALECT_LEGACY = 1,
};

enum HANDSET_FRAME_KIND
{
    HANDSET_FRAME_PHASE1 = 0,   // boot loader / USB downloader image
    HANDSET_FRAME_RESERVE,      // other header image (reserve region, Vantor, IPL)
    HANDSET_FRAME_MODULE,       // header image with flag 0x100
    HANDSET_FRAME_OS,           // no header
    HANDSET_FRAME_CLOSING,      // Command 57
    HANDSET_FRAME_BAD,          // failed a check, or cut off
};

// One frame as the handset received it.
struct HANDSET_FRAME
{
    std::string strDevice;          // device name it arrived on
    DWORD dwCommand = 0;
    DWORD dwDeclaredSize = 0;       // Download Size field
    std::vector<BYTE> Payload;      // the bytes between head and checksum (as far as they came)
    WORD wChecksum = 0;             // as received
    bool bComplete = false;         // every declared byte arrived
    bool bSizeOk = false;           // 10 <= Download Size <= the frame limit
    bool bChecksumOk = false;
    bool bHeader = false;           // the payload starts with "TAVU"
    bool bHeaderOk = false;         // the header's part sizes account for the payload
    DWORD dwImageFlag = 0;          // header only
    DWORD dwSizeWords[12] = {};     // header only: S[0]..S[11]
    int nKind = HANDSET_FRAME_BAD;
};

class CVirtualHandset
{
public:
    // The transport outlives the handset.
    CVirtualHandset(IClock& clock, IHandsetTransport& transport, int nDialect = HANDSET_DIALECT_CURRENT);
    ~CVirtualHandset();
    CVirtualHandset(const CVirtualHandset&) = delete;
    CVirtualHandset& operator=(const CVirtualHandset&) = delete;

    // Where arrivals and removals are announced (null: nowhere). Delivered from the
    // handset's thread; after this returns the old sink gets no further call.
    void SetEventSink(IDeviceEvents* pEvents);

    // Puts the handset into USB-downloader mode: an endpoint of its transport is
    // opened and, after the arrival delay, attached and announced. Called when the
    // agent is started on the handset. A handset that has left the bus comes back on
    // a new name. False when the transport can open no endpoint (no pseudo-terminal).
    bool EnterDownloaderMode();
    // Stops the handset: it leaves the bus without announcing it and its thread ends.
    void Shutdown();

    // Configuration (any time; read at the next frame).
    void SetDialect(int nDialect);
    void SetDelays(DWORD dwArrivalMs, DWORD dwLeaveMs, DWORD dwReturnMs);
    void SetProgressTicks(int nTicks);
    void SetBadFrameReply(const std::string& strReply);
    void SetMaxFrameSize(DWORD dwBytes);
    // Replaces the default replies of the frame with this index (0-based, counted
    // over the handset's life) by these byte strings, sent in order. What the frame
    // makes the handset do besides (leaving the bus) is unchanged.
    void ScriptReplies(size_t nFrameIndex, const std::vector<std::string>& replies);

    // Faults.
    // Leaves the bus after qwBytes bytes of the next frame (head included);
    // comes back after the return delay when bComeBack is set.
    void DropAfterBytes(QWORD qwBytes, bool bComeBack);
    // Stops reading after qwBytes bytes of the next frame (head included) and
    // stays on the bus: the desktop's writes back up, as with a handset whose
    // firmware is stuck.
    void StopReadingAfterBytes(QWORD qwBytes);
    void SetSilent(bool bSilent);           // never answers
    void SetRefuseToLeave(bool bRefuse);    // stays on the bus after phase 1
    void SetNoComeBack(bool bNoComeBack);   // leaves after phase 1 and stays away
    static std::string OverlongLine(size_t nLen = 300);   // nLen bytes without a line feed
    static std::string GarbageBytes();                    // control and high bytes, no line feed

    // Observation.
    std::string DeviceName();               // empty while off the bus
    bool IsPresent();
    std::vector<HANDSET_FRAME> Frames();
    size_t FrameCount();
    int ArrivalCount();
    int RemovalCount();
    // Real-time waits for tests; true when the count was reached in time.
    bool WaitForFrames(size_t nCount, DWORD dwRealMs);
    bool WaitForArrivals(int nCount, DWORD dwRealMs);
    bool WaitForRemovals(int nCount, DWORD dwRealMs);

private:
    void Run();
    bool Pause(DWORD dwMs);   // false when stopping
    void Announce(bool bArrival, const std::string& strName);
    void Install(std::unique_ptr<IHandsetEndpoint> pEndpoint);
    void LeaveBus(bool bComeBack, bool bRepliesPending);
    void ComeBack();
    void ReadInput();
    void FinishFrame(HANDSET_FRAME& frame);
    void CheckHeader(HANDSET_FRAME& frame);
    bool Reply(const HANDSET_FRAME& frame, size_t nIndex);   // true when it sent a line
    void SendText(const std::string& strText);
    void DrainUntilQuiet();

    IClock& m_Clock;
    IHandsetTransport& m_Transport;
    std::mutex m_csState;
    std::condition_variable m_cvChanged;
    std::mutex m_csSink;
    IDeviceEvents* m_pEvents = nullptr;
    CEvent m_StopEvent{true, false};
    std::thread m_Thread;
    bool m_bRunning = false;
    bool m_bStop = false;

    // Bus state. The endpoint on the bus is changed by the handset's thread only (and
    // by Shutdown once the thread has ended); m_csState guards the pending endpoint
    // and what other threads read.
    std::unique_ptr<IHandsetEndpoint> m_pEndpoint;
    std::unique_ptr<IHandsetEndpoint> m_pPending;   // opened, waiting to be announced
    std::string m_strName;                          // the name on the bus
    DWORD m_dwAppearance = 0;                       // counts the endpoints put on the bus
    bool m_bPresent = false;
    bool m_bReturnRequested = false;

    // Configuration.
    int m_nDialect;
    DWORD m_dwArrivalMs = 0;
    DWORD m_dwLeaveMs = 0;
    DWORD m_dwReturnMs = 0;
    int m_nTicks = 3;
    std::string m_strBadFrameReply = "OS program failed!\n";
    DWORD m_dwMaxFrame = 256u * 1024 * 1024;
    std::map<size_t, std::vector<std::string>> m_Scripts;
    long long m_llDropAfter = -1;
    bool m_bDropComesBack = false;
    long long m_llStopReadingAfter = -1;
    bool m_bSilent = false;
    bool m_bRefuseToLeave = false;
    bool m_bNoComeBack = false;

    std::vector<BYTE> m_ReadBuffer;   // one read of the link
    bool m_bMoreInput = false;        // the last read got data: read again before polling
    // Receiving.
    std::vector<BYTE> m_Head;
    HANDSET_FRAME m_Current;
    bool m_bInFrame = false;
    QWORD m_qwFrameBytes = 0;
    std::vector<BYTE> m_Body;    // payload and checksum of the current frame

    // Record.
    std::vector<HANDSET_FRAME> m_Frames;
    int m_nArrivals = 0;
    int m_nRemovals = 0;
};
