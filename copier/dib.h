// Packed device-independent bitmaps as a scanner delivers them: header, colour
// table and bits in one block, read in place while the caller holds it locked.
#pragma once

#include <windows.h>

// Checks a block from a driver before anything else reads it: a header of a
// known kind, sensible dimensions and depth, a colour table that fits the depth,
// and header, table and every row of bits inside the block. The helpers below
// assume a bitmap that passed.
bool IsDibUsable(const void* dib, SIZE_T blockSize);
// The same for a global memory handle (null, tiny, unlockable handles fail).
bool IsDibHandleUsable(HGLOBAL image);

// Number of colour table entries (0: no table).
WORD GetDibColorCount(const void* dib);
// Size of the colour table in bytes.
DWORD GetDibColorTableSize(const void* dib);
// First byte of the pixel bits.
const BYTE* GetDibBits(const void* dib);
// Width and height in pixels; the height is the number of rows for a top-down
// bitmap too.
LONG GetDibWidth(const void* dib);
LONG GetDibHeight(const void* dib);

// Builds a logical palette from the colour table. FALSE, and *palette left
// alone, when the bitmap has no table or the palette could not be made; the
// caller owns (attaches and deletes) the palette it receives.
BOOL CreatePaletteFromDib(const void* dib, HPALETTE* palette);

// Draws the bitmap's `source` rectangle (pixels, top-left origin) into `dest`
// (device units). Equal sizes are copied unscaled, anything else is stretched;
// either way the rectangle is taken from the top-left of the picture as it is
// seen. A palette, when given, is selected as a background palette for the
// call. The result is the drawing calls': scan lines drawn, 0 on failure.
//
// A picture of more than `bandBytes` of rows goes to the device as horizontal
// bands of whole rows of at most that size, one drawing call each: a printer
// driver converts what it is given all at once, so one call with a whole page
// costs it about the image again. Band k's first device row is
// floor(k * bandRows * destHeight / sourceHeight) from the top, the same scale
// as the whole picture, and each band ends where the next begins.
//
// 2 MB, as measured under Wine's PostScript driver: a band costs the driver
// a little more than its own size while it is drawn, and each band adds its
// own image header to the spool file, about 2 KB for a 256-colour table. At
// 1 MB the spool of a page of mostly white grey (which compresses 40 to 1)
// grew by almost a tenth; at 2 MB by under 5 %, while a large page still
// costs the printing about a tenth of the image beyond it.
const DWORD kDibBandBytes = 2 * 1024 * 1024;
int DrawDib(HDC dc, const RECT& dest, const void* dib, const RECT& source, HPALETTE palette,
            DWORD bandBytes = kDibBandBytes);
