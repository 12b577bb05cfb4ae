// String tables of the two programs (English). Ids are those of the programs'
// resources; the two programs number their texts independently.
#pragma once

#include "common/Types.h"

// Updater (vuq).
enum VUQ_STRING_ID
{
    IDS_ERROR_CAPTION = 102,
    IDS_FLASH_TYPE_NOT_MATCH = 103,
    IDS_OS_PROGRAM_FAIL = 104,
    IDS_OEM_PROGRAM_FAIL = 105,
    IDS_OS_NOT_COMPATIBLE = 106,
    IDS_EDGE_UPDATE_FAIL = 107,
    IDS_LINK_LOST = 108,
    IDS_FINISH_TEXT = 109,
    IDS_CANCEL_CAPTION = 123,
    IDS_WELCOME_TEXT = 124,
    IDS_NOT_CONNECTED_TEXT = 125,
    IDS_LINK_LOST_CAPTION = 127,
    IDS_PROGRESS_TEXT = 128,
    IDS_STEP_DOWNLOAD_SYSTEM = 130,
    IDS_STEP_UPDATE_SYSTEM = 131,
    IDS_STEP_DOWNLOAD_ADDON = 132,
    IDS_STEP_UPDATE_ADDON = 133,
    IDS_STEP_DOWNLOAD_OS = 134,
    IDS_CANCEL_QUESTION = 142,
};

// Legacy updater (vuq-legacy).
enum LEGACY_STRING_ID
{
    IDS_LEGACY_CANNOT_OPEN_FILE = 126,
    IDS_LEGACY_PDA_INIT_FAILED = 129,
    IDS_LEGACY_ERROR_CAPTION = 130,
    IDS_LEGACY_CANCEL_TEXT = 131,
    IDS_LEGACY_CANCEL_CAPTION = 132,
    IDS_LEGACY_PROGRESS_TITLE = 133,
    IDS_LEGACY_NO_IMAGE = 134,
    IDS_LEGACY_BULK_SIZE_PROBLEM = 136,
    IDS_LEGACY_STEP2 = 141,
    IDS_LEGACY_STEP4 = 142,
    IDS_LEGACY_STEP6 = 143,
    IDS_LEGACY_STEP1 = 144,
    IDS_LEGACY_STEP3 = 145,
    IDS_LEGACY_STEP5 = 146,
    IDS_LEGACY_PROGRESS_HEADING = 147,
    IDS_LEGACY_STEP7 = 151,
    IDS_LEGACY_STEP8 = 152,
};

// The text of an id, or an empty text when the table has none.
const char* LoadVuqString(UINT nId);
const char* LoadLegacyString(UINT nId);
