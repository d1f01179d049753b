// Application object of the framework stand-in: one static instance per
// program, whose InitInstance the program entry calls once.
#pragma once

#include <windows.h>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once after start-up; answering FALSE ends the program without a
    // message loop.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();

    HINSTANCE m_hInstance = nullptr;
};

// The one application object of the process.
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
