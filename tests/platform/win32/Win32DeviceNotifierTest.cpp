// WM_DEVICECHANGE as the system sends it to a window: decoded on Unicode and ANSI
// windows, handed to a device-change handler, and turned into device events by the
// message-only window of CWin32DeviceNotifier on its own thread.
//
// Wine has no device of the handset's interface class, so the notifications are
// sent to the windows by the test, with the records the system sends; the
// registration itself runs against Wine's.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "link/DeviceChange.h"
#include "platform/sim/SimPortBus.h"
#include "platform/sim/SimPortDriver.h"
#include "platform/win32/DeviceEventsRecorder.h"
#include "platform/win32/Win32DeviceNotifier.h"
#include "platform/win32/Win32Text.h"

namespace
{
constexpr char INTERFACE_NAME[] = "\\\\?\\USB#VID_0BB4&PID_0A51#5&2A3B4C5D&0&1#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}";

// A broadcast record in memory aligned for its header.
struct BROADCAST
{
    std::vector<unsigned long long> Storage;

    LPARAM Param() { return Storage.empty() ? 0 : reinterpret_cast<LPARAM>(Storage.data()); }
    BYTE* Bytes() { return reinterpret_cast<BYTE*>(Storage.data()); }
    void Resize(size_t nBytes) { Storage.assign((nBytes + 7) / 8 + 1, 0); }
};

// A device-interface record as the system sends it to a window of that character
// set, its size nNameChars characters past the header's name field start (a name
// of that many characters without terminator when nNameChars is the name's length).
BROADCAST InterfaceRecord(bool bUnicode, const std::wstring& strName, size_t nNameChars)
{
    BROADCAST record;
    if (bUnicode)
    {
        size_t nSize = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + nNameChars * sizeof(wchar_t);
        record.Resize(nSize + sizeof(wchar_t));
        auto* pInterface = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.Bytes());
        pInterface->dbcc_size = static_cast<WIN_DWORD>(nSize);
        pInterface->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        pInterface->dbcc_classguid = VUQ_PORT_INTERFACE_CLASS;
        std::memcpy(pInterface->dbcc_name, strName.c_str(), strName.size() * sizeof(wchar_t));
        // What lies past the record must not be read as part of the name.
        if (nNameChars < strName.size() + 1)
            pInterface->dbcc_name[nNameChars] = L'X';
    }
    else
    {
        std::string strAnsi(strName.size() * 2 + 1, '\0');
        int nLen = WideCharToMultiByte(CP_ACP, 0, strName.c_str(), static_cast<int>(strName.size()), strAnsi.data(),
                                       static_cast<int>(strAnsi.size()), nullptr, nullptr);
        strAnsi.resize(static_cast<size_t>(nLen));
        if (nNameChars > strName.size())
            nNameChars = strAnsi.size() + 1;
        else
            nNameChars = strAnsi.size();
        size_t nSize = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + nNameChars;
        record.Resize(nSize + 1);
        auto* pInterface = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.Bytes());
        pInterface->dbcc_size = static_cast<WIN_DWORD>(nSize);
        pInterface->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        pInterface->dbcc_classguid = VUQ_PORT_INTERFACE_CLASS;
        std::memcpy(pInterface->dbcc_name, strAnsi.c_str(), strAnsi.size());
        if (nNameChars < strAnsi.size() + 1)
            pInterface->dbcc_name[nNameChars] = 'X';
    }
    return record;
}

BROADCAST InterfaceRecord(bool bUnicode, const std::wstring& strName)
{
    return InterfaceRecord(bUnicode, strName, strName.size() + 1);
}

// A record of another device type: a COM port or a volume.
BROADCAST OtherRecord(WIN_DWORD dwType)
{
    BROADCAST record;
    record.Resize(sizeof(DEV_BROADCAST_PORT_W) + 16);
    auto* pHeader = reinterpret_cast<DEV_BROADCAST_HDR*>(record.Bytes());
    pHeader->dbch_devicetype = dwType;
    if (dwType == DBT_DEVTYP_PORT)
    {
        auto* pPort = reinterpret_cast<DEV_BROADCAST_PORT_W*>(record.Bytes());
        pPort->dbcp_size = sizeof(DEV_BROADCAST_PORT_W) + 8;
        std::memcpy(pPort->dbcp_name, L"COM3", 5 * sizeof(wchar_t));
    }
    else
    {
        pHeader->dbch_size = sizeof(DEV_BROADCAST_VOLUME);
    }
    return record;
}

// What a test window's procedure decoded from the WM_DEVICECHANGE it got.
struct DECODED
{
    std::vector<DEVICE_CHANGE> Changes;
};

// Decodes every WM_DEVICECHANGE into the DECODED record of the window's user data.
LRESULT CALLBACK DecodingProcW(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    auto* pDecoded = reinterpret_cast<DECODED*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    DEVICE_CHANGE change;
    if (uMsg == WM_DEVICECHANGE && pDecoded != nullptr && DecodeDeviceChange(hWnd, wParam, lParam, &change))
        pDecoded->Changes.push_back(change);
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

LRESULT CALLBACK DecodingProcA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    auto* pDecoded = reinterpret_cast<DECODED*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    DEVICE_CHANGE change;
    if (uMsg == WM_DEVICECHANGE && pDecoded != nullptr && DecodeDeviceChange(hWnd, wParam, lParam, &change))
        pDecoded->Changes.push_back(change);
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// A window of the test's thread, Unicode or ANSI, whose procedure decodes device
// changes into Decoded: the windows a progress window's procedure would see
// messages for. Message-only, so it needs no display.
class CTestWindow
{
public:
    explicit CTestWindow(bool bUnicode)
    {
        HINSTANCE hInstance = GetModuleHandleW(nullptr);
        if (bUnicode)
        {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = DecodingProcW;
            wc.hInstance = hInstance;
            wc.lpszClassName = L"VuqTestWindowW";
            RegisterClassExW(&wc);
            m_hWnd = CreateWindowExW(0, L"VuqTestWindowW", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, hInstance,
                                     nullptr);
            SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&Decoded));
        }
        else
        {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = DecodingProcA;
            wc.hInstance = hInstance;
            wc.lpszClassName = "VuqTestWindowA";
            RegisterClassExA(&wc);
            m_hWnd = CreateWindowExA(0, "VuqTestWindowA", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, hInstance,
                                     nullptr);
            SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&Decoded));
        }
    }
    ~CTestWindow() { DestroyWindow(m_hWnd); }
    HWND Get() const { return m_hWnd; }

    DECODED Decoded;

private:
    HWND m_hWnd = nullptr;
};

// A device-change handler that answers arrivals as told and records its calls.
struct FAKE_HANDLER
{
    bool bArrivalHandled = false;
    std::vector<DEVICE_EVENT> Calls;

    bool HandleArrival(const char* pszName)
    {
        Calls.push_back(Arrival(pszName));
        return bArrivalHandled;
    }
    bool HandleRemoval(const char* pszName)
    {
        Calls.push_back(Removal(pszName));
        return false;
    }
};
}

TEST(Win32DeviceChangeTest, DecodesInterfaceArrivalsAndRemovalsOnly)
{
    const std::wstring strNonAscii = L"\\\\?\\USB#VID_0BB4&PID_0A51#Handset\u00e9#{25dbce51}";
    for (bool bUnicode : {true, false})
    {
        CTestWindow window(bUnicode);
        ASSERT_NE(window.Get(), nullptr);
        ASSERT_EQ(IsWindowUnicode(window.Get()) != FALSE, bUnicode);
        const struct
        {
            const char* pszCase;
            WPARAM wParam;
            BROADCAST record;
            int nKind;          // 0: not an arrival or removal of an interface
            std::string strName;
        } cases[] = {
            {"arrival", DBT_DEVICEARRIVAL, InterfaceRecord(bUnicode, Utf8ToWide(INTERFACE_NAME)), DEVICE_CHANGE_ARRIVAL,
             INTERFACE_NAME},
            {"removal", DBT_DEVICEREMOVECOMPLETE, InterfaceRecord(bUnicode, Utf8ToWide(INTERFACE_NAME)),
             DEVICE_CHANGE_REMOVAL, INTERFACE_NAME},
            {"name in the window's character set", DBT_DEVICEARRIVAL, InterfaceRecord(bUnicode, strNonAscii),
             DEVICE_CHANGE_ARRIVAL, "\\\\?\\USB#VID_0BB4&PID_0A51#Handset\xC3\xA9#{25dbce51}"},
            {"name that fills the record without terminator", DBT_DEVICEARRIVAL,
             InterfaceRecord(bUnicode, L"\\\\.\\wceusbsh001", 15), DEVICE_CHANGE_ARRIVAL, "\\\\.\\wceusbsh001"},
            {"query remove", DBT_DEVICEQUERYREMOVE, InterfaceRecord(bUnicode, Utf8ToWide(INTERFACE_NAME)), 0, ""},
            {"remove pending", DBT_DEVICEREMOVEPENDING, InterfaceRecord(bUnicode, Utf8ToWide(INTERFACE_NAME)), 0, ""},
            {"arrival without data", DBT_DEVICEARRIVAL, BROADCAST(), 0, ""},
            {"nodes changed", DBT_DEVNODES_CHANGED, BROADCAST(), 0, ""},
            {"arrival of a COM port", DBT_DEVICEARRIVAL, OtherRecord(DBT_DEVTYP_PORT), 0, ""},
            {"removal of a volume", DBT_DEVICEREMOVECOMPLETE, OtherRecord(DBT_DEVTYP_VOLUME), 0, ""},
        };
        for (const auto& test : cases)
        {
            BROADCAST record = test.record;
            DEVICE_CHANGE change;
            bool bDecoded = DecodeDeviceChange(window.Get(), test.wParam, record.Param(), &change);
            SCOPED_TRACE(std::string(bUnicode ? "Unicode window, " : "ANSI window, ") + test.pszCase);
            EXPECT_EQ(bDecoded, test.nKind != 0);
            if (bDecoded)
            {
                EXPECT_EQ(change.nKind, test.nKind);
                EXPECT_EQ(change.strName, test.strName);
            }
        }
    }
}

TEST(Win32DeviceChangeTest, SentNotificationsDecodeToTheirName)
{
    const char* const NAMES[] = {INTERFACE_NAME, "sim:handset-12", "\\\\?\\USB#Handset\xC3\xA9#{25dbce51}"};
    for (bool bUnicode : {true, false})
    {
        CTestWindow window(bUnicode);
        std::vector<DEVICE_EVENT> expected;
        for (const char* pszName : NAMES)
        {
            SendDeviceChange(window.Get(), DEVICE_CHANGE_ARRIVAL, pszName);
            SendDeviceChange(window.Get(), DEVICE_CHANGE_REMOVAL, pszName);
            expected.push_back(Arrival(pszName));
            expected.push_back(Removal(pszName));
        }
        std::vector<DEVICE_EVENT> decoded;
        for (const DEVICE_CHANGE& change : window.Decoded.Changes)
            decoded.push_back(DEVICE_EVENT{change.nKind == DEVICE_CHANGE_ARRIVAL, change.strName, 0});
        EXPECT_EQ(decoded, expected) << (bUnicode ? "Unicode window" : "ANSI window");
    }
}

TEST(Win32DeviceChangeTest, DispatchTellsTheWindowProcedureWhatToReturn)
{
    CTestWindow window(true);
    const struct
    {
        const char* pszCase;
        WPARAM wParam;
        bool bArrivalHandled;
        bool bReturnOne;
        std::vector<DEVICE_EVENT> calls;
    } cases[] = {
        {"arrival that opened", DBT_DEVICEARRIVAL, true, true, {Arrival(INTERFACE_NAME)}},
        {"arrival that did not open", DBT_DEVICEARRIVAL, false, false, {Arrival(INTERFACE_NAME)}},
        {"removal", DBT_DEVICEREMOVECOMPLETE, true, false, {Removal(INTERFACE_NAME)}},
        {"query remove", DBT_DEVICEQUERYREMOVE, true, false, {}},
    };
    for (const auto& test : cases)
    {
        FAKE_HANDLER handler;
        handler.bArrivalHandled = test.bArrivalHandled;
        BROADCAST record = InterfaceRecord(true, Utf8ToWide(INTERFACE_NAME));
        EXPECT_EQ(DispatchDeviceChange(handler, window.Get(), test.wParam, record.Param()), test.bReturnOne)
            << test.pszCase;
        EXPECT_EQ(handler.Calls, test.calls) << test.pszCase;
    }
}

TEST(Win32DeviceChangeTest, DispatchFeedsTheLinksDeviceChangeHandler)
{
    // The handset on the in-process bus; its name arrives as an interface's would.
    CSimPortBus bus;
    std::unique_ptr<IHandsetEndpoint> pEndpoint = bus.OpenEndpoint();
    ASSERT_TRUE(pEndpoint);
    pEndpoint->Attach();
    CSimPortDriver driver(bus);
    CClock clock(1000);
    PlatformContext platform;
    platform.pClock = &clock;
    platform.pPortDriver = &driver;
    CDownloader link(platform);
    CDeviceChangeHandler handler(link);
    CTestWindow window(true);

    BROADCAST arrival = InterfaceRecord(true, Utf8ToWide(pEndpoint->Name().c_str()));
    EXPECT_TRUE(DispatchDeviceChange(handler, window.Get(), DBT_DEVICEARRIVAL, arrival.Param()));
    EXPECT_STREQ(link.m_PortInfo[0].FileName, pEndpoint->Name().c_str());
    EXPECT_TRUE(link.m_PortInfo[0].hArrivalEvent->IsSignalled());

    BROADCAST removal = InterfaceRecord(true, Utf8ToWide(pEndpoint->Name().c_str()));
    EXPECT_FALSE(DispatchDeviceChange(handler, window.Get(), DBT_DEVICEREMOVECOMPLETE, removal.Param()));
    EXPECT_STREQ(link.m_PortInfo[0].FileName, "");
    EXPECT_TRUE(link.m_PortInfo[0].hRemovalEvent->IsSignalled());
}

TEST(Win32DeviceChangeTest, RegistrationOfAWindow)
{
    CTestWindow window(true);
    HDEVNOTIFY hNotify = RegisterPortNotifications(window.Get());
    EXPECT_NE(hNotify, nullptr) << GetLastError();
    UnregisterPortNotifications(hNotify);
    UnregisterPortNotifications(nullptr);
}

TEST(Win32DeviceNotifierTest, MessageOnlyWindowDeliversEventsOnItsThread)
{
    CDeviceEventsRecorder events;
    CWin32DeviceNotifier notifier;
    ASSERT_TRUE(notifier.Start(&events)) << GetLastError();
    HWND hWnd = notifier.GetWindow();
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, L"VuqDeviceNotifier", nullptr), hWnd) << "a message-only window";
    WIN_DWORD dwWindowThread = GetWindowThreadProcessId(hWnd, nullptr);
    EXPECT_NE(dwWindowThread, GetCurrentThreadId());

    BROADCAST record = InterfaceRecord(true, Utf8ToWide(INTERFACE_NAME));
    SendMessageW(hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, record.Param());
    SendMessageW(hWnd, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, record.Param());
    SendMessageW(hWnd, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, record.Param());
    BROADCAST port = OtherRecord(DBT_DEVTYP_PORT);
    SendMessageW(hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, port.Param());
    std::vector<DEVICE_EVENT> received = events.Events();
    ASSERT_EQ(received, std::vector<DEVICE_EVENT>({Arrival(INTERFACE_NAME), Removal(INTERFACE_NAME)}));
    for (const DEVICE_EVENT& event : received)
        EXPECT_EQ(event.dwThread, dwWindowThread);

    notifier.Stop();
    EXPECT_EQ(notifier.GetWindow(), nullptr);
    EXPECT_FALSE(IsWindow(hWnd)) << "the window is gone with its thread";
    SendMessageW(hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, record.Param());
    EXPECT_EQ(events.Events().size(), 2u) << "nothing is delivered after Stop";
}

TEST(Win32DeviceNotifierTest, StartsAndStopsCleanly)
{
    CDeviceEventsRecorder events;
    CWin32DeviceNotifier notifier;
    EXPECT_FALSE(notifier.Start(nullptr));
    notifier.Stop();   // not running: nothing to do

    // Started again after a stop, with a window of its own each time.
    for (int nRun = 0; nRun < 3; ++nRun)
    {
        ASSERT_TRUE(notifier.Start(&events)) << nRun;
        EXPECT_FALSE(notifier.Start(&events)) << "runs already";
        HWND hWnd = notifier.GetWindow();
        BROADCAST record = InterfaceRecord(true, Utf8ToWide(INTERFACE_NAME));
        SendMessageW(hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, record.Param());
        notifier.Stop();
        EXPECT_FALSE(IsWindow(hWnd));
    }
    EXPECT_EQ(events.Events().size(), 3u);

    // Two notifiers share the window class; stopping one leaves the other working.
    CDeviceEventsRecorder firstEvents;
    CDeviceEventsRecorder secondEvents;
    CWin32DeviceNotifier second;
    {
        CWin32DeviceNotifier first;
        ASSERT_TRUE(first.Start(&firstEvents));
        ASSERT_TRUE(second.Start(&secondEvents));
        EXPECT_NE(first.GetWindow(), second.GetWindow());
        // The destructor stops the first one.
    }
    BROADCAST record = InterfaceRecord(true, Utf8ToWide(INTERFACE_NAME));
    SendMessageW(second.GetWindow(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, record.Param());
    EXPECT_EQ(secondEvents.Events(), std::vector<DEVICE_EVENT>({Removal(INTERFACE_NAME)}));
    EXPECT_TRUE(firstEvents.Events().empty());
}
