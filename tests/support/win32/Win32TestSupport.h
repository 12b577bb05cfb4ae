// What the tests of the Windows host implementations set up on the real system
// (under Wine in the test prefix): helper processes and windows, a test service, a
// registry key of their own, and a lock for the names every test program shares.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/win32/Win32HostApi.h"

// The folder of the running test program; the helper programs are built beside it.
inline std::filesystem::path TestProgramFolder()
{
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szPath, sizeof(szPath));
    return std::filesystem::path(szPath).parent_path();
}

// A name no other test program running at the same time uses: the prefix, this
// process's id and a counter.
inline std::string UniqueTestName(const char* pszPrefix)
{
    static std::atomic<int> s_nNext{0};
    return std::string(pszPrefix) + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(s_nNext++);
}

// Waits up to nMs milliseconds for bDone() to hold.
template <typename TDone>
bool WaitUntil(TDone bDone, int nMs = 10000)
{
    for (int i = 0; i < nMs / 10; ++i)
    {
        if (bDone())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return bDone();
}

// The test programs run side by side in one desktop. The tests that use the sync
// software's own names (its window classes, event, process names and service),
// which the code under test finds wherever they are, hold this lock, so that none
// of them closes, terminates or stops what another one set up.
class CDesktopLock
{
public:
    CDesktopLock() : m_hMutex(CreateMutexA(nullptr, FALSE, "VUQTest.SyncSoftwareNames"))
    {
        ULONG ulWait = m_hMutex != nullptr ? WaitForSingleObject(m_hMutex, 120000) : WAIT_FAILED;
        // An abandoned lock (its test program died) is taken over.
        m_bHeld = ulWait == WAIT_OBJECT_0 || ulWait == WAIT_ABANDONED;
    }
    ~CDesktopLock()
    {
        if (m_bHeld)
            ReleaseMutex(m_hMutex);
        if (m_hMutex != nullptr)
            CloseHandle(m_hMutex);
    }
    CDesktopLock(const CDesktopLock&) = delete;
    CDesktopLock& operator=(const CDesktopLock&) = delete;

    bool IsHeld() const { return m_bHeld; }

private:
    HANDLE m_hMutex;
    bool m_bHeld = false;
};

// A process the test starts itself and keeps its handle to; terminated at the end
// when it still runs.
class CHelperProcess
{
public:
    explicit CHelperProcess(const std::string& strCommandLine)
    {
        std::string strLine = strCommandLine;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        if (CreateProcessA(nullptr, strLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_Info))
            CloseHandle(m_Info.hThread);
        else
            m_Info = {};
    }
    ~CHelperProcess()
    {
        if (m_Info.hProcess == nullptr)
            return;
        if (!HasEnded())
        {
            ::TerminateProcess(m_Info.hProcess, 1);
            WaitForSingleObject(m_Info.hProcess, 5000);
        }
        CloseHandle(m_Info.hProcess);
    }
    CHelperProcess(const CHelperProcess&) = delete;
    CHelperProcess& operator=(const CHelperProcess&) = delete;

    bool IsStarted() const { return m_Info.hProcess != nullptr; }
    DWORD Pid() const { return m_Info.dwProcessId; }
    bool HasEnded() const { return WaitForSingleObject(m_Info.hProcess, 0) == WAIT_OBJECT_0; }
    bool WaitForEnd(ULONG ulMs = 10000) const { return WaitForSingleObject(m_Info.hProcess, ulMs) == WAIT_OBJECT_0; }
    DWORD ExitCode() const
    {
        ULONG ulCode = 0;
        GetExitCodeProcess(m_Info.hProcess, &ulCode);
        return ulCode;
    }

private:
    PROCESS_INFORMATION m_Info = {};
};

// The sleeper helper (vuq_test_sleeper.exe) copied as strName into a folder, so
// that it runs under that process name.
inline std::filesystem::path CopySleeper(const std::filesystem::path& folder, const char* pszName)
{
    std::filesystem::path program = folder / pszName;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::copy_file(TestProgramFolder() / "vuq_test_sleeper.exe", program,
                               std::filesystem::copy_options::overwrite_existing, ec);
    return program;
}

inline std::string Quoted(const std::filesystem::path& path)
{
    return "\"" + path.string() + "\"";
}

// A top-level window of a class on a thread of its own. One that closes is
// destroyed by WM_CLOSE. One that refuses keeps its thread in the WM_CLOSE handler
// (so a sender waits in vain) until the test ends, and then stays.
class CTestWindow
{
public:
    CTestWindow(const char* pszClass, bool bRefusesClose)
        : m_strClass(pszClass), m_bRefusesClose(bRefusesClose), m_hRelease(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          m_hReady(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        m_Thread = std::thread([this] { Run(); });
        WaitForSingleObject(m_hReady, 10000);
    }
    ~CTestWindow()
    {
        SetEvent(m_hRelease);
        HWND hWnd = m_hWnd.load();
        if (hWnd != nullptr)
            PostMessageA(hWnd, WM_APP_END, 0, 0);
        if (m_Thread.joinable())
            m_Thread.join();
        CloseHandle(m_hRelease);
        CloseHandle(m_hReady);
    }
    CTestWindow(const CTestWindow&) = delete;
    CTestWindow& operator=(const CTestWindow&) = delete;

    bool IsCreated() const { return m_bCreated.load(); }
    HWND Handle() const { return m_hWnd.load(); }
    bool IsDestroyed() const { return m_bDestroyed.load(); }
    int CloseMessages() const { return m_nCloseMessages.load(); }

private:
    static constexpr UINT WM_APP_END = WM_APP + 1;

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        CTestWindow* pWindow = reinterpret_cast<CTestWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        switch (uMsg)
        {
        case WM_CLOSE:
            if (pWindow != nullptr)
            {
                ++pWindow->m_nCloseMessages;
                if (pWindow->m_bRefusesClose)
                {
                    WaitForSingleObject(pWindow->m_hRelease, 60000);
                    return 0;
                }
            }
            DestroyWindow(hWnd);
            return 0;
        case WM_APP_END:
            DestroyWindow(hWnd);
            return 0;
        case WM_DESTROY:
            if (pWindow != nullptr)
            {
                pWindow->m_hWnd.store(nullptr);
                pWindow->m_bDestroyed.store(true);
            }
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hWnd, uMsg, wParam, lParam);
        }
    }

    void Run()
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = m_strClass.c_str();
        RegisterClassA(&windowClass);   // a class registered before by this program stays as it is
        HWND hWnd = CreateWindowExA(0, m_strClass.c_str(), "VUQ test window", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                    nullptr, windowClass.hInstance, nullptr);
        if (hWnd != nullptr)
            SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_hWnd.store(hWnd);
        m_bCreated.store(hWnd != nullptr);
        SetEvent(m_hReady);
        if (hWnd == nullptr)
            return;
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
    }

    std::string m_strClass;
    bool m_bRefusesClose;
    HANDLE m_hRelease;
    HANDLE m_hReady;
    std::atomic<HWND> m_hWnd{nullptr};
    std::atomic<bool> m_bCreated{false};
    std::atomic<bool> m_bDestroyed{false};
    std::atomic<int> m_nCloseMessages{0};
    std::thread m_Thread;
};

// A key of the test's own under HKEY_LOCAL_MACHINE\Software\VUQTest, deleted with
// its values at the end.
class CTestRegistryKey
{
public:
    CTestRegistryKey() : m_strSubKey("Software\\VUQTest\\" + UniqueTestName("Key"))
    {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_strSubKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey,
                            nullptr) != ERROR_SUCCESS)
            m_hKey = nullptr;
    }
    ~CTestRegistryKey()
    {
        if (m_hKey != nullptr)
            RegCloseKey(m_hKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_strSubKey.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_strSubKey.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\VUQTest");   // only when no other test's key is left in it
    }
    CTestRegistryKey(const CTestRegistryKey&) = delete;
    CTestRegistryKey& operator=(const CTestRegistryKey&) = delete;

    bool IsCreated() const { return m_hKey != nullptr; }
    const std::string& SubKey() const { return m_strSubKey; }
    // Stores nSize bytes of data under a value name (null: the default value).
    bool SetValue(const char* pszName, ULONG ulType, const void* pData, size_t nSize)
    {
        return RegSetValueExA(m_hKey, pszName, 0, ulType, static_cast<const BYTE*>(pData), static_cast<ULONG>(nSize)) ==
               ERROR_SUCCESS;
    }
    // A text with its terminator.
    bool SetText(const char* pszName, const std::string& strText, ULONG ulType = REG_SZ)
    {
        return SetValue(pszName, ulType, strText.c_str(), strText.size() + 1);
    }

private:
    std::string m_strSubKey;
    HKEY m_hKey = nullptr;
};

// vuq_test_service.exe installed in the service manager under a name (demand
// start, its own process), with extra arguments on its command line. At the end it
// is stopped (its process terminated if it does not stop) and deleted. A test
// service of that name left behind by an earlier run that was cut short is removed
// first; a service of that name that is not the test service is never touched.
class CTestService
{
public:
    CTestService(const std::string& strName, const char* pszArguments = "") : m_strName(strName)
    {
        m_hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (m_hManager == nullptr)
        {
            m_ulCreateError = GetLastError();
            return;
        }
        RemoveLeftover(m_hManager, strName);
        std::string strCommand = Quoted(TestProgramFolder() / TEST_SERVICE_PROGRAM) + " " + pszArguments;
        m_hService = CreateServiceA(m_hManager, strName.c_str(), strName.c_str(), SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                    strCommand.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        m_ulCreateError = m_hService != nullptr ? ERROR_SUCCESS : GetLastError();
    }
    ~CTestService()
    {
        if (m_hService != nullptr)
            Remove(m_hService);
        if (m_hManager != nullptr)
            CloseServiceHandle(m_hManager);
    }

    // Whether a service of this name is installed that is not the test service
    // (the real one of the sync software, on a machine that has it).
    static bool IsOtherServiceInstalled(const std::string& strName)
    {
        SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE hService =
            hManager != nullptr ? OpenServiceA(hManager, strName.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
        bool bOther = hService != nullptr && !IsTestService(hService);
        if (hService != nullptr)
            CloseServiceHandle(hService);
        if (hManager != nullptr)
            CloseServiceHandle(hManager);
        return bOther;
    }

    // Removes a test service of this name, if there is one, and waits until it is gone.
    static void RemoveLeftover(SC_HANDLE hManager, const std::string& strName)
    {
        SC_HANDLE hService = OpenServiceA(hManager, strName.c_str(), SERVICE_ALL_ACCESS);
        if (hService == nullptr)
            return;
        if (!IsTestService(hService))
        {
            CloseServiceHandle(hService);
            return;
        }
        Remove(hService);
        WaitUntil([&] {
            SC_HANDLE hLeft = OpenServiceA(hManager, strName.c_str(), SERVICE_QUERY_STATUS);
            if (hLeft != nullptr)
                CloseServiceHandle(hLeft);
            return hLeft == nullptr;
        });
    }

    bool IsInstalled() const { return m_hService != nullptr; }
    ULONG CreateError() const { return m_ulCreateError; }
    const std::string& Name() const { return m_strName; }

    // The state the service manager reports (0 when the query fails).
    ULONG State() const { return StateOf(m_hService); }
    bool WaitForState(ULONG ulState, int nMs = 10000) const { return WaitForStateOf(m_hService, ulState, nMs); }
    bool Start() { return StartServiceA(m_hService, 0, nullptr) != FALSE; }
    bool Control(ULONG ulControl)
    {
        SERVICE_STATUS status = {};
        return ::ControlService(m_hService, ulControl, &status) != FALSE;
    }

private:
    static constexpr char TEST_SERVICE_PROGRAM[] = "vuq_test_service.exe";

    static bool IsTestService(SC_HANDLE hService)
    {
        ULONG ulNeeded = 0;
        QueryServiceConfigA(hService, nullptr, 0, &ulNeeded);
        std::string strConfig(ulNeeded, '\0');
        QUERY_SERVICE_CONFIGA* pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(strConfig.data());
        if (ulNeeded == 0 || !QueryServiceConfigA(hService, pConfig, ulNeeded, &ulNeeded) ||
            pConfig->lpBinaryPathName == nullptr)
            return false;
        return std::string(pConfig->lpBinaryPathName).find(TEST_SERVICE_PROGRAM) != std::string::npos;
    }

    static ULONG StateOf(SC_HANDLE hService)
    {
        SERVICE_STATUS status = {};
        return QueryServiceStatus(hService, &status) ? status.dwCurrentState : 0;
    }
    static bool WaitForStateOf(SC_HANDLE hService, ULONG ulState, int nMs)
    {
        return WaitUntil([&] { return StateOf(hService) == ulState; }, nMs);
    }

    // Stops the service (or terminates its process when it does not stop), deletes
    // it and closes the handle.
    static void Remove(SC_HANDLE hService)
    {
        ULONG ulState = StateOf(hService);
        bool bStopped = ulState == SERVICE_STOPPED;
        if (ulState == SERVICE_PAUSED || ulState == SERVICE_RUNNING)
        {
            SERVICE_STATUS status = {};
            bStopped = ::ControlService(hService, SERVICE_CONTROL_STOP, &status) &&
                       WaitForStateOf(hService, SERVICE_STOPPED, 5000);
        }
        if (!bStopped)
        {
            // A service that does not stop (one stuck in a pending state) goes with its process.
            SERVICE_STATUS_PROCESS status = {};
            ULONG ulNeeded = 0;
            if (QueryServiceStatusEx(hService, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                     sizeof(status), &ulNeeded) &&
                status.dwProcessId != 0)
            {
                HANDLE hProcess = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
                if (hProcess != nullptr)
                {
                    ::TerminateProcess(hProcess, 1);
                    WaitForSingleObject(hProcess, 5000);
                    CloseHandle(hProcess);
                }
            }
            // The system then reports the service stopped; Wine keeps its last state.
        }
        DeleteService(hService);
        CloseServiceHandle(hService);
    }

    std::string m_strName;
    SC_HANDLE m_hManager = nullptr;
    SC_HANDLE m_hService = nullptr;
    ULONG m_ulCreateError = ERROR_SUCCESS;
};
