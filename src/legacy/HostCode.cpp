#include "legacy/HostCode.h"

#include "platform/HostVersion.h"

bool ReadLegacyHostCode(IHostVersion* pHostVersion, DWORD* pdwCode)
{
    *pdwCode = LEGACY_HOST_CODE_50;
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    if (pHostVersion == nullptr || !pHostVersion->GetVersion(&dwMajor, &dwMinor))
        return false;
    if (dwMajor == 5 && dwMinor == 1)
        *pdwCode = LEGACY_HOST_CODE_51;
    else if (dwMajor != 5 || dwMinor != 0)
        *pdwCode = LEGACY_HOST_CODE_OTHER;
    return true;
}

DWORD GetLegacyHostCode(IHostVersion* pHostVersion)
{
    DWORD dwCode = LEGACY_HOST_CODE_50;
    ReadLegacyHostCode(pHostVersion, &dwCode);
    return dwCode;
}
