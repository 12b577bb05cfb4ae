// Resource ids of the legacy updater (vuq-legacy): dialog templates, controls, the
// icon and the two handset pictures. Read by the resource compiler and by the C++
// code alike, so it holds plain definitions only. The string ids are in Strings.h.
#pragma once

// Dialog templates.
#define IDD_LEGACY_ABOUT 100            // the About box
#define IDD_LEGACY_FIRST 102            // first page: welcome and instructions
#define IDD_LEGACY_STEP2 111            // waiting for the USB-downloader screen
#define IDD_LEGACY_STEP3 115            // waiting for the port; start of the update
#define IDD_LEGACY_FINAL 121            // final page
#define IDD_LEGACY_TRANSFER_FAILED 140  // the transfer failed
#define IDD_LEGACY_AGENT_FAILED 141     // the device agent could not be copied or started
#define IDD_LEGACY_PROGRESS 152         // the progress window

// Controls. Ids are per template: 1009 is the step-3 page's CANCEL and the
// progress window's step box.
#define IDC_LEGACY_RICH_TEXT 1000
#define IDC_LEGACY_FIRST_NEXT 1001
#define IDC_LEGACY_FIRST_CANCEL 1002
#define IDC_LEGACY_STEP2_CANCEL 1003
#define IDC_LEGACY_STEP2_NEXT 1004
#define IDC_LEGACY_UPDATE 1005
#define IDC_LEGACY_STEP_BAR 1007
#define IDC_LEGACY_STEP3_CANCEL 1009
#define IDC_LEGACY_STEP_BOX 1009
#define IDC_LEGACY_FINISH 1011
#define IDC_LEGACY_TRANSFER_OK 1012
#define IDC_LEGACY_RESTART 1014
#define IDC_LEGACY_WARNING_ICON 1015
#define IDC_LEGACY_AGENT_OK 1016
#define IDC_LEGACY_OVERALL_BAR 1021
#define IDC_LEGACY_HEADING_BOX 1023

// The first page's system-menu command that opens the About box.
#define IDM_LEGACY_ABOUT 16

// Pictures.
#define IDI_LEGACY_APP 128      // the application icon
#define IDB_LEGACY_FIGURE1 135  // the handset's USB-downloader screen (step-2 page)
#define IDB_LEGACY_FIGURE2 136  // the handset receiving data (step-3 page)

// Controls the code never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
