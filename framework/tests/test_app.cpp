// The one application object of the framework's test program.
#include "test_app.h"

namespace {
TestApp theApp;
}

TestApp& App() { return theApp; }
