#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ScriptedPort.h"
#include "legacy/PortWatcher.h"

TEST(PortWatcher, EnablesOnceThePortOpensAfterPacedRetries)
{
    CClock clock(1000);
    CScriptedPort port(clock);
    port.FailOpens(0, 3);
    CPortWatcher watcher(port, clock, "/dev/legacy0");
    std::atomic<int> nDisabled{0};
    std::atomic<int> nEnabled{0};
    CEvent found(true, false);

    ASSERT_TRUE(watcher.Start([&](bool bReady) {
        if (bReady)
        {
            ++nEnabled;
            found.Set();
        }
        else
        {
            ++nDisabled;
        }
    }));
    ASSERT_EQ(found.WaitReal(std::chrono::seconds(5), false), EVENT_SIGNALLED);
    watcher.Stop();

    EXPECT_EQ(nDisabled.load(), 3);
    EXPECT_EQ(nEnabled.load(), 1);
    EXPECT_EQ(watcher.GetResult(), 1);
    EXPECT_FALSE(watcher.IsRunning());
    EXPECT_EQ(port.OpenHandleCount(), 0);   // opened only to test for it
    std::vector<DWORD> ticks = port.OpenTicks();
    ASSERT_EQ(ticks.size(), 4u);
    for (size_t i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 200u);
    for (const std::string& strName : port.OpenNames())
        EXPECT_EQ(strName, "/dev/legacy0");
}

TEST(PortWatcher, StopEndsTheWatchPromptly)
{
    // A clock whose pauses last 100 times as long: the watcher's 200 ms become 20 s
    // of real time, so ending within a few seconds can only mean the pause was cut
    // short, however loaded the machine is.
    class CLongPauseClock : public CClock
    {
    public:
        int WaitForEvent(CEvent& event, DWORD dwMs) override { return CClock::WaitForEvent(event, dwMs * 100); }
    };
    CLongPauseClock clock;
    CScriptedPort port(clock);
    port.FailOpens(0, -1);
    std::atomic<bool> bEnabled{false};
    {
        CPortWatcher watcher(port, clock, "/dev/legacy0");
        ASSERT_TRUE(watcher.Start([&](bool bReady) { bEnabled = bEnabled || bReady; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto tpStop = std::chrono::steady_clock::now();
        watcher.Stop();
        // Stopped inside its pause, not after it.
        EXPECT_LT(std::chrono::steady_clock::now() - tpStop, std::chrono::seconds(5));
        EXPECT_FALSE(watcher.IsRunning());
        EXPECT_EQ(watcher.GetResult(), 0);
    }
    size_t nAttempts = port.OpenNames().size();
    EXPECT_GE(nAttempts, 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(port.OpenNames().size(), nAttempts);   // no attempt after the page closed
    EXPECT_FALSE(bEnabled.load());
}

TEST(PortWatcher, DestructorStopsARunningWatch)
{
    CClock clock(1000);
    CScriptedPort port(clock);
    port.FailOpens(0, -1);
    {
        CPortWatcher watcher(port, clock, "/dev/legacy0");
        ASSERT_TRUE(watcher.Start(nullptr));
        EXPECT_FALSE(watcher.Start(nullptr));   // one watch at a time
    }
    size_t nAttempts = port.OpenNames().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(port.OpenNames().size(), nAttempts);
}
