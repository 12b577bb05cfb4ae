// Device events for a download port named on Windows, as vuqctl flash --port NAME
// watches it: NAME appearing is an arrival, its disappearance a removal, and NAME
// leading to another device (the handset left and came back between two looks) a
// removal followed by an arrival. NAME is looked at every 50 ms from a thread of the
// watcher's own; a NAME that is there at Start is reported as an arrival at once.
//
// A look never holds the port, so it does not fight the exclusive open of the link
// (or of another program):
// - A device name ("COM3", "\\.\COM3", "\\.\wceusbsh001", a device-interface path
//   "\\?\usb#...#{...}") is first looked up in the system's device namespace with
//   QueryDosDevice, which opens nothing. A COM port's or a device interface's
//   symbolic link exists exactly while its device is there; its target
//   ("\Device\...") tells one device from the next.
// - A name that the namespace does not know (a file-system path, or under Wine a
//   COM port mapped by a symbolic link in the prefix's dosdevices folder, which
//   Wine resolves when the name is opened but keeps out of its namespace) is probed:
//   CreateFile with no access rights, sharing everything, closed at once. An open
//   without read, write or delete access takes part in no sharing check, so it
//   neither fails on nor blocks the link's exclusive open; a device that refuses it
//   as held (access denied, sharing violation, busy) counts as there. Its identity
//   is the file's volume and index, or else the final path the name leads to.
//   On Windows a device that is there is in the namespace, so the probe opens no
//   device, apart from one that arrives between the two looks (probed once).
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/DeviceNotifier.h"

// True when pszName names a device rather than a file-system path: "\\.\X" or
// "\\?\X" (not a drive path "\\?\C:\..." nor "\\?\UNC\..."), or a bare name
// without a path separator or colon that the device namespace knows or that names a
// COM or LPT port. *pstrLink gets the name of its symbolic link in the namespace
// (X up to the next backslash, or the bare name).
bool GetDeviceLinkName(const char* pszName, std::string* pstrLink);

class CWin32NameWatcher : public IDeviceNotifier
{
public:
    explicit CWin32NameWatcher(const char* pszName);
    ~CWin32NameWatcher() override;
    CWin32NameWatcher(const CWin32NameWatcher&) = delete;
    CWin32NameWatcher& operator=(const CWin32NameWatcher&) = delete;

    bool Start(IDeviceEvents* pEvents) override;
    void Stop() override;

    // What one look sees: false when the name leads nowhere; *pstrIdentity tells
    // the device it leads to from another one (empty when that cannot be told).
    static bool LookAt(const std::string& strName, std::string* pstrIdentity);

private:
    void Watch();

    std::string m_strName;
    IDeviceEvents* m_pEvents = nullptr;
    std::mutex m_csStop;
    std::condition_variable m_cvStop;
    bool m_bStop = false;
    std::thread m_Thread;
};
