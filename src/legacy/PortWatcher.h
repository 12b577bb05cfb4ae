// Watches for the legacy download port while the step-3 page is open: it tries to
// open the port every 200 ms and reports each attempt, so the page enables its
// UPDATE button once the handset is in its USB-downloader mode.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "common/Types.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"

constexpr DWORD PORT_WATCH_INTERVAL_MS = 200;

class CPortWatcher
{
public:
    // Called on the watcher's thread: false after each failed open (button disabled),
    // true once when the port opened (button enabled); the watcher then ends.
    typedef std::function<void(bool bPortReady)> PORT_CALLBACK;

    CPortWatcher(IPortDriver& port, IClock& clock, const char* pszPortName);
    // Stops the watcher (see Stop).
    ~CPortWatcher();
    CPortWatcher(const CPortWatcher&) = delete;
    CPortWatcher& operator=(const CPortWatcher&) = delete;

    // Starts watching on a thread of its own. False when a watch is already running.
    bool Start(PORT_CALLBACK pfnCallback);
    // Asks the thread to end and waits until it has; the callback is not called after
    // Stop returns. Safe to call more than once and from the page's close handler.
    void Stop();
    // True until the thread has ended (port found or stopped).
    bool IsRunning() const { return m_bRunning.load(); }
    // 1 once the port was found, 0 otherwise.
    int GetResult() const { return m_nResult.load(); }

private:
    void Run(PORT_CALLBACK pfnCallback);

    IPortDriver& m_Port;
    IClock& m_Clock;
    std::string m_strPortName;
    CEvent m_StopEvent{true, false};
    std::thread m_Thread;
    std::atomic<bool> m_bRunning{false};
    std::atomic<int> m_nResult{0};
};
