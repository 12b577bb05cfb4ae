// vuq.exe: the updater wizard.
//
//   vuq.exe                              the update of the handset on this PC's USB link
//   vuq.exe --simulate [--time-scale N]  the whole wizard against the virtual handset and a
//                                        simulated desk (sync software, its service, the
//                                        handset's remote API); files are real: "temp.dat"
//                                        and "Tessik_Console.exe" are taken from TEMP, and
//                                        samples are written there where they are missing.
//                                        --time-scale N runs every wait N times faster.
//
// Without --simulate as its first argument the program reads no argument at all.
#include "platform/win32/Win32SystemHeaders.h"

#include "app/VuqApp.h"
#include "app/WindowDeviceEvents.h"
#include "platform/sim/SampleFiles.h"
#include "platform/sim/SimDesk.h"
#include "platform/win32/Win32Environment.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32PortDriver.h"
#include "platform/win32/Win32RemoteApi.h"
#include "platform/win32/WinUsbBulk.h"
#include "ui/SimulateArguments.h"

namespace
{
// The update of a handset on this PC, with the exact times: the Windows host, the
// port driver, WinUSB and the sync software's remote API (each library loaded by
// name when the link needs it; a PC without one behaves as one without a handset).
int RunOnThisPc(HINSTANCE hInstance)
{
    CClock clock;
    CWin32Platform host;
    CWin32PortDriver ports;
    CWinUsbBulk bulk;
    CWin32RemoteApi remoteApi;
    PlatformContext platform;
    platform.pClock = &clock;
    platform.pPortDriver = &ports;
    platform.pBulkUsb = &bulk;
    platform.pRemoteApi = &remoteApi;
    host.Fill(platform);
    CVUQApp app(platform, hInstance);
    app.InitInstance();
    return 0;
}

// The wizard on the simulated desk, with this PC's files.
int RunSimulated(HINSTANCE hInstance, DWORD dwTimeScale)
{
    CWin32HostEnvironment environment;
    char szTemp[MAX_PATH_LEN] = {};
    if (environment.GetEnvironment("TEMP", szTemp, sizeof(szTemp)))
        WriteMissingSampleFiles(szTemp);

    // The handset announces itself to the open progress window, as the system does.
    CWindowDeviceEvents events;
    CSimDesk desk(dwTimeScale, &environment, &events);
    CVUQApp app(desk.Platform(), hInstance);
    app.SetProgressWindowObserver(&events);
    app.InitInstance();
    return 0;
}
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    if (IsSimulateCommand(__argc, __argv))
        return RunSimulated(hInstance, TimeScaleOf(__argc, __argv));
    return RunOnThisPc(hInstance);
}
