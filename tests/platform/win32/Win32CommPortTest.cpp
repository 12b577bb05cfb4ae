// The Windows port driver on comm devices: two COM ports wired to each other, which
// tests/windows/comport makes from pseudo-terminals under Wine and names in
// VUQ_TEST_COM_PORTS ("COMa,COMb"). Without them the cases are skipped.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/win32/Win32PortDriver.h"
#include "platform/win32/Win32SystemHeaders.h"

namespace
{
long long MsSince(std::chrono::steady_clock::time_point tpStart)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart).count();
}

// Both ends of the wired pair, opened by the driver under test.
class CommPairFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* pszPorts = std::getenv("VUQ_TEST_COM_PORTS");
        std::string strPorts = pszPorts != nullptr ? pszPorts : "";
        size_t nComma = strPorts.find(',');
        if (nComma == std::string::npos)
            GTEST_SKIP() << "no wired COM ports (VUQ_TEST_COM_PORTS)";
        m_strA = strPorts.substr(0, nComma);
        m_strB = strPorts.substr(nComma + 1);
        m_hA = m_Driver.Open(m_strA.c_str());
        ASSERT_NE(m_hA, INVALID_PORT) << m_strA << ": " << GetLastErrorText();
        m_hB = m_Driver.Open(m_strB.c_str());
        ASSERT_NE(m_hB, INVALID_PORT) << m_strB << ": " << GetLastErrorText();
    }
    void TearDown() override
    {
        m_Driver.Close(m_hA);
        m_Driver.Close(m_hB);
    }

    // Reads from hPort until nBytes have come or a read brings nothing.
    std::vector<BYTE> ReadAll(PORT_HANDLE hPort, size_t nBytes)
    {
        std::vector<BYTE> received;
        BYTE buf[4096];
        DWORD dwRead = 0;
        while (received.size() < nBytes && m_Driver.Read(hPort, buf, sizeof(buf), &dwRead) && dwRead > 0)
            received.insert(received.end(), buf, buf + dwRead);
        return received;
    }

    CWin32PortDriver m_Driver{2000};
    std::string m_strA;
    std::string m_strB;
    PORT_HANDLE m_hA = INVALID_PORT;
    PORT_HANDLE m_hB = INVALID_PORT;
};
}

TEST_F(CommPairFixture, PortIsACommDeviceInRawModeWithItsTimeouts)
{
    HANDLE hDevice = reinterpret_cast<HANDLE>(m_hA);
    COMMTIMEOUTS comm{};
    ASSERT_TRUE(GetCommTimeouts(hDevice, &comm)) << "a comm device";
    EXPECT_EQ(comm.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(comm.ReadTotalTimeoutMultiplier, MAXDWORD);
    EXPECT_EQ(comm.ReadTotalTimeoutConstant, 100u);
    EXPECT_EQ(comm.WriteTotalTimeoutConstant, 2000u) << "the write limit";

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    ASSERT_TRUE(GetCommState(hDevice, &dcb));
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_FALSE(dcb.fOutX);
    EXPECT_FALSE(dcb.fInX);
    // Wine's serial devices do not refuse a second open as Windows' serial drivers
    // do; the exclusive open is shown on files and pipes.
}

TEST_F(CommPairFixture, EveryByteValueCrossesUnchanged)
{
    // Line ends, XON/XOFF, NUL and the top bit are plain data.
    std::vector<BYTE> bytes;
    for (int nRound = 0; nRound < 4; ++nRound)
    {
        for (int nValue = 0; nValue < 256; ++nValue)
            bytes.push_back(static_cast<BYTE>(nValue));
    }
    DWORD dwWritten = 0;
    ASSERT_TRUE(m_Driver.Write(m_hA, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten))
        << GetLastErrorText();
    EXPECT_EQ(dwWritten, bytes.size());
    EXPECT_EQ(ReadAll(m_hB, bytes.size()), bytes);
}

TEST_F(CommPairFixture, QuietReadReturnsAfterItsTimeoutAndArrivalsAtOnce)
{
    struct CASE
    {
        DWORD dwConstant;
        long long llAtLeastMs;
    };
    const CASE CASES[] = {{0, 90}, {400, 390}};
    BYTE buf[64];
    DWORD dwRead = 0;
    for (const CASE& c : CASES)
    {
        SCOPED_TRACE(c.dwConstant);
        PORT_TIMEOUTS timeouts{0xFFFFFFFFu, 0, c.dwConstant};
        ASSERT_TRUE(m_Driver.SetTimeouts(m_hB, &timeouts)) << GetLastErrorText();
        auto tpStart = std::chrono::steady_clock::now();
        EXPECT_TRUE(m_Driver.Read(m_hB, buf, sizeof(buf), &dwRead)) << GetLastErrorText();
        long long llElapsed = MsSince(tpStart);
        EXPECT_EQ(dwRead, 0u);
        EXPECT_GE(llElapsed, c.llAtLeastMs);
        EXPECT_LT(llElapsed, c.llAtLeastMs + 3000);
    }

    // With a long time-out, bytes that are there come back without the wait.
    PORT_TIMEOUTS timeouts{0xFFFFFFFFu, 0, 10000};
    ASSERT_TRUE(m_Driver.SetTimeouts(m_hB, &timeouts));
    DWORD dwWritten = 0;
    ASSERT_TRUE(m_Driver.Write(m_hA, reinterpret_cast<const BYTE*>("OS program ok!\n"), 15, &dwWritten));
    auto tpStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(m_Driver.Read(m_hB, buf, sizeof(buf), &dwRead));
    EXPECT_GT(dwRead, 0u);
    EXPECT_LT(MsSince(tpStart), 5000);
}

TEST_F(CommPairFixture, WriteNobodyReadsFailsAtTheWriteLimit)
{
    // More than the two terminals and the wiring between them can hold.
    std::vector<BYTE> bytes(4 * 1024 * 1024, 0x55);
    DWORD dwWritten = 0;
    auto tpStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_Driver.Write(m_hA, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten));
    long long llElapsed = MsSince(tpStart);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_GT(dwWritten, 0u) << "what fitted went out";
    EXPECT_LT(dwWritten, bytes.size());
    EXPECT_GE(llElapsed, 1980);
    EXPECT_LT(llElapsed, 2000 + 60000) << "a limit from the last progress";

    // What did go out arrives whole once the other end reads.
    EXPECT_EQ(ReadAll(m_hB, dwWritten).size(), dwWritten);
}
