#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"

TEST(Clock, TickCountWrapsAtThirtyTwoBits)
{
    CClock clock(1000, 0xFFFFFFF0u);
    DWORD dwStart = clock.GetTickCount();
    clock.Sleep(1000);   // 1 ms of real time
    DWORD dwNow = clock.GetTickCount();
    EXPECT_GE(static_cast<DWORD>(dwNow - dwStart), 1000u);
    EXPECT_LT(dwNow, dwStart);   // wrapped past zero
}

TEST(Clock, AutoResetEventReleasesOneWait)
{
    CClock clock(1000);
    CEvent event(false, true);
    EXPECT_EQ(clock.WaitForEvent(event, 0), EVENT_SIGNALLED);
    EXPECT_EQ(clock.WaitForEvent(event, 100), EVENT_TIMEOUT);
}

TEST(Clock, ManualResetEventStaysSignalled)
{
    CClock clock(1000);
    CEvent event(true, false);
    event.Set();
    EXPECT_EQ(clock.WaitForEvent(event, 0), EVENT_SIGNALLED);
    EXPECT_EQ(clock.WaitForEvent(event, 0), EVENT_SIGNALLED);
    event.Reset();
    EXPECT_EQ(clock.WaitForEvent(event, 10), EVENT_TIMEOUT);
}

TEST(Clock, AbandonedAndBrokenEvents)
{
    CClock clock(1000);
    CEvent event(false, false);
    event.Abandon();
    EXPECT_EQ(clock.WaitForEvent(event, 1000), EVENT_ABANDONED);
    event.Break();
    EXPECT_EQ(clock.WaitForEvent(event, 1000), EVENT_FAILED);
}

TEST(Clock, ScaledWaitEndsEarlyWhenSetFromAnotherThread)
{
    CClock clock(1);
    CEvent event(false, false);
    std::thread setter([&] { event.Set(); });
    EXPECT_EQ(clock.WaitForEvent(event, 60000), EVENT_SIGNALLED);
    setter.join();
}
