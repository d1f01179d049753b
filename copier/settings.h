// The copier's settings in the current user's registry: the dialog's state
// under "Status" and the printer selection blocks under "Printer".
#pragma once

#include <windows.h>

#include "handles.h"

extern const char kStatusKeyPath[];
extern const char kPrinterKeyPath[];

// One REG_DWORD of the Status key as a signed number, or `defaultValue` when
// the key or value is missing or longer than four bytes.
LONG ReadRegistryDword(const char* name, LONG defaultValue);
// Writes one value of the Status key, creating the key; failures are ignored.
BOOL WriteRegistryDword(const char* name, LONG value);

// A block of the Printer key: the length value names the size of a movable,
// zero-filled block that the data value is read into. Empty when anything is
// missing, the data is longer than the stored length, or that length is more
// than the largest DEVMODE a driver can write.
GlobalMemory ReadPrinterBlob(const char* lengthName, const char* dataName);
// The whole global block, its size first; failures are ignored.
BOOL WritePrinterBlob(HGLOBAL block, const char* lengthName, const char* dataName);
