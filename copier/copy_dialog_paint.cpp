// The copy dialog's own painting; see copy_dialog_paint.h.
#include "copy_dialog_paint.h"

#include "kfw/gdi.h"
#include "handles.h"

bool IsVersion40System() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return true;
    return info.dwMajorVersion < 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion == 0);
}

RECT CaptionBand(int windowWidth) {
    RECT band;
    band.left = GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXBORDER);
    band.top = GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYBORDER);
    band.right = windowWidth - 8 * GetSystemMetrics(SM_CXSIZE) - GetSystemMetrics(SM_CXBORDER) -
                 GetSystemMetrics(SM_CXEDGE);
    band.bottom = band.top + GetSystemMetrics(SM_CYCAPTION) - 1;
    return band;
}

COLORREF CaptionStripColor(COLORREF base, int n) {
    return RGB(GetRValue(base) * n / 47, GetGValue(base) * n / 47, GetBValue(base) * n / 47);
}

void CaptionStripExtent(int n, int bandWidth, int* left, int* right) {
    *left = n * bandWidth / kCaptionStrips;
    *right = (n + 1) * bandWidth / kCaptionStrips;
}

namespace {

void PaintGradient(HDC dc, int width, int height, COLORREF base) {
    for (int n = kCaptionStrips - 1; n >= 0; --n) {
        int left = 0, right = 0;
        CaptionStripExtent(n, width, &left, &right);
        RECT strip = {left, 0, right, height};
        GdiObject<HBRUSH> brush(CreateSolidBrush(CaptionStripColor(base, n)));
        FillRect(dc, &strip, brush.Get());
    }
}

void PaintTitle(HWND window, HDC dc, BOOL active, int textLeft, int width, int height) {
    char title[256];
    GetWindowTextA(window, title, sizeof title);
    GdiObject<HFONT> font(CreateFontA(GetSystemMetrics(SM_CYCAPTION) - 7, 0, 0, 0, FW_DONTCARE, FALSE, FALSE,
                                      FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                      PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, nullptr));
    ScopedSelectObject selectFont(dc, font.Get());
    SetTextColor(dc, active ? RGB(255, 255, 255) : RGB(128, 128, 128));
    SetBkMode(dc, TRANSPARENT);
    RECT text = {textLeft, 1, width, height};
    DrawTextA(dc, title, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

}  // namespace

void PaintCaption(HWND window, BOOL active, HICON icon) {
    WindowDC windowDC(window, GetWindowDC(window));
    if (!windowDC.Get()) return;
    RECT windowRect;
    GetWindowRect(window, &windowRect);
    const RECT band = CaptionBand(windowRect.right - windowRect.left);
    const int width = band.right - band.left;
    const int height = band.bottom - band.top;
    // A dialog narrower than the caption buttons leaves nothing to paint.
    if (width <= 0 || height <= 0) return;

    // Drawn off screen and copied in one transfer, so the title bar does not
    // flicker through the strips.
    OwnedDC memory(CreateCompatibleDC(windowDC.Get()));
    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(windowDC.Get(), width, height));
    if (!memory.Get() || !bitmap.Get()) return;
    ScopedSelectObject selectBitmap(memory.Get(), bitmap.Get());

    PaintGradient(memory.Get(), width, height,
                  GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    const int iconX = (caption - GetSystemMetrics(SM_CYSMICON)) / 2 + 1;
    const int iconY = (caption - GetSystemMetrics(SM_CYSMICON)) / 2;
    DrawIconEx(memory.Get(), iconX, iconY, icon, GetSystemMetrics(SM_CXSMICON),
               GetSystemMetrics(SM_CYSMICON), 0, nullptr, DI_NORMAL);
    PaintTitle(window, memory.Get(), active, iconX + GetSystemMetrics(SM_CXSMICON) + 2, width, height);

    BitBlt(windowDC.Get(), band.left, band.top, width, height, memory.Get(), 0, 0, SRCCOPY);
}

void PaintTiledBackground(HWND dialog, HDC dc, HINSTANCE instance, int tileBitmapId, int separatorId) {
    RECT client;
    GetClientRect(dialog, &client);
    RECT tiled = client;
    HWND separator = GetDlgItem(dialog, separatorId);
    if (separator) {
        RECT line;
        GetWindowRect(separator, &line);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&line), 2);
        tiled.bottom = line.top;
    }
    RECT plain = client;
    plain.top = tiled.bottom;

    // Loaded anew for every erase, so a change of system colours shows at
    // once. All four button colours are mapped: black, dark grey, light grey
    // and white (the 3D-colour loading flag would leave black and white).
    GdiObject<HBITMAP> tile(AfxLoadSysColorBitmap(instance, static_cast<UINT>(tileBitmapId)));
    BITMAP info = {};
    OwnedDC memory(CreateCompatibleDC(dc));
    if (tile.Get() && memory.Get() && GetObjectA(tile.Get(), sizeof info, &info) && info.bmWidth > 0 &&
        info.bmHeight > 0) {
        ScopedSelectObject selectTile(memory.Get(), tile.Get());
        for (int y = tiled.top; y < tiled.bottom; y += info.bmHeight) {
            for (int x = tiled.left; x < tiled.right; x += info.bmWidth) {
                const int w = info.bmWidth < tiled.right - x ? info.bmWidth : tiled.right - x;
                const int h = info.bmHeight < tiled.bottom - y ? info.bmHeight : tiled.bottom - y;
                BitBlt(dc, x, y, w, h, memory.Get(), 0, 0, SRCCOPY);
            }
        }
    }
    GdiObject<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    FillRect(dc, &plain, face.Get());
}

void PaintMinimizedIcon(HWND dialog, HICON icon) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    SendMessageA(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(dialog, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(dialog, &paint);
}
