// The progress window while its worker runs: the keyboard and the close command do
// not end it, and its device-change handling feeds the device link without holding
// the window up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/VUQDlg.h"
#include "app/win32/WizardHarness.h"
#include "res/VuqResource.h"

namespace
{
const char PORT_NAME[] = "\\\\?\\usb#vid_0bb4&pid_0b04#5&1&0#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}";
const char OTHER_PORT_NAME[] = "\\\\?\\usb#vid_0bb4&pid_0b04#5&1&1#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}";

// A device-change notification as the system sends it to a registered window.
LRESULT SendDeviceChange(HWND hwnd, WPARAM wEvent, const char* pszName, WINDOWS_DWORD dwType = DBT_DEVTYP_DEVICEINTERFACE)
{
    std::vector<BYTE> record(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + std::strlen(pszName));
    DEV_BROADCAST_DEVICEINTERFACE_A header = {};
    header.dbcc_size = static_cast<WINDOWS_DWORD>(record.size());
    header.dbcc_devicetype = dwType;
    header.dbcc_classguid = GUID_VUQ_DOWNLOAD_INTERFACE;
    std::memcpy(record.data(), &header, offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name));
    std::memcpy(record.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), pszName,
                std::strlen(pszName) + 1);
    return SendMessageA(hwnd, WM_DEVICECHANGE, wEvent, reinterpret_cast<LPARAM>(record.data()));
}

class ProgressWindow : public testing::Test
{
protected:
    // Every wait 10 times shorter: the worker's port wait is 6 s, the closing pause 1 s.
    ProgressWindow() : m_Desk(10) {}

    void SetUp() override { m_Desk.WriteTempFiles(); }

    HWND StartAtProgress()
    {
        m_Desk.Start();
        HWND hWelcome = m_Desk.WaitForPage(PAGE_WELCOME);
        if (hWelcome == nullptr)
            return nullptr;
        CWizardHarness::Press(hWelcome, IDOK);
        HWND hConfirm = m_Desk.WaitForPage(PAGE_CONFIRM);
        if (hConfirm == nullptr)
            return nullptr;
        m_hConfirm = hConfirm;
        CWizardHarness::Press(hConfirm, IDOK);
        return m_Desk.WaitForPage(PAGE_PROGRESS);
    }

    CWizardHarness m_Desk;
    HWND m_hConfirm = nullptr;
};
}

// Enter, Esc, the OK and Cancel commands and the close command reach the window while
// the worker waits for a download port; the window stays. The worker alone ends it,
// here with "no port" (16), which leads to a fresh confirmation page.
TEST_F(ProgressWindow, IgnoresEnterEscAndClose)
{
    HWND hProgress = StartAtProgress();
    ASSERT_NE(hProgress, nullptr);
    EXPECT_EQ(CWizardHarness::ItemText(hProgress, IDC_VUQ_PERCENT_BOX), "0");

    PostMessageA(hProgress, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(hProgress, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(hProgress, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    SendMessageA(hProgress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    SendMessageA(hProgress, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageA(hProgress, WM_CLOSE, 0, 0);
    EXPECT_TRUE(m_Desk.StaysOpen(hProgress, 1000));

    // The worker's message box is owned by the window, and the worker waits for it.
    HWND hBox = m_Desk.WaitForMessageBox("Warning");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hBox), "No USB connect detected");
    EXPECT_EQ(CWizardHarness::MessageBoxOwner(hBox), hProgress);
    EXPECT_TRUE(m_Desk.StaysOpen(hProgress, 300));
    CWizardHarness::Press(hBox, IDOK);

    HWND hConfirm = m_Desk.WaitForPage(PAGE_CONFIRM, m_hConfirm);
    ASSERT_NE(hConfirm, nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
    EXPECT_EQ(m_Desk.WaitForPage(PAGE_FINISH, nullptr, 100), nullptr);
}

// Device changes while the worker is held by its message box (the agent file is
// missing): an arrival that opens is handled (1) and signalled; one that does not
// open yet is passed on at once, checked further in the background, and its port
// goes with the removal; other device types change nothing.
TEST_F(ProgressWindow, DeviceChangesFeedTheLink)
{
    std::error_code ec;
    std::filesystem::remove(m_Desk.TempPath() + "/Tessik_Console.exe", ec);
    m_Desk.m_Ports.AddDevice(PORT_NAME);
    HWND hProgress = StartAtProgress();
    ASSERT_NE(hProgress, nullptr);
    HWND hBox = m_Desk.WaitForMessageBox("Warning");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hBox), "File not found, Tessik_Console.exe");

    CDownloader& link = m_Desk.App().GetDownloader();
    PortInfo& port = link.m_PortInfo[0];
    EXPECT_EQ(SendDeviceChange(hProgress, DBT_DEVICEARRIVAL, PORT_NAME), 1);
    EXPECT_STREQ(port.FileName, PORT_NAME);
    EXPECT_TRUE(port.bConnected);
    EXPECT_TRUE(port.hArrivalEvent->IsSignalled());
    port.hArrivalEvent->Reset();

    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEREMOVECOMPLETE, PORT_NAME), 1);
    EXPECT_STREQ(port.FileName, "");
    EXPECT_FALSE(port.bConnected);
    EXPECT_TRUE(port.hRemovalEvent->IsSignalled());
    port.hRemovalEvent->Reset();

    // A port that will not open: its check would take 100 s (10 s here) and runs
    // apart from the window, which answers at once.
    auto tpStart = std::chrono::steady_clock::now();
    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEARRIVAL, OTHER_PORT_NAME), 1);
    auto msTaken =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart).count();
    EXPECT_LT(msTaken, 2000);
    EXPECT_STREQ(port.FileName, OTHER_PORT_NAME);
    EXPECT_FALSE(port.hArrivalEvent->IsSignalled());
    EXPECT_TRUE(m_Desk.StaysOpen(hProgress, 300));
    EXPECT_FALSE(port.hArrivalEvent->IsSignalled());
    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEREMOVECOMPLETE, OTHER_PORT_NAME), 1);
    EXPECT_STREQ(port.FileName, "");
    EXPECT_TRUE(port.hRemovalEvent->IsSignalled());
    port.hRemovalEvent->Reset();

    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEARRIVAL, PORT_NAME, DBT_DEVTYP_VOLUME), 1);
    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEREMOVECOMPLETE, PORT_NAME, DBT_DEVTYP_VOLUME), 1);
    EXPECT_STREQ(port.FileName, "");
    EXPECT_FALSE(port.hArrivalEvent->IsSignalled());
    EXPECT_FALSE(port.hRemovalEvent->IsSignalled());

    // The worker goes on when its box is closed and ends the window with 105.
    CWizardHarness::Press(hBox, IDOK);
    ASSERT_NE(m_Desk.WaitForPage(PAGE_CONFIRM, m_hConfirm), nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
}
