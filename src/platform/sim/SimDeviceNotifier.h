// The device notifier of simulated runs: the virtual handset announces its own
// arrivals and removals.
#pragma once

#include "platform/DeviceNotifier.h"
#include "platform/sim/VirtualHandset.h"

class CSimDeviceNotifier : public IDeviceNotifier
{
public:
    explicit CSimDeviceNotifier(CVirtualHandset& handset);
    ~CSimDeviceNotifier() override;
    bool Start(IDeviceEvents* pEvents) override;
    void Stop() override;

private:
    CVirtualHandset& m_Handset;
};
