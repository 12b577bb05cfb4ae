#include "platform/win32/Win32Platform.h"

void CWin32Platform::Fill(PlatformContext& platform)
{
    platform.pHostVersion = &m_HostVersion;
    platform.pHostEnvironment = &m_HostEnvironment;
    platform.pDesktopWindows = &m_DesktopWindows;
    platform.pRegistry = &m_Registry;
    platform.pProcesses = &m_Processes;
    platform.pServiceManager = &m_ServiceManager;
}
