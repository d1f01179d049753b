// The TWAIN standard's records and constants, from the standard's own header.
#pragma once

#include <windows.h>

#ifndef DECLSPEC_EXPORT
#define DECLSPEC_EXPORT
#endif
#include <twain.h>
