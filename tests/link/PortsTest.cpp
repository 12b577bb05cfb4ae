#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "image/OSUtil.h"
#include "link/DeviceChange.h"
#include "link/Downloader.h"
#include "link/LinkFakes.h"
#include "platform/sim/MemoryBulkUsb.h"
#include "platform/sim/SimPortBus.h"
#include "platform/sim/SimPortDriver.h"
#include "support/TraceCapture.h"

namespace
{
class PortsFixture : public CLinkTest
{
};

// A port driver over another whose first close, once it has said so, takes a
// while before the device is let go: the moment a probe's handle is still open.
class CSlowFirstCloseDriver : public IPortDriver
{
public:
    explicit CSlowFirstCloseDriver(IPortDriver& inner) : m_Inner(inner) {}

    PORT_HANDLE Open(const char* pszName) override { return m_Inner.Open(pszName); }
    bool Read(PORT_HANDLE hPort, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override
    {
        return m_Inner.Read(hPort, pBuf, dwLen, pdwRead);
    }
    bool Write(PORT_HANDLE hPort, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override
    {
        return m_Inner.Write(hPort, pBuf, dwLen, pdwWritten);
    }
    bool GetTimeouts(PORT_HANDLE hPort, PORT_TIMEOUTS* pTimeouts) override
    {
        return m_Inner.GetTimeouts(hPort, pTimeouts);
    }
    bool SetTimeouts(PORT_HANDLE hPort, const PORT_TIMEOUTS* pTimeouts) override
    {
        return m_Inner.SetTimeouts(hPort, pTimeouts);
    }
    void Close(PORT_HANDLE hPort) override
    {
        if (m_bFirst.exchange(false))
        {
            Closing.Set();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        m_Inner.Close(hPort);
    }

    CEvent Closing{true, false};

private:
    IPortDriver& m_Inner;
    std::atomic<bool> m_bFirst{true};
};
}

TEST_F(PortsFixture, HostVersionSelectsTheTransport)
{
    struct CASE
    {
        bool bKnown;
        DWORD dwMajor;
        DWORD dwMinor;
        int nVersion;
        const char* pszTrace;
    };
    const CASE cases[] = {
        {true, 5, 0, OS_WIN2000, "os version is windows 2000"}, {true, 5, 1, OS_WINXP, "os version is windows XP"},
        {true, 6, 0, OS_VISTA, "os version is windows VISTA"},  {true, 5, 2, OS_OTHERS, "os version is others"},
        {true, 6, 1, OS_OTHERS, "os version is others"},        {false, 6, 0, OS_OTHERS, "os version is others"},
    };
    CMemoryBulkUsb bulk;
    m_Context.pBulkUsb = &bulk;
    for (const CASE& c : cases)
    {
        CVersionHost host(c.bKnown, c.dwMajor, c.dwMinor);
        m_Context.pHostVersion = &host;
        CTraceCapture capture;
        int nLoads = bulk.LoadCount();
        CDownloader link(m_Context);
        EXPECT_EQ(link.m_osVersion, c.nVersion);
        EXPECT_TRUE(capture.Contains(c.pszTrace));
        EXPECT_EQ(bulk.LoadCount() - nLoads, c.nVersion == OS_VISTA ? 1 : 0) << "the library loads on 6.0 only";
        EXPECT_STREQ(link.m_PortInfo[0].FileName, "\\\\.\\wceusbsh000");
        EXPECT_FALSE(link.m_PortInfo[0].bConnected);
        EXPECT_EQ(link.m_PortInfo[0].hOut, INVALID_PORT);
    }
    m_Context.pHostVersion = nullptr;
    CDownloader noHost(m_Context);
    EXPECT_EQ(noHost.m_osVersion, OS_OTHERS);
}

TEST_F(PortsFixture, CheckPausesAfterEveryAttemptAlsoAfterASuccess)
{
    CDownloader link(m_Context);
    link.AddUSB("/dev/ttyACM0");
    EXPECT_TRUE(link.CheckUSBConnection());
    EXPECT_EQ(m_Clock.Sleeps(), std::vector<DWORD>{100});
    EXPECT_EQ(m_Driver.Closed.size(), 1u) << "the probe handle is closed again";

    m_Driver.nOpenFailures = 1001;
    CTraceCapture capture;
    EXPECT_FALSE(link.CheckUSBConnection());
    EXPECT_EQ(m_Clock.Sleeps().size(), 1u + 1001u);
    EXPECT_TRUE(capture.Contains("USB Handle create retrycount = 1000"));
    EXPECT_FALSE(capture.Contains("USB Handle create retrycount = 1001"));
    SetLastErrorCondition(std::errc::no_such_file_or_directory);
    EXPECT_TRUE(capture.Contains(std::string("USB Handle create fail\r\n LastError = ") + GetLastErrorText()));
    EXPECT_EQ(capture.Lines().back(), "CDownloader :: CheckUSBConnection--");
}

TEST_F(PortsFixture, ArrivalEventRules)
{
    CDownloader link(m_Context);
    CEvent& arrival = *link.m_PortInfo[0].hArrivalEvent;

    // No port, no arrival: the wait runs out.
    CTraceCapture capture;
    EXPECT_EQ(link.WaitForAnyUSBConnect(), -1);
    EXPECT_TRUE(capture.Contains("can't get any usb handle"));
    EXPECT_EQ(m_Clock.Waits(), std::vector<DWORD>{60000});

    // A connected port is taken at once and the event keeps its signal.
    link.AddUSB("/dev/a");
    arrival.Set();
    EXPECT_EQ(link.WaitForAnyUSBConnect(), 0);
    EXPECT_TRUE(arrival.IsSignalled());

    // That arrival is taken by the next wait that finds the port cleared.
    link.ClosePort(0);
    EXPECT_EQ(link.WaitForAnyUSBConnect(), 0);
    EXPECT_FALSE(arrival.IsSignalled()) << "auto-reset: taken by the wait";
    EXPECT_EQ(link.WaitForAnyUSBConnect(), -1);
}

TEST_F(PortsFixture, AnArrivalOfAGoneDeviceIsNotTakenForAPort)
{
    // The first arrival is signalled while the worker already holds the port, so no
    // wait takes it. After the handset has left, that old signal must not pass for
    // its return: the wait goes on until the time runs out.
    CDownloader link(m_Context);
    link.AddUSB("/dev/a");
    link.m_PortInfo[0].hArrivalEvent->Set();
    ASSERT_TRUE(link.OpenUSB(0));
    link.RemoveUSB("/dev/a");
    link.ClosePort(0);

    CTraceCapture capture;
    EXPECT_EQ(link.WaitForAnyUSBConnect(), -1);
    EXPECT_TRUE(capture.Contains("arrival of a device that is gone again, waiting on"));
    EXPECT_TRUE(capture.Contains("can't get any usb handle"));
    EXPECT_EQ(m_Clock.GetTickCount(), 60000u) << "the whole 60 s, not more";
}

TEST_F(PortsFixture, AHandsetBackBeforeTheOldPortIsClosedStaysConnected)
{
    // The handset leaves and is back before the worker closes the port it used, on
    // a new node or under the same stable name: closing the old port must not
    // forget the new one.
    for (const char* pszReturnName : {"/dev/b", "/dev/a"})
    {
        CDownloader link(m_Context);
        link.AddUSB("/dev/a");
        ASSERT_TRUE(link.OpenUSB(0));
        link.RemoveUSB("/dev/a");
        link.AddUSB(pszReturnName);
        link.m_PortInfo[0].hArrivalEvent->Set();
        link.ClosePort(0);

        EXPECT_TRUE(link.m_PortInfo[0].bConnected) << pszReturnName;
        EXPECT_EQ(link.WaitForAnyUSBConnect(), 0);
        EXPECT_EQ(link.WaitForAnyUSBConnect(), 0) << "the next phase's wait finds it too";
        ASSERT_TRUE(link.OpenUSB(0));
        EXPECT_EQ(m_Driver.Opened.back(), pszReturnName);

        // Closing a port whose device is still the one it was opened on clears it.
        link.ClosePort(0);
        EXPECT_FALSE(link.m_PortInfo[0].bConnected) << pszReturnName;
    }
}

TEST_F(PortsFixture, TheWorkersOpenNeverMeetsTheChecksHandle)
{
    // The arrival check opens the device and closes it again; the worker, told of
    // the arrival when AddUSB ran, may open the port meanwhile. On an exclusive
    // device its open must wait for the check's close, not fail as busy.
    CSimPortBus bus;
    std::unique_ptr<IHandsetEndpoint> pEndpoint = bus.OpenEndpoint();
    ASSERT_TRUE(pEndpoint);
    pEndpoint->Attach();
    CSimPortDriver exclusive(bus);
    CSlowFirstCloseDriver driver(exclusive);
    m_Context.pPortDriver = &driver;
    CDownloader link(m_Context);
    link.AddUSB(pEndpoint->Name().c_str());

    std::thread check([&link] { EXPECT_TRUE(link.CheckUSBConnection(0, 1, nullptr)); });
    ASSERT_EQ(driver.Closing.WaitReal(std::chrono::seconds(5), false), EVENT_SIGNALLED);
    EXPECT_TRUE(link.OpenUSB(0)) << "opened while the check still held the device";
    check.join();
    link.ClosePort(0);
}

TEST_F(PortsFixture, OpenRemoveAndClose)
{
    CDownloader link(m_Context);
    link.AddUSB("/dev/a");
    ASSERT_TRUE(link.OpenUSB(0));
    PORT_HANDLE hOut = link.m_PortInfo[0].hOut;
    EXPECT_NE(hOut, INVALID_PORT);
    EXPECT_TRUE(link.OpenUSB(0)) << "a second open returns the open port";
    EXPECT_EQ(m_Driver.Opened.size(), 1u);

    link.RemoveUSB("/dev/a");
    EXPECT_FALSE(link.m_PortInfo[0].bConnected);
    EXPECT_STREQ(link.m_PortInfo[0].FileName, "");
    EXPECT_EQ(link.m_PortInfo[0].hOut, hOut) << "removal leaves the handle to ClosePort";

    link.ClosePort(0);
    EXPECT_EQ(link.m_PortInfo[0].hOut, INVALID_PORT);
    EXPECT_EQ(m_Driver.Closed, std::vector<PORT_HANDLE>{hOut});
    EXPECT_FALSE(link.OpenUSB(1));
    EXPECT_FALSE(link.OpenUSB(-1));
    link.ClosePort(5);   // ignored
}

TEST_F(PortsFixture, NamesOf260CharactersOrMoreAreRefused)
{
    CDownloader link(m_Context);
    CDeviceChangeHandler handler(link);
    std::string strFits(259, 'n');
    link.AddUSB(strFits.c_str());
    EXPECT_TRUE(link.m_PortInfo[0].bConnected);
    EXPECT_EQ(std::string(link.m_PortInfo[0].FileName), strFits);

    for (size_t nLen : {260u, 400u})
    {
        std::string strLong(nLen, 'l');
        size_t nOpens = m_Driver.Opened.size();
        EXPECT_FALSE(handler.HandleArrival(strLong.c_str()));
        EXPECT_FALSE(link.m_PortInfo[0].bConnected);
        EXPECT_STREQ(link.m_PortInfo[0].FileName, "");
        EXPECT_FALSE(link.m_PortInfo[0].hArrivalEvent->IsSignalled());
        EXPECT_EQ(m_Driver.Opened.size(), nOpens) << "nothing is opened under a cut name";
    }
}

constexpr DWORD DESK_WAIT_MS = 20000;   // real-time limit of the test's own waits

TEST_F(PortsFixture, DeviceChangeHandlerSignalsArrivalsAndRemovals)
{
    CDownloader link(m_Context);
    CDeviceChangeHandler handler(link);
    {
        CTraceCapture capture;
        EXPECT_TRUE(handler.HandleArrival("/dev/ttyACM0"));
        EXPECT_TRUE(link.m_PortInfo[0].hArrivalEvent->IsSignalled());
        EXPECT_TRUE(link.m_PortInfo[0].bConnected);
        EXPECT_EQ(capture.Find("WindowProc : message == WM_DEVICECHANGE"), 0);
        EXPECT_EQ(capture.Find("WindowProc : wParam == DBT_DEVICEARRIVAL && lParam!=0"), 1);
        EXPECT_EQ(capture.Find("CDownloader :: AddUSB ++ (/dev/ttyACM0)"), 2);
    }
    link.m_PortInfo[0].hArrivalEvent->Reset();

    // An arrival that cannot be opened: added, checked on in the background (the
    // manual clock lets its 1000 further attempts pass at once), removed again, no
    // event.
    m_Driver.nOpenFailures = 1001;
    EXPECT_FALSE(handler.HandleArrival("/dev/ttyACM1"));
    ASSERT_TRUE(handler.WaitForCheck(DESK_WAIT_MS));
    EXPECT_EQ(m_Driver.Opened.size(), 1u + 1001u) << "every attempt of the check was made";
    EXPECT_FALSE(link.m_PortInfo[0].hArrivalEvent->IsSignalled());
    EXPECT_FALSE(link.m_PortInfo[0].bConnected);
    EXPECT_STREQ(link.m_PortInfo[0].FileName, "");

    CTraceCapture capture;
    handler.OnDeviceRemoval("/dev/ttyACM0");
    EXPECT_TRUE(link.m_PortInfo[0].hRemovalEvent->IsSignalled());
    EXPECT_TRUE(capture.Contains("WindowProc : wParam == DBT_DEVICEREMOVECOMPLETE && lParam!=0"));
    EXPECT_TRUE(capture.Contains("CDownloader :: RemoveUSB ++ (/dev/ttyACM0) "));
    EXPECT_FALSE(handler.HandleArrival(nullptr));
}

// A device that comes back unopenable is checked for up to 100 s; meanwhile the
// notifier's thread must go on: a removal, a later arrival and the handler's end
// each stop the check instead of waiting for it.
TEST_F(PortsFixture, AnUnopenableArrivalDoesNotHoldUpLaterDeviceEvents)
{
    CClock realTime(1);
    m_Context.pClock = &realTime;
    CDownloader link(m_Context);
    m_Driver.nOpenFailures = 1000000;
    {
        CDeviceChangeHandler handler(link);
        EXPECT_FALSE(handler.HandleArrival("/dev/ttyACM0"));
        EXPECT_TRUE(handler.IsChecking()) << "the arrival returned while its check goes on";
        EXPECT_FALSE(handler.HandleRemoval("/dev/ttyACM0"));
        EXPECT_FALSE(handler.IsChecking()) << "the removal stopped the check";
        EXPECT_TRUE(link.m_PortInfo[0].hRemovalEvent->IsSignalled());
        EXPECT_STREQ(link.m_PortInfo[0].FileName, "");

        // A device that opens at its next attempt, arriving while another check runs.
        EXPECT_FALSE(handler.HandleArrival("/dev/ttyACM1"));
        EXPECT_TRUE(handler.IsChecking());
        m_Driver.nOpenFailures = 0;
        EXPECT_TRUE(handler.HandleArrival("/dev/ttyACM2"));
        EXPECT_TRUE(link.m_PortInfo[0].hArrivalEvent->IsSignalled());
        EXPECT_STREQ(link.m_PortInfo[0].FileName, "/dev/ttyACM2") << "the stopped check removed nothing";

        m_Driver.nOpenFailures = 1000000;
        EXPECT_FALSE(handler.HandleArrival("/dev/ttyACM3"));
        EXPECT_TRUE(handler.IsChecking());
    }   // the handler ends with a check running
    EXPECT_TRUE(link.m_PortInfo[0].bConnected) << "an ended check leaves the port as it was";
}

// ---- bulk path -------------------------------------------------------------

namespace
{
class BulkFixture : public PortsFixture
{
protected:
    void SetUp() override
    {
        PortsFixture::SetUp();
        m_Context.pHostVersion = &m_Vista;
        m_Context.pBulkUsb = &m_Bulk;
    }
    CVersionHost m_Vista{true, 6, 0};
    CMemoryBulkUsb m_Bulk;
};
}

TEST_F(BulkFixture, MissingLibraryShowsItsBoxAndOpenFailsWithoutCallingIn)
{
    m_Bulk.SetLoadFails(true);
    {
        CTraceCapture capture;
        CDownloader link(m_Context);
        EXPECT_EQ(link.m_osVersion, OS_VISTA);
        EXPECT_TRUE(capture.Contains("LoadLibrary winusb.dll fail"));
        EXPECT_TRUE(capture.Contains("InitializeWinUsb fail"));
        ASSERT_EQ(m_Box.Boxes().size(), 1u);
        EXPECT_EQ(m_Box.Boxes()[0].strText, "LoadLibrary failed, winusb.dll not exist.");
        EXPECT_EQ(m_Box.Boxes()[0].strCaption, "ERROR");

        link.AddUSB("/dev/bus/usb/001/002");
        EXPECT_FALSE(link.OpenUSB(0));
        std::vector<BYTE> buf(20);
        COSUtil util;
        util.m_pBuf = buf.data();
        util.m_nBufLen = 20;
        EXPECT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_WRITE_FAILED);
        char szReply[REPLY_BUFFER_SIZE] = {};
        EXPECT_FALSE(link.GetResponse(0, szReply));
    }
    EXPECT_EQ(m_Bulk.InitializeCount(), 0);
    EXPECT_TRUE(m_Bulk.Writes().empty());
    EXPECT_EQ(m_Bulk.FreeCount(), 0);
    EXPECT_EQ(m_Bulk.UnloadCount(), 0);
}

TEST_F(BulkFixture, MissingEntryPointsFailTheOpenButOnlyFlushIsOptional)
{
    m_Bulk.SetMissingEntryPoint(BULK_QUERY_PIPE);
    {
        CTraceCapture capture;
        CDownloader link(m_Context);
        EXPECT_TRUE(capture.Contains("GetProcAddress (WinUSB) fail"));
        link.AddUSB("/dev/bus/usb/001/002");
        EXPECT_FALSE(link.OpenUSB(0));
    }
    EXPECT_EQ(m_Bulk.InitializeCount(), 0);
    EXPECT_EQ(m_Bulk.UnloadCount(), 1) << "the loaded library is unloaded at destruction";

    CMemoryBulkUsb noFlush;
    noFlush.SetMissingEntryPoint(BULK_FLUSH_PIPE);
    m_Context.pBulkUsb = &noFlush;
    CDownloader link(m_Context);
    link.AddUSB("/dev/bus/usb/001/002");
    ASSERT_TRUE(link.OpenUSB(0));
    noFlush.QueueInText("OS program ok!\n");
    char szReply[REPLY_BUFFER_SIZE] = {};
    EXPECT_TRUE(link.GetResponse(0, szReply));
    EXPECT_EQ(noFlush.FlushCount(), 0);
}

// Each opening on the bulk path makes an interface on the device file. Closing the
// port frees that interface, before the file it was made from; a later opening (the
// handset back after phase 1) makes and frees its own.
TEST_F(BulkFixture, ClosingThePortFreesItsInterfaceBeforeItsFile)
{
    class CCloseWatch : public CRecordingPortDriver
    {
    public:
        explicit CCloseWatch(CMemoryBulkUsb& bulk) : m_Bulk(bulk) {}
        void Close(PORT_HANDLE hPort) override
        {
            FreesAtClose.push_back(m_Bulk.FreeCount());
            CRecordingPortDriver::Close(hPort);
        }
        std::vector<int> FreesAtClose;

    private:
        CMemoryBulkUsb& m_Bulk;
    };
    CCloseWatch driver(m_Bulk);
    m_Context.pPortDriver = &driver;
    {
        CDownloader link(m_Context);
        for (int nOpening = 1; nOpening <= 2; ++nOpening)
        {
            link.AddUSB("/dev/bus/usb/001/002");
            ASSERT_TRUE(link.OpenUSB(0));
            link.ClosePort(0);
            EXPECT_EQ(m_Bulk.FreeCount(), nOpening);
            EXPECT_EQ(link.m_PortInfo[0].hWinUsb, nullptr);
        }
        // An interface whose settings cannot be read is freed with its port too.
        m_Bulk.SetQuerySettingsFails(31);
        link.AddUSB("/dev/bus/usb/001/002");
        EXPECT_FALSE(link.OpenUSB(0));
        link.ClosePort(0);
        EXPECT_EQ(m_Bulk.FreeCount(), 3);

        // One left open is released by the link's end, while the library is loaded.
        m_Bulk.SetQuerySettingsFails(0);
        link.AddUSB("/dev/bus/usb/001/002");
        ASSERT_TRUE(link.OpenUSB(0));
    }
    EXPECT_EQ(m_Bulk.FreeCount(), 4);
    EXPECT_EQ(driver.FreesAtClose, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(m_Bulk.UnloadCount(), 1);
}

TEST_F(BulkFixture, PipesAreSortedByDirectionAndTheLastBulkPipeWins)
{
    m_Bulk.SetPipes({{PIPE_TYPE_INTERRUPT, 0x83, 16, 1},
                     {PIPE_TYPE_BULK, 0x81, 64, 0},
                     {PIPE_TYPE_BULK, 0x02, 512, 0},
                     {PIPE_TYPE_BULK, 0x84, 1024, 0},
                     {PIPE_TYPE_ISOCHRONOUS, 0x06, 256, 1},
                     {PIPE_TYPE_BULK, 0x05, 64, 0}});
    CDownloader link(m_Context);
    link.AddUSB("/dev/bus/usb/001/002");
    ASSERT_TRUE(link.OpenUSB(0));
    const PortInfo& port = link.m_PortInfo[0];
    EXPECT_EQ(port.InPipeId, 0x84);
    EXPECT_EQ(port.InMaxPacketSize, 1024u);
    EXPECT_EQ(port.OutPipeId, 0x05);
    EXPECT_EQ(port.OutMaxPacketSize, 64u);
    EXPECT_EQ(port.InterfaceDescriptor.bNumEndpoints, 6);
    EXPECT_EQ(m_Bulk.InitializedDevice(), port.hOut);
}

TEST_F(BulkFixture, FramesAndRepliesTravelThroughThePipes)
{
    {
        CDownloader link(m_Context);
        link.AddUSB("/dev/bus/usb/001/002");
        ASSERT_TRUE(link.OpenUSB(0));
        std::vector<BYTE> buf(12279 + 10, 0x01);
        COSUtil util;
        util.m_pBuf = buf.data();
        util.m_nBufLen = static_cast<DWORD>(buf.size());
        EXPECT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_OK);
        std::vector<RECORDED_PIPE_WRITE> writes = m_Bulk.Writes();
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].bPipeId, 0x02);
        EXPECT_EQ(writes[0].Data.size(), 12288u);
        EXPECT_EQ(writes[1].Data.size(), 1u);
        EXPECT_EQ(m_Bulk.WrittenBytes(), buf);

        m_Bulk.QueueInText("Reserved region ok.\nOS program ok!\n");
        m_Bulk.SetReadFails(2, 5);
        EXPECT_TRUE(link.WaitAndProcessResponse(0, ID_RESERVEOK));
        EXPECT_EQ(m_Bulk.FlushCount(), 1) << "one flush per line";

        // A short pipe write ends the send with 18.
        m_Bulk.SetShortWrite(2);
        std::vector<BYTE> buf2(100, 0x02);
        util.m_pBuf = buf2.data();
        util.m_nBufLen = 100;
        EXPECT_EQ(link.ProcessDownload(&util, 0, 0), DOWNLOAD_WRITE_FAILED);
    }
    EXPECT_EQ(m_Bulk.FreeCount(), 1);
    EXPECT_EQ(m_Bulk.UnloadCount(), 1);
}

TEST_F(BulkFixture, AFailedInitializeKeepsTheFileOpenAndASecondOpenReturnsAtOnce)
{
    m_Bulk.SetInitializeFails(19);
    CDownloader link(m_Context);
    link.AddUSB("/dev/bus/usb/001/002");
    CTraceCapture capture;
    EXPECT_FALSE(link.OpenUSB(0));
    EXPECT_TRUE(capture.Contains("WinUSB_Initialize fail, cause = \r\n"));
    EXPECT_NE(link.m_PortInfo[0].hOut, INVALID_PORT);
    EXPECT_TRUE(link.OpenUSB(0));
    EXPECT_EQ(m_Bulk.InitializeCount(), 1);
}
