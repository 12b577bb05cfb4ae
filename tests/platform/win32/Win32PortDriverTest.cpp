// The Windows port driver on the devices Wine provides: files and named pipes.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "platform/win32/Win32PortDriver.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "platform/win32/Win32Text.h"

namespace
{
// The system message table's text of a code, read here independently of the code
// under test.
std::string SystemText(DWORD dwError)
{
    wchar_t szText[512] = {};
    WIN_DWORD dwLen = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                                     szText, 512, nullptr);
    while (dwLen > 0 && (szText[dwLen - 1] == L'\r' || szText[dwLen - 1] == L'\n' || szText[dwLen - 1] == L' '))
        szText[--dwLen] = L'\0';
    return WideToUtf8(szText);
}

long long MsSince(std::chrono::steady_clock::time_point tpStart)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart).count();
}

std::string UniqueName(const char* pszKind)
{
    static std::atomic<int> s_nNext{0};
    return std::string(pszKind) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_nNext);
}

// A file in the temporary folder, removed at the end.
class CTempFile
{
public:
    explicit CTempFile(const std::string& strContent)
    {
        char szDir[MAX_PATH];
        GetTempPathA(MAX_PATH, szDir);
        m_strPath = std::string(szDir) + UniqueName("vuq-port") + ".bin";
        HANDLE hFile = CreateFileA(m_strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        WIN_DWORD dwWritten = 0;
        WriteFile(hFile, strContent.data(), static_cast<DWORD>(strContent.size()), &dwWritten, nullptr);
        CloseHandle(hFile);
    }
    ~CTempFile() { DeleteFileA(m_strPath.c_str()); }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    const char* Path() const { return m_strPath.c_str(); }
    std::string Content() const
    {
        std::string strContent;
        HANDLE hFile = CreateFileA(m_strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        char szBuf[256];
        WIN_DWORD dwRead = 0;
        while (ReadFile(hFile, szBuf, sizeof(szBuf), &dwRead, nullptr) && dwRead > 0)
            strContent.append(szBuf, dwRead);
        CloseHandle(hFile);
        return strContent;
    }

private:
    std::string m_strPath;
};

// The server end of a named pipe with one instance: the handset's side of a port.
// dwBufferSize is the pipe's buffer in each direction.
class CPipeServer
{
public:
    explicit CPipeServer(DWORD dwBufferSize = 4096)
        : m_strName("\\\\.\\pipe\\" + UniqueName("vuq-port")),
          m_hPipe(CreateNamedPipeA(m_strName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                   1, dwBufferSize, dwBufferSize, 0, nullptr))
    {
    }
    ~CPipeServer() { Disconnect(); }
    CPipeServer(const CPipeServer&) = delete;
    CPipeServer& operator=(const CPipeServer&) = delete;

    bool IsValid() const { return m_hPipe != INVALID_HANDLE_VALUE; }
    const char* Name() const { return m_strName.c_str(); }
    // Takes the client that has opened the pipe.
    bool Accept() { return ConnectNamedPipe(m_hPipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED; }
    bool Send(const std::string& strBytes)
    {
        WIN_DWORD dwWritten = 0;
        return WriteFile(m_hPipe, strBytes.data(), static_cast<DWORD>(strBytes.size()), &dwWritten, nullptr) &&
               dwWritten == strBytes.size();
    }
    // Reads until nBytes have come or the client has gone.
    std::string Receive(size_t nBytes)
    {
        std::string strBytes;
        char szBuf[4096];
        WIN_DWORD dwRead = 0;
        while (strBytes.size() < nBytes && ReadFile(m_hPipe, szBuf, sizeof(szBuf), &dwRead, nullptr))
            strBytes.append(szBuf, dwRead);
        return strBytes;
    }
    void Disconnect()
    {
        if (m_hPipe != INVALID_HANDLE_VALUE)
            CloseHandle(m_hPipe);
        m_hPipe = INVALID_HANDLE_VALUE;
    }

private:
    std::string m_strName;
    HANDLE m_hPipe;
};

// A port opened on a fresh pipe, closed at the end.
class PipePortFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Server.IsValid());
        m_hPort = m_Driver.Open(m_Server.Name());
        ASSERT_NE(m_hPort, INVALID_PORT) << GetLastErrorText();
        ASSERT_TRUE(m_Server.Accept());
    }
    void TearDown() override
    {
        if (m_hPort != INVALID_PORT)
            m_Driver.Close(m_hPort);
    }

    CWin32PortDriver m_Driver{500};
    CPipeServer m_Server;
    PORT_HANDLE m_hPort = INVALID_PORT;
};
}

TEST(Win32PortDriver, AnOpenDeviceIsHeldExclusively)
{
    CWin32PortDriver driver;
    CTempFile file("abc");
    CPipeServer server;
    ASSERT_TRUE(server.IsValid());
    struct CASE
    {
        const char* pszWhat;
        const char* pszName;
        DWORD dwSecondOpenError;
    };
    const CASE CASES[] = {
        {"file", file.Path(), ERROR_SHARING_VIOLATION},
        {"pipe", server.Name(), ERROR_PIPE_BUSY},
    };
    for (const CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszWhat);
        PORT_HANDLE hPort = driver.Open(c.pszName);
        ASSERT_NE(hPort, INVALID_PORT) << GetLastErrorText();

        EXPECT_EQ(driver.Open(c.pszName), INVALID_PORT);
        EXPECT_EQ(GetLastErrorCode(), c.dwSecondOpenError);
        EXPECT_EQ(GetLastErrorText(), SystemText(c.dwSecondOpenError));

        // Another program's open, which asks for sharing, is refused as well.
        HANDLE hOther = CreateFileA(c.pszName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(hOther, INVALID_HANDLE_VALUE);
        if (hOther != INVALID_HANDLE_VALUE)
            CloseHandle(hOther);
        driver.Close(hPort);
    }
    // Once closed, the file is free again.
    PORT_HANDLE hPort = driver.Open(file.Path());
    EXPECT_NE(hPort, INVALID_PORT);
    driver.Close(hPort);
}

TEST(Win32PortDriver, OpenOfAMissingDeviceGivesTheSystemsError)
{
    CWin32PortDriver driver;
    const char* NAMES[] = {"\\\\.\\wceusbsh009", "C:\\vuq-no-such-folder\\port", "\\\\.\\pipe\\vuq-no-such-pipe", ""};
    for (const char* pszName : NAMES)
    {
        SCOPED_TRACE(pszName);
        SetLastErrorCode(0);
        EXPECT_EQ(driver.Open(pszName), INVALID_PORT);
        EXPECT_NE(GetLastErrorCode(), 0u);
        EXPECT_EQ(GetLastErrorText(), SystemText(GetLastErrorCode()));
        EXPECT_NE(std::string(GetLastErrorText()), "");
    }
}

TEST(Win32PortDriver, FileIsReadAndWrittenAtOnePositionAndItsEndReadsNothingAtOnce)
{
    CWin32PortDriver driver;
    CTempFile file("abcdef");
    PORT_HANDLE hPort = driver.Open(file.Path());
    ASSERT_NE(hPort, INVALID_PORT) << GetLastErrorText();

    BYTE buf[16] = {};
    DWORD dwRead = 0;
    ASSERT_TRUE(driver.Read(hPort, buf, 4, &dwRead));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), dwRead), "abcd");
    DWORD dwWritten = 0;
    ASSERT_TRUE(driver.Write(hPort, reinterpret_cast<const BYTE*>("XY"), 2, &dwWritten));
    EXPECT_EQ(dwWritten, 2u);

    auto tpStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(driver.Read(hPort, buf, sizeof(buf), &dwRead));
    EXPECT_EQ(dwRead, 0u) << "the end of the file";
    EXPECT_LT(MsSince(tpStart), 1000) << "a file at its end does not wait";
    driver.Close(hPort);
    EXPECT_EQ(file.Content(), "abcdXY");
}

TEST_F(PipePortFixture, QuietReadReturnsEmptyAfterItsTimeout)
{
    struct CASE
    {
        DWORD dwConstant;
        long long llAtLeastMs;
    };
    const CASE CASES[] = {{0, 90}, {100, 90}, {400, 390}};
    for (const CASE& c : CASES)
    {
        SCOPED_TRACE(c.dwConstant);
        PORT_TIMEOUTS timeouts{0xFFFFFFFFu, 0, c.dwConstant};
        ASSERT_TRUE(m_Driver.SetTimeouts(m_hPort, &timeouts));
        BYTE buf[16];
        DWORD dwRead = 99;
        auto tpStart = std::chrono::steady_clock::now();
        EXPECT_TRUE(m_Driver.Read(m_hPort, buf, sizeof(buf), &dwRead)) << GetLastErrorText();
        long long llElapsed = MsSince(tpStart);
        EXPECT_EQ(dwRead, 0u);
        EXPECT_GE(llElapsed, c.llAtLeastMs);
        EXPECT_LT(llElapsed, c.llAtLeastMs + 3000);
    }
}

TEST_F(PipePortFixture, ReadReturnsWhatHasArrivedWithoutWaitingForMore)
{
    PORT_TIMEOUTS timeouts{0xFFFFFFFFu, 0, 10000};
    ASSERT_TRUE(m_Driver.SetTimeouts(m_hPort, &timeouts));
    ASSERT_TRUE(m_Server.Send("OS program ok!\n"));
    BYTE buf[64];
    DWORD dwRead = 0;
    auto tpStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(m_Driver.Read(m_hPort, buf, sizeof(buf), &dwRead));
    EXPECT_LT(MsSince(tpStart), 5000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), dwRead), "OS program ok!\n");

    // A byte that comes while the read waits ends the wait.
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_Server.Send(".");
    });
    tpStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(m_Driver.Read(m_hPort, buf, sizeof(buf), &dwRead));
    sender.join();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), dwRead), ".");
    EXPECT_LT(MsSince(tpStart), 5000);
}

TEST_F(PipePortFixture, ReadFailsOnceTheOtherEndHasGone)
{
    m_Server.Disconnect();
    BYTE buf[8];
    DWORD dwRead = 0;
    EXPECT_FALSE(m_Driver.Read(m_hPort, buf, sizeof(buf), &dwRead));
    EXPECT_EQ(dwRead, 0u);
    EXPECT_TRUE(GetLastErrorCode() == ERROR_BROKEN_PIPE || GetLastErrorCode() == ERROR_PIPE_NOT_CONNECTED)
        << GetLastErrorCode();
    EXPECT_EQ(GetLastErrorText(), SystemText(GetLastErrorCode()));
}

TEST_F(PipePortFixture, WriteSendsEveryByteToAReader)
{
    std::string strFrame(200000, '\0');
    for (size_t i = 0; i < strFrame.size(); ++i)
        strFrame[i] = static_cast<char>(i * 7 + i / 256);
    std::string strReceived;
    std::thread reader([&] { strReceived = m_Server.Receive(strFrame.size()); });
    DWORD dwWritten = 0;
    EXPECT_TRUE(m_Driver.Write(m_hPort, reinterpret_cast<const BYTE*>(strFrame.data()),
                               static_cast<DWORD>(strFrame.size()), &dwWritten))
        << GetLastErrorText();
    reader.join();
    EXPECT_EQ(dwWritten, strFrame.size());
    EXPECT_TRUE(strReceived == strFrame);
}

TEST(Win32PortDriver, WriteThatCannotGoOutFailsAtTheWriteLimit)
{
    // The other end never reads, and the pipe holds only a little.
    CPipeServer server(64);
    ASSERT_TRUE(server.IsValid());
    constexpr DWORD LIMIT_MS = 400;
    CWin32PortDriver driver(LIMIT_MS);
    PORT_HANDLE hPort = driver.Open(server.Name());
    ASSERT_NE(hPort, INVALID_PORT) << GetLastErrorText();
    ASSERT_TRUE(server.Accept());

    std::vector<BYTE> frame(65536, 0x5A);
    DWORD dwWritten = 12345;
    auto tpStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(driver.Write(hPort, frame.data(), static_cast<DWORD>(frame.size()), &dwWritten));
    long long llElapsed = MsSince(tpStart);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(GetLastErrorText(), SystemText(ERROR_TIMEOUT));
    EXPECT_LT(dwWritten, frame.size());
    EXPECT_GE(llElapsed, LIMIT_MS - 20);
    EXPECT_LT(llElapsed, LIMIT_MS + 5000);
    driver.Close(hPort);
}

TEST(Win32PortDriver, TimeoutsAreKeptPerPortAndUnknownHandlesAreRefused)
{
    CWin32PortDriver driver;
    CTempFile fileA("a");
    CTempFile fileB("b");
    PORT_HANDLE hA = driver.Open(fileA.Path());
    PORT_HANDLE hB = driver.Open(fileB.Path());
    ASSERT_NE(hA, INVALID_PORT);
    ASSERT_NE(hB, INVALID_PORT);

    PORT_TIMEOUTS timeouts{};
    ASSERT_TRUE(driver.GetTimeouts(hA, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 100u);
    PORT_TIMEOUTS set{0xFFFFFFFFu, 0xFFFFFFFFu, 250};
    ASSERT_TRUE(driver.SetTimeouts(hA, &set));
    ASSERT_TRUE(driver.GetTimeouts(hA, &timeouts));
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0xFFFFFFFFu);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 250u);
    ASSERT_TRUE(driver.GetTimeouts(hB, &timeouts));
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 100u) << "the other port keeps its own";

    driver.Close(hA);
    BYTE buf[4];
    DWORD dwCount = 0;
    const PORT_HANDLE UNKNOWN[] = {hA, INVALID_PORT, 0x1234};
    for (PORT_HANDLE hPort : UNKNOWN)
    {
        EXPECT_FALSE(driver.GetTimeouts(hPort, &timeouts));
        EXPECT_FALSE(driver.SetTimeouts(hPort, &set));
        EXPECT_FALSE(driver.Read(hPort, buf, sizeof(buf), &dwCount));
        EXPECT_FALSE(driver.Write(hPort, buf, sizeof(buf), &dwCount));
        EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    driver.Close(hB);
}
