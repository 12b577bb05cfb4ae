// The port contract the updater relies on, kept by both of the virtual handset's
// transports: a pseudo-terminal reached through the tty driver, and the in-process
// bus reached through CSimPortDriver. The tests work the handset's side of an
// endpoint by hand.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/LastError.h"
#include "platform/sim/SimPortBus.h"
#include "platform/sim/SimPortDriver.h"
#include "support/HandsetLink.h"

namespace
{
constexpr DWORD WRITE_LIMIT_MS = 300;
constexpr DWORD REAL_WAIT_MS = 5000;

std::vector<BYTE> EveryByteValue()
{
    std::vector<BYTE> bytes = {0x0A, 0x0D, 0x03, 0x11, 0x13, 0x04, 0x1A, 0x1C, 0x7F, 0x00, 0xFF, 0x0D, 0x0A};
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<BYTE>(i));
    return bytes;
}

// What the handset receives until nCount bytes came or dwRealMs passed.
std::vector<BYTE> ReceiveBytes(IHandsetEndpoint& endpoint, size_t nCount, DWORD dwRealMs)
{
    std::vector<BYTE> bytes;
    auto tpEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwRealMs);
    BYTE buf[512];
    while (bytes.size() < nCount && std::chrono::steady_clock::now() < tpEnd)
    {
        size_t nRead = 0;
        if (endpoint.WaitForInput(20) && endpoint.Receive(buf, sizeof(buf), &nRead))
            bytes.insert(bytes.end(), buf, buf + nRead);
    }
    return bytes;
}

// What the desktop reads until nCount bytes came, the read failed, or 50 reads passed.
std::vector<BYTE> ReadBytes(IPortDriver& driver, PORT_HANDLE hPort, size_t nCount)
{
    std::vector<BYTE> bytes;
    BYTE buf[512];
    for (int i = 0; i < 50 && bytes.size() < nCount; ++i)
    {
        DWORD dwRead = 0;
        if (!driver.Read(hPort, buf, sizeof(buf), &dwRead))
            break;
        bytes.insert(bytes.end(), buf, buf + dwRead);
    }
    return bytes;
}

// The parameter is the transport (HANDSET_LINK).
class HandsetTransport : public ::testing::TestWithParam<int>
{
protected:
    // An endpoint on the bus.
    std::unique_ptr<IHandsetEndpoint> Attached()
    {
        std::unique_ptr<IHandsetEndpoint> pEndpoint = m_Link.Transport().OpenEndpoint();
        if (pEndpoint)
            pEndpoint->Attach();
        return pEndpoint;
    }

    CHandsetLink m_Link{GetParam(), WRITE_LIMIT_MS};
    IPortDriver& m_Driver = m_Link.Driver();
};
}

TEST_P(HandsetTransport, EveryByteValueCrossesBothWaysUnchanged)
{
    std::unique_ptr<IHandsetEndpoint> pEndpoint = Attached();
    ASSERT_TRUE(pEndpoint);
    PORT_HANDLE hPort = m_Driver.Open(pEndpoint->Name().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    std::vector<BYTE> bytes = EveryByteValue();

    DWORD dwWritten = 0;
    ASSERT_TRUE(m_Driver.Write(hPort, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten));
    EXPECT_EQ(dwWritten, bytes.size());
    EXPECT_EQ(ReceiveBytes(*pEndpoint, bytes.size(), REAL_WAIT_MS), bytes);

    ASSERT_TRUE(pEndpoint->Send(bytes.data(), bytes.size(), REAL_WAIT_MS));
    EXPECT_EQ(ReadBytes(m_Driver, hPort, bytes.size()), bytes);
    // Nothing came back to the handset from what it sent (no echo).
    EXPECT_TRUE(ReceiveBytes(*pEndpoint, 1, 200).empty());
    m_Driver.Close(hPort);
}

TEST_P(HandsetTransport, APortIsHeldExclusivelyUntilClosed)
{
    std::unique_ptr<IHandsetEndpoint> pEndpoint = Attached();
    ASSERT_TRUE(pEndpoint);
    const char* pszName = pEndpoint->Name().c_str();
    PORT_HANDLE hPort = m_Driver.Open(pszName);
    ASSERT_NE(hPort, INVALID_PORT);

    // A second holder, through the same driver or another program's, finds it busy.
    std::unique_ptr<IPortDriver> pOther = m_Link.OtherDriver();
    EXPECT_EQ(m_Driver.Open(pszName), INVALID_PORT);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EBUSY));
    EXPECT_EQ(pOther->Open(pszName), INVALID_PORT);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EBUSY));

    m_Driver.Close(hPort);
    PORT_HANDLE hAgain = pOther->Open(pszName);
    EXPECT_NE(hAgain, INVALID_PORT) << "closing the port frees it";
    pOther->Close(hAgain);
}

TEST_P(HandsetTransport, AnEmptyReadReturnsAfterTheReadTimeOut)
{
    std::unique_ptr<IHandsetEndpoint> pEndpoint = Attached();
    ASSERT_TRUE(pEndpoint);
    PORT_HANDLE hPort = m_Driver.Open(pEndpoint->Name().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    PORT_TIMEOUTS timeouts{};
    ASSERT_TRUE(m_Driver.GetTimeouts(hPort, &timeouts));
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 100u);

    struct CASE
    {
        DWORD dwConstant;
        int nMinMs;
        int nMaxMs;
    };
    for (const CASE& c : {CASE{0, 80, 1000}, CASE{100, 80, 1000}, CASE{301, 290, 1500}})
    {
        PORT_TIMEOUTS set{7, 3, c.dwConstant};
        ASSERT_TRUE(m_Driver.SetTimeouts(hPort, &set));
        PORT_TIMEOUTS got{};
        ASSERT_TRUE(m_Driver.GetTimeouts(hPort, &got));
        EXPECT_EQ(got.ReadIntervalTimeout, 7u);
        EXPECT_EQ(got.ReadTotalTimeoutMultiplier, 3u);
        EXPECT_EQ(got.ReadTotalTimeoutConstant, c.dwConstant);
        BYTE b = 0;
        DWORD dwRead = 7;
        auto tpStart = std::chrono::steady_clock::now();
        EXPECT_TRUE(m_Driver.Read(hPort, &b, 1, &dwRead));
        auto nMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart).count();
        EXPECT_EQ(dwRead, 0u);
        EXPECT_GE(nMs, c.nMinMs) << c.dwConstant;
        EXPECT_LE(nMs, c.nMaxMs) << c.dwConstant;
    }
    m_Driver.Close(hPort);
}

TEST_P(HandsetTransport, AWriteToAHandsetThatStopsReadingFailsAtTheWriteLimit)
{
    std::unique_ptr<IHandsetEndpoint> pEndpoint = Attached();   // never reads
    ASSERT_TRUE(pEndpoint);
    PORT_HANDLE hPort = m_Driver.Open(pEndpoint->Name().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    std::vector<BYTE> frame(4 * 1024 * 1024, 0x5A);
    DWORD dwWritten = 0;
    EXPECT_FALSE(m_Driver.Write(hPort, frame.data(), static_cast<DWORD>(frame.size()), &dwWritten));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ETIMEDOUT));
    EXPECT_GT(dwWritten, 0u) << "what the link took is reported";
    EXPECT_LT(dwWritten, frame.size());

    // Once the handset reads again, the next write goes through.
    EXPECT_EQ(ReceiveBytes(*pEndpoint, dwWritten, REAL_WAIT_MS).size(), dwWritten);
    BYTE b = 1;
    EXPECT_TRUE(m_Driver.Write(hPort, &b, 1, &dwWritten));
    m_Driver.Close(hPort);
}

TEST_P(HandsetTransport, RepliesTheDesktopDoesNotReadStopAtTheHandsetsLimit)
{
    std::unique_ptr<IHandsetEndpoint> pEndpoint = Attached();
    ASSERT_TRUE(pEndpoint);
    PORT_HANDLE hPort = m_Driver.Open(pEndpoint->Name().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    std::vector<BYTE> replies(1024 * 1024, 0x2E);
    EXPECT_FALSE(pEndpoint->Send(replies.data(), replies.size(), 200)) << "the desktop does not read";
    // Bounded too: a desktop that does not read does not hold the handset.
    pEndpoint->WaitUntilSentIsRead(200);
    DWORD dwRead = 0;
    BYTE buf[64];
    ASSERT_TRUE(m_Driver.Read(hPort, buf, sizeof(buf), &dwRead));
    EXPECT_GT(dwRead, 0u) << "what went before the queue filled is there";
    m_Driver.Close(hPort);
}

TEST_P(HandsetTransport, APortWhoseHandsetLeftFailsWithAnIoError)
{
    std::unique_ptr<IHandsetEndpoint> pEndpoint = Attached();
    ASSERT_TRUE(pEndpoint);
    std::string strName = pEndpoint->Name();
    PORT_HANDLE hPort = m_Driver.Open(strName.c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    const BYTE unread[] = {'o', 'k', '\n'};
    ASSERT_TRUE(pEndpoint->Send(unread, sizeof(unread), REAL_WAIT_MS));
    pEndpoint.reset();   // the handset leaves the bus

    BYTE buf[16] = {1, 2, 3};
    DWORD dwDone = 9;
    EXPECT_FALSE(m_Driver.Write(hPort, buf, sizeof(buf), &dwDone));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EIO));
    EXPECT_EQ(dwDone, 0u);
    EXPECT_FALSE(m_Driver.Read(hPort, buf, sizeof(buf), &dwDone));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EIO));
    m_Driver.Close(hPort);
    EXPECT_EQ(m_Driver.Open(strName.c_str()), INVALID_PORT) << "the name is gone with the handset";
}

TEST_P(HandsetTransport, AnEndpointOpenedWhileAnotherIsOpenHasANameOfItsOwn)
{
    std::unique_ptr<IHandsetEndpoint> pOld = Attached();
    std::unique_ptr<IHandsetEndpoint> pNew = Attached();
    ASSERT_TRUE(pOld);
    ASSERT_TRUE(pNew);
    EXPECT_NE(pNew->Name(), pOld->Name());
    PORT_HANDLE hPort = m_Driver.Open(pNew->Name().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    const BYTE frame[] = {1, 2, 3, 4};
    DWORD dwWritten = 0;
    ASSERT_TRUE(m_Driver.Write(hPort, frame, sizeof(frame), &dwWritten));
    EXPECT_EQ(ReceiveBytes(*pNew, sizeof(frame), REAL_WAIT_MS).size(), sizeof(frame));
    EXPECT_TRUE(ReceiveBytes(*pOld, 1, 100).empty()) << "the bytes went to the endpoint opened";
    m_Driver.Close(hPort);
}

INSTANTIATE_TEST_SUITE_P(Links, HandsetTransport, ::testing::ValuesIn(HANDSET_LINKS),
                         [](const ::testing::TestParamInfo<int>& param) { return HandsetLinkName(param.param); });

// ---- The in-process bus's own names ----

TEST(SimPortDriver, ANameOpensOnlyWhileItsHandsetIsOnTheBus)
{
    CSimPortBus bus;
    CSimPortDriver driver(bus);
    for (const char* pszName : {"", "sim:handset-1", "sim:nothing", SIM_PORT_ALIAS})
    {
        EXPECT_EQ(driver.Open(pszName), INVALID_PORT) << pszName;
        EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ENOENT)) << pszName;
    }
    std::unique_ptr<IHandsetEndpoint> pEndpoint = bus.OpenEndpoint();
    ASSERT_TRUE(pEndpoint);
    EXPECT_EQ(pEndpoint->Name().rfind(SIM_PORT_NAME_PREFIX, 0), 0u);
    EXPECT_EQ(driver.Open(pEndpoint->Name().c_str()), INVALID_PORT) << "not announced yet";
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ENOENT));
    pEndpoint->Attach();
    PORT_HANDLE hPort = driver.Open(pEndpoint->Name().c_str());
    EXPECT_NE(hPort, INVALID_PORT);
    driver.Close(hPort);
}

TEST(SimPortDriver, TheAliasFollowsTheHandsetToItsCurrentEndpoint)
{
    CSimPortBus bus;
    CSimPortDriver driver(bus);
    std::unique_ptr<IHandsetEndpoint> pFirst = bus.OpenEndpoint();
    pFirst->Attach();
    std::string strFirst = pFirst->Name();

    PORT_HANDLE hPort = driver.Open(SIM_PORT_ALIAS);
    ASSERT_NE(hPort, INVALID_PORT);
    EXPECT_EQ(driver.Open(strFirst.c_str()), INVALID_PORT) << "the alias holds the endpoint itself";
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EBUSY));
    const BYTE a = 'a';
    DWORD dwWritten = 0;
    ASSERT_TRUE(driver.Write(hPort, &a, 1, &dwWritten));
    EXPECT_EQ(ReceiveBytes(*pFirst, 1, REAL_WAIT_MS), std::vector<BYTE>{'a'});

    // Phase 1: the next endpoint is opened, the first leaves, the next is attached.
    std::unique_ptr<IHandsetEndpoint> pSecond = bus.OpenEndpoint();
    pFirst.reset();
    DWORD dwRead = 0;
    BYTE b = 0;
    EXPECT_FALSE(driver.Read(hPort, &b, 1, &dwRead)) << "the port held under the alias went with the handset";
    driver.Close(hPort);
    EXPECT_EQ(driver.Open(SIM_PORT_ALIAS), INVALID_PORT) << "nothing on the bus between leaving and coming back";
    pSecond->Attach();
    EXPECT_NE(pSecond->Name(), strFirst);

    hPort = driver.Open(SIM_PORT_ALIAS);
    ASSERT_NE(hPort, INVALID_PORT);
    const BYTE c = 'c';
    ASSERT_TRUE(driver.Write(hPort, &c, 1, &dwWritten));
    EXPECT_EQ(ReceiveBytes(*pSecond, 1, REAL_WAIT_MS), std::vector<BYTE>{'c'});
    driver.Close(hPort);

    // A name is never given twice, even once its endpoint has closed.
    pSecond.reset();
    std::unique_ptr<IHandsetEndpoint> pThird = bus.OpenEndpoint();
    EXPECT_NE(pThird->Name(), strFirst);
}

TEST(SimPortDriver, UnknownHandlesFailAsBadOnes)
{
    CSimPortBus bus;
    CSimPortDriver driver(bus);
    BYTE b = 0;
    DWORD dwDone = 0;
    PORT_TIMEOUTS timeouts{};
    for (PORT_HANDLE hPort : {INVALID_PORT, static_cast<PORT_HANDLE>(0), static_cast<PORT_HANDLE>(77)})
    {
        EXPECT_FALSE(driver.Read(hPort, &b, 1, &dwDone));
        EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EBADF));
        EXPECT_FALSE(driver.Write(hPort, &b, 1, &dwDone));
        EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EBADF));
        EXPECT_FALSE(driver.GetTimeouts(hPort, &timeouts));
        EXPECT_FALSE(driver.SetTimeouts(hPort, &timeouts));
        driver.Close(hPort);
    }
}

// The bus, the handset's endpoint and the desktop's driver belong to different
// owners and may go in any order.
TEST(SimPortDriver, APortOutlivesItsBusAndItsEndpoint)
{
    auto pBus = std::make_unique<CSimPortBus>();
    CSimPortDriver driver(*pBus);
    std::unique_ptr<IHandsetEndpoint> pEndpoint = pBus->OpenEndpoint();
    pEndpoint->Attach();
    PORT_HANDLE hPort = driver.Open(pEndpoint->Name().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    pBus.reset();
    const BYTE a = 'a';
    DWORD dwDone = 0;
    EXPECT_TRUE(driver.Write(hPort, &a, 1, &dwDone)) << "the handset is still on its link";
    pEndpoint.reset();
    BYTE b = 0;
    EXPECT_FALSE(driver.Read(hPort, &b, 1, &dwDone));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EIO));
    driver.Close(hPort);
}
