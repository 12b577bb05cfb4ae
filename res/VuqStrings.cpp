#include "res/Strings.h"

namespace
{
struct STRING_ENTRY
{
    UINT nId;
    const char* pszText;
};

const STRING_ENTRY s_VuqStrings[] = {
    {IDS_ERROR_CAPTION, "ERROR"},
    {IDS_FLASH_TYPE_NOT_MATCH, "flash type not match"},
    {IDS_OS_PROGRAM_FAIL, "os program fail"},
    {IDS_OEM_PROGRAM_FAIL, "oem program fail"},
    {IDS_OS_NOT_COMPATIBLE, "OS not compatible to target device"},
    {IDS_EDGE_UPDATE_FAIL, "communication module firmware update fail"},
    {IDS_PROGRESS_TEXT,
     "/cblack The current software is now being updated from your\nDevice.\nThis will take a few minutes.\n\n"
     "Totally, the update should take about 30 minutes.\n\n\n\n/corange Remember, please do not disconnect your "
     "device from your\nPC or the power supply until the upgrade is completed."},
    {IDS_STEP_DOWNLOAD_SYSTEM, "STEP 2 : Download system program"},
    {IDS_STEP_UPDATE_SYSTEM, "STEP 3 : Update system program"},
    {IDS_STEP_DOWNLOAD_ADDON, "STEP 4 : Download add-on program"},
    {IDS_STEP_UPDATE_ADDON, "STEP 5 : Update add-on program"},
    {IDS_STEP_DOWNLOAD_OS, "STEP 6 : Download OS"},
};
}

const char* LoadVuqString(UINT nId)
{
    for (const STRING_ENTRY& entry : s_VuqStrings)
        if (entry.nId == nId)
            return entry.pszText;
    return "";
}
