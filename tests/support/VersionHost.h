// A host that reports one version (or none) and serves no other facility. For
// tests where only the host generation matters.
#pragma once

#include "platform/HostVersion.h"

class CVersionHost : public IHostVersion
{
public:
    CVersionHost(bool bKnown, DWORD dwMajor, DWORD dwMinor) : m_bKnown(bKnown), m_dwMajor(dwMajor), m_dwMinor(dwMinor)
    {
    }
    bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) override
    {
        *pdwMajor = m_dwMajor;
        *pdwMinor = m_dwMinor;
        return m_bKnown;
    }

private:
    bool m_bKnown;
    DWORD m_dwMajor;
    DWORD m_dwMinor;
};
