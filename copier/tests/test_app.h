// The copier's application object inside the test program, so that the
// dialog, the settings and the print settings find it as they do in Kopiwa.
#pragma once

#include "app.h"

CCopierApp& App();
