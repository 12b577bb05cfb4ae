#include "app/WindowDeviceEvents.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <vector>

#include "app/VUQDlg.h"

CWindowDeviceEvents::CWindowDeviceEvents() : m_Thread(&CWindowDeviceEvents::Run, this)
{
}

CWindowDeviceEvents::~CWindowDeviceEvents()
{
    {
        std::lock_guard<std::mutex> lock(m_csQueue);
        m_bStop = true;
    }
    m_cvChanged.notify_all();
    m_Thread.join();
}

void CWindowDeviceEvents::OnDeviceArrival(const char* pszName)
{
    Queue(true, pszName);
}

void CWindowDeviceEvents::OnDeviceRemoval(const char* pszName)
{
    Queue(false, pszName);
}

void CWindowDeviceEvents::OnProgressWindowOpened(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(m_csQueue);
    m_hWindow = hwnd;
}

void CWindowDeviceEvents::OnProgressWindowClosed(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(m_csQueue);
    if (m_hWindow == hwnd)
        m_hWindow = nullptr;
}

void CWindowDeviceEvents::Queue(bool bArrival, const char* pszName)
{
    {
        std::lock_guard<std::mutex> lock(m_csQueue);
        m_Queue.push_back(DEVICE_EVENT{bArrival, pszName != nullptr ? pszName : ""});
    }
    m_cvChanged.notify_all();
}

bool CWindowDeviceEvents::WaitUntilDelivered(DWORD dwMs)
{
    std::unique_lock<std::mutex> lock(m_csQueue);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(dwMs),
                                [this] { return m_Queue.empty() && !m_bDelivering; });
}

void CWindowDeviceEvents::Run()
{
    std::unique_lock<std::mutex> lock(m_csQueue);
    for (;;)
    {
        m_cvChanged.wait(lock, [this] { return m_bStop || !m_Queue.empty(); });
        if (m_bStop)
            return;
        DEVICE_EVENT event = m_Queue.front();
        m_Queue.pop_front();
        HWND hWindow = m_hWindow;
        if (hWindow == nullptr)
        {
            m_cvChanged.notify_all();
            continue;
        }
        m_bDelivering = true;
        lock.unlock();

        // The record as the system builds it: header, class and the device name.
        std::vector<BYTE> record(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + event.strName.size());
        DEV_BROADCAST_DEVICEINTERFACE_A header = {};
        header.dbcc_size = static_cast<WIN_DWORD>(record.size());
        header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        header.dbcc_classguid = GUID_VUQ_DOWNLOAD_INTERFACE;
        std::memcpy(record.data(), &header, offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name));
        std::memcpy(record.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), event.strName.c_str(),
                    event.strName.size() + 1);
        SendMessageA(hWindow, WM_DEVICECHANGE, event.bArrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                     reinterpret_cast<LPARAM>(record.data()));

        lock.lock();
        m_bDelivering = false;
        m_cvChanged.notify_all();
    }
}
