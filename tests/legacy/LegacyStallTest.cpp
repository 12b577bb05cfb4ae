#include <gtest/gtest.h>

#include <string>

#include "LegacyImage.h"
#include "TestFiles.h"
#include "legacy/LegacyRun.h"
#include "platform/sim/VirtualHandset.h"
#include "support/HandsetLink.h"

namespace
{
// The parameter is the handset's transport (HANDSET_LINK).
class LegacyStall : public ::testing::TestWithParam<int>
{
};
}

// A handset in the legacy dialect that stays on the bus but stops reading in the
// middle of the first frame, far larger than what its link holds: the write fails
// once the port's write limit passes and the run ends with 3 instead of waiting for
// ever.
TEST_P(LegacyStall, AHandsetThatStopsReadingEndsTheRunWithThree)
{
    CTempFolder folder;
    LEGACY_IMAGE_LAYOUT layout;
    layout.dwUd = 400000;
    CLegacyImage image(layout);
    std::string strImage = folder.File("temp.dat");
    ASSERT_TRUE(image.Write(strImage));

    CClock clock(100);
    CHandsetLink link(GetParam(), 300);
    CVirtualHandset handset(clock, link.Transport(), HANDSET_DIALECT_LEGACY);
    handset.SetDelays(0, 100, 100);
    handset.StopReadingAfterBytes(1000);
    ASSERT_TRUE(handset.EnterDownloaderMode());
    ASSERT_TRUE(handset.WaitForArrivals(1, 20000));

    LEGACY_RUN_STATE state;
    LEGACY_RUN_CONFIG config{clock, link.Driver(), nullptr, strImage, folder.Path(), handset.DeviceName(), 1000, &state};
    EXPECT_EQ(RunLegacyUpdate(config), LEGACY_RUN_FAILED);
    EXPECT_TRUE(handset.Frames().empty()) << "no frame reached the handset whole";
    handset.Shutdown();
}

INSTANTIATE_TEST_SUITE_P(Links, LegacyStall, ::testing::ValuesIn(HANDSET_LINKS),
                         [](const ::testing::TestParamInfo<int>& param) { return HandsetLinkName(param.param); });
