// The copy dialog's own painting: a gradient title bar on systems whose title
// bars are flat, a tiled pattern behind the controls, and the minimised icon.
#pragma once

#include <windows.h>

// Windows 95 and NT 4.0 (and a failed version query); not 98 or 5.0 and later.
bool IsVersion40System();

// The band of the title bar painted over, in window coordinates, for a window
// `windowWidth` pixels wide: it leaves room for eight caption buttons at the right.
RECT CaptionBand(int windowWidth);

// Strip n (0 at the left, 47 at the right) of the gradient from black to `base`,
// and the strip's horizontal extent within a band `bandWidth` pixels wide.
constexpr int kCaptionStrips = 48;
COLORREF CaptionStripColor(COLORREF base, int n);
void CaptionStripExtent(int n, int bandWidth, int* left, int* right);

// Paints the gradient, the small icon and the title over the system's caption.
void PaintCaption(HWND window, BOOL active, HICON icon);

// Tiles `tileBitmapId` from the client area's top-left down to the top of
// control `separatorId`, and fills the rest with the button face.
void PaintTiledBackground(HWND dialog, HDC dc, HINSTANCE instance, int tileBitmapId, int separatorId);

// The dialog's icon centred in its client area while minimised.
void PaintMinimizedIcon(HWND dialog, HICON icon);
