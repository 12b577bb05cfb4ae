#include <gtest/gtest.h>

#include <ostream>

#include "FakeRemoteApi.h"
#include "LegacyImage.h"
#include "TestFiles.h"
#include "legacy/LegacyRapi.h"

namespace
{
struct CONNECT_CASE
{
    const char* pszName;
    FAKE_CONNECT nConnect;
    int nResult;
    int nUninits;
};

void PrintTo(const CONNECT_CASE& value, std::ostream* pStream)
{
    *pStream << value.pszName;
}


class CConnect : public ::testing::TestWithParam<CONNECT_CASE>
{
};
}

TEST_P(CConnect, ReportsHowTheConnectionEnded)
{
    const CONNECT_CASE& test = GetParam();
    CClock clock(1000);
    CFakeRemoteApi rapi;
    rapi.m_nConnect = test.nConnect;
    EXPECT_EQ(ConnectDevice(rapi, clock), test.nResult);
    EXPECT_EQ(rapi.m_nUninits, test.nUninits);
}

INSTANTIATE_TEST_SUITE_P(Ends, CConnect,
                         ::testing::Values(CONNECT_CASE{"Ready", FAKE_CONNECT_READY, 1, 0},
                                           CONNECT_CASE{"TimedOut", FAKE_CONNECT_SILENT, 2, 1},
                                           CONNECT_CASE{"Abandoned", FAKE_CONNECT_ABANDONED, 3, 1},
                                           // The started connection refers to the event on ConnectDevice's
                                           // stack: it is ended before that event goes away.
                                           CONNECT_CASE{"WaitFailed", FAKE_CONNECT_BROKEN, 0, 1},
                                           CONNECT_CASE{"StartFailed", FAKE_CONNECT_REFUSED, 0, 0}),
                         [](const ::testing::TestParamInfo<CONNECT_CASE>& paramInfo) { return paramInfo.param.pszName; });

TEST(LegacyAgent, CopyReplacesALongerOlderAgentWhole)
{
    CClock clock(1000);
    CFakeRemoteApi rapi;
    rapi.m_Files["Tessik_Console.exe"] = std::vector<BYTE>(1000, 0xEE);
    std::vector<BYTE> agent(300);
    for (size_t i = 0; i < agent.size(); ++i)
        agent[i] = PatternByte(1, static_cast<DWORD>(i));
    std::FILE* pLocal = TempFileWith(agent);
    ASSERT_NE(pLocal, nullptr);
    std::fseek(pLocal, 50, SEEK_SET);   // copied from its start wherever the file stands

    EXPECT_TRUE(CopyAgentToDevice(rapi, clock, pLocal));
    std::fclose(pLocal);

    EXPECT_EQ(rapi.m_Creations, std::vector<DWORD>{CE_CREATE_ALWAYS});
    EXPECT_EQ(rapi.m_Files["Tessik_Console.exe"], agent);
    EXPECT_EQ(rapi.m_WriteSizes, (std::vector<DWORD>{128, 128, 44}));
    EXPECT_EQ(rapi.m_nCloses, 1);
    EXPECT_EQ(rapi.m_nUninits, 1);
}

TEST(LegacyAgent, CopyFailures)
{
    CClock clock(1000);
    std::vector<BYTE> agent(300, 0x42);
    struct
    {
        const char* pszName;
        FAKE_CONNECT nConnect;
        CE_HANDLE hCreate;
        int nFailWriteAt;
        size_t nWrites;
    } cases[] = {
        {"NoConnection", FAKE_CONNECT_SILENT, 7, -1, 0},
        {"CreateReturnsZero", FAKE_CONNECT_READY, 0, -1, 0},
        {"CreateReturnsInvalid", FAKE_CONNECT_READY, CE_INVALID_HANDLE, -1, 0},
        {"SecondPieceFails", FAKE_CONNECT_READY, 7, 1, 2},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        CFakeRemoteApi rapi;
        rapi.m_nConnect = test.nConnect;
        rapi.m_hCreateResult = test.hCreate;
        rapi.m_nFailWriteAt = test.nFailWriteAt;
        std::FILE* pLocal = TempFileWith(agent);
        ASSERT_NE(pLocal, nullptr);
        EXPECT_FALSE(CopyAgentToDevice(rapi, clock, pLocal));
        std::fclose(pLocal);
        EXPECT_EQ(rapi.m_WriteSizes.size(), test.nWrites);
    }
}

TEST(LegacyAgent, StartNeedsAConnectionAndLeavesItOpen)
{
    CClock clock(1000);
    CFakeRemoteApi rapi;
    EXPECT_EQ(StartAgentOnDevice(rapi, clock), 1);
    EXPECT_EQ(rapi.m_Processes, std::vector<std::string>{"Tessik_Console.exe"});
    EXPECT_EQ(rapi.m_nUninits, 0);

    CFakeRemoteApi offline;
    offline.m_nConnect = FAKE_CONNECT_REFUSED;
    EXPECT_EQ(StartAgentOnDevice(offline, clock), 0);
    EXPECT_TRUE(offline.m_Processes.empty());
}
