// Resource ids of the copier.
#pragma once

// Icons and bitmaps
#define IDI_KOPIWA 128
