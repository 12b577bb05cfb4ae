// Resource ids of the updater (vuq): dialog templates, controls, the icon and the
// side picture. Read by the resource compiler and by the C++ code alike, so it
// holds plain definitions only. The string ids are in Strings.h.
#pragma once

// Dialog templates.
#define IDD_VUQ_PROGRESS 102      // CVUQDlg, the progress window
#define IDD_VUQ_WELCOME 134       // CVUQB1Dlg
#define IDD_VUQ_NOT_CONNECTED 135 // CNOTSyncDialog
#define IDD_VUQ_CONFIRM 136       // CVUQC1Dlg
#define IDD_VUQ_FINISH 138        // CENDDlg

// Controls.
#define IDC_VUQ_PROGRESS_BAR 1002
#define IDC_VUQ_CAPTION_BOX 1006
#define IDC_VUQ_RICH_TEXT 1008
#define IDC_VUQ_PERCENT_BOX 1010

// Pictures.
#define IDI_VUQ_APP 128           // the application icon
#define IDB_VUQ_SIDE 148          // the side picture, 157 x 308 pixels, 24-bit

// Controls the code never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
