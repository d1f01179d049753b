// Linked into every test program: the tests compute with the x87 unit set as
// the shipped programs' start-up sets it, so that arithmetic of the product
// run inside a test gives what it gives in the product.
#include "x87_precision.h"

namespace {
const bool g_doublePrecision = (runtime::UseDoublePrecision(), true);
}
