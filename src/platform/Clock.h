// Time and events. Every wait of the system goes through IClock, so that tests
// can run the product's long waits (10 s, 60 s, 360 s...) scaled down while
// production keeps the exact times.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "common/Types.h"

// Outcome of a wait on an event.
enum EVENT_WAIT_RESULT
{
    EVENT_SIGNALLED = 0,
    EVENT_TIMEOUT = 1,
    EVENT_ABANDONED = 2,
    EVENT_FAILED = 3,
};

// An auto-reset or manual-reset event, unnamed. An auto-reset event releases one
// wait and returns to unsignalled; a manual-reset one stays signalled until Reset.
class CEvent
{
public:
    CEvent(bool bManualReset, bool bInitialState);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    // Set with the waiters woken while the lock is held: for a setter on another
    // thread whose waiter may destroy the event as soon as it sees the signal (the
    // setter is done with the event before the waiter can have the lock).
    void SetUnderLock();
    void Reset();
    // Makes the next wait report EVENT_ABANDONED (an owner that went away).
    void Abandon();
    // Makes every later wait report EVENT_FAILED (a handle that no longer works).
    void Break();
    bool IsSignalled();

    // Waits in real time; clocks convert their milliseconds into this.
    int WaitReal(std::chrono::nanoseconds nsTimeout, bool bForever);

private:
    std::mutex m_csState;
    std::condition_variable m_cvChanged;
    bool m_bManualReset;
    bool m_bSignalled;
    bool m_bAbandoned = false;
    bool m_bBroken = false;
};

class IClock
{
public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start, 32 bits, wrapping; compare ticks only
    // by unsigned differences.
    virtual DWORD GetTickCount() = 0;
    virtual void Sleep(DWORD dwMs) = 0;
    // Waits up to dwMs (WAIT_FOREVER: no limit); returns an EVENT_WAIT_RESULT.
    virtual int WaitForEvent(CEvent& event, DWORD dwMs) = 0;
};

// The clock of the programs (scale 1) and of the tests (scale N: every wait is
// N times shorter in real time, and the tick count runs N times faster). The tick
// count starts at dwTickStart, so tests can place the 32-bit wrap where they want.
class CClock : public IClock
{
public:
    explicit CClock(DWORD dwScale = 1, DWORD dwTickStart = 0);

    DWORD GetTickCount() override;
    void Sleep(DWORD dwMs) override;
    int WaitForEvent(CEvent& event, DWORD dwMs) override;

    DWORD GetScale() const { return m_dwScale; }
    std::chrono::nanoseconds ToReal(DWORD dwMs) const;

private:
    DWORD m_dwScale;
    DWORD m_dwTickStart;
    std::chrono::steady_clock::time_point m_tpStart;
};
