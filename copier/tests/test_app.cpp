// The one application object of the copier's test program.
#include "test_app.h"

namespace {
CCopierApp theApp;
}

CCopierApp& App() { return theApp; }
