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
        // The reading form says whether the version was there, with the same code.
        DWORD dwCode = 0;
        EXPECT_EQ(ReadLegacyHostCode(&host, &dwCode), test.bKnown);
        EXPECT_EQ(dwCode, test.dwCode);
    }
    EXPECT_EQ(GetLegacyHostCode(nullptr), 1000u);
    DWORD dwCode = 0;
    EXPECT_FALSE(ReadLegacyHostCode(nullptr, &dwCode));
    EXPECT_EQ(dwCode, 1000u);
}
