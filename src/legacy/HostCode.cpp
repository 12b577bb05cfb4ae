#include "legacy/HostCode.h"

#include "platform/HostVersion.h"

DWORD GetLegacyHostCode(IHostVersion* pHostVersion)
{
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    if (pHostVersion == nullptr || !pHostVersion->GetVersion(&dwMajor, &dwMinor))
        return LEGACY_HOST_CODE_50;
    if (dwMajor == 5 && dwMinor == 0)
        return LEGACY_HOST_CODE_50;
    if (dwMajor == 5 && dwMinor == 1)
        return LEGACY_HOST_CODE_51;
    return LEGACY_HOST_CODE_OTHER;
}
