// CWin32DesktopWindows on real top-level windows and events. The window classes
// and event names are the test's own, so the tests run beside every other.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/Win32Windows.h"
#include "support/win32/Win32TestSupport.h"

TEST(Win32DesktopWindows, FindsATopLevelWindowByItsClass)
{
    std::string strClass = UniqueTestName("VUQTestWindow");
    CWin32DesktopWindows windows;
    EXPECT_EQ(windows.FindWindowByClass(strClass.c_str()), 0);

    CTestWindow window(strClass.c_str(), false);
    ASSERT_TRUE(window.IsCreated());
    EXPECT_EQ(windows.FindWindowByClass(strClass.c_str()), reinterpret_cast<WINDOW_HANDLE>(window.Handle()));
}

TEST(Win32DesktopWindows, AWindowThatHandlesTheCloseMessageCloses)
{
    std::string strClass = UniqueTestName("VUQTestWindow");
    CTestWindow window(strClass.c_str(), false);
    ASSERT_TRUE(window.IsCreated());
    CWin32DesktopWindows windows;

    EXPECT_TRUE(windows.SendCloseWithTimeout(windows.FindWindowByClass(strClass.c_str()), 2000));
    EXPECT_EQ(window.CloseMessages(), 1);
    EXPECT_TRUE(window.IsDestroyed());
    EXPECT_EQ(windows.FindWindowByClass(strClass.c_str()), 0);
}

TEST(Win32DesktopWindows, AWindowThatDoesNotHandleTheCloseMessageInTimeFails)
{
    std::string strClass = UniqueTestName("VUQTestWindow");
    CTestWindow window(strClass.c_str(), true);
    ASSERT_TRUE(window.IsCreated());
    CWin32DesktopWindows windows;
    WINDOW_HANDLE hWnd = windows.FindWindowByClass(strClass.c_str());

    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(windows.SendCloseWithTimeout(hWnd, 300));
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_TIMEOUT));
    // The time-out is the one given: the call neither returned early nor waited for the handler.
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    EXPECT_LT(elapsed, std::chrono::milliseconds(5000));
    EXPECT_EQ(windows.FindWindowByClass(strClass.c_str()), hWnd);
}

TEST(Win32DesktopWindows, ClosingAWindowThatIsGoneFails)
{
    std::string strClass = UniqueTestName("VUQTestWindow");
    WINDOW_HANDLE hWnd = 0;
    {
        CTestWindow window(strClass.c_str(), false);
        ASSERT_TRUE(window.IsCreated());
        hWnd = reinterpret_cast<WINDOW_HANDLE>(window.Handle());
    }
    CWin32DesktopWindows windows;
    EXPECT_FALSE(windows.SendCloseWithTimeout(hWnd, 2000));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Win32DesktopWindows, OpensANamedEventOnlyWhileItExists)
{
    std::string strName = UniqueTestName("VUQTestEvent");
    CWin32DesktopWindows windows;
    EXPECT_FALSE(windows.OpenNamedEvent(strName.c_str()));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, strName.c_str());
    ASSERT_NE(hEvent, nullptr);
    EXPECT_TRUE(windows.OpenNamedEvent(strName.c_str()));
    EXPECT_TRUE(windows.OpenNamedEvent(strName.c_str()));   // the handle opened before was closed again
    CloseHandle(hEvent);

    EXPECT_FALSE(windows.OpenNamedEvent(strName.c_str()));
}
