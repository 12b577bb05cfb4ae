#include "platform/sim/SimDeviceNotifier.h"

CSimDeviceNotifier::CSimDeviceNotifier(CVirtualHandset& handset) : m_Handset(handset)
{
}

CSimDeviceNotifier::~CSimDeviceNotifier()
{
    Stop();
}

bool CSimDeviceNotifier::Start(IDeviceEvents* pEvents)
{
    m_Handset.SetEventSink(pEvents);
    return true;
}

void CSimDeviceNotifier::Stop()
{
    m_Handset.SetEventSink(nullptr);
}
