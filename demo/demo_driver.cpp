// The unattended demo: installs the copier from the distribution folder by
// clicking through Setup's pages, starts it from its Start-menu shortcut, makes
// one copy from the virtual scanner to the PDF printer, and leaves a screenshot
// of every page and dialog on the way in the demo's folder.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "setup_texts.h"
#include "wintest.h"

using namespace setuptext;
using namespace wintest;

namespace {

int g_shot = 0;

void Say(const std::string& text) {
    std::printf("demo: %s\n", text.c_str());
    std::fflush(stdout);
}

// A screenshot named in the order taken: 01-welcome.png, 02-folder.png, ...
void Shot(const std::string& name, HWND window = nullptr) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%02d-", ++g_shot);
    Sleep(400);  // let the window finish painting
    const std::string png = Screenshot(prefix + name, window);
    Say(png.empty() ? "screenshot " + name + " failed" : "screenshot " + png);
}

HWND WaitPage(const char* title, DWORD processId, DWORD timeoutMs = 20000) {
    HWND page = WaitForTopWindow(title, processId, timeoutMs);
    if (!page) Say(std::string("no window \"") + title + "\" came");
    return page;
}

bool Fail(const std::string& why) {
    Say("FAILED: " + why);
    return false;
}

// Setup.exe from the distribution folder, clicked through with the defaults:
// welcome, folder, Start menu (register), confirmation, progress, finish.
bool Install() {
    Process setup;
    if (!setup.Start(DistDir() + "\\Setup.exe")) return Fail("Setup.exe did not start");
    struct Step {
        const char* title;
        const char* shot;
    } pages[] = {
        {kWelcomeTitle, "setup-welcome"},
        {kFolderTitle, "setup-folder"},
        {kStartMenuTitle, "setup-startmenu"},
        {kInstallConfirmTitle, "setup-confirm"},
    };
    for (const Step& step : pages) {
        HWND page = WaitPage(step.title, setup.Id());
        if (!page) return false;
        Shot(step.shot, step.shot == pages[0].shot ? nullptr : page);
        PostClick(page, IDOK);
        WaitForWindowGone(page, 10000);
    }
    if (HWND progress = FindTopWindow(kProgressTitle, setup.Id())) Shot("setup-progress", progress);
    HWND finish = WaitPage(kInstallDoneTitle, setup.Id(), 60000);
    if (!finish) return false;
    Shot("setup-finish", finish);
    PostClick(finish, IDOK);
    if (!setup.WaitForExit(30000)) return Fail("Setup did not end");
    Say("installed");
    return true;
}

// The target of the KOPIWA shortcut that Setup put in the Programs folder.
std::string ShortcutTarget() {
    char programs[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE)) return "";
    const std::string link = std::string(programs) + "\\KOPIWA.lnk";
    const std::string target = wintest::ReadShortcut(link).target;
    Say("shortcut " + link + " -> " + target);
    return target;
}

bool Copy(const std::string& program) {
    Process copier;
    if (!copier.Start(program)) return Fail("the copier did not start");
    HWND dialog = WaitPage("KOPIWA", copier.Id());
    if (!dialog) return false;
    WaitUntil([&] { return !ControlText(dialog, 1024).empty(); }, 5000);  // the status line's first tick
    Shot("kopiwa", dialog);

    PostClick(dialog, 1023);
    if (HWND about = WaitPage("KOPIWAのバージョン情報", copier.Id())) {
        Shot("kopiwa-about", about);
        PostClick(about, IDOK);
        WaitForWindowGone(about, 10000);
    }

    const std::set<std::string> before = PdfFiles();
    PostClick(dialog, 1001);
    Say("Copy pressed");
    // The print progress dialog (captioned with the program's name) shows while
    // the page goes to the printer, which may be quick.
    HWND progress = nullptr;
    WaitUntil([&] { return (progress = FindTopWindow("Kopiwa", copier.Id())) != nullptr || PdfFiles() != before; },
              120000);
    if (progress) Shot("kopiwa-printing", progress);
    const std::string pdf = WaitForNewPdf(before, 120000);
    if (pdf.empty()) return Fail("no PDF came from the printer");
    const std::string kept = UnixArtifactDir() + "/kopiwa-copy.pdf";
    RunUnix("cp '" + pdf + "' '" + kept + "' && pdftoppm -r 50 -png -singlefile '" + kept + "' '" +
            UnixArtifactDir() + "/kopiwa-copy-page'");
    Say("printed: " + pdf);
    Say("kept as " + kept);
    WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, 1012)) != FALSE; }, 30000);
    Shot("kopiwa-after-copy", dialog);

    PostClick(dialog, IDOK);
    if (!copier.WaitForExit(20000)) return Fail("the copier did not end");
    return true;
}

}  // namespace

int main() {
    if (!Install()) return 1;
    const std::string program = ShortcutTarget();
    if (program.empty()) return Fail("no shortcut"), 1;
    if (!Copy(program)) return 1;
    Say("done");
    return 0;
}
