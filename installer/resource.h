// Resource ids of the installer.
#pragma once

// Icons and bitmaps
#define IDI_SETUP 142
