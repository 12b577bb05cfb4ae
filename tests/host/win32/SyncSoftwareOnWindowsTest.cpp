// The host connection manager on the Windows host implementations: the sync
// software's processes, windows, event, registry path and service as real objects
// of the system (under Wine, of the test prefix). These tests use the sync
// software's own names, which the code finds wherever they are, so each holds the
// desktop lock while it runs.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "host/HostConnection.h"
#include "image/OSUtil.h"
#include "platform/Clock.h"
#include "platform/win32/Win32Platform.h"
#include "support/ImageBuilder.h"
#include "support/RecordingMessageBox.h"
#include "support/TraceCapture.h"
#include "support/win32/Win32TestSupport.h"

namespace fs = std::filesystem;

namespace
{
void RemoveManagerPathKey()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, SYNC_MANAGER_KEY_QUIT);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SYNC_MANAGER_KEY_QUIT);
}

// The manager's path under the App Paths key, written for the test and removed after it.
class CManagerPathKey
{
public:
    explicit CManagerPathKey(const fs::path& program)
    {
        HKEY hKey = nullptr;
        std::string strPath = program.string();
        m_bSet = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SYNC_MANAGER_KEY_QUIT, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &hKey, nullptr) == ERROR_SUCCESS &&
                 RegSetValueExA(hKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(strPath.c_str()),
                                static_cast<ULONG>(strPath.size() + 1)) == ERROR_SUCCESS;
        if (hKey != nullptr)
            RegCloseKey(hKey);
    }
    ~CManagerPathKey() { RemoveManagerPathKey(); }
    CManagerPathKey(const CManagerPathKey&) = delete;
    CManagerPathKey& operator=(const CManagerPathKey&) = delete;

    bool IsSet() const { return m_bSet; }

private:
    bool m_bSet = false;
};

// The manager's path under the App Paths key, if there is one; "" otherwise.
std::string ManagerPath()
{
    char szPath[MAX_PATH_LEN] = {};
    ULONG ulSize = sizeof(szPath);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, SYNC_MANAGER_KEY_QUIT, nullptr, RRF_RT_REG_SZ, nullptr, szPath, &ulSize) !=
        ERROR_SUCCESS)
        return std::string();
    return szPath;
}

// Test folders are named "vuq-test-...": a path in one was written by these tests.
bool IsTestPath(const std::string& strPath)
{
    return strPath.find("vuq-test-") != std::string::npos;
}

// Whether a process of this executable name (without case) runs.
bool IsRunning(const wchar_t* pszExeName)
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool bFound = false;
    for (BOOL bEntry = Process32FirstW(hSnapshot, &entry); bEntry && !bFound;
         bEntry = Process32NextW(hSnapshot, &entry))
        bFound = lstrcmpiW(entry.szExeFile, pszExeName) == 0;
    CloseHandle(hSnapshot);
    return bFound;
}
}

class SyncSoftwareOnWindows : public ::testing::Test
{
protected:
    SyncSoftwareOnWindows()
    {
        m_Host.Fill(m_Platform);
        m_Platform.pClock = &m_Clock;
        m_Platform.pMessageBox = &m_Box;
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_Lock.IsHeld());
        // On a machine with the sync software installed these tests would close,
        // terminate, stop and overwrite it.
        std::string strManager = ManagerPath();
        if ((!strManager.empty() && !IsTestPath(strManager)) ||
            CTestService::IsOtherServiceInstalled(SYNC_SERVICE_NAME))
            GTEST_SKIP() << "the sync software is installed on this machine";
        // What a run of these tests that was cut short left behind.
        RemoveManagerPathKey();
        SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (hManager != nullptr)
        {
            CTestService::RemoveLeftover(hManager, SYNC_SERVICE_NAME);
            CloseServiceHandle(hManager);
        }
    }

    CDesktopLock m_Lock;
    CClock m_Clock{20};
    CWin32Platform m_Host;
    CRecordingMessageBox m_Box;
    PlatformContext m_Platform;
    CTempDir m_Folder;
    CTraceCapture m_Trace;
};

TEST_F(SyncSoftwareOnWindows, KillTerminatesOnlyTheSyncProcessNames)
{
    CHelperProcess manager(Quoted(CopySleeper(m_Folder.Path(), "wcesmgr.exe")));
    CHelperProcess comm(Quoted(CopySleeper(m_Folder.Path(), "WcesComm.EXE")));   // names compare without case
    CHelperProcess other(Quoted(CopySleeper(m_Folder.Path(), "wcesmgr2.exe")));
    ASSERT_TRUE(manager.IsStarted() && comm.IsStarted() && other.IsStarted());

    KillActiveSyncProcesses(m_Platform);

    EXPECT_TRUE(manager.WaitForEnd(5000));
    EXPECT_TRUE(comm.WaitForEnd(5000));
    // Terminated with the exit code it had, the one of a running process.
    EXPECT_EQ(manager.ExitCode(), WIN32_PROCESS_STILL_ACTIVE);
    EXPECT_FALSE(other.HasEnded());
}

TEST_F(SyncSoftwareOnWindows, CloseClosesTheSyncWindows)
{
    CTestWindow appManager(SYNC_CLASS_APP_MANAGER, false);
    CTestWindow syncManager(SYNC_CLASS_SYNC_MANAGER, false);
    CTestWindow connectionManager(SYNC_CLASS_CONNECTION_MANAGER, false);
    ASSERT_TRUE(appManager.IsCreated() && syncManager.IsCreated() && connectionManager.IsCreated());

    EXPECT_TRUE(CloseActiveSync(m_Platform));
    EXPECT_TRUE(appManager.IsDestroyed());
    EXPECT_TRUE(syncManager.IsDestroyed());
    EXPECT_TRUE(connectionManager.IsDestroyed());
    EXPECT_TRUE(m_Box.Texts().empty());
}

TEST_F(SyncSoftwareOnWindows, AConnectionManagerWindowThatRefusesToCloseMakesCloseFail)
{
    CTestWindow appManager(SYNC_CLASS_APP_MANAGER, false);
    CTestWindow connectionManager(SYNC_CLASS_CONNECTION_MANAGER, true);
    ASSERT_TRUE(appManager.IsCreated() && connectionManager.IsCreated());

    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(CloseActiveSync(m_Platform));
    auto elapsed = std::chrono::steady_clock::now() - start;
    // One close of 2000 ms spent on it, then the check finds it still there.
    EXPECT_GE(elapsed, std::chrono::milliseconds(1900));
    EXPECT_EQ(connectionManager.CloseMessages(), 1);
    EXPECT_FALSE(connectionManager.IsDestroyed());
    EXPECT_TRUE(appManager.IsDestroyed());
}

TEST_F(SyncSoftwareOnWindows, TheManagerEventMakesCloseAskTheManagerToQuit)
{
    // The manager's path holds a blank: the quit command line must quote it.
    fs::path manager = CopySleeper(fs::path(m_Folder.Path()) / "Sync Software", "WCESMGR.EXE");
    CManagerPathKey key(manager);
    ASSERT_TRUE(key.IsSet());
    fs::path quitMarker = manager.string() + ".quit";

    // Without the event the manager is not asked.
    EXPECT_TRUE(CloseActiveSync(m_Platform));
    EXPECT_FALSE(fs::exists(quitMarker));

    HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, SYNC_MANAGER_EVENT);
    ASSERT_NE(hEvent, nullptr);
    EXPECT_TRUE(CloseActiveSync(m_Platform));
    CloseHandle(hEvent);
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(quitMarker); }));
}

TEST_F(SyncSoftwareOnWindows, RestartStartsTheManagerThatKillEnds)
{
    // Started from its path as the whole command line, unquoted, blank and all.
    fs::path manager = CopySleeper(fs::path(m_Folder.Path()) / "Sync Software", "WCESMGR.EXE");
    CManagerPathKey key(manager);
    ASSERT_TRUE(key.IsSet());

    RestartActiveSync(m_Platform);
    EXPECT_TRUE(m_Box.Texts().empty());
    EXPECT_TRUE(WaitUntil([] { return IsRunning(L"WCESMGR.EXE"); }));

    KillActiveSyncProcesses(m_Platform);
    EXPECT_TRUE(WaitUntil([] { return !IsRunning(L"WCESMGR.EXE"); }));
}

TEST_F(SyncSoftwareOnWindows, RestartWithoutTheManagerPathSaysSo)
{
    RestartActiveSync(m_Platform);
    EXPECT_EQ(m_Box.Texts(), std::vector<std::string>{"RegOpenKey error"});
}

TEST_F(SyncSoftwareOnWindows, ServiceCommandsSettleTheService)
{
    CTestService service(SYNC_SERVICE_NAME);
    ASSERT_TRUE(service.IsInstalled()) << "CreateService failed: " << service.CreateError();
    CSyncServiceControl control;

    // Each command returns once the service has left its pending state.
    struct COMMAND_STEP
    {
        const char* pszCommand;
        ULONG ulState;
    };
    const COMMAND_STEP STEPS[] = {
        {"START", SERVICE_RUNNING}, {"START", SERVICE_RUNNING},    {"PAUSE", SERVICE_PAUSED},
        {"STOP", SERVICE_PAUSED},   {"CONTINUE", SERVICE_RUNNING}, {"stop", SERVICE_STOPPED},
    };
    for (const COMMAND_STEP& step : STEPS)
    {
        SCOPED_TRACE(step.pszCommand);
        EXPECT_EQ(ControlSyncService(m_Platform, control, step.pszCommand), 0);
        EXPECT_EQ(service.State(), step.ulState);
    }
    EXPECT_TRUE(m_Box.Texts().empty());
}

TEST_F(SyncSoftwareOnWindows, AServiceThatNeverLeavesStartPendingIsGivenAMinute)
{
    CTestService service(SYNC_SERVICE_NAME, "--stuck-start");
    ASSERT_TRUE(service.IsInstalled()) << "CreateService failed: " << service.CreateError();
    CClock fastClock(1000);
    m_Platform.pClock = &fastClock;
    CSyncServiceControl control;

    DWORD dwStart = fastClock.GetTickCount();
    EXPECT_EQ(ControlSyncService(m_Platform, control, "START"), 0);
    EXPECT_GE(fastClock.GetTickCount() - dwStart, SYNC_SERVICE_WAIT_LIMIT_MS);
    EXPECT_EQ(service.State(), static_cast<ULONG>(SERVICE_START_PENDING));
    ASSERT_EQ(m_Box.Boxes().size(), 1u);
    EXPECT_EQ(m_Box.Boxes()[0].strCaption, "Error");
    EXPECT_EQ(m_Box.Boxes()[0].strText.rfind("API: StartService ERR: 1460 MSG: ", 0), 0u) << m_Box.Boxes()[0].strText;
}

TEST_F(SyncSoftwareOnWindows, WithoutTheServiceTheOpenFailureIsShown)
{
    CSyncServiceControl control;
    EXPECT_EQ(ControlSyncService(m_Platform, control, "STOP"), 0);
    EXPECT_EQ(m_Box.Texts(), std::vector<std::string>{"Fail OpenService"});
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

// Deleting the temporary files from TEMP with the Windows environment; TEMP is
// this test program's own variable, set to a fresh folder.
class DeleteFilesOnWindows : public ::testing::Test
{
protected:
    DeleteFilesOnWindows()
    {
        char szTemp[MAX_PATH_LEN] = {};
        m_bHadTemp = GetEnvironmentVariableA("TEMP", szTemp, sizeof(szTemp)) != 0;
        m_strSavedTemp = szTemp;
        m_SavedDir = fs::current_path();
        SetEnvironmentVariableA("TEMP", m_Folder.Path().c_str());
        m_Host.Fill(m_Platform);
    }
    ~DeleteFilesOnWindows() override
    {
        std::error_code ec;
        fs::current_path(m_SavedDir, ec);
        SetEnvironmentVariableA("TEMP", m_bHadTemp ? m_strSavedTemp.c_str() : nullptr);
    }

    void Write(const char* pszName) { std::ofstream(m_Folder.File(pszName)) << "x"; }
    bool Has(const char* pszName) const { return fs::exists(m_Folder.File(pszName)); }

    CTempDir m_Folder;
    bool m_bHadTemp = false;
    std::string m_strSavedTemp;
    fs::path m_SavedDir;
    CWin32Platform m_Host;
    PlatformContext m_Platform;
    CTraceCapture m_Trace;
};

TEST_F(DeleteFilesOnWindows, DeletesTheFilesFromTemp)
{
    for (const char* pszName : {"Tessik_Console.exe", "temp.dat", "Brenmor.exe", "other.txt"})
        Write(pszName);
    COSUtil util;
    EXPECT_TRUE(DeleteFiles(m_Platform, &util));
    EXPECT_FALSE(Has("Tessik_Console.exe"));
    EXPECT_FALSE(Has("temp.dat"));
    EXPECT_FALSE(Has("Brenmor.exe"));
    EXPECT_TRUE(Has("other.txt"));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), m_Folder.Path()));
    EXPECT_TRUE(m_Trace.Contains("Delete files --, result = 1"));
}

TEST_F(DeleteFilesOnWindows, AMissingFileStopsTheDeletionWithTheSystemText)
{
    Write("temp.dat");
    Write("Brenmor.exe");
    COSUtil util;
    EXPECT_FALSE(DeleteFiles(m_Platform, &util));
    EXPECT_TRUE(Has("temp.dat"));
    EXPECT_TRUE(Has("Brenmor.exe"));
    char szText[256];
    FormatErrorText(ERROR_FILE_NOT_FOUND, szText, sizeof(szText));
    ASSERT_STRNE(szText, "");
    EXPECT_TRUE(m_Trace.Contains(std::string("Delete files --, result = 0, lastError = ") + szText));
}

// On Windows a file that is open cannot be deleted: the image container must let
// go of the image file before its deletion, or "temp.dat" stays.
TEST_F(DeleteFilesOnWindows, TheImageFileIsReleasedBeforeItsDeletion)
{
    Write("Tessik_Console.exe");
    Write("Brenmor.exe");
    CImageBuilder image;
    ASSERT_TRUE(image.WriteTo(m_Folder.File("temp.dat")));
    COSUtil util;
    int nErr = 0;
    ASSERT_TRUE(util.InitFile(m_Folder.File("temp.dat").c_str(), &nErr));

    EXPECT_TRUE(DeleteFiles(m_Platform, &util));
    EXPECT_FALSE(Has("temp.dat"));
    EXPECT_FALSE(Has("Brenmor.exe"));
}
