#include "legacy/LegacyRapi.h"

#include "common/Trace.h"

int ConnectDevice(IRemoteApi& rapi, IClock& clock)
{
    CEvent connected(true, false);
    RAPIINIT init{12, &connected, 0};
    if (rapi.CeRapiInitEx(&init) != 0)
    {
        Trace(false, "ConnectDevice: CeRapiInitEx failed\r\n");
        return LEGACY_CONNECT_FAILED;
    }
    switch (clock.WaitForEvent(connected, LEGACY_CONNECT_TIMEOUT_MS))
    {
    case EVENT_SIGNALLED:
        return LEGACY_CONNECT_READY;
    case EVENT_ABANDONED:
        rapi.CeRapiUninit();
        return LEGACY_CONNECT_ABANDONED;
    case EVENT_TIMEOUT:
        rapi.CeRapiUninit();
        return LEGACY_CONNECT_TIMEOUT;
    default:
        Trace(false, "ConnectDevice: wait failed\r\n");
        // The started connection still refers to the event on this stack: end it
        // before the event goes away.
        rapi.CeRapiUninit();
        return LEGACY_CONNECT_FAILED;
    }
}

bool CopyAgentToDevice(IRemoteApi& rapi, IClock& clock, std::FILE* pLocal)
{
    if (pLocal == nullptr || std::fseek(pLocal, 0, SEEK_END) != 0)
        return false;
    long nLen = std::ftell(pLocal);
    if (nLen < 0 || std::fseek(pLocal, 0, SEEK_SET) != 0)
        return false;
    if (ConnectDevice(rapi, clock) != LEGACY_CONNECT_READY)
        return false;

    // Created anew: an older, longer agent on the handset must not leave its tail behind.
    CE_HANDLE hFile = rapi.CeCreateFile(LEGACY_AGENT_NAME, CE_GENERIC_WRITE, CE_FILE_SHARE_READ | CE_FILE_SHARE_WRITE,
                                        CE_CREATE_ALWAYS, CE_FILE_ATTRIBUTE_NORMAL);
    bool bOk = hFile != 0 && hFile != CE_INVALID_HANDLE;
    DWORD dwLeft = static_cast<DWORD>(nLen);
    BYTE piece[LEGACY_AGENT_PIECE];
    while (bOk && dwLeft > 0)
    {
        DWORD dwPiece = dwLeft < LEGACY_AGENT_PIECE ? dwLeft : LEGACY_AGENT_PIECE;
        DWORD dwWritten = 0;
        if (std::fread(piece, 1, dwPiece, pLocal) != dwPiece || !rapi.CeWriteFile(hFile, piece, dwPiece, &dwWritten) ||
            dwWritten != dwPiece)
        {
            Trace(false, "CopyAgentToDevice: piece not written, %u bytes left\r\n", dwLeft);
            bOk = false;
            break;
        }
        dwLeft -= dwPiece;
    }
    if (hFile != CE_INVALID_HANDLE && hFile != 0)
        rapi.CeCloseHandle(hFile);
    rapi.CeRapiUninit();
    return bOk;
}

int StartAgentOnDevice(IRemoteApi& rapi, IClock& clock)
{
    if (ConnectDevice(rapi, clock) != LEGACY_CONNECT_READY)
        return 0;
    // No command line (an empty one).
    rapi.CeCreateProcess(LEGACY_AGENT_NAME, "");
    return 1;
}
