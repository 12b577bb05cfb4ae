// Arrival and removal of download ports, by device name.
#pragma once

class IDeviceEvents
{
public:
    virtual ~IDeviceEvents() = default;
    virtual void OnDeviceArrival(const char* pszName) = 0;
    virtual void OnDeviceRemoval(const char* pszName) = 0;
};

class IDeviceNotifier
{
public:
    virtual ~IDeviceNotifier() = default;
    // Starts delivering events to pEvents (from a thread of the notifier's own);
    // false when the notifications cannot be registered.
    virtual bool Start(IDeviceEvents* pEvents) = 0;
    // Stops delivering; no event is delivered after Stop returns.
    virtual void Stop() = 0;
};
