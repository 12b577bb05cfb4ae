// Device-interface notifications on Windows: the download port's interface class
// registered on a window, and WM_DEVICECHANGE turned into arrivals and removals by
// name.
//
// Pieces for a window of the program's own (a progress window):
// - RegisterPortNotifications / UnregisterPortNotifications register the class for
//   a window and withdraw the registration;
// - DecodeDeviceChange reads one WM_DEVICECHANGE: the arrival or the completed
//   removal of a device interface, with the interface's name;
// - DispatchDeviceChange hands it to a device-change handler and says whether the
//   window procedure returns 1 (an arrival that was handled) or passes the message
//   to its default procedure (everything else);
// - SendDeviceChange sends a window the notification of an interface, as the
//   system does.
//
// CWin32DeviceNotifier is the IDeviceNotifier of a program without windows: a
// message-only window with the registration, on a thread of its own.
//
// Names are UTF-8 (the system's UTF-16 names converted).
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "platform/DeviceNotifier.h"
#include "platform/win32/Win32SystemHeaders.h"

// The device-change declarations, read with the system's DWORD and LONG as
// <windows.h> was (see Win32SystemHeaders.h).
#define DWORD WIN_DWORD
#define LONG WIN_LONG
#include <dbt.h>
#undef DWORD
#undef LONG

// The device-interface class of the handset's download port:
// {25DBCE51-6C8F-4A72-8A6D-B54C2B4FC835}.
extern const GUID VUQ_PORT_INTERFACE_CLASS;

enum DEVICE_CHANGE_KIND
{
    DEVICE_CHANGE_ARRIVAL = 1,
    DEVICE_CHANGE_REMOVAL = 2,
};

struct DEVICE_CHANGE
{
    int nKind = 0;          // a DEVICE_CHANGE_KIND
    std::string strName;    // the interface's device name
};

// Registers the download port's interface class for hWnd (a window of the calling
// process): arrivals and removals of such interfaces come to it as WM_DEVICECHANGE.
// Null when the registration fails (trace "RegisterDeviceNotification Fail"; the
// thread's last error says why).
HDEVNOTIFY RegisterPortNotifications(HWND hWnd);
// Withdraws a registration; a null one is ignored. A registration also ends with its
// window.
void UnregisterPortNotifications(HDEVNOTIFY hNotify);

// True when a WM_DEVICECHANGE of hWnd is the arrival (DBT_DEVICEARRIVAL) or the
// completed removal (DBT_DEVICEREMOVECOMPLETE) of a device interface with its data:
// *pChange gets the kind and the interface's name. The data is read in the
// window's character set (the system converts the name to ANSI for windows that are
// not Unicode). False for every other event, for one without data and for other
// device types (volumes, ports, handles).
bool DecodeDeviceChange(HWND hWnd, WPARAM wParam, LPARAM lParam, DEVICE_CHANGE* pChange);

// Sends hWnd the WM_DEVICECHANGE the system sends for the arrival or the completed
// removal (nKind, a DEVICE_CHANGE_KIND) of a device interface of the download
// port's class named pszName, with the record in the window's character set; returns
// what the window procedure returned. Simulated devices announce themselves this
// way, so they take the path of real ones.
LRESULT SendDeviceChange(HWND hWnd, int nKind, const char* pszName);

// The device-change handling of a progress window's procedure, for WM_DEVICECHANGE:
// an arrival of a device interface goes to handler.HandleArrival, a completed
// removal to handler.HandleRemoval (THandler as CDeviceChangeHandler: both take
// the name and return true when the notification is handled). True when the window
// procedure returns 1 without passing the message on; false when it passes the
// message to its default procedure.
template <typename THandler>
bool DispatchDeviceChange(THandler& handler, HWND hWnd, WPARAM wParam, LPARAM lParam);

// Device events from a message-only window (HWND_MESSAGE) on a thread of its own,
// registered for the download port's interface class. Events are delivered on that
// thread.
class CWin32DeviceNotifier : public IDeviceNotifier
{
public:
    CWin32DeviceNotifier() = default;
    ~CWin32DeviceNotifier() override;
    CWin32DeviceNotifier(const CWin32DeviceNotifier&) = delete;
    CWin32DeviceNotifier& operator=(const CWin32DeviceNotifier&) = delete;

    // Creates the window and registers it; false (nothing running, the thread's last
    // error set) when the window cannot be created or the registration fails, or
    // when the notifier runs already.
    bool Start(IDeviceEvents* pEvents) override;
    // Destroys the window and ends its thread.
    void Stop() override;

    // The message-only window while the notifier runs, else null.
    HWND GetWindow();

private:
    std::mutex m_csState;   // guards the thread and the window handle
    std::thread m_Thread;
    HWND m_hWnd = nullptr;
};

template <typename THandler>
bool DispatchDeviceChange(THandler& handler, HWND hWnd, WPARAM wParam, LPARAM lParam)
{
    DEVICE_CHANGE change;
    if (!DecodeDeviceChange(hWnd, wParam, lParam, &change))
        return false;
    if (change.nKind == DEVICE_CHANGE_ARRIVAL)
        return handler.HandleArrival(change.strName.c_str());
    handler.HandleRemoval(change.strName.c_str());
    return false;
}
