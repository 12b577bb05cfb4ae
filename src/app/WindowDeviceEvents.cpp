#include "app/WindowDeviceEvents.h"

#include "platform/win32/Win32DeviceNotifier.h"

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
            continue;
        lock.unlock();

        SendDeviceChange(hWindow, event.bArrival ? DEVICE_CHANGE_ARRIVAL : DEVICE_CHANGE_REMOVAL,
                         event.strName.c_str());

        lock.lock();
    }
}
