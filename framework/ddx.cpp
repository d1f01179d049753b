// Dialog data exchange: integer edits with validation, and radio groups.

#include "kfw/app.h"
#include "kfw/dialog.h"
#include "kfw/path.h"

CDataExchange::CDataExchange(CWnd* dialog, BOOL saveAndValidate) noexcept
    : m_bSaveAndValidate(saveAndValidate),
      m_pDlgWnd(dialog),
      m_idLastControl(0),
      m_bEditLastControl(FALSE),
      m_bFailed(FALSE) {}

HWND CDataExchange::PrepareCtrl(int id) {
    m_idLastControl = id;
    m_bEditLastControl = FALSE;
    return m_pDlgWnd->GetDlgItem(id);
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    HWND control = PrepareCtrl(id);
    m_bEditLastControl = TRUE;
    return control;
}

void CDataExchange::Fail() {
    m_bFailed = TRUE;
    if (!m_bSaveAndValidate || m_idLastControl == 0) return;
    HWND control = m_pDlgWnd->GetDlgItem(m_idLastControl);
    if (!control) return;
    SetFocus(control);
    if (m_bEditLastControl) SendMessageA(control, EM_SETSEL, 0, -1);
}

void DDX_Text(CDataExchange* exchange, int id, int& value) {
    if (exchange->Failed()) return;
    HWND edit = exchange->PrepareEditCtrl(id);
    if (!edit) return;
    if (!exchange->m_bSaveAndValidate) {
        char text[16];  // wsprintfA writes at most 12 bytes for an int
        wsprintfA(text, "%d", value);
        SetWindowTextA(edit, text);
        return;
    }
    // Longer than any integer: refused as it stands, never read cut off.
    char text[64] = "";
    const bool fits = GetWindowTextLengthA(edit) < static_cast<int>(sizeof text);
    if (fits) GetWindowTextA(edit, text, sizeof text);
    int parsed = 0;
    if (!fits || !kfw::ParseInteger(text, &parsed)) {
        AfxMessageBox(AFX_IDP_PARSE_INT, MB_ICONEXCLAMATION);
        exchange->Fail();
        return;
    }
    value = parsed;
}

void DDV_MinMaxInt(CDataExchange* exchange, int value, int minValue, int maxValue) {
    if (exchange->Failed() || !exchange->m_bSaveAndValidate) return;
    if (value >= minValue && value <= maxValue) return;
    char low[16];
    char high[16];
    wsprintfA(low, "%d", minValue);
    wsprintfA(high, "%d", maxValue);
    char prompt[512];
    AfxFormatString2(prompt, sizeof prompt, AFX_IDP_PARSE_INT_RANGE, low, high);
    AfxMessageBox(prompt, MB_ICONEXCLAMATION);
    exchange->Fail();
}

namespace {

bool IsRadioButton(HWND control) {
    return (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

}  // namespace

void DDX_Radio(CDataExchange* exchange, int firstId, int& value) {
    if (exchange->Failed()) return;
    HWND control = exchange->PrepareCtrl(firstId);
    if (!control) return;
    if (exchange->m_bSaveAndValidate) value = -1;
    int position = 0;
    do {
        if (IsRadioButton(control)) {
            if (exchange->m_bSaveAndValidate) {
                if (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) value = position;
            } else {
                SendMessageA(control, BM_SETCHECK, position == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++position;
        }
        control = GetWindow(control, GW_HWNDNEXT);
    } while (control && !(GetWindowLongA(control, GWL_STYLE) & WS_GROUP));
}
