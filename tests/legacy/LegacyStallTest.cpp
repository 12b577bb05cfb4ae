#include <gtest/gtest.h>

#include <string>

#include "LegacyImage.h"
#include "TestFiles.h"
#include "legacy/LegacyRun.h"
#include "platform/posix/TtyPortDriver.h"
#include "platform/sim/PtyHandsetTransport.h"
#include "platform/sim/VirtualHandset.h"

// A handset in the legacy dialect that stays on the bus but stops reading in the
// middle of the first frame, far larger than what the pseudo-terminal holds: the
// write fails once the port's write limit passes and the run ends with 3 instead of
// waiting for ever.
TEST(LegacyStall, AHandsetThatStopsReadingEndsTheRunWithThree)
{
    CTempFolder folder;
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwUd = 400000;
    CLegacyImage image(layout);
    std::string strImage = folder.File("temp.dat");
    ASSERT_TRUE(image.Write(strImage));

    CClock clock(100);
    CTtyPortDriver port(300);
    CPtyHandsetTransport pty;
    CVirtualHandset handset(clock, pty, HANDSET_DIALECT_LEGACY);
    handset.SetDelays(0, 100, 100);
    handset.StopReadingAfterBytes(1000);
    ASSERT_TRUE(handset.EnterDownloaderMode());
    ASSERT_TRUE(handset.WaitForArrivals(1, 20000));

    LEGACY_RUN_STATE state;
    LEGACY_RUN_CONFIG config{clock, port, nullptr, strImage, folder.Path(), handset.DeviceName(), 1000, &state};
    EXPECT_EQ(RunLegacyUpdate(config), LEGACY_RUN_FAILED);
    EXPECT_TRUE(handset.Frames().empty()) << "no frame reached the handset whole";
    handset.Shutdown();
}
