// The Windows version of the host, as the kernel reports it.
//
// GetVersionEx reports 6.2 on Windows 8.1, 10 and 11 to programs that do not
// declare those versions in a manifest; RtlGetVersion (ntdll, looked up at run
// time) reports the real one, 10.0 on Windows 10 and 11. Under Wine it reports
// the version the prefix (or the program's own Wine setting) is set to.
#pragma once

#include "platform/HostVersion.h"

class CWin32HostVersion : public IHostVersion
{
public:
    // False, with the thread's last error set, when ntdll has no RtlGetVersion or it fails.
    bool GetVersion(DWORD* pdwMajor, DWORD* pdwMinor) override;
};
