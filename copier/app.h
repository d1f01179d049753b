// The copier's application object: single instance per desktop, the platform
// check, the copy dialog run modally, and the printer choice kept between runs.
#pragma once

#include <windows.h>

#include "kfw/app.h"
#include "handles.h"

class CCopyDialog;

class CCopierApp : public CWinApp {
public:
    CCopierApp() noexcept;
    ~CCopierApp() override;

    // Does the program's whole work and answers that no message loop is to
    // run, whatever happened.
    BOOL InitInstance() override;
    // While the copy dialog holds a scanner session, every message goes to
    // the session first.
    BOOL PreTranslateMessage(MSG* message) override;

    // The printer selection from and to the registry (settings.cpp).
    void LoadPrinterSelection();
    void SavePrinterSelection();

    KernelHandle m_hMutex;

private:
    BOOL AnotherCopierRuns();
    void CreateInstanceMutex();
    void RunCopyDialog();

    CCopyDialog* m_pCopyDialog;
};

// TRUE for the Windows 95 family and for the NT family from version 4.0 on.
BOOL IsSupportedWindows(const OSVERSIONINFOA* version);
