#include "legacy/LegacyDesk.h"

#include <cstdio>

#include "host/HostConnection.h"

namespace
{
const char* const LEGACY_TEMP_FILES[] = {LEGACY_TEMP_AGENT, LEGACY_TEMP_PROGRAM, LEGACY_TEMP_IMAGE,
                                         LEGACY_TEMP_STAGING};

// Makes TEMP the current directory. False (nothing changed) when the host has no
// environment, TEMP is not set or empty, or it cannot be entered.
bool EnterTempFolder(const PlatformContext& platform)
{
    IHostEnvironment* pEnvironment = platform.pHostEnvironment;
    char szTemp[MAX_PATH_LEN] = {};
    return pEnvironment != nullptr && pEnvironment->GetEnvironment("TEMP", szTemp, sizeof(szTemp)) &&
           szTemp[0] != '\0' && pEnvironment->SetCurrentDir(szTemp);
}
}

void StopSyncSoftware(const PlatformContext& platform)
{
    // Whatever is left of the windows, the processes go next.
    CloseActiveSync(platform);
    KillActiveSyncProcesses(platform);
}

bool StartSyncSoftware(const PlatformContext& platform)
{
    bool bStarted = false;
    char szPath[MAX_PATH_LEN] = {};
    if (platform.pProcesses != nullptr && ReadSyncManagerPath(platform, szPath, sizeof(szPath)))
    {
        char szCommandLine[MAX_PATH_LEN + 4];
        std::snprintf(szCommandLine, sizeof(szCommandLine), "\"%s\"", szPath);
        bStarted = platform.pProcesses->StartProcess(szCommandLine);
    }
    // The second start reports its own failures (missing key or value, failed start).
    RestartActiveSync(platform);
    return bStarted;
}

bool DeleteLegacyTempFiles(const PlatformContext& platform)
{
    if (!EnterTempFolder(platform))
        return false;
    for (const char* pszName : LEGACY_TEMP_FILES)
        platform.pHostEnvironment->DeleteFile(pszName);
    return true;
}

bool DeleteLegacyStagingFile(const PlatformContext& platform)
{
    return EnterTempFolder(platform) && platform.pHostEnvironment->DeleteFile(LEGACY_TEMP_STAGING);
}
