#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "common/LastError.h"
#include "platform/libusb/LibUsbBulk.h"

TEST(LibUsbBulk, LoadsOrFailsCleanlyAndRefusesANonUsbNode)
{
    CLibUsbBulk bulk;
    BULK_HANDLE hUsb = nullptr;
    if (!bulk.Load())
    {
        // Not installed: nothing resolves and nothing can be initialised.
        EXPECT_FALSE(bulk.Resolve(BULK_INITIALIZE));
        EXPECT_FALSE(bulk.Initialize(0, &hUsb));
        GTEST_SKIP() << "libusb-1.0 is not installed";
    }
    for (int nEntry = 0; nEntry < BULK_ENTRY_POINT_COUNT; ++nEntry)
        EXPECT_TRUE(bulk.Resolve(nEntry)) << nEntry;

    int nFd = open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(nFd, 0);
    SetLastErrorCode(0);
    EXPECT_FALSE(bulk.Initialize(nFd, &hUsb));
    EXPECT_EQ(hUsb, nullptr);
    EXPECT_NE(GetLastErrorCode(), 0u);
    EXPECT_STRNE(GetLastErrorText(), "");
    EXPECT_FALSE(bulk.Initialize(INVALID_PORT, &hUsb));
    close(nFd);

    bulk.Unload();
    EXPECT_FALSE(bulk.Resolve(BULK_READ_PIPE));
    EXPECT_TRUE(bulk.Load()) << "loads again after an unload";
}
