// The copier's one application object; the framework's program entry finds
// it and calls its InitInstance.
#include "app.h"

static CCopierApp theApp;
