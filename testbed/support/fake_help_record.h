// What the fake HTML Help engine (fixtures/fake_hhctrl) sends to the test's
// fake help window for each HtmlHelpA call.
#pragma once

#include <windows.h>

namespace fakehelp {

const char kWindowClass[] = "MS_WINHELP";
const char kWindowTitle[] = "fake help";
const ULONG_PTR kHtmlHelpMagic = 0x48544D4C;  // "HTML"

struct HtmlHelpRecord {
    UINT command;
    DWORD data;
    char file[MAX_PATH];
};

}  // namespace fakehelp
