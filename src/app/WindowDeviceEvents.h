// Device events of the simulated handset, delivered as the system delivers them to
// a registered window: WM_DEVICECHANGE with a device-interface record of the download
// ports' class, sent to the progress window that is open. Events while no progress
// window is open go nowhere, as with the system's notifications.
//
// The handset announces from its own thread and must never wait for the window's
// thread, so events are queued and sent from a thread of this object's own.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "app/VuqApp.h"
#include "platform/DeviceNotifier.h"

class CWindowDeviceEvents : public IDeviceEvents, public IProgressWindowObserver
{
public:
    CWindowDeviceEvents();
    ~CWindowDeviceEvents() override;
    CWindowDeviceEvents(const CWindowDeviceEvents&) = delete;
    CWindowDeviceEvents& operator=(const CWindowDeviceEvents&) = delete;

    // IDeviceEvents
    void OnDeviceArrival(const char* pszName) override;
    void OnDeviceRemoval(const char* pszName) override;
    // IProgressWindowObserver
    void OnProgressWindowOpened(HWND hwnd) override;
    void OnProgressWindowClosed(HWND hwnd) override;

private:
    struct DEVICE_EVENT
    {
        bool bArrival;
        std::string strName;
    };
    void Queue(bool bArrival, const char* pszName);
    void Run();

    std::mutex m_csQueue;
    std::condition_variable m_cvChanged;
    std::deque<DEVICE_EVENT> m_Queue;
    bool m_bStop = false;
    HWND m_hWindow = nullptr;
    std::thread m_Thread;
};
