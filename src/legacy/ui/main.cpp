// vuq-legacy.exe: the legacy updater's wizard.
//
//   vuq-legacy.exe                              the update of the handset on this PC's
//                                               serial host driver port
//   vuq-legacy.exe --simulate [--time-scale N]  the whole wizard against the virtual
//                                               handset (legacy dialect) and a simulated
//                                               desk (sync software, the handset's remote
//                                               API); files are real: samples of
//                                               "temp.dat" and "Tessik_Console.exe" are
//                                               written into TEMP where they are missing,
//                                               and TEMP is made the current directory,
//                                               where the first page finds the agent.
//                                               --time-scale N runs every wait N times
//                                               faster.
//
// Without --simulate as its first argument the program reads no argument at all.
#include "platform/win32/Win32SystemHeaders.h"

#include "legacy/LegacyExchange.h"
#include "legacy/ui/LegacyApp.h"
#include "platform/sim/SampleFiles.h"
#include "platform/sim/SimDesk.h"
#include "platform/sim/SimPortBus.h"
#include "platform/win32/Win32Environment.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32PortDriver.h"
#include "platform/win32/Win32RemoteApi.h"
#include "ui/SimulateArguments.h"

namespace
{
// The update of a handset on this PC, with the exact times: the Windows host, the
// port driver and the sync software's remote API.
int RunOnThisPc(HINSTANCE hInstance)
{
    CClock clock;
    CWin32Platform host;
    CWin32PortDriver ports;
    CWin32RemoteApi remoteApi;
    PlatformContext platform;
    platform.pClock = &clock;
    platform.pPortDriver = &ports;
    platform.pRemoteApi = &remoteApi;
    host.Fill(platform);
    char szPort[LEGACY_PORT_NAME_LEN] = {};
    FormatLegacyPortName(szPort, sizeof(szPort));
    CLegacyApp app(platform, hInstance, szPort);
    app.InitInstance();
    return 0;
}

// The wizard on the simulated desk, with this PC's files.
int RunSimulated(HINSTANCE hInstance, DWORD dwTimeScale)
{
    CWin32HostEnvironment environment;
    char szTemp[MAX_PATH_LEN] = {};
    if (environment.GetEnvironment("TEMP", szTemp, sizeof(szTemp)))
    {
        WriteMissingSampleFiles(szTemp);
        environment.SetCurrentDir(szTemp);
    }

    // The handset is reached by its bus alias; nothing announces it to a window.
    CSimDesk desk(dwTimeScale, &environment, nullptr, HANDSET_DIALECT_LEGACY);
    CLegacyApp app(desk.Platform(), hInstance, SIM_PORT_ALIAS);
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
