// What vuqctl needs of the machine it runs on, one implementation per platform
// (posix/LocalPlatform.cpp, win32/LocalPlatform.cpp): the platform of a run, the
// port-name checks and watcher of flash --port, how the virtual handset's arrivals
// reach the run, the private temporary folder, and
// what only some platforms have (a pseudo-terminal for the virtual handset, a
// stable name that follows it). The verbs stay the same on every platform.
#pragma once

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/DeviceNotifier.h"
#include "platform/Platform.h"
#include "platform/sim/HandsetTransport.h"

class CVirtualHandset;

// The services of a run on this machine: the file transport, bulk USB, remote API
// and the host facilities this platform has (the others stay null), with a clock
// of the run's time scale.
class CLocalPlatform
{
public:
    virtual ~CLocalPlatform() = default;
    CLocalPlatform(const CLocalPlatform&) = delete;
    CLocalPlatform& operator=(const CLocalPlatform&) = delete;

    CClock& Clock() { return m_Clock; }
    PlatformContext& Context() { return m_Context; }
    // The machine's file transport, also when a simulated run has put another one
    // into the context.
    IPortDriver* PortDriver() { return m_pPortDriver; }

protected:
    explicit CLocalPlatform(DWORD dwTimeScale) : m_Clock(dwTimeScale) { m_Context.pClock = &m_Clock; }

    CClock m_Clock;
    PlatformContext m_Context;
    IPortDriver* m_pPortDriver = nullptr;
};

// The platform of a run whose waits run dwTimeScale times faster, whose port
// writes fail after dwWriteLimitMs without progress, and whose message boxes go
// to pBoxes.
std::unique_ptr<CLocalPlatform> CreateLocalPlatform(IMessageBox* pBoxes, DWORD dwTimeScale, DWORD dwWriteLimitMs);

// The machine's file transport on its own (prepare --frame).
std::unique_ptr<IPortDriver> CreateLocalPortDriver();

// An example of a port name for the help text.
extern const char PORT_NAME_EXAMPLE[];

// False, with the reason on stderr, when strPort names something that is no port
// (a regular file or a folder), so nothing may be sent to it. A name that is not
// there yet is waited for.
bool IsUsablePortName(const std::string& strPort, const char* pszVerb);
// False, with the reason on stderr, when strPort is there but cannot be opened for
// reading and writing (it would only be tried for 100 s). Where that cannot be
// told without opening the port, true.
bool IsOpenablePortName(const std::string& strPort, const char* pszVerb);

// Device events of flash --port: strPort appearing is an arrival, its
// disappearance (or its leading to another device) a removal.
std::unique_ptr<IDeviceNotifier> CreatePortNameWatcher(const std::string& strPort);

// Device events of flash --simulate: the virtual handset announces its arrivals and
// removals; on Windows as the WM_DEVICECHANGE notifications of a window, as a real
// device's.
std::unique_ptr<IDeviceNotifier> CreateSimulatedDeviceNotifier(CVirtualHandset& handset);

// A new folder of its own under the temporary folder, readable by this user only;
// false, with the reason on stderr, when none can be made.
bool MakePrivateTempFolder(std::string* pstrFolder);

// The virtual handset on a pseudo-terminal, reached through the machine's file
// transport; null where the platform has none or none can be opened.
std::unique_ptr<IHandsetTransport> CreatePtyHandsetTransport();

// Device events that keep the name strName (in a private folder) pointing at the
// handset's current device, as a stable device name follows a real one; null where
// the platform cannot make such a name.
std::unique_ptr<IDeviceEvents> CreateStableDeviceName(const std::string& strName);

// True when standard output is a terminal (the progress bar is drawn in place).
bool IsStdoutTerminal();
