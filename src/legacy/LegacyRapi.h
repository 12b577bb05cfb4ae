// The legacy updater's remote-API operations: connect to the handset, copy the
// device agent to it and start the agent there.
#pragma once

#include <cstdio>

#include "common/Types.h"
#include "platform/Clock.h"
#include "platform/RemoteApi.h"

constexpr char LEGACY_AGENT_NAME[] = "Tessik_Console.exe";
constexpr DWORD LEGACY_CONNECT_TIMEOUT_MS = 5000;
constexpr DWORD LEGACY_AGENT_PIECE = 128;

// ConnectDevice results.
enum LEGACY_CONNECT_RESULT
{
    LEGACY_CONNECT_FAILED = 0,
    LEGACY_CONNECT_READY = 1,
    LEGACY_CONNECT_TIMEOUT = 2,
    LEGACY_CONNECT_ABANDONED = 3,
};

// Starts a connection and waits up to 5000 ms for it: 1 connected, 2 timed out,
// 3 abandoned, 0 failed (the start call or the wait failed). A started connection
// that is not ready is ended before returning.
int ConnectDevice(IRemoteApi& rapi, IClock& clock);

// Copies the open local file pLocal, from its start, to the handset as
// "Tessik_Console.exe" (created anew, so nothing of an older agent remains), in
// 128-byte pieces. True when every piece was written whole.
bool CopyAgentToDevice(IRemoteApi& rapi, IClock& clock, std::FILE* pLocal);

// Starts "Tessik_Console.exe" on the handset: 1 when the connection was made (the
// start's own result is not consulted), else 0. The connection is left open.
int StartAgentOnDevice(IRemoteApi& rapi, IClock& clock);
