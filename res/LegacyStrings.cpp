#include "res/Strings.h"

namespace
{
struct STRING_ENTRY
{
    UINT nId;
    const char* pszText;
};

const STRING_ENTRY s_LegacyStrings[] = {
    {IDS_LEGACY_CANNOT_OPEN_FILE, "Can not open file."},
    {IDS_LEGACY_PDA_INIT_FAILED, "PDA initials failed."},
    {IDS_LEGACY_ERROR_CAPTION, "ERROR!"},
    {IDS_LEGACY_CANCEL_TEXT, "The Update procedure is incomplete, do you want to exit?"},
    {IDS_LEGACY_CANCEL_CAPTION, "- CANCEL UPDATE -"},
    {IDS_LEGACY_PROGRESS_TITLE, "Updating, Please keep connected between PC and PDA."},
    {IDS_LEGACY_NO_IMAGE, "No Image"},
    {IDS_LEGACY_BULK_SIZE_PROBLEM, "USB bulk transfer failed: size problem"},
    {IDS_LEGACY_STEP2, "STEP 2 : Update system program"},
    {IDS_LEGACY_STEP4, "STEP 4 : Update add-on program"},
    {IDS_LEGACY_STEP6, "STEP 6 : Update Windows Mobile 5.0"},
    {IDS_LEGACY_STEP1, "STEP 1 : Download system program"},
    {IDS_LEGACY_STEP3, "STEP 3 : Download add-on program"},
    {IDS_LEGACY_STEP5, "STEP 5 : Download Windows Mobile 5.0"},
    {IDS_LEGACY_PROGRESS_HEADING, "--Update Progress--"},
    {IDS_LEGACY_STEP7, "STEP 7 : Download GSM firmware"},
    {IDS_LEGACY_STEP8, "STEP 8 : Update GSM firmware"},
};
}

const char* LoadLegacyString(UINT nId)
{
    for (const STRING_ENTRY& entry : s_LegacyStrings)
        if (entry.nId == nId)
            return entry.pszText;
    return "";
}
