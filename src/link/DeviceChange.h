// The device-change handling of the progress window, as a reusable object: an
// arrival of a download port is added and checked, then signalled to the worker;
// a removal is signalled as well. The GUI's progress window, vuqctl and the tests
// feed it from their device notifier.
//
// The open check of an arrival makes its first attempt at once. A device that
// cannot be opened yet is checked further on a thread of the handler's own, so the
// notifier's thread goes on delivering arrivals and removals meanwhile: a later
// arrival or a removal stops that check, and so does the handler's end, without
// waiting for the check's remaining attempts.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "link/Downloader.h"
#include "platform/DeviceNotifier.h"

class CDeviceChangeHandler : public IDeviceEvents
{
public:
    explicit CDeviceChangeHandler(CDownloader& downloader);
    // Stops a check that is still running.
    ~CDeviceChangeHandler() override;
    CDeviceChangeHandler(const CDeviceChangeHandler&) = delete;
    CDeviceChangeHandler& operator=(const CDeviceChangeHandler&) = delete;

    // Arrival of a device interface: AddUSB and the first attempt of the open
    // check. True when the device opened: the arrival event is set and the
    // notification is handled. False otherwise (the caller passes the notification
    // on): a refused name is removed again at once; any other device is checked
    // further in the background, which sets the arrival event once it opens or
    // removes the port again after the last attempt.
    bool HandleArrival(const char* pszName);
    // Removal of a device interface: stops a running check, RemoveUSB and the
    // removal event. Always false: the caller passes the notification on.
    bool HandleRemoval(const char* pszName);

    // True while a background check runs.
    bool IsChecking();
    // Waits (real time) until no background check runs; false when one still does.
    bool WaitForCheck(DWORD dwRealMs);

    // IDeviceEvents: the same, for notifiers that deliver names.
    void OnDeviceArrival(const char* pszName) override;
    void OnDeviceRemoval(const char* pszName) override;

private:
    void StopCheck();
    void RunCheck(std::string strName);

    CDownloader& m_Downloader;
    std::mutex m_csCheck;            // guards the check thread's start and stop
    std::thread m_CheckThread;
    CEvent m_StopCheck{true, false};
    CEvent m_CheckDone{true, true};
};
