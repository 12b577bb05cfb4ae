// vuqctl on Windows: the Windows implementations of the seam; ports are device
// names (COM3, \\.\COM3, a device-interface path) watched by name; the virtual
// handset lives in process, as there are no pseudo-terminals, and announces itself
// through a window's device-change notifications.
#include "cli/LocalPlatform.h"

#include <io.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "platform/sim/VirtualHandset.h"
#include "platform/win32/Win32DeviceNotifier.h"
#include "platform/win32/Win32NameWatcher.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32PortDriver.h"
#include "platform/win32/Win32RemoteApi.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinUsbBulk.h"

namespace
{
// The Windows port driver, WinUSB and the remote API, each loaded by name when
// used; every host facility is there on Windows.
class CWindowsPlatform : public CLocalPlatform
{
public:
    CWindowsPlatform(IMessageBox* pBoxes, DWORD dwTimeScale, DWORD dwWriteLimitMs)
        : CLocalPlatform(dwTimeScale), m_Port(dwWriteLimitMs), m_Bulk("WinUsb.dll", dwWriteLimitMs)
    {
        m_pPortDriver = &m_Port;
        m_Context.pPortDriver = &m_Port;
        m_Context.pBulkUsb = &m_Bulk;
        m_Context.pRemoteApi = &m_Rapi;
        m_Host.Fill(m_Context);
        m_Context.pMessageBox = pBoxes;
    }

private:
    CWin32PortDriver m_Port;
    CWinUsbBulk m_Bulk;
    CWin32RemoteApi m_Rapi;
    CWin32Platform m_Host;
};

// The virtual handset's arrivals and removals sent as WM_DEVICECHANGE to the
// message-only window of a device notifier, which hands them to the run as it
// would a real device's.
class CWindowsSimulatedNotifier : public IDeviceNotifier, private IDeviceEvents
{
public:
    explicit CWindowsSimulatedNotifier(CVirtualHandset& handset) : m_Handset(handset) {}
    ~CWindowsSimulatedNotifier() override { Stop(); }

    bool Start(IDeviceEvents* pEvents) override
    {
        if (!m_Notifier.Start(pEvents))
            return false;
        m_Handset.SetEventSink(this);
        return true;
    }
    void Stop() override
    {
        m_Handset.SetEventSink(nullptr);
        m_Notifier.Stop();
    }

private:
    void OnDeviceArrival(const char* pszName) override
    {
        SendDeviceChange(m_Notifier.GetWindow(), DEVICE_CHANGE_ARRIVAL, pszName);
    }
    void OnDeviceRemoval(const char* pszName) override
    {
        SendDeviceChange(m_Notifier.GetWindow(), DEVICE_CHANGE_REMOVAL, pszName);
    }

    CVirtualHandset& m_Handset;
    CWin32DeviceNotifier m_Notifier;
};
}

const char PORT_NAME_EXAMPLE[] = "COM3 or \\\\.\\COM3";

std::unique_ptr<CLocalPlatform> CreateLocalPlatform(IMessageBox* pBoxes, DWORD dwTimeScale, DWORD dwWriteLimitMs)
{
    return std::make_unique<CWindowsPlatform>(pBoxes, dwTimeScale, dwWriteLimitMs);
}

std::unique_ptr<IPortDriver> CreateLocalPortDriver()
{
    return std::make_unique<CWin32PortDriver>();
}

// A device name is a port, whatever it leads to. Any other name is a file-system
// path: a download written into a file there would overwrite it, and a folder is no
// port.
bool IsUsablePortName(const std::string& strPort, const char* pszVerb)
{
    std::string strLink;
    if (GetDeviceLinkName(strPort.c_str(), &strLink))
        return true;
    WIN_DWORD dwAttributes = GetFileAttributesW(Utf8ToWide(strPort.c_str()).c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return true;
    std::fprintf(stderr, "vuqctl %s: %s is a %s, not a device: nothing was sent\n", pszVerb, strPort.c_str(),
                 (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "folder" : "regular file");
    return false;
}

// Whether a device may be opened can only be told by opening it, which would take
// it from its owner for that moment: the link's own attempts tell.
bool IsOpenablePortName(const std::string&, const char*)
{
    return true;
}

std::unique_ptr<IDeviceNotifier> CreatePortNameWatcher(const std::string& strPort)
{
    return std::make_unique<CWin32NameWatcher>(strPort.c_str());
}

std::unique_ptr<IDeviceNotifier> CreateSimulatedDeviceNotifier(CVirtualHandset& handset)
{
    return std::make_unique<CWindowsSimulatedNotifier>(handset);
}

// The user's temporary folder is the user's own; the new folder's name is made
// unique by a random part and by its creation failing where the name is taken.
bool MakePrivateTempFolder(std::string* pstrFolder)
{
    std::error_code ec;
    std::filesystem::path tempRoot = std::filesystem::temp_directory_path(ec);
    if (ec)
    {
        std::fprintf(stderr, "vuqctl flash: no temporary folder: %s\n", ec.message().c_str());
        return false;
    }
    std::random_device random;
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        char szName[32];
        std::snprintf(szName, sizeof(szName), "vuqctl-%08x", static_cast<unsigned>(random()));
        std::filesystem::path folder = tempRoot / szName;
        if (std::filesystem::create_directory(folder, ec))
        {
            *pstrFolder = folder.string();
            return true;
        }
        if (ec)
            break;
    }
    if (!ec)
        ec = std::make_error_code(std::errc::file_exists);
    std::fprintf(stderr, "vuqctl flash: cannot create a private temporary folder: %s\n", ec.message().c_str());
    return false;
}

std::unique_ptr<IHandsetTransport> CreatePtyHandsetTransport()
{
    return nullptr;
}

std::unique_ptr<IDeviceEvents> CreateStableDeviceName(const std::string&)
{
    return nullptr;
}

bool IsStdoutTerminal()
{
    return _isatty(_fileno(stdout)) != 0;
}
