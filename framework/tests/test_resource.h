// Resource ids of the framework's test program.
#pragma once

#define IDD_FORM 200
#define IDD_PLAIN 201
#define IDC_NUMBER 300
#define IDC_FIRST_A 301
#define IDC_FIRST_B 302
#define IDC_FIRST_C 303
#define IDC_BUTTON 304
#define IDC_SECOND_A 305
#define IDC_SECOND_B 306
#define IDB_GREYS 400
#define IDS_DOUBLE_BYTE 500
