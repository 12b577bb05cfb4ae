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
    {IDS_LINK_LOST, "Link to PC is disconnect.\nPlease install again."},
    {IDS_FINISH_TEXT,
     "/B /cblack Congratulations\n\n/b You have now almost completed your device software\nupdate.\n\n\n"
     "To finish, please complete the following important:\n\n1. Take your device out of the cable so that it is "
     "no\nlonger connected to your PC or the power source - do\nnot be alarmed if the screen look strange.\n\n"
     "2. You can now continue to use your device as usual,\nwith the increased benefits of the update "
     "software.\n\nClick Finish to exit this program."},
    {IDS_CANCEL_CAPTION, "Palomux"},
    {IDS_WELCOME_TEXT,
     "/cblack /B /s240 Welcome to the Device Software Update\nUtility./b /s180 \n\nThis program will take you "
     "throught the installation of\nsoftware update.\n\nBefore you continue, please ensure that:\n\n"
     "1. Perform a normal reset by pressing the reset button \nthen connect device to an AC power source via "
     "the cable.\n\n2. Your device is also synchronised with your PC via\nActiveSync and the USB "
     "cable.Depending on your settings,\nplease check the some of your personal data, such as\ncontacts, "
     "emails and tasks are backed up.\n\n3. Close all other applications on the device and host PC.\n\n"
     "Click Next to continue. Click Cancel to quit."},
    {IDS_NOT_CONNECTED_TEXT,
     "/cblack /B /s240 ERROR:Connection\n\n\n/b /s180 The Device Software Utility is having trouble "
     "connecting to\nyour device, please check:\n\n1. Your devices is properly connected to the USB cable.\n\n"
     "2. Your USB cable is properly connected to your PC.\n\n3. Your device is turned on. Once you have done "
     "this, run\nthis device software Update Utility again."},
    {IDS_LINK_LOST_CAPTION, "Palomux"},
    {IDS_PROGRESS_TEXT,
     "/cblack The current software is now being updated from your\nDevice.\nThis will take a few minutes.\n\n"
     "Totally, the update should take about 30 minutes.\n\n\n\n/corange Remember, please do not disconnect your "
     "device from your\nPC or the power supply until the upgrade is completed."},
    {IDS_STEP_DOWNLOAD_SYSTEM, "STEP 2 : Download system program"},
    {IDS_STEP_UPDATE_SYSTEM, "STEP 3 : Update system program"},
    {IDS_STEP_DOWNLOAD_ADDON, "STEP 4 : Download add-on program"},
    {IDS_STEP_UPDATE_ADDON, "STEP 5 : Update add-on program"},
    {IDS_STEP_DOWNLOAD_OS, "STEP 6 : Download OS"},
    {IDS_CANCEL_QUESTION, "Do you really want to cancel the update process?"},
};
}

const char* LoadVuqString(UINT nId)
{
    for (const STRING_ENTRY& entry : s_VuqStrings)
        if (entry.nId == nId)
            return entry.pszText;
    return "";
}
