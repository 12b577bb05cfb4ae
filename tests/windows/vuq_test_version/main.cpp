// Exits with the host version as major * 100 + minor, 0 when there is none.
#include "platform/win32/Win32Version.h"

int main()
{
    CWin32HostVersion version;
    DWORD dwMajor = 0;
    DWORD dwMinor = 0;
    if (!version.GetVersion(&dwMajor, &dwMinor))
        return 0;
    return static_cast<int>(dwMajor * 100 + dwMinor);
}
