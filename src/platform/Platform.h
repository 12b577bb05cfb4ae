// The platform services one program run works with. The programs fill it with
// the Linux implementations (or the simulated ones with --simulate); tests fill
// it with simulated and recording ones.
#pragma once

#include "platform/BulkUsb.h"
#include "platform/Clock.h"
#include "platform/HostSystem.h"
#include "platform/MessageBox.h"
#include "platform/PortDriver.h"
#include "platform/RemoteApi.h"

// Caption of the application's own message boxes.
constexpr char APP_TITLE[] = "VUQ";

struct PlatformContext
{
    IClock* pClock = nullptr;
    IPortDriver* pPortDriver = nullptr;
    IBulkUsb* pBulkUsb = nullptr;        // null: the bulk-USB library is not installed
    IRemoteApi* pRemoteApi = nullptr;
    IHostSystem* pHost = nullptr;
    IMessageBox* pMessageBox = nullptr;  // boxes that belong to no progress window
};

// The application's standard message box (its title as caption, an OK button);
// nothing when the context has no message box.
inline void ShowAppMessage(const PlatformContext& platform, const char* pszText)
{
    if (platform.pMessageBox != nullptr)
        platform.pMessageBox->MessageBox(pszText, APP_TITLE, MB_STYLE_OK);
}
