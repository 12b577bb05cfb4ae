#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cerrno>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/LastError.h"
#include "platform/posix/TtyPortDriver.h"
#include "support/PtyPair.h"

TEST(TtyPortDriver, ControlBytesCrossARawTtyUnchangedBothWays)
{
    CPtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    CTtyPortDriver driver;
    PORT_HANDLE hPort = driver.Open(pty.SlaveName().c_str());
    ASSERT_NE(hPort, INVALID_PORT);

    std::vector<BYTE> bytes = {0x0A, 0x0D, 0x03, 0x11, 0x13, 0x04, 0x1A, 0x1C, 0x7F, 0x00, 0xFF, 0x0D, 0x0A};
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<BYTE>(i));

    DWORD dwWritten = 0;
    ASSERT_TRUE(driver.Write(hPort, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten));
    EXPECT_EQ(dwWritten, bytes.size());
    EXPECT_EQ(pty.ReadMaster(bytes.size(), 2000), bytes);

    ASSERT_TRUE(pty.WriteMaster(bytes));
    std::vector<BYTE> received;
    BYTE buf[512];
    for (int i = 0; i < 50 && received.size() < bytes.size(); ++i)
    {
        DWORD dwRead = 0;
        ASSERT_TRUE(driver.Read(hPort, buf, sizeof(buf), &dwRead));
        received.insert(received.end(), buf, buf + dwRead);
    }
    EXPECT_EQ(received, bytes);
    // No echo: the master got nothing back from what it wrote.
    EXPECT_TRUE(pty.ReadMaster(1, 200).empty());
    driver.Close(hPort);
}

TEST(TtyPortDriver, AnEmptyReadReturnsAfterTheReadTimeOut)
{
    CPtyPair pty;
    CTtyPortDriver driver;
    PORT_HANDLE hPort = driver.Open(pty.SlaveName().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    PORT_TIMEOUTS timeouts{};
    ASSERT_TRUE(driver.GetTimeouts(hPort, &timeouts));
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 100u);

    struct CASE
    {
        DWORD dwConstant;
        int nMinMs;
        int nMaxMs;
    };
    for (const CASE& c : {CASE{0, 80, 1000}, CASE{100, 80, 1000}, CASE{301, 290, 1500}})
    {
        PORT_TIMEOUTS set{0xFFFFFFFFu, 0, c.dwConstant};
        ASSERT_TRUE(driver.SetTimeouts(hPort, &set));
        PORT_TIMEOUTS got{};
        ASSERT_TRUE(driver.GetTimeouts(hPort, &got));
        EXPECT_EQ(got.ReadTotalTimeoutConstant, c.dwConstant);
        BYTE b = 0;
        DWORD dwRead = 7;
        auto tpStart = std::chrono::steady_clock::now();
        EXPECT_TRUE(driver.Read(hPort, &b, 1, &dwRead));
        auto nMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart).count();
        EXPECT_EQ(dwRead, 0u);
        EXPECT_GE(nMs, c.nMinMs) << c.dwConstant;
        EXPECT_LE(nMs, c.nMaxMs) << c.dwConstant;
    }
    driver.Close(hPort);
}

TEST(TtyPortDriver, HangUpsAndMissingNodesFailWithTheirError)
{
    CTtyPortDriver driver;
    EXPECT_EQ(driver.Open("/dev/no-such-node-here"), INVALID_PORT);
    EXPECT_EQ(GetLastErrorCode(), 2u);
    EXPECT_EQ(driver.Open(""), INVALID_PORT);

    auto pPty = std::make_unique<CPtyPair>();
    PORT_HANDLE hPort = driver.Open(pPty->SlaveName().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    pPty.reset();   // the other side goes away
    BYTE buf[16] = {1, 2, 3};
    DWORD dwDone = 0;
    EXPECT_FALSE(driver.Write(hPort, buf, sizeof(buf), &dwDone));
    EXPECT_EQ(GetLastErrorCode(), 5u);   // EIO
    EXPECT_FALSE(driver.Read(hPort, buf, 1, &dwDone));
    driver.Close(hPort);
    EXPECT_FALSE(driver.Read(INVALID_PORT, buf, 1, &dwDone));
}

TEST(TtyPortDriver, PlainFilesAreReadAndWrittenAsTheyAre)
{
    char szPath[] = "/tmp/vuq_tty_test_XXXXXX";
    int nFd = mkstemp(szPath);
    ASSERT_GE(nFd, 0);
    close(nFd);
    CTtyPortDriver driver;
    PORT_HANDLE hPort = driver.Open(szPath);
    ASSERT_NE(hPort, INVALID_PORT);
    BYTE data[] = {0x0D, 0x0A, 0x03};
    DWORD dwDone = 0;
    EXPECT_TRUE(driver.Write(hPort, data, sizeof(data), &dwDone));
    EXPECT_EQ(dwDone, 3u);
    PORT_TIMEOUTS set{1, 2, 5000};
    EXPECT_TRUE(driver.SetTimeouts(hPort, &set));
    PORT_TIMEOUTS got{};
    EXPECT_TRUE(driver.GetTimeouts(hPort, &got));
    EXPECT_EQ(got.ReadIntervalTimeout, 1u);
    EXPECT_EQ(got.ReadTotalTimeoutConstant, 5000u);
    // At the end of the file a read returns at once with nothing (the time-out has no effect).
    BYTE b;
    auto tpStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(driver.Read(hPort, &b, 1, &dwDone));
    EXPECT_EQ(dwDone, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - tpStart, std::chrono::milliseconds(1000));
    driver.Close(hPort);
    std::remove(szPath);
}

TEST(TtyPortDriver, APortIsHeldExclusivelyUntilClosed)
{
    CPtyPair pty;
    CTtyPortDriver driver;
    PORT_HANDLE hPort = driver.Open(pty.SlaveName().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    int nExclusive = 0;
    ASSERT_EQ(ioctl(static_cast<int>(hPort), TIOCGEXCL, &nExclusive), 0);
    EXPECT_NE(nExclusive, 0) << "a tty is marked exclusive, so other programs cannot open it";

    // A second holder, in this process or another driver, finds the port busy.
    CTtyPortDriver other;
    EXPECT_EQ(other.Open(pty.SlaveName().c_str()), INVALID_PORT);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(EBUSY));
    EXPECT_EQ(driver.Open(pty.SlaveName().c_str()), INVALID_PORT);

    driver.Close(hPort);
    PORT_HANDLE hAgain = other.Open(pty.SlaveName().c_str());
    EXPECT_NE(hAgain, INVALID_PORT) << "closing the port frees it";
    other.Close(hAgain);
}

TEST(TtyPortDriver, AWriteToAHandsetThatStopsReadingFailsAtTheWriteLimit)
{
    CPtyPair pty;   // the master side never reads
    CTtyPortDriver driver(300);
    PORT_HANDLE hPort = driver.Open(pty.SlaveName().c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    std::vector<BYTE> frame(4 * 1024 * 1024, 0x5A);
    DWORD dwWritten = 0;
    EXPECT_FALSE(driver.Write(hPort, frame.data(), static_cast<DWORD>(frame.size()), &dwWritten));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ETIMEDOUT));
    EXPECT_GT(dwWritten, 0u) << "what the node took is reported";
    EXPECT_LT(dwWritten, frame.size());
    driver.Close(hPort);
}

// A FIFO ignores the terminal's read time-out: without a wait of the driver's own a
// read would block for as long as nothing comes.
TEST(TtyPortDriver, AReadOnANodeWithoutTerminalTimeOutsStillReturns)
{
    char szDir[] = "/tmp/vuq_fifo_XXXXXX";
    ASSERT_NE(mkdtemp(szDir), nullptr);
    std::string strFifo = std::string(szDir) + "/port";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    CTtyPortDriver driver;
    PORT_HANDLE hPort = driver.Open(strFifo.c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    BYTE b = 0;
    DWORD dwRead = 7;
    EXPECT_TRUE(driver.Read(hPort, &b, 1, &dwRead));
    EXPECT_EQ(dwRead, 0u);
    driver.Close(hPort);
    std::remove(strFifo.c_str());
    rmdir(szDir);
}
