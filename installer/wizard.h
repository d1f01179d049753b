// The wizard pages and the final pages.
#pragma once

#include <windows.h>

#include "resource.h"

// What a wizard page ends with.
enum PageResult { kPageNext = 0, kPageCancel = 1, kPageBack = 2 };
// Shows wizard page `pageId` modally over the main window.
int ShowPage(int pageId);
// Shows a final page modally: 1 for its first button (finish or restart), 0
// for Cancel or the close box.
int ShowFinalPage(int pageId);
// Moves a page or the progress dialog so that its centre lies on the centre
// of the main window's client area.
void CenterOverMainWindow(HWND page);
