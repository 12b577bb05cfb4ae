// Deleting the update's temporary files from TEMP.
#include "common/LastError.h"
#include "common/Trace.h"
#include "host/HostConnection.h"
#include "image/OSUtil.h"

namespace
{
// In the order they are deleted; the deletion stops at the first that cannot go.
const char* const TEMP_FILES[] = {"Tessik_Console.exe", "temp.dat", "Brenmor.exe"};
}

bool DeleteFiles(const PlatformContext& platform, COSUtil* pOSUtil)
{
    Trace(false, "Delete files++\r\n");
    IHostEnvironment* pEnvironment = platform.pHostEnvironment;

    // The names are relative: delete only where TEMP is, never in whatever directory
    // happens to be current. A host without an environment has no TEMP.
    char szTemp[MAX_PATH_LEN] = {};
    bool bInTemp = pEnvironment != nullptr && pEnvironment->GetEnvironment("TEMP", szTemp, sizeof(szTemp)) &&
                   szTemp[0] != '\0' && pEnvironment->SetCurrentDir(szTemp);
    if (!bInTemp)
        Trace(false, "Delete files: TEMP is not usable\r\n");

    // The image file is held open by the image container; release it so it can go.
    if (pOSUtil != nullptr)
        pOSUtil->Close();

    bool bAllDeleted = bInTemp;
    if (bInTemp)
    {
        for (const char* pszName : TEMP_FILES)
        {
            if (!pEnvironment->DeleteFile(pszName))
            {
                bAllDeleted = false;
                break;
            }
        }
    }

    char szError[256];
    FormatErrorText(GetLastErrorCode(), szError, sizeof(szError));
    Trace(false, "Delete files --, result = %d, lastError = %s\r\n", bAllDeleted ? 1 : 0, szError);
    return bAllDeleted;
}
