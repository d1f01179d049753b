// Resource ids of the installer. Every value is unique in this file; a build
// test checks it.
#pragma once

// Wizard pages, final pages and the progress dialog
#define IDD_WELCOME 130
#define IDD_SELECT 131
#define IDD_FOLDER 132
#define IDD_UNINSTALL_CONFIRM 133
#define IDD_PROGRESS 135
#define IDD_STARTMENU 136
#define IDD_INSTALL_DONE 137
#define IDD_INSTALL_CONFIRM 138
#define IDD_UNINSTALL_DONE 139
#define IDD_INSTALL_RESTART 144
#define IDD_UNINSTALL_RESTART 145

// Icons, bitmaps and the setup script
#define IDB_BACKDROP 140
#define IDI_SETUP 142
#define IDR_SCRIPT 143
#define IDB_SIDE 146
#define IDB_TITLE 148

// Controls shared by every page: Next is IDOK (1), Cancel IDCANCEL (2).
#define IDC_BACK 1036
#define IDC_SIDE_PICTURE 1040
#define IDC_SEPARATOR 1041

// Start-menu page
#define IDC_STARTMENU_YES 1001
#define IDC_STARTMENU_NO 1002
#define IDC_STARTMENU_TEXT 1029

// Folder page
#define IDC_FOLDER_EDIT 1003
#define IDC_FOLDER_PROMPT 1015
#define IDC_FOLDER_NOTES 1016
#define IDC_FOLDER_ADVICE 1017
#define IDC_FOLDER_NOTE 1038

// Welcome page
#define IDC_WELCOME_LINE1 1006
#define IDC_WELCOME_LINE2 1007

// Selection page
#define IDC_SELECT_PROMPT 1008
#define IDC_SELECT_INSTALL 1009
#define IDC_SELECT_UNINSTALL 1010

// Install confirmation
#define IDC_INSTALL_CONFIRM_TEXT 1018
#define IDC_INSTALL_CONFIRM_FOLDER 1019
#define IDC_INSTALL_CONFIRM_PROMPT 1020

// Uninstall confirmation
#define IDC_UNINSTALL_FOUND 1021
#define IDC_UNINSTALL_FOLDER 1022
#define IDC_UNINSTALL_TEXT 1023
#define IDC_UNINSTALL_PROMPT 1024

// Progress dialog: the three lines that the commands fill in, and the bar
#define IDC_PROGRESS_ACTION 1025
#define IDC_PROGRESS_NAME 1026
#define IDC_PROGRESS_DESCRIPTION 1027
#define IDC_PROGRESS_BAR 1039

// Final pages
#define IDC_INSTALL_DONE_TEXT 1030
#define IDC_INSTALL_DONE_NOTE 1031
#define IDC_UNINSTALL_DONE_TEXT 1033
#define IDC_RESTART_TEXT1 1042
#define IDC_RESTART_TEXT2 1043
#define IDC_RESTART_TEXT3 1044
#define IDC_RESTART_TEXT4 1045
