// The framework's tests run inside one application object of their own.
#pragma once

#include <functional>

#include "kfw/app.h"

class TestApp : public CWinApp {
public:
    // Consulted first for every pre-translated message; TRUE consumes it.
    std::function<BOOL(MSG*)> consume;
    int preTranslated = 0;

    BOOL PreTranslateMessage(MSG* message) override {
        ++preTranslated;
        if (consume && consume(message)) return TRUE;
        return CWinApp::PreTranslateMessage(message);
    }
};

TestApp& App();
