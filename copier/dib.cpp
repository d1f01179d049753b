// Packed device-independent bitmaps: validation of a driver's block, the
// geometry and colour table read in place, a palette from the table, drawing.
#include "dib.h"

#include <climits>
#include <cstring>

#include "handles.h"

namespace {

const DWORD kCoreHeaderSize = 12;  // BITMAPCOREHEADER
const DWORD kInfoHeaderSize = 40;  // BITMAPINFOHEADER; later versions only grow it
const DWORD kBitFieldMasksSize = 12;

template <class T>
T ReadAt(const void* block, DWORD offset) {
    T value;
    std::memcpy(&value, static_cast<const BYTE*>(block) + offset, sizeof value);
    return value;
}

// The fields the copier uses, from either kind of header. A core header is
// exactly 12 bytes; 40 bytes and more are the Windows 3 header and its longer
// successors, which keep the same fields at the same places.
struct DibHeader {
    DWORD size;
    bool valid;
    bool core;
    LONG width;
    LONG height;  // as stored: negative for a top-down bitmap
    WORD planes;  // GDI draws only bitmaps of one plane
    WORD bitCount;
    DWORD compression;
    DWORD colorsUsed;
};

DibHeader ReadHeader(const void* dib) {
    DibHeader h{};
    h.size = ReadAt<DWORD>(dib, 0);
    if (h.size == kCoreHeaderSize) {
        h.valid = true;
        h.core = true;
        h.width = ReadAt<WORD>(dib, 4);
        h.height = ReadAt<WORD>(dib, 6);
        h.planes = ReadAt<WORD>(dib, 8);
        h.bitCount = ReadAt<WORD>(dib, 10);
        h.compression = BI_RGB;
    } else if (h.size >= kInfoHeaderSize) {
        h.valid = true;
        h.width = ReadAt<LONG>(dib, 4);
        h.height = ReadAt<LONG>(dib, 8);
        h.planes = ReadAt<WORD>(dib, 12);
        h.bitCount = ReadAt<WORD>(dib, 14);
        h.compression = ReadAt<DWORD>(dib, 16);
        h.colorsUsed = ReadAt<DWORD>(dib, 32);
    }
    return h;
}

DWORD ColorCountOf(const DibHeader& h) {
    if (!h.valid) return 0;
    if (!h.core && h.colorsUsed != 0) return h.colorsUsed;
    switch (h.bitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

DWORD EntrySizeOf(const DibHeader& h) { return h.core ? sizeof(RGBTRIPLE) : sizeof(RGBQUAD); }

// A Windows 3 header of a bit-field bitmap is followed by three colour masks;
// the longer headers hold the masks inside themselves.
DWORD MasksSizeOf(const DibHeader& h) {
    return (h.size == kInfoHeaderSize && h.compression == BI_BITFIELDS) ? kBitFieldMasksSize : 0;
}

bool IsTopDown(const DibHeader& h) { return !h.core && h.height < 0; }

LONG RowsOf(const DibHeader& h) {
    if (h.height == LONG_MIN) return 0;
    return h.height < 0 ? -h.height : h.height;
}

bool IsKnownDepth(const DibHeader& h) {
    switch (h.bitCount) {
    case 1: case 4: case 8: case 24: return true;
    case 16: case 32: return !h.core;
    default: return false;
    }
}

bool IsDrawableCompression(const DibHeader& h) {
    if (h.compression == BI_RGB) return true;
    return h.compression == BI_BITFIELDS && (h.bitCount == 16 || h.bitCount == 32);
}

bool IsSensibleColorCount(const DibHeader& h) {
    if (h.core) return true;
    if (h.bitCount <= 8) return h.colorsUsed <= (1u << h.bitCount);
    return h.colorsUsed <= 0xFFFF;  // the count is a 16-bit number
}

// Restores the device context's previous palette when it goes.
class CBackgroundPalette {
public:
    CBackgroundPalette(HDC dc, HPALETTE palette)
        : m_hDC(dc), m_hPrevious(palette ? SelectPalette(dc, palette, TRUE) : nullptr) {}
    ~CBackgroundPalette() {
        if (m_hPrevious) SelectPalette(m_hDC, m_hPrevious, TRUE);
    }
    CBackgroundPalette(const CBackgroundPalette&) = delete;
    CBackgroundPalette& operator=(const CBackgroundPalette&) = delete;

private:
    HDC m_hDC;
    HPALETTE m_hPrevious;
};

}  // namespace

bool IsDibUsable(const void* dib, SIZE_T blockSize) {
    if (!dib || blockSize < kCoreHeaderSize) return false;
    // The header's own size first: a block shorter than the header it
    // announces must not be read as one.
    if (ReadAt<DWORD>(dib, 0) > blockSize) return false;
    const DibHeader h = ReadHeader(dib);
    if (!h.valid) return false;
    if (h.width <= 0 || h.height == 0 || h.height == LONG_MIN) return false;
    // StretchDIBits refuses a bitmap of other than one plane: such an image
    // could be held but never printed.
    if (h.planes != 1) return false;
    if (!IsKnownDepth(h) || !IsDrawableCompression(h) || !IsSensibleColorCount(h)) return false;

    // Every sum below stays far from overflow: each term is checked against
    // what is left of the block before the next is added.
    const unsigned long long block = blockSize;
    unsigned long long used = static_cast<unsigned long long>(h.size) + MasksSizeOf(h) +
                              static_cast<unsigned long long>(ColorCountOf(h)) * EntrySizeOf(h);
    if (used > block) return false;
    const unsigned long long stride =
        (static_cast<unsigned long long>(h.width) * h.bitCount + 31) / 32 * 4;
    const unsigned long long rows = static_cast<unsigned long long>(RowsOf(h));
    return stride <= block - used && rows <= (block - used) / stride;
}

bool IsDibHandleUsable(HGLOBAL image) {
    // Below 32 a "handle" is an error code of the old kind, never memory.
    if (reinterpret_cast<ULONG_PTR>(image) < 32) return false;
    GlobalLockGuard<> lock(image);
    return lock.Get() && IsDibUsable(lock.Get(), GlobalSize(image));
}

WORD GetDibColorCount(const void* dib) { return static_cast<WORD>(ColorCountOf(ReadHeader(dib))); }

DWORD GetDibColorTableSize(const void* dib) {
    const DibHeader h = ReadHeader(dib);
    return static_cast<DWORD>(static_cast<WORD>(ColorCountOf(h))) * EntrySizeOf(h);
}

const BYTE* GetDibBits(const void* dib) {
    const DibHeader h = ReadHeader(dib);
    return static_cast<const BYTE*>(dib) + h.size + MasksSizeOf(h) + GetDibColorTableSize(dib);
}

LONG GetDibWidth(const void* dib) {
    const DibHeader h = ReadHeader(dib);
    return h.valid ? h.width : 0;
}

LONG GetDibHeight(const void* dib) {
    const DibHeader h = ReadHeader(dib);
    return h.valid ? RowsOf(h) : 0;
}

BOOL CreatePaletteFromDib(const void* dib, HPALETTE* palette) {
    const DibHeader h = ReadHeader(dib);
    const WORD count = static_cast<WORD>(ColorCountOf(h));
    if (count == 0 || !palette) return FALSE;

    GlobalMemory block = GlobalMemory::Allocate(8 + 4 * static_cast<SIZE_T>(count));
    GlobalLockGuard<> lock(block.Get());
    auto* logical = static_cast<LOGPALETTE*>(lock.Get());
    if (!logical) return FALSE;
    logical->palVersion = 0x300;
    logical->palNumEntries = count;
    const BYTE* table = static_cast<const BYTE*>(dib) + h.size;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = table + static_cast<SIZE_T>(i) * EntrySizeOf(h);
        // Both entry kinds start blue, green, red.
        logical->palPalEntry[i].peBlue = entry[0];
        logical->palPalEntry[i].peGreen = entry[1];
        logical->palPalEntry[i].peRed = entry[2];
        logical->palPalEntry[i].peFlags = 0;
    }
    HPALETTE created = CreatePalette(logical);
    if (!created) return FALSE;
    *palette = created;
    return TRUE;
}

namespace {

// Held in 64 bits: a validated bitmap's row fits its block, but a wide one
// would wrap a 32-bit product.
unsigned long long StrideOf(const DibHeader& h) {
    return (static_cast<unsigned long long>(h.width) * h.bitCount + 31) / 32 * 4;
}

// The header, masks and colour table of a bitmap, copied so that a band of
// its rows can be handed to the device as a bitmap of its own: the device
// then sees only those rows, whatever it would make of the rest.
class CBandHeader {
public:
    CBandHeader(const void* dib, const DibHeader& h)
        : m_header(h),
          m_block(GlobalMemory::Allocate(static_cast<SIZE_T>(GetDibBits(dib) - static_cast<const BYTE*>(dib)))),
          m_lock(m_block.Get()) {
        if (m_lock) std::memcpy(m_lock.Get(), dib, m_block.Size());
    }
    explicit operator bool() const { return static_cast<bool>(m_lock); }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(m_lock.Get()); }
    void SetRows(LONG rows) {
        BYTE* header = m_lock.Get();
        if (m_header.core) {
            const WORD count = static_cast<WORD>(rows);
            std::memcpy(header + 6, &count, sizeof count);
            return;
        }
        const LONG height = IsTopDown(m_header) ? -rows : rows;
        const DWORD imageSize = static_cast<DWORD>(StrideOf(m_header) * static_cast<DWORD>(rows));
        std::memcpy(header + 8, &height, sizeof height);
        std::memcpy(header + 20, &imageSize, sizeof imageSize);
    }

private:
    DibHeader m_header;
    GlobalMemory m_block;
    GlobalLockGuard<BYTE> m_lock;
};

// Rows of a bitmap as one drawing call takes them: `rows` rows of `bits`
// described by `info`, of which the piece from `top` (counted from the top
// of the picture) of `height` rows and the columns from `left` of `width`.
struct DibRows {
    const BITMAPINFO* info;
    const BYTE* bits;
    LONG rows;
    bool topDown;
    LONG left, top, width, height;
};

// Both calls count the source rows from the bottom of the picture (for a
// top-down bitmap too, as StretchDIBits does); the piece counts from its top,
// so that a cropped picture keeps its top-left part.
int DrawRows(HDC dc, const RECT& dest, const DibRows& r) {
    const int destWidth = dest.right - dest.left;
    const int destHeight = dest.bottom - dest.top;
    const int sourceY = r.rows - (r.top + r.height);
    // SetDIBitsToDevice would take a top-down bitmap's rows from its top.
    if (destWidth == r.width && destHeight == r.height && !r.topDown) {
        return SetDIBitsToDevice(dc, dest.left, dest.top, destWidth, destHeight, r.left, sourceY, 0, r.rows, r.bits,
                                 r.info, DIB_RGB_COLORS);
    }
    return StretchDIBits(dc, dest.left, dest.top, destWidth, destHeight, r.left, sourceY, r.width, r.height, r.bits,
                         r.info, DIB_RGB_COLORS, SRCCOPY);
}

// The source rows in bands of `bandRows`, each band's device rows on the
// whole picture's scale. A band that a reduction leaves no device row is
// left out, as the single call would leave its rows out.
int DrawBands(HDC dc, const RECT& dest, const void* dib, const DibHeader& h, const RECT& source, LONG bandRows) {
    CBandHeader band(dib, h);
    if (!band) return 0;
    const BYTE* bits = GetDibBits(dib);
    const SIZE_T stride = static_cast<SIZE_T>(StrideOf(h));
    const LONG sourceHeight = source.bottom - source.top;
    const long long destHeight = dest.bottom - dest.top;
    int drawn = 0;
    for (LONG first = 0; first < sourceHeight; first += bandRows) {
        const LONG rows = sourceHeight - first < bandRows ? sourceHeight - first : bandRows;
        const LONG top = source.top + first;
        const LONG destTop = static_cast<LONG>(dest.top + first * destHeight / sourceHeight);
        const LONG destBottom = static_cast<LONG>(dest.top + (first + rows) * destHeight / sourceHeight);
        if (destBottom == destTop) continue;
        // A bottom-up bitmap keeps its top row last.
        const LONG storedFirst = IsTopDown(h) ? top : RowsOf(h) - (top + rows);
        band.SetRows(rows);
        const DibRows piece = {band.Info(), bits + static_cast<SIZE_T>(storedFirst) * stride, rows, IsTopDown(h),
                               source.left, 0, source.right - source.left, rows};
        const int result = DrawRows(dc, RECT{dest.left, destTop, dest.right, destBottom}, piece);
        if (result <= 0) return 0;
        drawn += result;
    }
    return drawn;
}

}  // namespace

int DrawDib(HDC dc, const RECT& dest, const void* dib, const RECT& source, HPALETTE palette, DWORD bandBytes) {
    const DibHeader h = ReadHeader(dib);
    const unsigned long long stride = StrideOf(h);
    const LONG bandRows = stride < bandBytes ? static_cast<LONG>(bandBytes / stride) : 1;

    CBackgroundPalette selected(dc, palette);
    SetStretchBltMode(dc, COLORONCOLOR);
    if (source.bottom - source.top > bandRows) return DrawBands(dc, dest, dib, h, source, bandRows);
    const DibRows whole = {static_cast<const BITMAPINFO*>(dib), GetDibBits(dib), RowsOf(h), IsTopDown(h),
                           source.left, source.top, source.right - source.left, source.bottom - source.top};
    return DrawRows(dc, dest, whole);
}
