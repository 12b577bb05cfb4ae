// The WinUSB loader against the test "WinUsb.dll" libraries beside this program
// (pipes in memory behind the documented entry points), one without any library,
// and the link's bulk path over them on a 6.0 host.
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "platform/Platform.h"
#include "platform/win32/Win32PortDriver.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinUsbBulk.h"
#include "support/RecordingMessageBox.h"
#include "support/VersionHost.h"
#include "windows/winusb/TestWinUsbExports.h"

namespace
{
constexpr DWORD WRITE_LIMIT_MS = 400;

std::wstring FolderOf(HMODULE hModule)
{
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(hModule, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L"\\/"));
}

// A path beside this program, UTF-8.
std::string BesideProgram(const char* pszRelative)
{
    return WideToUtf8(FolderOf(nullptr).c_str()) + "\\" + pszRelative;
}

long long MsSince(std::chrono::steady_clock::time_point tpStart)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart).count();
}

// The test library found by its name, a fresh device, and a device file opened by
// the port driver for the interface to be made on.
class WinUsbFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Bulk.Load()) << GetLastErrorText();
        // A reference of the test's own: the link unloads the library at its end, and
        // the test reads the device afterwards.
        m_hLibrary = LoadLibraryW(L"WinUsb.dll");
        ASSERT_NE(m_hLibrary, nullptr);
        Resolve("VuqTestWinUsb_Reset", &m_pfnReset);
        Resolve("VuqTestWinUsb_SetPipes", &m_pfnSetPipes);
        Resolve("VuqTestWinUsb_QueueIn", &m_pfnQueueIn);
        Resolve("VuqTestWinUsb_Written", &m_pfnWritten);
        Resolve("VuqTestWinUsb_SetWritesStall", &m_pfnSetWritesStall);
        Resolve("VuqTestWinUsb_Calls", &m_pfnCalls);
        Resolve("VuqTestWinUsb_Device", &m_pfnDevice);
        ASSERT_TRUE(m_pfnReset && m_pfnSetPipes && m_pfnQueueIn && m_pfnWritten && m_pfnSetWritesStall &&
                    m_pfnCalls && m_pfnDevice)
            << "the test library beside the program, not another WinUsb.dll";
        m_pfnReset();

        char szDir[MAX_PATH];
        GetTempPathA(MAX_PATH, szDir);
        m_strDevice = std::string(szDir) + "vuq-winusb-" + std::to_string(GetCurrentProcessId()) + ".dev";
        HANDLE hFile = CreateFileA(m_strDevice.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(hFile);
    }
    void TearDown() override
    {
        if (m_pfnSetWritesStall != nullptr)
            m_pfnSetWritesStall(FALSE);
        DeleteFileA(m_strDevice.c_str());
        if (m_hLibrary != nullptr)
            FreeLibrary(m_hLibrary);
    }

    template <typename PFN>
    void Resolve(const char* pszName, PFN* ppfn)
    {
        FARPROC pfnFound = GetProcAddress(m_hLibrary, pszName);
        std::memcpy(ppfn, &pfnFound, sizeof(*ppfn));
    }
    std::string Calls()
    {
        char szCalls[4096];
        m_pfnCalls(szCalls, sizeof(szCalls));
        return szCalls;
    }
    std::vector<BYTE> Written(UCHAR bPipeId)
    {
        std::vector<BYTE> data(65536);
        data.resize(static_cast<size_t>(m_pfnWritten(bPipeId, data.data(), static_cast<int>(data.size()))));
        return data;
    }
    void QueueIn(const std::string& strTransfer)
    {
        m_pfnQueueIn(reinterpret_cast<const BYTE*>(strTransfer.data()), static_cast<int>(strTransfer.size()));
    }

    CWinUsbBulk m_Bulk{"WinUsb.dll", WRITE_LIMIT_MS};
    CWin32PortDriver m_Driver{WRITE_LIMIT_MS};
    HMODULE m_hLibrary = nullptr;
    std::string m_strDevice;
    PFN_VUQ_TEST_WINUSB_RESET m_pfnReset = nullptr;
    PFN_VUQ_TEST_WINUSB_SET_PIPES m_pfnSetPipes = nullptr;
    PFN_VUQ_TEST_WINUSB_QUEUE_IN m_pfnQueueIn = nullptr;
    PFN_VUQ_TEST_WINUSB_WRITTEN m_pfnWritten = nullptr;
    PFN_VUQ_TEST_WINUSB_SET_WRITES_STALL m_pfnSetWritesStall = nullptr;
    PFN_VUQ_TEST_WINUSB_CALLS m_pfnCalls = nullptr;
    PFN_VUQ_TEST_WINUSB_DEVICE m_pfnDevice = nullptr;
};
}

TEST_F(WinUsbFixture, LibraryIsLoadedByNameFromTheProgramsFolderWithItsSevenEntryPoints)
{
    EXPECT_EQ(FolderOf(m_hLibrary), FolderOf(nullptr));
    for (int nEntry = 0; nEntry < BULK_ENTRY_POINT_COUNT; ++nEntry)
        EXPECT_TRUE(m_Bulk.Resolve(nEntry)) << nEntry;
    EXPECT_FALSE(m_Bulk.Resolve(BULK_ENTRY_POINT_COUNT));
    EXPECT_FALSE(m_Bulk.Resolve(-1));
    EXPECT_TRUE(m_Bulk.Load()) << "a second load keeps the library";
}

TEST_F(WinUsbFixture, InterfaceOnThePortsDeviceListsItsSettingsAndPipes)
{
    const WINUSB_PIPE_INFORMATION_RECORD PIPES[] = {
        {PIPE_TYPE_BULK, 0x81, 512, 0}, {PIPE_TYPE_INTERRUPT, 0x83, 16, 4}, {PIPE_TYPE_BULK, 0x02, 64, 0}};
    m_pfnSetPipes(PIPES, 3);
    PORT_HANDLE hPort = m_Driver.Open(m_strDevice.c_str());
    ASSERT_NE(hPort, INVALID_PORT) << GetLastErrorText();
    BULK_HANDLE hUsb = nullptr;
    ASSERT_TRUE(m_Bulk.Initialize(hPort, &hUsb)) << GetLastErrorText();
    EXPECT_EQ(reinterpret_cast<PORT_HANDLE>(m_pfnDevice()), hPort) << "the port's own file handle";

    USB_INTERFACE_DESCRIPTOR descriptor{};
    ASSERT_TRUE(m_Bulk.QueryInterfaceSettings(hUsb, 0, &descriptor));
    EXPECT_EQ(descriptor.bLength, 9);
    EXPECT_EQ(descriptor.bDescriptorType, 4);
    EXPECT_EQ(descriptor.bNumEndpoints, 3);
    EXPECT_EQ(descriptor.bInterfaceClass, 0xFF);
    EXPECT_EQ(descriptor.bInterfaceSubClass, 0x42);
    EXPECT_EQ(descriptor.bInterfaceProtocol, 0x01);
    EXPECT_EQ(descriptor.iInterface, 3);
    EXPECT_FALSE(m_Bulk.QueryInterfaceSettings(hUsb, 1, &descriptor));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    for (BYTE bIndex = 0; bIndex < 3; ++bIndex)
    {
        SCOPED_TRACE(bIndex);
        WINUSB_PIPE_INFORMATION pipe{};
        ASSERT_TRUE(m_Bulk.QueryPipe(hUsb, 0, bIndex, &pipe));
        EXPECT_EQ(pipe.PipeType, PIPES[bIndex].PipeType);
        EXPECT_EQ(pipe.PipeId, PIPES[bIndex].PipeId);
        EXPECT_EQ(pipe.MaximumPacketSize, PIPES[bIndex].MaximumPacketSize);
        EXPECT_EQ(pipe.Interval, PIPES[bIndex].Interval);
    }
    WINUSB_PIPE_INFORMATION pipe{};
    EXPECT_FALSE(m_Bulk.QueryPipe(hUsb, 0, 3, &pipe));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    EXPECT_TRUE(m_Bulk.Free(hUsb));
    m_Driver.Close(hPort);
    EXPECT_EQ(Calls(), "Initialize\nFree\n");
}

TEST_F(WinUsbFixture, WritesReadsAndFlushesGoThroughThePipesWithTheirTimeLimits)
{
    PORT_HANDLE hPort = m_Driver.Open(m_strDevice.c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    BULK_HANDLE hUsb = nullptr;
    ASSERT_TRUE(m_Bulk.Initialize(hPort, &hUsb));

    const BYTE FRAME[] = {0x39, 0, 0, 0, 10, 0, 0, 0, 0x39, 0};
    DWORD dwDone = 0;
    ASSERT_TRUE(m_Bulk.WritePipe(hUsb, 0x02, FRAME, sizeof(FRAME), &dwDone));
    EXPECT_EQ(dwDone, sizeof(FRAME));
    ASSERT_TRUE(m_Bulk.WritePipe(hUsb, 0x02, FRAME, 4, &dwDone));
    std::vector<BYTE> expected(FRAME, FRAME + sizeof(FRAME));
    expected.insert(expected.end(), FRAME, FRAME + 4);
    EXPECT_EQ(Written(0x02), expected);

    // A read smaller than the transfer leaves the rest for the next read; a flush
    // discards what the host holds.
    QueueIn("Reserved region ok.\n");
    QueueIn("OS program ok!\n");
    BYTE buf[64];
    ASSERT_TRUE(m_Bulk.ReadPipe(hUsb, 0x81, buf, 4, &dwDone));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), dwDone), "Rese");
    ASSERT_TRUE(m_Bulk.ReadPipe(hUsb, 0x81, buf, 4, &dwDone));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), dwDone), "rved");
    ASSERT_TRUE(m_Bulk.FlushPipe(hUsb, 0x81));
    ASSERT_TRUE(m_Bulk.ReadPipe(hUsb, 0x81, buf, sizeof(buf), &dwDone));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), dwDone), "OS program ok!\n");

    EXPECT_TRUE(m_Bulk.Free(hUsb));
    m_Driver.Close(hPort);
    EXPECT_EQ(Calls(), "Initialize\n"
                       "SetPipePolicy 0x02 timeout 400\n"
                       "WritePipe 0x02 10\n"
                       "WritePipe 0x02 4\n"
                       "SetPipePolicy 0x81 timeout 100\n"
                       "FlushPipe 0x81\n"
                       "Free\n");
}

TEST_F(WinUsbFixture, QuietReadReturnsEmptyAndAStalledWriteFailsAtTheLimit)
{
    PORT_HANDLE hPort = m_Driver.Open(m_strDevice.c_str());
    ASSERT_NE(hPort, INVALID_PORT);
    BULK_HANDLE hUsb = nullptr;
    ASSERT_TRUE(m_Bulk.Initialize(hPort, &hUsb));

    BYTE buf[16];
    DWORD dwDone = 99;
    auto tpStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(m_Bulk.ReadPipe(hUsb, 0x81, buf, sizeof(buf), &dwDone)) << GetLastErrorText();
    long long llElapsed = MsSince(tpStart);
    EXPECT_EQ(dwDone, 0u);
    EXPECT_GE(llElapsed, 90);
    EXPECT_LT(llElapsed, 3000);

    m_pfnSetWritesStall(TRUE);
    std::vector<BYTE> piece(12288, 0x11);
    tpStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_Bulk.WritePipe(hUsb, 0x02, piece.data(), static_cast<DWORD>(piece.size()), &dwDone));
    llElapsed = MsSince(tpStart);
    EXPECT_EQ(dwDone, 0u);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_SEM_TIMEOUT));
    EXPECT_NE(std::string(GetLastErrorText()), "");
    EXPECT_GE(llElapsed, WRITE_LIMIT_MS - 20);
    EXPECT_LT(llElapsed, WRITE_LIMIT_MS + 3000);

    EXPECT_TRUE(m_Bulk.Free(hUsb));
    m_Driver.Close(hPort);
}

TEST(WinUsbBulk, MissingEntryPointsAreNotResolvedAndTheirCallsFail)
{
    struct CASE
    {
        const char* pszLibrary;
        int nMissing;
    };
    const CASE CASES[] = {{"winusb-no-flush\\WinUsb.dll", BULK_FLUSH_PIPE},
                          {"winusb-no-query-pipe\\WinUsb.dll", BULK_QUERY_PIPE}};
    for (const CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszLibrary);
        CWinUsbBulk bulk(BesideProgram(c.pszLibrary).c_str());
        ASSERT_TRUE(bulk.Load()) << GetLastErrorText();
        for (int nEntry = 0; nEntry < BULK_ENTRY_POINT_COUNT; ++nEntry)
            EXPECT_EQ(bulk.Resolve(nEntry), nEntry != c.nMissing) << nEntry;
        // The missing entry point is refused before its arguments are looked at.
        WINUSB_PIPE_INFORMATION pipe{};
        bool bCalled = c.nMissing == BULK_FLUSH_PIPE ? bulk.FlushPipe(nullptr, 0x81)
                                                     : bulk.QueryPipe(nullptr, 0, 0, &pipe);
        EXPECT_FALSE(bCalled);
        EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        bulk.Unload();
        EXPECT_FALSE(bulk.Resolve(BULK_INITIALIZE));
    }
}

TEST(WinUsbBulk, WithoutTheLibraryNothingLoadsAndNothingIsCalled)
{
    CWinUsbBulk bulk("C:\\vuq-no-such-folder\\WinUsb.dll");
    EXPECT_FALSE(bulk.Load());
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_NE(std::string(GetLastErrorText()), "");
    EXPECT_FALSE(bulk.Resolve(BULK_INITIALIZE));
    BULK_HANDLE hUsb = nullptr;
    EXPECT_FALSE(bulk.Initialize(0x40, &hUsb));
    EXPECT_EQ(hUsb, nullptr);
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

// The link's bulk path on a 6.0 host: the port driver opens the device file, the
// interface is made on it, a frame goes out in pieces and a reply line comes back.
TEST_F(WinUsbFixture, LinkSendsAFrameAndReadsAReplyOverWinUsb)
{
    CClock clock(10);
    CVersionHost vista(true, 6, 0);
    CRecordingMessageBox boxes;
    PlatformContext context;
    context.pClock = &clock;
    context.pPortDriver = &m_Driver;
    context.pBulkUsb = &m_Bulk;
    context.pHostVersion = &vista;
    context.pMessageBox = &boxes;
    {
        CDownloader link(context);
        ASSERT_EQ(link.m_osVersion, OS_VISTA);
        EXPECT_TRUE(boxes.Texts().empty());
        link.AddUSB(m_strDevice.c_str());
        ASSERT_TRUE(link.OpenUSB(0)) << GetLastErrorText();
        const PortInfo& port = link.m_PortInfo[0];
        EXPECT_EQ(port.InPipeId, 0x81);
        EXPECT_EQ(port.OutPipeId, 0x02);
        EXPECT_EQ(port.InMaxPacketSize, 512u);
        EXPECT_EQ(reinterpret_cast<PORT_HANDLE>(m_pfnDevice()), port.hOut);

        std::vector<BYTE> buf(12289 + 10, 0x01);
        COSUtil util;
        util.m_pBuf = buf.data();
        util.m_nBufLen = static_cast<DWORD>(buf.size());
        EXPECT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_OK);
        EXPECT_EQ(Written(0x02), buf) << "the frame as the link built it in place";

        QueueIn("Reserved region ok.\n");
        EXPECT_TRUE(link.WaitAndProcessResponse(0, ID_RESERVEOK));

        link.ClosePort(0);
        // The device file is free again once the port is closed.
        PORT_HANDLE hAgain = m_Driver.Open(m_strDevice.c_str());
        EXPECT_NE(hAgain, INVALID_PORT);
        m_Driver.Close(hAgain);
    }
    std::string strCalls = Calls();
    EXPECT_EQ(strCalls.substr(0, std::strlen("Initialize\nSetPipePolicy 0x02 timeout 400\nWritePipe 0x02 12288\n"
                                             "WritePipe 0x02 11\n")),
              "Initialize\nSetPipePolicy 0x02 timeout 400\nWritePipe 0x02 12288\nWritePipe 0x02 11\n");
    EXPECT_NE(strCalls.find("FlushPipe 0x81\n"), std::string::npos);
    EXPECT_EQ(strCalls.substr(strCalls.size() - 5), "Free\n");
}
