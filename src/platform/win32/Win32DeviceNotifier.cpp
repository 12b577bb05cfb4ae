#include "platform/win32/Win32DeviceNotifier.h"

#include <cstddef>
#include <cstring>
#include <future>
#include <vector>

#include "common/LastError.h"
#include "common/Trace.h"
#include "platform/win32/Win32Text.h"

const GUID VUQ_PORT_INTERFACE_CLASS = {0x25DBCE51, 0x6C8F, 0x4A72, {0x8A, 0x6D, 0xB5, 0x4C, 0x2B, 0x4F, 0xC8, 0x35}};

namespace
{
constexpr wchar_t NOTIFIER_CLASS[] = L"VuqDeviceNotifier";

// A name in the system's ANSI code page, as UTF-8.
std::string AnsiToUtf8(const char* pszText, size_t nLen)
{
    if (nLen == 0)
        return std::string();
    int nWide = MultiByteToWideChar(CP_ACP, 0, pszText, static_cast<int>(nLen), nullptr, 0);
    if (nWide <= 0)
        return std::string();
    std::wstring strWide(static_cast<size_t>(nWide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, pszText, static_cast<int>(nLen), strWide.data(), nWide);
    return WideToUtf8(strWide.c_str());
}

// The length of a name of at most nMax characters that may lack its terminator.
template <typename TChar>
size_t BoundedLength(const TChar* pszName, size_t nMax)
{
    size_t nLen = 0;
    while (nLen < nMax && pszName[nLen] != 0)
        ++nLen;
    return nLen;
}

// What the notifier's window procedure works with, on its thread's stack.
struct NOTIFIER_WINDOW
{
    IDeviceEvents* pEvents = nullptr;
    HDEVNOTIFY hNotify = nullptr;
};

LRESULT CALLBACK NotifierWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_NCCREATE)
    {
        auto* pCreate = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
    }
    auto* pWindow = reinterpret_cast<NOTIFIER_WINDOW*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    switch (uMsg)
    {
    case WM_DEVICECHANGE:
    {
        DEVICE_CHANGE change;
        if (pWindow != nullptr && DecodeDeviceChange(hWnd, wParam, lParam, &change))
        {
            if (change.nKind == DEVICE_CHANGE_ARRIVAL)
                pWindow->pEvents->OnDeviceArrival(change.strName.c_str());
            else
                pWindow->pEvents->OnDeviceRemoval(change.strName.c_str());
        }
        break;
    }
    case WM_DESTROY:
        if (pWindow != nullptr)
        {
            UnregisterPortNotifications(pWindow->hNotify);
            pWindow->hNotify = nullptr;
        }
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// The outcome of the window's creation, handed from the notifier's thread to Start.
struct NOTIFIER_START
{
    HWND hWnd = nullptr;
    WIN_DWORD dwError = 0;
};

// The notifier's thread: creates the window and its registration, reports the
// outcome, then runs the window's messages until it is destroyed.
void RunNotifierWindow(IDeviceEvents* pEvents, std::promise<NOTIFIER_START>* pStarted)
{
    NOTIFIER_WINDOW window;
    window.pEvents = pEvents;
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = NotifierWindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = NOTIFIER_CLASS;
    // The class is shared by every notifier of the process; a second registration
    // finds it there.
    if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    {
        pStarted->set_value(NOTIFIER_START{nullptr, GetLastError()});
        return;
    }
    HWND hWnd = CreateWindowExW(0, NOTIFIER_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, hInstance, &window);
    if (hWnd == nullptr)
    {
        pStarted->set_value(NOTIFIER_START{nullptr, GetLastError()});
        return;
    }
    window.hNotify = RegisterPortNotifications(hWnd);
    if (window.hNotify == nullptr)
    {
        WIN_DWORD dwError = GetLastError();
        DestroyWindow(hWnd);
        pStarted->set_value(NOTIFIER_START{nullptr, dwError});
        return;
    }
    pStarted->set_value(NOTIFIER_START{hWnd, 0});

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
    {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
}

HDEVNOTIFY RegisterPortNotifications(HWND hWnd)
{
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = VUQ_PORT_INTERFACE_CLASS;
    HDEVNOTIFY hNotify = RegisterDeviceNotificationW(hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (hNotify == nullptr)
    {
        WIN_DWORD dwError = GetLastError();
        Trace(false, "RegisterDeviceNotification Fail");
        SetLastErrorCode(dwError);
        SetLastError(dwError);
    }
    return hNotify;
}

void UnregisterPortNotifications(HDEVNOTIFY hNotify)
{
    if (hNotify != nullptr)
        UnregisterDeviceNotification(hNotify);
}

bool DecodeDeviceChange(HWND hWnd, WPARAM wParam, LPARAM lParam, DEVICE_CHANGE* pChange)
{
    if ((wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) || lParam == 0)
        return false;
    const auto* pHeader = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (pHeader->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return false;
    // The name fills the record up to its size and may lack its terminator there.
    if (IsWindowUnicode(hWnd))
    {
        const auto* pInterface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
        size_t nOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
        size_t nMax = pInterface->dbcc_size > nOffset ? (pInterface->dbcc_size - nOffset) / sizeof(wchar_t) : 0;
        pChange->strName =
            WideToUtf8(std::wstring(pInterface->dbcc_name, BoundedLength(pInterface->dbcc_name, nMax)).c_str());
    }
    else
    {
        const auto* pInterface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
        size_t nOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
        size_t nMax = pInterface->dbcc_size > nOffset ? pInterface->dbcc_size - nOffset : 0;
        pChange->strName = AnsiToUtf8(pInterface->dbcc_name, BoundedLength(pInterface->dbcc_name, nMax));
    }
    pChange->nKind = wParam == DBT_DEVICEARRIVAL ? DEVICE_CHANGE_ARRIVAL : DEVICE_CHANGE_REMOVAL;
    return true;
}

LRESULT SendDeviceChange(HWND hWnd, int nKind, const char* pszName)
{
    WPARAM wParam = nKind == DEVICE_CHANGE_ARRIVAL ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    // The name with its terminator, which ends the record; 8-byte units keep the
    // record aligned.
    std::wstring strWide = Utf8ToWide(pszName);
    strWide.push_back(L'\0');
    if (IsWindowUnicode(hWnd))
    {
        size_t nSize = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + strWide.size() * sizeof(wchar_t);
        std::vector<unsigned long long> record((nSize + 7) / 8, 0);
        auto* pInterface = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
        pInterface->dbcc_size = static_cast<WIN_DWORD>(nSize);
        pInterface->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        pInterface->dbcc_classguid = VUQ_PORT_INTERFACE_CLASS;
        std::memcpy(pInterface->dbcc_name, strWide.data(), strWide.size() * sizeof(wchar_t));
        return SendMessageW(hWnd, WM_DEVICECHANGE, wParam, reinterpret_cast<LPARAM>(pInterface));
    }
    int nAnsi = WideCharToMultiByte(CP_ACP, 0, strWide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string strAnsi(static_cast<size_t>(nAnsi > 0 ? nAnsi : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, strWide.c_str(), -1, strAnsi.data(), nAnsi, nullptr, nullptr);
    size_t nSize = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + strAnsi.size();
    std::vector<unsigned long long> record((nSize + 7) / 8, 0);
    auto* pInterface = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.data());
    pInterface->dbcc_size = static_cast<WIN_DWORD>(nSize);
    pInterface->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    pInterface->dbcc_classguid = VUQ_PORT_INTERFACE_CLASS;
    std::memcpy(pInterface->dbcc_name, strAnsi.data(), strAnsi.size());
    return SendMessageA(hWnd, WM_DEVICECHANGE, wParam, reinterpret_cast<LPARAM>(pInterface));
}

CWin32DeviceNotifier::~CWin32DeviceNotifier()
{
    Stop();
}

bool CWin32DeviceNotifier::Start(IDeviceEvents* pEvents)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_Thread.joinable() || pEvents == nullptr)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    std::promise<NOTIFIER_START> started;
    std::future<NOTIFIER_START> result = started.get_future();
    m_Thread = std::thread(RunNotifierWindow, pEvents, &started);
    NOTIFIER_START start = result.get();
    if (start.hWnd == nullptr)
    {
        m_Thread.join();
        SetLastErrorCode(start.dwError);
        return false;
    }
    m_hWnd = start.hWnd;
    return true;
}

void CWin32DeviceNotifier::Stop()
{
    std::thread thread;
    HWND hWnd = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        thread = std::move(m_Thread);
        hWnd = m_hWnd;
        m_hWnd = nullptr;
    }
    if (!thread.joinable())
        return;
    // The window is destroyed on its own thread, which then leaves its message loop.
    PostMessageW(hWnd, WM_CLOSE, 0, 0);
    thread.join();
}

HWND CWin32DeviceNotifier::GetWindow()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_hWnd;
}
