#include "platform/win32/Win32Version.h"

#include "platform/win32/Win32HostApi.h"

namespace
{
typedef LONG(WINAPI* RTL_GET_VERSION)(RTL_OSVERSIONINFOW*);
}

bool CWin32HostVersion::GetVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    HMODULE hNtDll = GetModuleHandleA("ntdll.dll");
    FARPROC pfnProc = hNtDll != nullptr ? GetProcAddress(hNtDll, "RtlGetVersion") : nullptr;
    if (pfnProc == nullptr)
        return FailWithSystemError();
    // GetProcAddress returns every entry point as one generic type; the one
    // without parameters converts to the real type without a warning.
    RTL_GET_VERSION pfnGetVersion = reinterpret_cast<RTL_GET_VERSION>(reinterpret_cast<void (*)()>(pfnProc));

    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    LONG lStatus = pfnGetVersion(&info);
    if (lStatus != 0)   // an NTSTATUS; 0 is success
        return FailWithError(ERROR_GEN_FAILURE);
    *pdwMajor = info.dwMajorVersion;
    *pdwMinor = info.dwMinorVersion;
    return true;
}
