// The platform services one program run works with. The programs fill it with
// the Linux implementations (or the simulated ones with --simulate); tests fill
// it with simulated and recording ones.
//
// The desktop host comes as one interface per facility, so that a host serves
// only what it has. A null facility is absent on this host (Linux has no desktop
// windows, registry or service manager), and the code that would use it acts as
// on a host where the facility finds nothing:
// - no host version: the version is unknown (the link takes its default path);
// - no environment: TEMP cannot be read, the current directory is neither saved
//   nor changed, and no file is deleted;
// - no desktop windows: there is no window to close and no manager event (the
//   thread's last error is "not found", as an event lookup that fails sets it);
// - no registry: every key is missing (REG_RESULT_FILE_NOT_FOUND, also as the
//   thread's last error);
// - no processes: none is listed, so none is terminated; starting one fails;
// - no service manager: opening it fails ("not supported" as the last error),
//   which is reported as the manager that cannot be opened.
#pragma once

#include <type_traits>

#include "platform/BulkUsb.h"
#include "platform/Clock.h"
#include "platform/DesktopWindows.h"
#include "platform/HostEnvironment.h"
#include "platform/HostVersion.h"
#include "platform/MessageBox.h"
#include "platform/PortDriver.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/RemoteApi.h"
#include "platform/ServiceManager.h"

// Caption of the application's own message boxes.
constexpr char APP_TITLE[] = "VUQ";

struct PlatformContext
{
    IClock* pClock = nullptr;
    IPortDriver* pPortDriver = nullptr;
    IBulkUsb* pBulkUsb = nullptr;        // null: the bulk-USB library is not installed
    IRemoteApi* pRemoteApi = nullptr;
    // The desktop host, one facility each; null: absent (see above).
    IHostVersion* pHostVersion = nullptr;
    IHostEnvironment* pHostEnvironment = nullptr;
    IDesktopWindows* pDesktopWindows = nullptr;
    IRegistry* pRegistry = nullptr;
    IProcesses* pProcesses = nullptr;
    IServiceManager* pServiceManager = nullptr;
    IMessageBox* pMessageBox = nullptr;  // boxes that belong to no progress window
};

// Points the context's host facilities at an object that serves several of them
// (the simulated host, a test's fake). The facilities it does not serve are left
// as they are.
template <typename THost>
void AttachHost(PlatformContext& platform, THost& host)
{
    if constexpr (std::is_base_of_v<IHostVersion, THost>)
        platform.pHostVersion = &host;
    if constexpr (std::is_base_of_v<IHostEnvironment, THost>)
        platform.pHostEnvironment = &host;
    if constexpr (std::is_base_of_v<IDesktopWindows, THost>)
        platform.pDesktopWindows = &host;
    if constexpr (std::is_base_of_v<IRegistry, THost>)
        platform.pRegistry = &host;
    if constexpr (std::is_base_of_v<IProcesses, THost>)
        platform.pProcesses = &host;
    if constexpr (std::is_base_of_v<IServiceManager, THost>)
        platform.pServiceManager = &host;
}

// The application's standard message box (its title as caption, an OK button);
// nothing when the context has no message box.
inline void ShowAppMessage(const PlatformContext& platform, const char* pszText)
{
    if (platform.pMessageBox != nullptr)
        platform.pMessageBox->MessageBox(pszText, APP_TITLE, MB_STYLE_OK);
}
