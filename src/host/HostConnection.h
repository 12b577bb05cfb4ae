// The host connection manager: shuts the desktop sync software down before an
// update so that the USB link is free, keeps its device-connectivity service
// stopped during the download on hosts that have it, brings the software back
// afterwards, and deletes the update's temporary files from TEMP.
#pragma once

#include <atomic>
#include <mutex>

#include "common/Types.h"
#include "platform/Platform.h"

class COSUtil;

// Names the sync software is known by.
constexpr char SYNC_CLASS_APP_MANAGER[] = "CEAppMgr";
constexpr char SYNC_CLASS_SYNC_MANAGER[] = "SyncMgrUI";
constexpr char SYNC_CLASS_CONNECTION_MANAGER[] = "DccMan Class";
constexpr char SYNC_MANAGER_EVENT[] = "Microsoft Windows CE Services Manager Event";
constexpr char SYNC_MANAGER_KEY_QUIT[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WCESMGR.EXE";
constexpr char SYNC_MANAGER_KEY_RESTART[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WCESMGR.EXE";
constexpr char SYNC_MANAGER_PROCESS[] = "wcesmgr.exe";
constexpr char SYNC_COMM_PROCESS[] = "wcescomm.exe";
constexpr char SYNC_SERVICE_NAME[] = "wcesComm";

constexpr DWORD SYNC_WINDOW_CLOSE_TIMEOUT_MS = 2000;
constexpr DWORD SYNC_PROCESS_LIST_SIZE = 1024;
constexpr DWORD SYNC_SERVICE_POLL_MS = 1000;          // a pending service is asked once a second
constexpr DWORD SYNC_SERVICE_WAIT_LIMIT_MS = 60000;   // and given at most a minute
constexpr DWORD SYNC_KEEP_STOPPED_POLL_MS = 100;

// Reads the sync manager's path from the registry (the default value of
// SYNC_MANAGER_KEY_QUIT). False when the key or value is missing or empty.
bool ReadSyncManagerPath(const PlatformContext& platform, char* pszPath, size_t nLen);

// Asks the running manager to quit: starts the manager's path (from the registry)
// in quotes followed by " /quit". False when the path is missing or empty, or the
// start failed.
bool QuitActiveSync(const PlatformContext& platform);

// Closes the sync software's windows (2000 ms each) and asks the manager to quit.
// False when a "DccMan Class", "CEAppMgr" or "SyncMgrUI" window is still there at
// the end; true otherwise.
bool CloseActiveSync(const PlatformContext& platform);

// Terminates every process named "wcesmgr.exe" or "wcescomm.exe" (without case).
// When the process list cannot be read, writes "EnumProcesses error\n" to
// standard output and terminates nothing.
void KillActiveSyncProcesses(const PlatformContext& platform);

// Starts the manager again from its registry path; reports a missing key, a
// missing value or a failed start in a message box.
void RestartActiveSync(const PlatformContext& platform);

// Reports a failed call of the service manager with "API: %s ERR: %ld MSG: %s"
// (the call's name, the thread's last error and its text): in the "Error" message
// box, or as a trace line when bTraceOnly is set (a background thread must not
// raise boxes). It used to end the program; it now only reports, so that a
// service failure never kills an update in the middle of a download.
void ApiErrorExit(const PlatformContext& platform, const char* pszApiName, bool bTraceOnly = false);

// The device-connectivity service "wcesComm" of one host. Its manager and service
// handles are opened on first use and kept for the life of the object, which the
// program owns (it outlives every run); the platform context comes with each call.
class CSyncServiceControl
{
public:
    CSyncServiceControl() = default;
    CSyncServiceControl(const CSyncServiceControl&) = delete;
    CSyncServiceControl& operator=(const CSyncServiceControl&) = delete;

    // Applies a command ("PAUSE", "CONTINUE", "START", "STOP", without case) to the
    // service according to its state, and waits (once a second, at most 60 s per
    // wait) for a pending state to settle. Failures are reported through
    // ApiErrorExit (as trace lines when bQuiet) and end the call. Returns 0.
    int Control(const PlatformContext& platform, const char* pszCommand, bool bQuiet);

private:
    bool OpenHandles(const PlatformContext& platform, bool bQuiet);
    // Queries once a second until the state is dwState (bUntil) or is no longer
    // dwState (!bUntil). A failed query ends the wait quietly with the last state
    // read (true). False when the time limit passed; that is reported under pszApi.
    bool WaitForState(const PlatformContext& platform, DWORD* pdwState, DWORD dwState, bool bUntil,
                      const char* pszApi, bool bQuiet);

    std::mutex m_csControl;   // one command at a time: the worker and the keep-stopped thread
    SC_HANDLE_T m_hManager = 0;
    SC_HANDLE_T m_hService = 0;
};

// The command on the host's service control (message boxes on failure). Returns 0.
int ControlSyncService(const PlatformContext& platform, CSyncServiceControl& service, const char* pszCommand);

// Thread procedure: while *pDone is 0, sends "STOP" to the service (failures are
// traced, never shown or fatal) and sleeps 100 ms. Returns 0 once *pDone is non-zero.
int KeepServiceStopped(const PlatformContext& platform, CSyncServiceControl& service, std::atomic<int>* pDone);

// Deletes the update's temporary files from TEMP: releases the image file first
// (pOSUtil->Close), then deletes "Tessik_Console.exe", "temp.dat" and
// "Brenmor.exe" in that order, stopping at the first that cannot be deleted.
// Nothing is deleted when TEMP cannot be read or made the current directory.
// Returns true when all three were deleted.
bool DeleteFiles(const PlatformContext& platform, COSUtil* pOSUtil);
