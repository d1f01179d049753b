// Device-independent bitmap helpers: reading blocks in place, palettes,
// drawing (which call, which part of the picture) and refusing malformed
// blocks from a driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "dib.h"
#include "hostile_campaign.h"
#include "print_geometry.h"

namespace {

struct DibSpec {
    LONG width = 4;
    LONG height = 4;
    WORD bitCount = 24;
    DWORD colorsUsed = 0;
    DWORD headerSize = 40;
    DWORD compression = BI_RGB;
};

DWORD TableEntries(const DibSpec& s) {
    if (s.colorsUsed) return s.colorsUsed;
    return s.bitCount == 1 ? 2 : s.bitCount == 4 ? 16 : s.bitCount == 8 ? 256 : 0;
}

DWORD Stride(LONG width, WORD bitCount) { return (width * bitCount + 31) / 32 * 4; }

// A block laid out as the helpers expect, its table a grey ramp.
std::vector<BYTE> MakeDib(const DibSpec& s) {
    const DWORD entries = TableEntries(s);
    const DWORD masks = (s.headerSize == 40 && s.compression == BI_BITFIELDS) ? 12 : 0;
    const LONG rows = s.height < 0 ? -s.height : s.height;
    std::vector<BYTE> block(s.headerSize + masks + entries * 4 + Stride(s.width, s.bitCount) * rows);
    BITMAPINFOHEADER h{};
    h.biSize = s.headerSize;
    h.biWidth = s.width;
    h.biHeight = s.height;
    h.biPlanes = 1;
    h.biBitCount = s.bitCount;
    h.biCompression = s.compression;
    h.biClrUsed = s.colorsUsed;
    std::memcpy(block.data(), &h, sizeof h);
    auto* table = reinterpret_cast<RGBQUAD*>(block.data() + s.headerSize + masks);
    for (DWORD i = 0; i < entries; ++i)
        table[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i + 1), static_cast<BYTE>(i + 2), 0};
    return block;
}

std::vector<BYTE> MakeCoreDib(WORD width, WORD height, WORD bitCount) {
    const DWORD entries = bitCount <= 8 ? 1u << bitCount : 0;
    std::vector<BYTE> block(12 + entries * 3 + Stride(width, bitCount) * height);
    BITMAPCOREHEADER h{};
    h.bcSize = 12;
    h.bcWidth = width;
    h.bcHeight = height;
    h.bcPlanes = 1;
    h.bcBitCount = bitCount;
    std::memcpy(block.data(), &h, sizeof h);
    for (DWORD i = 0; i < entries; ++i) {
        block[12 + 3 * i] = static_cast<BYTE>(10 * i);      // blue
        block[12 + 3 * i + 1] = static_cast<BYTE>(10 * i + 1);
        block[12 + 3 * i + 2] = static_cast<BYTE>(10 * i + 2);  // red
    }
    return block;
}

int PaletteSize(HPALETTE palette) {
    WORD entries = 0;
    GetObjectA(palette, sizeof entries, &entries);
    return entries;
}

// --- Reading -------------------------------------------------------------------

TEST(Dib, A24BitBitmapHasNoColourTable) {
    const auto dib = MakeDib({});
    EXPECT_EQ(GetDibColorCount(dib.data()), 0);
    EXPECT_EQ(GetDibColorTableSize(dib.data()), 0u);
    EXPECT_EQ(GetDibBits(dib.data()), dib.data() + 40);
    EXPECT_EQ(GetDibWidth(dib.data()), 4);
    EXPECT_EQ(GetDibHeight(dib.data()), 4);
    HPALETTE palette = reinterpret_cast<HPALETTE>(1);
    EXPECT_FALSE(CreatePaletteFromDib(dib.data(), &palette));
    EXPECT_EQ(palette, reinterpret_cast<HPALETTE>(1)) << "left alone";
}

TEST(Dib, ColoursUsedSetsTheTableOfAn8BitBitmap) {
    DibSpec spec;
    spec.bitCount = 8;
    spec.colorsUsed = 20;
    const auto dib = MakeDib(spec);
    EXPECT_EQ(GetDibColorCount(dib.data()), 20);
    EXPECT_EQ(GetDibColorTableSize(dib.data()), 80u);
    EXPECT_EQ(GetDibBits(dib.data()), dib.data() + 40 + 80);
    HPALETTE palette = nullptr;
    ASSERT_TRUE(CreatePaletteFromDib(dib.data(), &palette));
    EXPECT_EQ(PaletteSize(palette), 20);
    PALETTEENTRY entry{};
    ASSERT_EQ(GetPaletteEntries(palette, 19, 1, &entry), 1u);
    EXPECT_EQ(entry.peBlue, 19);  // the table holds blue i, green i+1, red i+2
    EXPECT_EQ(entry.peGreen, 20);
    EXPECT_EQ(entry.peRed, 21);
    EXPECT_EQ(entry.peFlags, 0);
    DeleteObject(palette);

    spec.colorsUsed = 0;
    EXPECT_EQ(GetDibColorCount(MakeDib(spec).data()), 256) << "all 256 without a count";
    spec.bitCount = 1;
    EXPECT_EQ(GetDibColorCount(MakeDib(spec).data()), 2);
    spec.bitCount = 4;
    EXPECT_EQ(GetDibColorCount(MakeDib(spec).data()), 16);
}

TEST(Dib, ACoreHeaderHasThreeByteEntries) {
    const auto dib = MakeCoreDib(5, 3, 4);
    EXPECT_EQ(GetDibColorCount(dib.data()), 16);
    EXPECT_EQ(GetDibColorTableSize(dib.data()), 48u);
    EXPECT_EQ(GetDibBits(dib.data()), dib.data() + 12 + 48);
    EXPECT_EQ(GetDibWidth(dib.data()), 5);
    EXPECT_EQ(GetDibHeight(dib.data()), 3);
    HPALETTE palette = nullptr;
    ASSERT_TRUE(CreatePaletteFromDib(dib.data(), &palette));
    EXPECT_EQ(PaletteSize(palette), 16);
    PALETTEENTRY entry{};
    GetPaletteEntries(palette, 15, 1, &entry);
    EXPECT_EQ(entry.peBlue, 150);
    EXPECT_EQ(entry.peGreen, 151);
    EXPECT_EQ(entry.peRed, 152);
    DeleteObject(palette);
}

TEST(Dib, LaterHeadersAreReadLikeTheWindows3Header) {
    DibSpec spec;
    spec.headerSize = sizeof(BITMAPV5HEADER);
    spec.bitCount = 8;
    spec.colorsUsed = 3;
    spec.width = 300;
    spec.height = 2;
    const auto dib = MakeDib(spec);
    EXPECT_EQ(GetDibWidth(dib.data()), 300);
    EXPECT_EQ(GetDibColorCount(dib.data()), 3);
    EXPECT_EQ(GetDibBits(dib.data()), dib.data() + 124 + 12);
    EXPECT_TRUE(IsDibUsable(dib.data(), dib.size()));
}

TEST(Dib, BitFieldMasksFollowAWindows3Header) {
    DibSpec spec;
    spec.bitCount = 32;
    spec.compression = BI_BITFIELDS;
    const auto dib = MakeDib(spec);
    EXPECT_EQ(GetDibBits(dib.data()), dib.data() + 40 + 12);
    EXPECT_TRUE(IsDibUsable(dib.data(), dib.size()));
    EXPECT_FALSE(IsDibUsable(dib.data(), dib.size() - 1));
}

TEST(Dib, ATopDownBitmapCountsItsRows) {
    DibSpec spec;
    spec.height = -6;
    const auto dib = MakeDib(spec);
    EXPECT_EQ(GetDibHeight(dib.data()), 6);
    EXPECT_TRUE(IsDibUsable(dib.data(), dib.size()));
}

// --- Validation ------------------------------------------------------------------

TEST(DibValidation, AcceptsWellFormedBitmaps) {
    for (WORD bits : {1, 4, 8, 16, 24, 32}) {
        DibSpec spec;
        spec.bitCount = bits;
        spec.width = 13;  // rows padded to 4 bytes
        spec.height = 7;
        const auto dib = MakeDib(spec);
        EXPECT_TRUE(IsDibUsable(dib.data(), dib.size())) << bits;
        EXPECT_FALSE(IsDibUsable(dib.data(), dib.size() - 1)) << bits << ": last byte missing";
        EXPECT_TRUE(IsDibUsable(dib.data(), dib.size() + 100)) << "a block may be larger";
    }
    for (WORD bits : {1, 4, 8, 24}) {
        const auto core = MakeCoreDib(9, 3, bits);
        EXPECT_TRUE(IsDibUsable(core.data(), core.size())) << bits;
        EXPECT_FALSE(IsDibUsable(core.data(), core.size() - 1)) << bits;
    }
}

TEST(DibValidation, RefusesNullAndTinyBlocks) {
    const auto dib = MakeDib({});
    EXPECT_FALSE(IsDibUsable(nullptr, 1000));
    EXPECT_FALSE(IsDibUsable(dib.data(), 0));
    EXPECT_FALSE(IsDibUsable(dib.data(), 11));
    EXPECT_FALSE(IsDibUsable(dib.data(), 39)) << "shorter than its own header";
}

TEST(DibValidation, NeverReadsPastAShortBlock) {
    // A 20-byte block announcing a 40-byte header, placed so that its end is
    // the end of readable memory: reading the header's later fields would fault.
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    BYTE* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    BYTE* block = pages + page - 20;
    const auto dib = MakeDib({});
    std::memcpy(block, dib.data(), 20);
    EXPECT_FALSE(IsDibUsable(block, 20));
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(DibValidation, RefusesUnknownHeaderSizes) {
    for (DWORD size : {0u, 4u, 11u, 13u, 39u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        auto dib = MakeDib({});
        dib.resize(dib.size() + 64);
        std::memcpy(dib.data(), &size, 4);
        EXPECT_FALSE(IsDibUsable(dib.data(), dib.size())) << size;
    }
}

TEST(DibValidation, RefusesOddDimensions) {
    struct Case {
        LONG width, height;
    } cases[] = {{0, 4}, {4, 0}, {-4, 4}, {4, LONG_MIN}, {LONG_MIN, 4}};
    for (const Case& c : cases) {
        auto dib = MakeDib({});
        std::memcpy(dib.data() + 4, &c.width, 4);
        std::memcpy(dib.data() + 8, &c.height, 4);
        EXPECT_FALSE(IsDibUsable(dib.data(), dib.size())) << c.width << " x " << c.height;
    }
    const auto core = MakeCoreDib(0, 3, 8);
    EXPECT_FALSE(IsDibUsable(core.data(), core.size()));
}

TEST(DibValidation, RefusesSizesThatWouldOverflow) {
    struct Case {
        LONG width, height;
        WORD bits;
    } cases[] = {
        {LONG_MAX, 1, 32},        // one row larger than any block
        {65536, 65536, 32},       // 16 GiB: wraps a 32-bit product to 0
        {0x40000000, 4, 32},      // width x bits wraps in 32 bits
        {1, LONG_MAX, 1},         // a block of rows
        {0x20000000, -0x7FFFFFFF, 24},
    };
    for (const Case& c : cases) {
        auto dib = MakeDib({});
        dib.resize(4096);
        std::memcpy(dib.data() + 4, &c.width, 4);
        std::memcpy(dib.data() + 8, &c.height, 4);
        std::memcpy(dib.data() + 14, &c.bits, 2);
        EXPECT_FALSE(IsDibUsable(dib.data(), dib.size())) << c.width << " x " << c.height;
    }
}

TEST(DibValidation, RefusesUnknownDepthsAndCompression) {
    for (WORD bits : {0, 2, 3, 7, 12, 48, 64}) {
        DibSpec spec;
        auto dib = MakeDib(spec);
        dib.resize(dib.size() * 4);
        std::memcpy(dib.data() + 14, &bits, 2);
        EXPECT_FALSE(IsDibUsable(dib.data(), dib.size())) << bits;
    }
    auto core = MakeCoreDib(4, 4, 24);
    const WORD sixteen = 16;
    std::memcpy(core.data() + 10, &sixteen, 2);
    EXPECT_FALSE(IsDibUsable(core.data(), core.size())) << "a core header has no 16-bit depth";
    for (WORD planes : {0, 2}) {  // drawing refuses a bitmap of other than one plane
        auto flat = MakeCoreDib(4, 4, 24);
        std::memcpy(flat.data() + 8, &planes, 2);
        EXPECT_FALSE(IsDibUsable(flat.data(), flat.size())) << planes << " planes";
        flat = MakeDib({});
        std::memcpy(flat.data() + 12, &planes, 2);
        EXPECT_FALSE(IsDibUsable(flat.data(), flat.size())) << planes << " planes";
    }

    for (DWORD compression : std::vector<DWORD>{BI_RLE8, BI_RLE4, BI_JPEG, BI_PNG, 77}) {
        DibSpec spec;
        spec.bitCount = 8;
        spec.compression = compression;
        const auto dib = MakeDib(spec);
        EXPECT_FALSE(IsDibUsable(dib.data(), dib.size())) << compression;
    }
    DibSpec fields;
    fields.compression = BI_BITFIELDS;  // 24 bits cannot have masks
    const auto dib = MakeDib(fields);
    EXPECT_FALSE(IsDibUsable(dib.data(), dib.size() + 12));
}

TEST(DibValidation, RefusesColourCountsTheDepthCannotHave) {
    DibSpec spec;
    spec.bitCount = 8;
    spec.colorsUsed = 257;
    auto dib = MakeDib(spec);
    EXPECT_FALSE(IsDibUsable(dib.data(), dib.size()));
    spec.bitCount = 1;
    spec.colorsUsed = 3;
    dib = MakeDib(spec);
    EXPECT_FALSE(IsDibUsable(dib.data(), dib.size()));

    // A 24-bit bitmap may carry a table, but its entries must be in the block.
    spec = DibSpec{};
    spec.colorsUsed = 16;
    dib = MakeDib(spec);
    EXPECT_TRUE(IsDibUsable(dib.data(), dib.size()));
    const DWORD huge = 0x40000000;
    std::memcpy(dib.data() + 32, &huge, 4);
    EXPECT_FALSE(IsDibUsable(dib.data(), dib.size()));
}

TEST(DibValidation, ChecksHandlesToo) {
    EXPECT_FALSE(IsDibHandleUsable(nullptr));
    EXPECT_FALSE(IsDibHandleUsable(reinterpret_cast<HGLOBAL>(5)));
    const auto dib = MakeDib({});
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    std::memcpy(GlobalLock(block), dib.data(), dib.size());
    GlobalUnlock(block);
    EXPECT_TRUE(IsDibHandleUsable(block));
    GlobalFree(block);

    HGLOBAL tiny = GlobalAlloc(GMEM_MOVEABLE, 8);
    std::memcpy(GlobalLock(tiny), dib.data(), 8);
    GlobalUnlock(tiny);
    EXPECT_FALSE(IsDibHandleUsable(tiny));
    GlobalFree(tiny);
}

// --- Drawing -----------------------------------------------------------------------

// A 24-bit picture in quadrants: black top-left, red top-right, green
// bottom-left, white bottom-right, stored bottom-up or top-down.
std::vector<BYTE> Quadrants(LONG size, bool topDown) {
    DibSpec spec;
    spec.width = size;
    spec.height = topDown ? -size : size;
    auto dib = MakeDib(spec);
    BYTE* bits = dib.data() + 40;
    const DWORD stride = Stride(size, 24);
    for (LONG y = 0; y < size; ++y) {
        const LONG row = topDown ? y : size - 1 - y;
        for (LONG x = 0; x < size; ++x) {
            const bool top = y < size / 2, left = x < size / 2;
            COLORREF c = top ? (left ? RGB(0, 0, 0) : RGB(255, 0, 0))
                             : (left ? RGB(0, 255, 0) : RGB(255, 255, 255));
            BYTE* p = bits + row * stride + 3 * x;
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    }
    return dib;
}

class Canvas {
public:
    explicit Canvas(int size) : dc_(CreateCompatibleDC(nullptr)), size_(size) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, size, size};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    }
    void Fill(COLORREF colour) {
        RECT all{0, 0, size_, size_};
        SetBkColor(dc_, colour);
        ExtTextOutA(dc_, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    }
    // The pixel's three bytes, read straight from the bitmap once drawing is done.
    const BYTE* Pixel(int x, int y) const {
        const int stride = (size_ * 3 + 3) / 4 * 4;
        return static_cast<const BYTE*>(bits_) + (size_ - 1 - y) * stride + 3 * x;
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC dc() const { return dc_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    HDC dc_;
    int size_;
    void* bits_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

const COLORREF kBlack = RGB(0, 0, 0), kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0),
               kWhite = RGB(255, 255, 255);

TEST(DibDrawing, CopiesTheWholePictureUnscaledTheRightWayUp) {
    for (bool topDown : {false, true}) {
        const auto dib = Quadrants(8, topDown);
        Canvas canvas(16);
        EXPECT_EQ(DrawDib(canvas.dc(), RECT{2, 2, 10, 10}, dib.data(), RECT{0, 0, 8, 8}, nullptr), 8);
        EXPECT_EQ(canvas.At(2, 2), kBlack) << topDown;
        EXPECT_EQ(canvas.At(9, 2), kRed) << topDown;
        EXPECT_EQ(canvas.At(2, 9), kGreen) << topDown;
        EXPECT_EQ(canvas.At(9, 9), kWhite) << topDown;
        EXPECT_EQ(canvas.At(10, 10), GetNearestColor(canvas.dc(), RGB(128, 128, 128)));
    }
}

TEST(DibDrawing, ACroppedRectangleIsTheTopLeftOfThePictureOnBothPaths) {
    for (bool topDown : {false, true}) {
        const auto dib = Quadrants(8, topDown);
        {
            Canvas canvas(16);  // unscaled: the top-left quarter, as it is
            EXPECT_NE(DrawDib(canvas.dc(), RECT{0, 0, 4, 4}, dib.data(), RECT{0, 0, 4, 4}, nullptr), 0);
            EXPECT_EQ(canvas.At(0, 0), kBlack) << topDown;
            EXPECT_EQ(canvas.At(3, 3), kBlack) << topDown;
            EXPECT_NE(canvas.At(4, 4), kWhite) << "nothing beyond the rectangle";
        }
        {
            Canvas canvas(16);  // stretched: the top half, twice as large
            EXPECT_NE(DrawDib(canvas.dc(), RECT{0, 0, 16, 8}, dib.data(), RECT{0, 0, 8, 4}, nullptr), 0);
            EXPECT_EQ(canvas.At(0, 0), kBlack) << topDown;
            EXPECT_EQ(canvas.At(7, 7), kBlack) << topDown;
            EXPECT_EQ(canvas.At(15, 7), kRed) << topDown;
        }
        {
            Canvas canvas(16);  // cropped at the right and bottom, then stretched
            EXPECT_NE(DrawDib(canvas.dc(), RECT{0, 0, 12, 12}, dib.data(), RECT{0, 0, 6, 6}, nullptr), 0);
            EXPECT_EQ(canvas.At(0, 0), kBlack) << topDown;
            EXPECT_EQ(canvas.At(11, 0), kRed) << topDown;
            EXPECT_EQ(canvas.At(0, 11), kGreen) << topDown;
            EXPECT_EQ(canvas.At(11, 11), kWhite) << topDown;
        }
    }
}

int CALLBACK CollectDrawingCall(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM param) {
    if (record->iType == EMR_SETDIBITSTODEVICE || record->iType == EMR_STRETCHDIBITS)
        reinterpret_cast<std::vector<DWORD>*>(param)->push_back(record->iType);
    return 1;
}

// The drawing calls a metafile records show which path was taken.
std::vector<DWORD> RecordedDrawingCalls(const RECT& dest, const std::vector<BYTE>& dib, const RECT& source,
                                        DWORD bandBytes = kDibBandBytes) {
    HDC recorder = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    DrawDib(recorder, dest, dib.data(), source, nullptr, bandBytes);
    HENHMETAFILE metafile = CloseEnhMetaFile(recorder);
    std::vector<DWORD> calls;
    EnumEnhMetaFile(nullptr, metafile, CollectDrawingCall, &calls, nullptr);
    DeleteEnhMetaFile(metafile);
    return calls;
}

TEST(DibDrawing, EqualSizesAreCopiedAndAnyDifferenceIsStretched) {
    const auto dib = Quadrants(8, false);
    using Calls = std::vector<DWORD>;
    EXPECT_EQ(RecordedDrawingCalls(RECT{5, 5, 13, 13}, dib, RECT{0, 0, 8, 8}),
              Calls{EMR_SETDIBITSTODEVICE});
    EXPECT_EQ(RecordedDrawingCalls(RECT{0, 0, 9, 8}, dib, RECT{0, 0, 8, 8}),
              Calls{EMR_STRETCHDIBITS});
    EXPECT_EQ(RecordedDrawingCalls(RECT{0, 0, 8, 7}, dib, RECT{0, 0, 8, 8}),
              Calls{EMR_STRETCHDIBITS});
}

TEST(DibDrawing, SelectsThePaletteForTheCallOnly) {
    DibSpec spec;
    spec.bitCount = 8;
    spec.colorsUsed = 2;
    auto dib = MakeDib(spec);
    auto* table = reinterpret_cast<RGBQUAD*>(dib.data() + 40);
    table[0] = RGBQUAD{0, 0, 255, 0};  // red
    table[1] = RGBQUAD{255, 0, 0, 0};  // blue
    dib[40 + 8] = 1;                   // bottom-left pixel blue, the rest red
    HPALETTE palette = nullptr;
    ASSERT_TRUE(CreatePaletteFromDib(dib.data(), &palette));

    Canvas canvas(8);
    HGDIOBJ before = GetCurrentObject(canvas.dc(), OBJ_PAL);
    EXPECT_EQ(DrawDib(canvas.dc(), RECT{0, 0, 4, 4}, dib.data(), RECT{0, 0, 4, 4}, palette), 4);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PAL), before) << "the previous palette is back";
    EXPECT_EQ(canvas.At(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(0, 3), RGB(0, 0, 255));
    DeleteObject(palette);
}

// A 24-bit picture whose every row has a colour of its own: row y (from the
// top) is RGB(y, 255 - y, 40).
std::vector<BYTE> Rows(LONG width, LONG height, bool topDown) {
    DibSpec spec;
    spec.width = width;
    spec.height = topDown ? -height : height;
    auto dib = MakeDib(spec);
    const DWORD stride = Stride(width, 24);
    for (LONG y = 0; y < height; ++y) {
        BYTE* row = dib.data() + 40 + (topDown ? y : height - 1 - y) * stride;
        for (LONG x = 0; x < width; ++x) {
            row[3 * x] = 40;
            row[3 * x + 1] = static_cast<BYTE>(255 - y);
            row[3 * x + 2] = static_cast<BYTE>(y);
        }
    }
    return dib;
}

// Drawn in bands of a few rows, a picture keeps the whole picture's scale:
// band k starts at device row floor(k * rows * destH / srcH), every device
// row shows a row of its own band, in order, and no source row shows in two
// bands (a doubled line) or none where it has room (a white line).
TEST(DibDrawing, BandsOfRowsMeetWithoutAGapOrAnOverlap) {
    struct Case {
        RECT dest, source;
        LONG bandRows;
    } cases[] = {
        {{2, 3, 10, 13}, {0, 0, 8, 10}, 3},    // unscaled, a short last band
        {{0, 1, 8, 26}, {0, 0, 8, 10}, 4},     // 2.5 times, uneven band heights
        {{0, 0, 16, 28}, {0, 3, 8, 10}, 2},    // cropped: rows 3 to 9, four times
        {{0, 0, 5, 4}, {0, 0, 8, 10}, 1},      // reduced: some bands get no row
        {{1, 0, 7, 29}, {2, 0, 5, 10}, 10},    // one band: the single call
    };
    for (const Case& c : cases) {
        for (bool topDown : {false, true}) {
            const LONG srcH = c.source.bottom - c.source.top, destH = c.dest.bottom - c.dest.top;
            SCOPED_TRACE(std::to_string(srcH) + " rows to " + std::to_string(destH) + " in bands of " +
                         std::to_string(c.bandRows) + (topDown ? ", top-down" : ", bottom-up"));
            const auto dib = Rows(8, 10, topDown);
            Canvas canvas(32);
            const COLORREF ground = canvas.At(0, 0);
            const int drawn = DrawDib(canvas.dc(), c.dest, dib.data(), c.source, nullptr, c.bandRows * Stride(8, 24));
            EXPECT_GT(drawn, 0);
            LONG last = c.source.top - 1;
            for (LONG y = c.dest.top; y < c.dest.bottom; ++y) {
                const LONG offset = y - c.dest.top;
                // The band whose device rows hold y, by the whole picture's scale.
                LONG band = 0;
                while ((band + 1) * c.bandRows < srcH && (band + 1) * c.bandRows * destH / srcH <= offset) ++band;
                const LONG first = c.source.top + band * c.bandRows;
                const LONG end = std::min<LONG>(first + c.bandRows, c.source.bottom);
                const COLORREF colour = canvas.At(c.dest.left, y);
                ASSERT_NE(colour, ground) << "device row " << y << " left unpainted";
                const LONG row = GetRValue(colour);
                EXPECT_EQ(GetGValue(colour), 255 - row);
                EXPECT_TRUE(row >= first && row < end) << "device row " << y << " shows row " << row;
                EXPECT_GE(row, last) << "device row " << y;
                if (destH >= srcH) {
                    EXPECT_LE(row, last + 1) << "a row skipped at device row " << y;
                }
                last = row;
                EXPECT_EQ(canvas.At(c.dest.right - 1, y), colour) << "the whole width";
            }
            EXPECT_EQ(canvas.At(c.dest.left, c.dest.bottom), ground) << "nothing below";
            if (c.dest.top > 0) {
                EXPECT_EQ(canvas.At(c.dest.left, c.dest.top - 1), ground) << "nothing above";
            }
            if (destH >= srcH) {
                EXPECT_EQ(last, c.source.bottom - 1) << "down to the last row";
            }
        }
    }
}

// One drawing call for each band, of the same kind as for the whole picture.
TEST(DibDrawing, APictureLargerThanABandIsDrawnOneCallABand) {
    using Calls = std::vector<DWORD>;
    const auto dib = Rows(8, 10, false);
    const DWORD fourRows = 4 * Stride(8, 24);
    EXPECT_EQ(RecordedDrawingCalls(RECT{0, 0, 8, 10}, dib, RECT{0, 0, 8, 10}, fourRows),
              Calls(3, EMR_SETDIBITSTODEVICE));
    EXPECT_EQ(RecordedDrawingCalls(RECT{0, 0, 9, 10}, dib, RECT{0, 0, 8, 10}, fourRows), Calls(3, EMR_STRETCHDIBITS));
    EXPECT_EQ(RecordedDrawingCalls(RECT{0, 0, 8, 4}, dib, RECT{0, 0, 8, 4}, fourRows), Calls{EMR_SETDIBITSTODEVICE})
        << "a picture within one band";
    EXPECT_EQ(RecordedDrawingCalls(RECT{0, 0, 8, 10}, dib, RECT{0, 0, 8, 10}), Calls{EMR_SETDIBITSTODEVICE})
        << "a small picture under the usual band size";
}

}  // namespace

// --- Hostile bitmaps -----------------------------------------------------------------

namespace {

// What a block accepted as a bitmap must hold, worked out apart from the
// validation: header, masks, colour table and every row inside the block.
unsigned long long BytesNeeded(const std::vector<BYTE>& dib) {
    DWORD size = 0;
    std::memcpy(&size, dib.data(), 4);
    const bool core = size == 12;
    LONG width = 0, height = 0;
    WORD bits = 0;
    DWORD compression = BI_RGB, used = 0;
    if (core) {
        WORD w = 0, h = 0;
        std::memcpy(&w, dib.data() + 4, 2);
        std::memcpy(&h, dib.data() + 6, 2);
        std::memcpy(&bits, dib.data() + 10, 2);
        width = w;
        height = h;
    } else {
        std::memcpy(&width, dib.data() + 4, 4);
        std::memcpy(&height, dib.data() + 8, 4);
        std::memcpy(&bits, dib.data() + 14, 2);
        std::memcpy(&compression, dib.data() + 16, 4);
        std::memcpy(&used, dib.data() + 32, 4);
    }
    const unsigned long long entries = (!core && used) ? used : bits <= 8 ? (1ull << bits) : 0;
    const unsigned long long masks = size == 40 && compression == BI_BITFIELDS ? 12 : 0;
    const unsigned long long rows = height < 0 ? 0ull - static_cast<long long>(height) : height;
    const unsigned long long stride = (static_cast<unsigned long long>(width) * bits + 31) / 32 * 4;
    return size + masks + entries * (core ? 3 : 4) + stride * rows;
}

// Whether the device pixels painted on two canvases of different grounds
// (the same on both) fill exactly the rectangle from the origin to
// `right`, `bottom`.
bool PaintedExactly(const Canvas& a, const Canvas& b, int side, LONG right, LONG bottom) {
    GdiFlush();
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            if ((std::memcmp(a.Pixel(x, y), b.Pixel(x, y), 3) == 0) != (x < right && y < bottom)) return false;
    return true;
}

}  // namespace

// Blocks a driver might deliver, mutated from well-formed ones of every kind
// the copier reads: each is refused, or it holds all that its header says and
// is measured, given a palette and drawn without reading past its end. The
// printer of each case cuts the image's exact size at the right, the bottom,
// both or neither, and the drawing must paint the placed rectangle, no more.
TEST(HostileBitmaps, EveryBlockIsRefusedOrDrawnWithinItself) {
    std::vector<std::vector<BYTE>> seeds = {MakeDib({}), MakeDib({5, -3, 24}), MakeDib({7, 3, 8, 0}),
                                            MakeDib({9, 2, 1}), MakeDib({3, 3, 4, 5}), MakeCoreDib(6, 2, 8),
                                            MakeCoreDib(3, 3, 24), MakeDib({10, 12, 8, 0})};
    DibSpec fields;
    fields.bitCount = 16;
    fields.compression = BI_BITFIELDS;
    seeds.push_back(MakeDib(fields));
    fields.bitCount = 32;
    fields.headerSize = 108;
    seeds.push_back(MakeDib(fields));
    const std::vector<std::string> words = {std::string("\x28\0\0\0", 4), std::string("\x0C\0\0\0", 4),
                                            std::string("\xFF\xFF\xFF\x7F", 4), std::string("\x00\x80", 2),
                                            std::string("\x03\0\0\0", 4)};
    const SIZE_T kLargest = 64 * 1024;
    hostile::GuardedBlock guarded(kLargest);
    ASSERT_TRUE(guarded.Ok());
    const int kSide = 64;
    Canvas grounds[2] = {Canvas(kSide), Canvas(kSide)};
    hostile::Campaign campaign("scanner bitmaps", 0xB17A9, 10000, 16u << 20);
    mutation::Random random(campaign.Seed());
    size_t accepted = 0, drawn = 0, cuts[4] = {0, 0, 0, 0};
    for (size_t i = 0; campaign.Going(i); ++i) {
        std::vector<BYTE> data = mutation::Mutate(seeds[random.Below(seeds.size())], random, 4, words);
        if (data.size() > kLargest) data.resize(kLargest);
        const BYTE* block = guarded.Place(data);
        const bool usable = IsDibUsable(block, data.size());

        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, data.size() ? data.size() : 1);
        if (!data.empty()) std::memcpy(GlobalLock(handle), data.data(), data.size());
        GlobalUnlock(handle);
        EXPECT_EQ(IsDibHandleUsable(handle), usable) << hostile::Hex(data);
        GlobalFree(handle);
        if (usable) {
            ++accepted;
            EXPECT_LE(BytesNeeded(data), data.size()) << hostile::Hex(data);
            const LONG width = GetDibWidth(block), height = GetDibHeight(block);
            EXPECT_GT(width, 0);
            EXPECT_GT(height, 0);
            HPALETTE palette = nullptr;
            CreatePaletteFromDib(block, &palette);
            LONG dpm[2] = {0, 0};  // the header's resolution; none in a core header
            if (data[0] != 12) std::memcpy(dpm, data.data() + 24, sizeof dpm);
            const LONG dpi = 75 << random.Below(3);
            const int scale = 25 + static_cast<int>(random.Below(376));
            const PrintPlacement uncut =
                ComputePrintPlacement(width, height, dpm[0], dpm[1], {dpi, dpi, LONG_MAX, LONG_MAX}, scale);
            auto printable = [&](LONG exact) {
                const bool cut = exact > kSide || random.Below(2) == 0;
                return cut && exact > 1 ? 1 + static_cast<LONG>(random.Below(std::min<LONG>(exact - 1, kSide))) : exact;
            };
            const PrinterMetrics printer{dpi, dpi, printable(uncut.destWidth), printable(uncut.destHeight)};
            const PrintPlacement p = ComputePrintPlacement(width, height, dpm[0], dpm[1], printer, scale);
            EXPECT_LE(p.destWidth, printer.nHorzRes);
            EXPECT_LE(p.destHeight, printer.nVertRes);
            EXPECT_LE(p.srcWidth, width) << "no column beyond the image";
            EXPECT_LE(p.srcHeight, height) << "no row beyond the image";
            if (p.destWidth > 0 && p.destHeight > 0) {
                ++drawn;
                ++cuts[(p.destWidth < uncut.destWidth ? 1 : 0) + (p.destHeight < uncut.destHeight ? 2 : 0)];
                grounds[0].Fill(RGB(1, 2, 3));
                grounds[1].Fill(RGB(254, 253, 252));
                for (Canvas& ground : grounds) EXPECT_TRUE(DrawPlacedImage(ground.dc(), block, p, palette));
                EXPECT_TRUE(PaintedExactly(grounds[0], grounds[1], kSide, p.destWidth, p.destHeight))
                    << p.destWidth << " x " << p.destHeight << ": " << hostile::Hex(data);
            }
            if (palette) DeleteObject(palette);
        }
        campaign.EndCase(i, hostile::Hex(data));
    }
    campaign.Reach("accepted", accepted, campaign.Cases(), 0.25);
    campaign.Reach("drawn at a size", drawn, accepted, 0.8);
    const char* const cutNames[] = {"drawn uncut", "cut at the right", "cut at the bottom", "cut at both"};
    for (int cut = 0; cut < 4; ++cut) campaign.Reach(cutNames[cut], cuts[cut], drawn, 0.1);
}
