#include <gtest/gtest.h>

#include "legacy/HostCode.h"
#include "support/VersionHost.h"

TEST(LegacyHostCode, FollowsTheHostVersion)
{
    struct
    {
        bool bKnown;
        DWORD dwMajor;
        DWORD dwMinor;
        DWORD dwCode;
    } cases[] = {
        {true, 5, 0, 1000}, {true, 5, 1, 1001}, {true, 5, 2, 1003}, {true, 6, 0, 1003},
        {true, 4, 0, 1003}, {true, 6, 1, 1003}, {false, 5, 1, 1000},
    };
    for (const auto& test : cases)
    {
        CVersionHost host(test.bKnown, test.dwMajor, test.dwMinor);
        EXPECT_EQ(GetLegacyHostCode(&host), test.dwCode) << test.dwMajor << "." << test.dwMinor;
    }
    EXPECT_EQ(GetLegacyHostCode(nullptr), 1000u);
}
