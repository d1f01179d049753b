// Resource ids of the copier, grouped by kind; the numbers are fixed.
// Framework prompts (61703, 61712, 61714) and ID_HELP come from kfw/res.h.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

// Icons and bitmaps
#define IDI_KOPIWA 128
#define IDB_ABOUT 139
#define IDB_BACKGROUND_TILE 141

// Dialog templates
#define IDD_ABOUT 100
#define IDD_COPY 102
#define IDD_PRINT_PROGRESS 130

// System menu of the copy dialog
#define ID_SYSMENU_ABOUT 0x0010

// Strings
#define IDS_ABOUT_MENU 101
#define IDS_WRONG_WINDOWS 102
#define IDS_TWAIN_DLL 1024
#define IDS_DOCUMENT_NAME 1025
#define IDS_PRODUCT_NAME 1026
#define IDS_VERSION 1027
#define IDS_MAKER 1028
#define IDS_MUTEX_NAME 1029
#define IDS_STATUS_READY 1536
#define IDS_STATUS_SCANNING 1537
#define IDS_STATUS_PRINTING 1538
#define IDS_PRINTING_TO_PORT 2048
#define IDS_PRINT_NOT_STARTED 2049
#define IDS_PRINT_NO_MEMORY 2050
#define IDS_IMAGE_UNUSABLE 2051

// Copy dialog (template 102)
#define IDC_COPY 1001
#define IDC_SELECT_SCANNER 1002
#define IDC_SCALE 1005
#define IDC_SCALE_SPIN 1007
#define IDC_PRINTER_SETUP 1008
#define IDC_COLOR 1009
#define IDC_TEXT 1010
#define IDC_RECOPY 1012
#define IDC_SPEED_FASTEST 1014
#define IDC_SPEED_FAST 1015
#define IDC_SPEED_NORMAL 1016
#define IDC_UI_AUTO 1017
#define IDC_UI_MANUAL 1019
#define IDC_ABOUT 1023
#define IDC_STATUS 1024
#define IDC_HELP_BUTTON 1030
#define IDC_GRAY 1032
#define IDC_SEPARATOR 1033

// About box (template 100)
#define IDC_ABOUT_BITMAP 1029

// Print progress dialog (template 130)
#define IDC_PROGRESS_DOCUMENT 1025
#define IDC_PROGRESS_PRINTER 1026
#define IDC_PROGRESS_PORT 1027
#define IDC_PROGRESS_EXTRA 1028
