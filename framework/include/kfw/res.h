// Identifiers the framework itself uses. Its message strings live in the
// program's own string table under these numbers, so that the program decides
// their wording and language. Also included by resource scripts.
#pragma once

// Framework prompts (string table of the program)
#define AFX_IDP_FAILED_TO_LAUNCH_HELP 61703
#define AFX_IDP_PARSE_INT 61712
#define AFX_IDP_PARSE_INT_RANGE 61714

// Standard commands
#define ID_HELP 57670

// Help contexts of dialogs: this base plus the dialog's template number.
#define HID_BASE_RESOURCE 0x20000

// Asks a window for its context help; answered non-zero when given.
#define WM_COMMANDHELP 0x0365
