// Dialogs from templates, modal or modeless, with dialog data exchange.
// A modal dialog runs a message loop of its own in which every message passes
// the application's pre-translation before it is dispatched.
#pragma once

#include <windows.h>

#include "kfw/res.h"
#include "kfw/wnd.h"

class CDataExchange;

class CDialog : public CWnd {
public:
    // `parent` owns the dialog; without one a modal dialog is owned by the
    // application's main window (unless it is the main window itself).
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) noexcept;
    ~CDialog() override;

    // Runs the dialog until EndDialog; its result, or -1 when the dialog could
    // not be created or the loop met WM_QUIT.
    virtual INT_PTR DoModal();
    // A modeless dialog, shown when its template says so.
    BOOL Create(CWnd* parent = nullptr);
    void EndDialog(int result);

    // Moves data between the controls and the fields (DoDataExchange); FALSE
    // when reading failed validation (the user has been told).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    BOOL PreTranslateMessage(MSG* message) override;

    UINT GetTemplateId() const { return m_nTemplateId; }

protected:
    // Called during WM_INITDIALOG; the default writes the fields into the
    // controls. TRUE lets the system set the focus. When the window neither
    // moved nor showed itself meanwhile, the framework then centres it.
    virtual BOOL OnInitDialog();
    // The OK command: reads the controls and closes only when that succeeds.
    virtual void OnOK();
    // The Cancel command: closes without reading the controls.
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* exchange);

    BEGIN_MSG_MAP(CDialog)
        ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
        ON_COMMAND(IDOK, OnOK)
        ON_COMMAND(IDCANCEL, OnCancel)
        ON_MESSAGE(WM_HELP, OnHelpInfo)
        ON_MESSAGE(WM_COMMANDHELP, OnCommandHelp)
        ON_MESSAGE(WM_COMMAND, OnUnhandledCommand)
    END_MSG_MAP(CWnd)

    UINT m_nIDHelp;
    CWnd* m_pParentWnd;
    // Set by an OnInitDialog that put the window where it belongs: the
    // framework's centring then leaves it there, even where that is the very
    // place the template gave it (a window cannot tell that move from none).
    BOOL m_bPlacedByInit;

private:
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    LRESULT OnHelpInfo(WPARAM wParam, LPARAM lParam);
    LRESULT OnCommandHelp(WPARAM wParam, LPARAM lParam);
    LRESULT OnUnhandledCommand(WPARAM wParam, LPARAM lParam);
    BOOL CreateFromTemplate(HWND owner);
    HWND ModalOwner() const;
    void RunModalLoop();
    void CenterAfterInit(const RECT& rectBefore, DWORD styleBefore);
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplateId;
    BOOL m_bContinueModal;
    INT_PTR m_nModalResult;
};

// One data exchange between a dialog's controls and its fields. Exchanges
// run in order; after a failure the later ones do nothing.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) noexcept;

    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // A validation failed: the focus goes back to the last control prepared
    // (an edit gets all its text selected) and the exchange stops.
    void Fail();
    BOOL Failed() const { return m_bFailed; }

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;

private:
    int m_idLastControl;
    BOOL m_bEditLastControl;
    BOOL m_bFailed;
};

// An edit control and an integer field. Reading text that is not an integer
// shows AFX_IDP_PARSE_INT and fails; the field keeps its value.
void DDX_Text(CDataExchange* exchange, int id, int& value);
// Refuses a value read outside min..max with AFX_IDP_PARSE_INT_RANGE; the
// field keeps the value that was read. Writing never checks.
void DDV_MinMaxInt(CDataExchange* exchange, int value, int minValue, int maxValue);
// A group of radio buttons starting at `firstId` and ending before the next
// control that starts a group. The value is the position of the checked
// button among the group's radio buttons (template order), -1 for none;
// writing a position outside the group clears them all.
void DDX_Radio(CDataExchange* exchange, int firstId, int& value);
