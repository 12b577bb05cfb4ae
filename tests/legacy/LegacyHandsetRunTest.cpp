// Whole legacy runs against the virtual handset in its legacy dialect, over each of
// its transports. The run reopens its port by name after the handset's reset, so it
// is given a name that follows the handset: the in-process bus's alias, or a
// symbolic link kept pointing at the current pseudo-terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LegacyImage.h"
#include "TestFiles.h"
#include "legacy/LegacyRun.h"
#include "platform/sim/VirtualHandset.h"
#include "support/HandsetLink.h"

namespace
{
// The parameter is the handset's transport (HANDSET_LINK).
class LegacyHandsetRun : public ::testing::TestWithParam<int>
{
};
}

TEST_P(LegacyHandsetRun, EndsWithOneAfterTheHandsetCameBackUnderANewName)
{
    CTempFolder folder;
    CLegacyImage image{LEGACY_IMAGE_LAYOUT{}};
    std::string strImage = folder.File("temp.dat");
    ASSERT_TRUE(image.Write(strImage));

    CClock clock(50);
    CHandsetLink link(GetParam());
    CVirtualHandset handset(clock, link.Transport(), HANDSET_DIALECT_LEGACY);
    std::string strPort = link.FollowHandset(handset, folder.Path());
    handset.SetDelays(0, 100, 300);
    ASSERT_TRUE(handset.EnterDownloaderMode());
    ASSERT_TRUE(handset.WaitForArrivals(1, 20000));

    LEGACY_RUN_CONFIG config{clock, link.Driver(), nullptr, strImage, folder.Path(), strPort, 1001, nullptr};
    EXPECT_EQ(RunLegacyUpdate(config), LEGACY_RUN_DONE);
    ASSERT_TRUE(handset.WaitForFrames(4, 20000));
    handset.SetEventSink(nullptr);
    handset.Shutdown();

    std::vector<HANDSET_FRAME> frames = handset.Frames();
    ASSERT_EQ(frames.size(), 4u);
    const int kinds[] = {HANDSET_FRAME_PHASE1, HANDSET_FRAME_RESERVE, HANDSET_FRAME_OS, HANDSET_FRAME_CLOSING};
    for (size_t i = 0; i < frames.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].nKind, kinds[i]);
        EXPECT_TRUE(frames[i].bComplete);
        EXPECT_TRUE(frames[i].bChecksumOk);
    }
    EXPECT_EQ(handset.ArrivalCount(), 2);
    EXPECT_NE(frames[1].strDevice, frames[0].strDevice) << "phase 2 went to the handset's new endpoint";
    EXPECT_EQ(frames[3].strDevice, frames[1].strDevice);
}

INSTANTIATE_TEST_SUITE_P(Links, LegacyHandsetRun, ::testing::ValuesIn(HANDSET_LINKS),
                         [](const ::testing::TestParamInfo<int>& param) { return HandsetLinkName(param.param); });
