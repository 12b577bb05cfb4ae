// The name watcher of vuqctl flash --port on Windows, against the real calls: a
// file-system path that appears and goes, a device name defined in the device
// namespace (DefineDosDevice) whose target changes, and a port held exclusively
// while it is watched.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/DeviceEventsRecorder.h"
#include "platform/win32/Win32NameWatcher.h"
#include "platform/win32/Win32Text.h"
#include "support/ImageBuilder.h"

namespace
{
constexpr DWORD EVENT_WAIT_MS = 5000;

// A name of the device namespace for this test process (one left behind by an
// earlier run that ended early would be found there). Four characters: Wine 8's
// QueryDosDevice finds no longer name made by DefineDosDevice.
std::string UniqueDeviceName()
{
    char szName[8];
    std::snprintf(szName, sizeof(szName), "V%03lx", static_cast<unsigned long>(GetCurrentProcessId() & 0xFFF));
    return szName;
}

bool WriteFile(const std::string& strPath)
{
    std::ofstream file(strPath, std::ios::binary);
    file << "x";
    return file.good();
}
}

TEST(Win32NameWatcherTest, DeviceNamesAndPaths)
{
    const struct
    {
        const char* pszName;
        bool bDevice;
        const char* pszLink;
    } cases[] = {
        {"COM3", true, "COM3"},
        {"com12", true, "com12"},
        {"LPT1", true, "LPT1"},
        {"NUL", true, "NUL"},   // known to the namespace
        {"\\\\.\\COM7", true, "COM7"},
        {"\\\\.\\wceusbsh001", true, "wceusbsh001"},
        {"\\\\?\\usb#vid_0bb4&pid_0a51#5&2a3b&0&1#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}", true,
         "usb#vid_0bb4&pid_0a51#5&2a3b&0&1#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}"},
        {"\\\\?\\usb#vid_0bb4&pid_0a51#5#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}\\ref", true,
         "usb#vid_0bb4&pid_0a51#5#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}"},
        {"\\\\?\\C:\\temp\\port.bin", false, ""},
        {"\\\\?\\UNC\\server\\share\\port", false, ""},
        {"\\\\.\\", false, ""},
        {"C:\\temp\\port.bin", false, ""},
        {"port.bin", false, ""},
        {"COM", false, ""},
        {"COM3x", false, ""},
        {"", false, ""},
    };
    for (const auto& test : cases)
    {
        std::string strLink;
        EXPECT_EQ(GetDeviceLinkName(test.pszName, &strLink), test.bDevice) << test.pszName;
        if (test.bDevice)
        {
            EXPECT_EQ(strLink, test.pszLink) << test.pszName;
        }
    }
}

TEST(Win32NameWatcherTest, PathThatAppearsAndGoes)
{
    CTempDir dir;
    std::string strPath = dir.File("port");
    CDeviceEventsRecorder events;
    CWin32NameWatcher watcher(strPath.c_str());
    ASSERT_TRUE(watcher.Start(&events));
    EXPECT_FALSE(watcher.Start(&events)) << "runs already";

    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(events.Events().empty()) << "nothing there yet";
    ASSERT_TRUE(WriteFile(strPath));
    ASSERT_TRUE(events.WaitForEvents(1, EVENT_WAIT_MS));
    std::filesystem::remove(strPath);
    ASSERT_TRUE(events.WaitForEvents(2, EVENT_WAIT_MS));
    ASSERT_TRUE(WriteFile(strPath));
    ASSERT_TRUE(events.WaitForEvents(3, EVENT_WAIT_MS));

    // Another file put in its place at once, as a device that left and came back
    // between two looks.
    std::string strOther = dir.File("other");
    ASSERT_TRUE(WriteFile(strOther));
    ASSERT_TRUE(MoveFileExW(Utf8ToWide(strOther.c_str()).c_str(), Utf8ToWide(strPath.c_str()).c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(events.WaitForEvents(5, EVENT_WAIT_MS));
    watcher.Stop();
    EXPECT_EQ(events.Events(), std::vector<DEVICE_EVENT>({Arrival(strPath), Removal(strPath), Arrival(strPath),
                                                          Removal(strPath), Arrival(strPath)}));
}

TEST(Win32NameWatcherTest, DeviceNameInTheNamespace)
{
    CTempDir dir;
    std::string strLink = UniqueDeviceName();
    std::string strName = "\\\\.\\" + strLink;
    std::wstring strFirst = Utf8ToWide(dir.File("first").c_str());
    std::wstring strSecond = Utf8ToWide(dir.File("second").c_str());

    // There at the start: reported at once.
    ASSERT_TRUE(DefineDosDeviceW(0, Utf8ToWide(strLink.c_str()).c_str(), strFirst.c_str()));
    CDeviceEventsRecorder events;
    CWin32NameWatcher watcher(strName.c_str());
    ASSERT_TRUE(watcher.Start(&events));
    ASSERT_TRUE(events.WaitForEvents(1, EVENT_WAIT_MS));

    // Another device under the same name between two looks: it left and came back.
    ASSERT_TRUE(DefineDosDeviceW(DDD_REMOVE_DEFINITION, Utf8ToWide(strLink.c_str()).c_str(), nullptr));
    ASSERT_TRUE(DefineDosDeviceW(0, Utf8ToWide(strLink.c_str()).c_str(), strSecond.c_str()));
    ASSERT_TRUE(events.WaitForEvents(3, EVENT_WAIT_MS));

    ASSERT_TRUE(DefineDosDeviceW(DDD_REMOVE_DEFINITION, Utf8ToWide(strLink.c_str()).c_str(), nullptr));
    ASSERT_TRUE(events.WaitForEvents(4, EVENT_WAIT_MS));
    watcher.Stop();
    EXPECT_EQ(events.Events(),
              std::vector<DEVICE_EVENT>({Arrival(strName), Removal(strName), Arrival(strName), Removal(strName)}));
}

TEST(Win32NameWatcherTest, LooksNeverFightTheExclusiveOpen)
{
    CTempDir dir;
    std::string strPath = dir.File("port");
    ASSERT_TRUE(WriteFile(strPath));
    std::wstring strWide = Utf8ToWide(strPath.c_str());

    // Held exclusively, the port is still there.
    HANDLE hHeld = CreateFileW(strWide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    std::string strIdentity;
    EXPECT_TRUE(CWin32NameWatcher::LookAt(strPath, &strIdentity));
    CloseHandle(hHeld);

    // Exclusive opens while the name is looked at as fast as it goes: none fails.
    std::atomic<bool> bStop{false};
    std::thread looker([&] {
        std::string strSeen;
        while (!bStop)
            CWin32NameWatcher::LookAt(strPath, &strSeen);
    });
    int nFailed = 0;
    for (int nOpen = 0; nOpen < 500; ++nOpen)
    {
        HANDLE hPort =
            CreateFileW(strWide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (hPort == INVALID_HANDLE_VALUE)
            ++nFailed;
        else
            CloseHandle(hPort);
    }
    bStop = true;
    looker.join();
    EXPECT_EQ(nFailed, 0);
}

TEST(Win32NameWatcherTest, StopsPromptly)
{
    CDeviceEventsRecorder events;
    CWin32NameWatcher watcher("\\\\.\\COM250");
    EXPECT_FALSE(watcher.Start(nullptr));
    ASSERT_TRUE(watcher.Start(&events));
    auto tpStart = std::chrono::steady_clock::now();
    watcher.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - tpStart, std::chrono::milliseconds(1000));
    EXPECT_TRUE(events.Events().empty());
}
