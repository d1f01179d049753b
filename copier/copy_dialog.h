// The copy dialog: the copier's whole user interface. It owns the user's
// settings, the scanner session and the last scanned image, turns the user's
// choices into a scan, prints what the scanner hands back and shows in its
// status line what the copier is doing.
#pragma once

#include <windows.h>

#include <memory>

#include "kfw/dialog.h"
#include "kfw/gdi.h"
#include "handles.h"
#include "resource.h"

class CTwainSession;

enum CopyStatus { StatusNone, StatusReady, StatusScanning, StatusPrinting };

class CCopyDialog : public CDialog {
public:
    CCopyDialog() noexcept;
    ~CCopyDialog() override;

    // The six settings fields from and to the registry (settings.cpp).
    void LoadSettings();
    void SaveSettings();

    // The status follows the printing flag and the session's scanning flag;
    // the line and the buttons change only when the status does.
    void UpdateStatus();
    void ShowStatusText();
    void EnableControlsForStatus();

    // Prints the held image, once per page (print_job.cpp).
    BOOL PrintImage(int pages);
    // Draws the held image on the current page of `printer`: its physical size
    // times the scale, from the printable area's top-left, cut at its edges.
    BOOL PrintImagePage(HDC printer);

    int m_nScale;        // percent, 25 to 400 when valid
    int m_nColorSelect;  // 0 colour, 1 grey photograph, 2 text
    int m_nSpeedSelect;  // 0 fastest, 1 fast, 2 standard
    int m_nUISelect;     // 0 automatic, 1 manual (the scanner's own window)
    int m_nXPos;         // top-left corner on the screen; -1 = none stored
    int m_nYPos;
    HICON m_hIcon;
    std::unique_ptr<CTwainSession> m_pSession;
    GlobalMemory m_hImage;  // packed DIB of the last scan
    // Its resolution in dots per metre as the scanner reported it for that
    // image, kept with it: a later scan that ends without an image must not
    // change the size at which Re-copy prints this one.
    LONG m_nImageXRes;
    LONG m_nImageYRes;
    BOOL m_bCaptionActive;
    BOOL m_bTrackPosition;
    BOOL m_bPrinting;
    CopyStatus m_nStatus;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* exchange) override;

    BEGIN_MSG_MAP(CCopyDialog)
        ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
        ON_MESSAGE(WM_DESTROY, OnDestroy)
        ON_COMMAND(IDC_COPY, OnCopy)
        ON_COMMAND(IDC_SELECT_SCANNER, OnSelectScanner)
        ON_MESSAGE(WM_USER, OnImageArrived)
        ON_COMMAND(IDC_PRINTER_SETUP, OnPrinterSetup)
        ON_COMMAND(IDC_RECOPY, OnRecopy)
        ON_COMMAND(IDC_ABOUT, OnAbout)
        ON_MESSAGE(WM_MOVE, OnMove)
        ON_MESSAGE(WM_ENDSESSION, OnEndSession)
        ON_MESSAGE(WM_TIMER, OnTimer)
        ON_MESSAGE(WM_NCACTIVATE, OnNcActivate)
        ON_MESSAGE(WM_NCPAINT, OnNcPaint)
        ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
        ON_MESSAGE(WM_PAINT, OnPaint)
        ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
        ON_COMMAND(IDC_HELP_BUTTON, OnHelpButton)
    END_MSG_MAP(CDialog)

private:
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    void OnCopy();
    void OnSelectScanner();
    LRESULT OnImageArrived(WPARAM wParam, LPARAM lParam);
    void OnPrinterSetup();
    void OnRecopy();
    void OnAbout();
    LRESULT OnMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcActivate(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    void OnHelpButton();

    void AddAboutToSystemMenu();
    void RestorePosition();
    void EnableRecopy();
    void CreateSession();
    void DestroySession();
};

// The About box: the picture in the button colours, product and notices.
class CAboutDialog : public CDialog {
public:
    explicit CAboutDialog(CWnd* parent) noexcept;

protected:
    BOOL OnInitDialog() override;

private:
    GdiObject<HBITMAP> m_bitmap;
};
