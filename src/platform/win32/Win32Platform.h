// The Windows implementations of the platform seam that one program owns, and
// the platform context they fill. Every host facility is present on Windows.
// The clock and the message box belong to the program, which sets them itself.
#pragma once

#include "platform/Platform.h"
#include "platform/win32/Win32Environment.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Services.h"
#include "platform/win32/Win32Version.h"
#include "platform/win32/Win32Windows.h"

class CWin32Platform
{
public:
    CWin32Platform() = default;
    CWin32Platform(const CWin32Platform&) = delete;
    CWin32Platform& operator=(const CWin32Platform&) = delete;

    // Points the context's facilities at the implementations this object owns;
    // the context must not outlive it.
    void Fill(PlatformContext& platform);

private:
    CWin32HostVersion m_HostVersion;
    CWin32HostEnvironment m_HostEnvironment;
    CWin32DesktopWindows m_DesktopWindows;
    CWin32Registry m_Registry;
    CWin32Processes m_Processes;
    CWin32ServiceManager m_ServiceManager;
};
