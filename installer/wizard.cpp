// The wizard pages, the final pages and the progress meter.
#include "wizard.h"

void ShowProgressLines(HWND progressDialog, const char* action, const char* name,
                       const char* description) {
    if (!progressDialog) return;
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_ACTION, action ? action : "");
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_NAME, name ? name : "");
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_DESCRIPTION, description ? description : "");
}
