// Device events for a download port named by a path, such as a stable name
// under /dev/serial/by-id: the path appearing is an arrival, its disappearance a
// removal, and the name leading to another node (a device that left and came back
// between two looks) is a removal followed by an arrival. The path is polled every
// 50 ms from a thread of the notifier's own.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/DeviceNotifier.h"

class CPathDeviceNotifier : public IDeviceNotifier
{
public:
    explicit CPathDeviceNotifier(const char* pszPath);
    ~CPathDeviceNotifier() override;

    // A path that exists at Start is reported as an arrival at once.
    bool Start(IDeviceEvents* pEvents) override;
    void Stop() override;

private:
    void Watch();

    std::string m_strPath;
    IDeviceEvents* m_pEvents = nullptr;
    std::atomic<bool> m_bStop{false};
    std::thread m_Thread;
};
