// The progress window while its worker runs: the keyboard and the close command do
// not end it, and its device-change handling feeds the device link without holding
// the window up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/VUQDlg.h"
#include "app/win32/WizardHarness.h"
#include "res/VuqResource.h"

namespace
{
// A name on the handset's bus that no endpoint has.
const char ABSENT_PORT_NAME[] = "sim:handset-99";

// A device-change notification as the system sends it to a registered window.
LRESULT SendDeviceChange(HWND hwnd, WPARAM wEvent, const char* pszName, WIN_DWORD dwType = DBT_DEVTYP_DEVICEINTERFACE)
{
    std::vector<BYTE> record(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + std::strlen(pszName));
    DEV_BROADCAST_DEVICEINTERFACE_A header = {};
    header.dbcc_size = static_cast<WIN_DWORD>(record.size());
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
    ProgressWindow() : m_Wizard(10) {}

    void SetUp() override { m_Wizard.WriteTempFiles(); }

    HWND StartAtProgress()
    {
        m_Wizard.Start();
        HWND hWelcome = m_Wizard.WaitForPage(PAGE_WELCOME);
        if (hWelcome == nullptr)
            return nullptr;
        CWizardHarness::Press(hWelcome, IDOK);
        HWND hConfirm = m_Wizard.WaitForPage(PAGE_CONFIRM);
        if (hConfirm == nullptr)
            return nullptr;
        m_hConfirm = hConfirm;
        CWizardHarness::Press(hConfirm, IDOK);
        return m_Wizard.WaitForPage(PAGE_PROGRESS);
    }

    CWizardHarness m_Wizard;
    HWND m_hConfirm = nullptr;
};
}

// Enter, Esc, the OK and Cancel commands and the close command reach the window while
// the worker waits for a download port; the window stays. The worker alone ends it,
// here with "no port" (16), which leads to a fresh confirmation page.
TEST_F(ProgressWindow, IgnoresEnterEscAndClose)
{
    // The agent starts, but the handset never comes up in its downloader mode.
    m_Wizard.Desk().RemoteApi().SetAgentStartHook(nullptr);
    HWND hProgress = StartAtProgress();
    ASSERT_NE(hProgress, nullptr);
    EXPECT_EQ(CWizardHarness::ItemText(hProgress, IDC_VUQ_PERCENT_BOX), "0");

    PostMessageA(hProgress, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(hProgress, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(hProgress, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    SendMessageA(hProgress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    SendMessageA(hProgress, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageA(hProgress, WM_CLOSE, 0, 0);
    EXPECT_TRUE(m_Wizard.StaysOpen(hProgress, 1000));

    // The worker's message box is owned by the window, and the worker waits for it.
    HWND hBox = m_Wizard.WaitForMessageBox("Warning");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hBox), "No USB connect detected");
    EXPECT_EQ(CWizardHarness::MessageBoxOwner(hBox), hProgress);
    EXPECT_TRUE(m_Wizard.StaysOpen(hProgress, 300));
    CWizardHarness::Press(hBox, IDOK);

    HWND hConfirm = m_Wizard.WaitForPage(PAGE_CONFIRM, m_hConfirm);
    ASSERT_NE(hConfirm, nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
    EXPECT_EQ(m_Wizard.WaitForPage(PAGE_FINISH, nullptr, 100), nullptr);
}

// Device changes while the worker is held by its message box (the agent file is
// missing): an arrival that opens is handled (1) and signalled; one that does not
// open yet is passed on at once, checked further in the background, and its port
// goes with the removal; other device types change nothing.
TEST_F(ProgressWindow, DeviceChangesFeedTheLink)
{
    std::error_code ec;
    std::filesystem::remove(m_Wizard.TempPath() + "/Tessik_Console.exe", ec);
    // A device on the handset's bus that opens, without a handset behind it.
    std::unique_ptr<IHandsetEndpoint> pEndpoint = m_Wizard.Desk().Bus().OpenEndpoint();
    ASSERT_TRUE(pEndpoint);
    pEndpoint->Attach();
    const char* pszPortName = pEndpoint->Name().c_str();
    HWND hProgress = StartAtProgress();
    ASSERT_NE(hProgress, nullptr);
    HWND hBox = m_Wizard.WaitForMessageBox("Warning");
    ASSERT_NE(hBox, nullptr);
    EXPECT_EQ(CWizardHarness::MessageBoxText(hBox), "File not found, Tessik_Console.exe");

    CDownloader& link = m_Wizard.App().GetDownloader();
    PortInfo& port = link.m_PortInfo[0];
    EXPECT_EQ(SendDeviceChange(hProgress, DBT_DEVICEARRIVAL, pszPortName), 1);
    EXPECT_STREQ(port.FileName, pszPortName);
    EXPECT_TRUE(port.bConnected);
    EXPECT_TRUE(port.hArrivalEvent->IsSignalled());
    port.hArrivalEvent->Reset();

    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEREMOVECOMPLETE, pszPortName), 1);
    EXPECT_STREQ(port.FileName, "");
    EXPECT_FALSE(port.bConnected);
    EXPECT_TRUE(port.hRemovalEvent->IsSignalled());
    port.hRemovalEvent->Reset();

    // A port that will not open: its check would take 100 s (10 s here) and runs
    // apart from the window, which answers at once (an arrival is one open attempt
    // and its 100 ms pause on the window's thread).
    auto tpStart = std::chrono::steady_clock::now();
    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEARRIVAL, ABSENT_PORT_NAME), 1);
    auto msTaken =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart).count();
    EXPECT_LT(msTaken, 2000);
    EXPECT_STREQ(port.FileName, ABSENT_PORT_NAME);
    EXPECT_FALSE(port.hArrivalEvent->IsSignalled());
    EXPECT_TRUE(m_Wizard.StaysOpen(hProgress, 300));
    EXPECT_FALSE(port.hArrivalEvent->IsSignalled());
    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEREMOVECOMPLETE, ABSENT_PORT_NAME), 1);
    EXPECT_STREQ(port.FileName, "");
    EXPECT_TRUE(port.hRemovalEvent->IsSignalled());
    port.hRemovalEvent->Reset();

    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEARRIVAL, pszPortName, DBT_DEVTYP_VOLUME), 1);
    EXPECT_NE(SendDeviceChange(hProgress, DBT_DEVICEREMOVECOMPLETE, pszPortName, DBT_DEVTYP_VOLUME), 1);
    EXPECT_STREQ(port.FileName, "");
    EXPECT_FALSE(port.hArrivalEvent->IsSignalled());
    EXPECT_FALSE(port.hRemovalEvent->IsSignalled());

    // The worker goes on when its box is closed and ends the window with 105.
    CWizardHarness::Press(hBox, IDOK);
    ASSERT_NE(m_Wizard.WaitForPage(PAGE_CONFIRM, m_hConfirm), nullptr);
    EXPECT_FALSE(IsWindow(hProgress));
}
