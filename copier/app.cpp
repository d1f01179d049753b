// The copier's application object: start-up, single instance, the copy dialog
// run modally, and the printer choice kept between runs.
#include "kfw/app.h"

class CCopierApp : public CWinApp {
public:
    BOOL InitInstance() override { return FALSE; }
};

// Constructed before the program entry runs, as the framework expects.
static CCopierApp theApp;
