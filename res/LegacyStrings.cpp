#include "res/Strings.h"

namespace
{
struct STRING_ENTRY
{
    UINT nId;
    const char* pszText;
};

const STRING_ENTRY s_LegacyStrings[] = {
    {IDS_LEGACY_ABOUT_MENU, "About VUQ(&A)..."},
    {IDS_LEGACY_FIRST_WELCOME,
     "Welcome to the PDA update program. This program will assist\n"
     " you in updating the USB downloader and OS on your device.\n"},
    {IDS_LEGACY_FIRST_WARNING,
     "Warning! If you do not follow our update instructions, the\ndevice may become unbootable!\n\n"},
    {IDS_LEGACY_FIRST_STEPS, "Please follow the following steps and then continue :\n 1.     "},
    {IDS_LEGACY_FIRST_BACKUP, "Backup all your data on your PDA"},
    {IDS_LEGACY_FIRST_RESET,
     " including the PIM,\n         installed programs, and those in the FlashDisk; After the OS\n"
     "         update is completed, all the data on the device will be\n         cleared.\n"
     "2.      Do a software reset by pressing the reset button.\n"
     "3.      Properly connect your device and host computer via USB cable.\n         Also,"},
    {IDS_LEGACY_FIRST_POWER, " make sure the AC power is properly connected.\n"},
    {IDS_LEGACY_FIRST_CLOSE_APPS, "4.      Close all application on your PDA and host computer.\n"},
    {IDS_LEGACY_FIRST_DISK_SPACE, "5.      Please reserve at least 100MB disk space for update.\n"},
    {IDS_LEGACY_FIRST_NO_CARD, "6.      Do not insert SD/MMC card.\n\n"},
    {IDS_LEGACY_FIRST_SYNC_READY, "When the MicroSoft ActiveSync connection is established"},
    {IDS_LEGACY_FIRST_CLICK_NEXT, "\n, click the Next button to continue."},
    {IDS_LEGACY_STEP2_TEXT, "    Your PDA will enter the USB downloader\nwhen you see "},
    {IDS_LEGACY_STEP2_FIGURE, "the figure"},
    {IDS_LEGACY_STEP2_CLICK_NEXT, ", click Next button \nto continue. \n\n"},
    {IDS_LEGACY_STEP2_NOTE,
     "Note : If PDA cannot enter USB\ndownloader mode, please contact\nthe device manufacturer."},
    {IDS_LEGACY_STEP3_TEXT,
     "When your PDA enters the USB\ndownloader, click the Update button to start\n"
     "update procedure. You can see "},
    {IDS_LEGACY_STEP3_SCREEN, "the screen\nas shown to the left "},
    {IDS_LEGACY_STEP3_TRANSFER,
     "on the device, and this\nmeans the PDA is receiving data.\n\n"
     "When the data transfer has finished. The \nNext button will be enabled. Please click the \n"
     "Next button to continue.\n"},
    {IDS_LEGACY_STEP3_NOTE,
     "\nNote: If the Update button is disabled, \ndisconnect and reconnect your USB cable \n"
     "between the device and the host computer."},
    {IDS_LEGACY_FINAL_TEXT,
     "Now the new OS is updated to your PDA\nsuccessfully, PDA is restarting now.\n"
     "Otherwise not to reset PDA or remove\nPDA battery and be patient for a while.\n\n"
     "Press finish button to leave the program."},
    {IDS_LEGACY_TRANSFER_FAILED_TEXT,
     "Transfer failed, the upgrade file may incompatible\n"
     "to your device, please re-download the file again.\n you must\n"
     "  --Restart program to complete update procedure.\n  --Reset PDA device."},
    {IDS_LEGACY_AGENT_FAILED_TEXT, "Can not connect to PDA device.\n"},
    {IDS_LEGACY_AGENT_FAILED_HINT, "  Please make sure the Microsoft ActiveSync\nis working normally."},
    {IDS_LEGACY_CONFIRM_ERASE,
     "The data on the Flashdisk and RAM will be erased during the upgrading process, \n"
     "please confirm all data had been backuped to other storage media.\n\n"
     "To continue upgrading, please press \"Yes\"; to cancel the process, please press \"No\"."},
    {IDS_LEGACY_CONFIRM_START,
     "Update procedure will begin now\n"
     "Please don't remove usb connection, cancel update program, reset PDA,\n"
     "remove PDA battery or other abnormal actions during update.\n"
     "It could be unable to startup the PDA if update fail.\n\nPress Y to start updating."},
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
