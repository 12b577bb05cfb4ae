// The device-change handling of the progress window, as a reusable object: an
// arrival of a download port is added and checked, then signalled to the worker;
// a removal is signalled as well. The GUI's progress window, vuqctl and the tests
// feed it from their device notifier.
#pragma once

#include "link/Downloader.h"
#include "platform/DeviceNotifier.h"

class CDeviceChangeHandler : public IDeviceEvents
{
public:
    explicit CDeviceChangeHandler(CDownloader& downloader);

    // Arrival of a device interface: AddUSB, CheckUSBConnection, then the arrival
    // event is set (true: the notification is handled) or the port is removed
    // again (false: the caller passes the notification on).
    bool HandleArrival(const char* pszName);
    // Removal of a device interface: RemoveUSB and the removal event. Always false:
    // the caller passes the notification on.
    bool HandleRemoval(const char* pszName);

    // IDeviceEvents: the same, for notifiers that deliver names.
    void OnDeviceArrival(const char* pszName) override;
    void OnDeviceRemoval(const char* pszName) override;

private:
    CDownloader& m_Downloader;
};
