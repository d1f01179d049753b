// Scan negotiation: unit conversions against the source's current unit, fixed
// point, snapping to the resolutions a source offers, and sizing a scan to the
// printer, checked through what reaches a fake source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_twain.h"
#include "hostile_campaign.h"
#include "scan_plan.h"
#include "twain_session.h"

namespace {

class NegotiationTest : public ::testing::Test {
protected:
    void SetUp() override {
        session.SetAppIdentity(fake::AppIdentity(), nullptr);
        ASSERT_TRUE(session.OpenSourceManager());
        ASSERT_TRUE(session.OpenSource());
        manager.Clear();
    }

    // The resolution the session sets on the X axis when asked for `dpm`
    // against `container` (in the source's unit).
    float ResolutionSetFor(LONG dpm, std::function<HGLOBAL(TW_UINT16*)> make) {
        manager.container = [make](TW_UINT16 cap, TW_UINT16* conType) -> HGLOBAL {
            return cap == ICAP_XRESOLUTION || cap == ICAP_YRESOLUTION ? make(conType) : nullptr;
        };
        manager.Clear();
        session.SetResolution(dpm, dpm);
        const auto sets = manager.Find(DAT_CAPABILITY, MSG_SET);
        if (sets.empty() || sets[0]->cap != ICAP_XRESOLUTION) return -1;
        return sets[0]->SetFix32();
    }

    fake::Library library;
    fake::Manager manager;
    CTwainSession session{library};
};

LONG DpiToDpm(int dpi) { return static_cast<LONG>(std::trunc(dpi * 100 * 0.39370078740157477)); }

// --- Units ---------------------------------------------------------------------

TEST_F(NegotiationTest, ConvertsResolutionsFromEachUnitToDotsPerMetre) {
    struct Case {
        TW_UINT16 unit;
        float perUnit;  // dots per unit
        LONG dpm;
        LONG within;
    } cases[] = {
        // 300 dots per inch in each unit.
        {TWUN_INCHES, 300.0f, 11811, 1},
        {TWUN_CENTIMETERS, 118.11f, 11811, 1},
        {TWUN_PICAS, 50.0f, 11811, 1},
        {TWUN_POINTS, 300.0f / 72, 11811, 1},
        {TWUN_TWIPS, 300.0f / 1440, 11811, 1},
        // Truncated, not rounded (11811.02).
        {TWUN_INCHES, 300.0f, 11811, 0},
        // Products a hair below a whole number in double precision: an x87
        // unit left at its 64-bit mantissa rounds them up and reads one more.
        {TWUN_INCHES, 127.0f, 4999, 0},
        {TWUN_INCHES, 254.0f, 9999, 0},
        {TWUN_PICAS, 127.0f / 6, 4999, 0},
        {TWUN_PICAS, 254.0f / 6, 9999, 0},
    };
    for (const Case& c : cases) {
        manager.unit = c.unit;
        LONG dpm = -1;
        EXPECT_TRUE(session.DpmFromSourceUnits(c.perUnit, &dpm));
        EXPECT_NEAR(dpm, c.dpm, c.within) << "unit " << c.unit << ", " << c.perUnit << " per unit";
    }
}

TEST_F(NegotiationTest, ConvertsDotsPerMetreIntoEachUnit) {
    float value = -1;
    manager.unit = TWUN_INCHES;
    ASSERT_TRUE(session.DpmToSourceUnits(23622, &value));
    EXPECT_EQ(value, 600.0f) << "599.9988 rounds to a whole number of dots per inch";
    ASSERT_TRUE(session.DpmToSourceUnits(3937, &value));
    EXPECT_EQ(value, 100.0f);

    manager.unit = TWUN_CENTIMETERS;
    ASSERT_TRUE(session.DpmToSourceUnits(23622, &value));
    EXPECT_FLOAT_EQ(value, 236.22f) << "centimetres are not rounded";

    manager.unit = TWUN_PICAS;
    ASSERT_TRUE(session.DpmToSourceUnits(23622, &value));
    EXPECT_EQ(value, 100.0f);
    ASSERT_TRUE(session.DpmToSourceUnits(11000, &value));
    EXPECT_EQ(value, 47.0f) << "46.57 dots per pica rounds";

    // A point or a twip is smaller than a dot at ordinary resolutions: rounding
    // to whole dots per unit would ask for 8 (576 dpi) or 0 dots.
    manager.unit = TWUN_POINTS;
    ASSERT_TRUE(session.DpmToSourceUnits(23622, &value));
    EXPECT_NEAR(value, 600.0 / 72, 1e-3);
    manager.unit = TWUN_TWIPS;
    ASSERT_TRUE(session.DpmToSourceUnits(23622, &value));
    EXPECT_NEAR(value, 600.0 / 1440, 1e-4);
}

TEST_F(NegotiationTest, ConvertsLengthsBetweenEachUnitAndPoints) {
    struct Case {
        TW_UINT16 unit;
        float length;  // 8.5 inches in that unit
    } cases[] = {
        {TWUN_INCHES, 8.5f}, {TWUN_CENTIMETERS, 21.59f}, {TWUN_PICAS, 51.0f},
        {TWUN_POINTS, 612.0f}, {TWUN_TWIPS, 12240.0f},
    };
    for (const Case& c : cases) {
        manager.unit = c.unit;
        LONG points = -1;
        ASSERT_TRUE(session.PointsFromSourceUnits(c.length, &points));
        EXPECT_NEAR(points, 612, 1) << "unit " << c.unit;
        float back = -1;
        ASSERT_TRUE(session.PointsToSourceUnits(612, &back));
        EXPECT_NEAR(back, c.length, c.length * 1e-5) << "unit " << c.unit;
    }
    manager.unit = TWUN_INCHES;
    LONG points = 0;
    session.PointsFromSourceUnits(11.69f, &points);
    EXPECT_EQ(points, 841) << "841.68 truncates";
}

TEST_F(NegotiationTest, AnUnknownUnitConvertsToZeroAndAnUnreadableOneFails) {
    manager.unit = 5;  // pixels
    LONG dpm = -1, points = -1;
    float value = -1;
    EXPECT_TRUE(session.DpmFromSourceUnits(300, &dpm));
    EXPECT_TRUE(session.DpmToSourceUnits(11811, &value));
    EXPECT_TRUE(session.PointsFromSourceUnits(8.5f, &points));
    EXPECT_EQ(dpm, 0);
    EXPECT_EQ(value, 0.0f);
    EXPECT_EQ(points, 0);

    manager.unitReadable = false;
    dpm = -1;
    value = -1;
    EXPECT_FALSE(session.DpmFromSourceUnits(300, &dpm));
    EXPECT_FALSE(session.PointsToSourceUnits(612, &value));
    EXPECT_EQ(dpm, 0);
    EXPECT_EQ(value, 0.0f);
}

TEST_F(NegotiationTest, AsksForTheCurrentUnitBeforeEveryConversion) {
    LONG dpm = 0;
    session.DpmFromSourceUnits(300, &dpm);
    session.DpmFromSourceUnits(300, &dpm);
    const auto asked = manager.Find(DAT_CAPABILITY, MSG_GETCURRENT);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0]->cap, ICAP_UNITS);
    EXPECT_EQ(asked[0]->conType, TWON_DONTCARE16);
    EXPECT_TRUE(asked[0]->containerNull);
    EXPECT_TRUE(asked[0]->toSource);
}

// --- Fixed point -----------------------------------------------------------------

TEST(FixedPoint, ConvertsAsTheStandardDoes) {
    TW_FIX32 f = CTwainSession::FloatToFix32(300.0f);
    EXPECT_EQ(f.Whole, 300);
    EXPECT_EQ(f.Frac, 0);
    f = CTwainSession::FloatToFix32(8.5f);
    EXPECT_EQ(f.Whole, 8);
    EXPECT_EQ(f.Frac, 0x8000);
    f = CTwainSession::FloatToFix32(-1.5f);  // trunc(-98304 + 0.5) = -98303
    EXPECT_EQ(f.Whole, -2);
    EXPECT_EQ(f.Frac, 0x8001);
    for (float v : {0.0f, 1.0f, 21.59f, 118.11f, 236.22f, 600.0f, 0.2083f, -3.25f, 32767.0f}) {
        EXPECT_NEAR(CTwainSession::Fix32ToFloat(CTwainSession::FloatToFix32(v)), v, 1.0 / 65536)
            << v;
    }
    // Out of range values saturate instead of wrapping round.
    f = CTwainSession::FloatToFix32(1e9f);
    EXPECT_EQ(f.Whole, 32767);
    f = CTwainSession::FloatToFix32(-1e9f);
    EXPECT_EQ(f.Whole, -32768);
}

// --- Snapping to what the source offers ------------------------------------------

TEST_F(NegotiationTest, SnapsToTheNearestEnumeratedResolutionEarlierWinningTies) {
    auto standard = [](TW_UINT16* conType) {
        *conType = TWON_ENUMERATION;
        return fake::EnumerationFix32({75, 150, 300, 600});
    };
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(100), standard), 75.0f) << "25 beats 50";
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(225), standard), 150.0f) << "a tie keeps the earlier";
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(5000), standard), 600.0f);
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(10), standard), 75.0f);
}

TEST_F(NegotiationTest, WalksARangeToTheNearestStep) {
    auto range = [](TW_UINT16* conType) {
        *conType = TWON_RANGE;
        return fake::RangeFix32(50, 1200, 25);
    };
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(310), range), 300.0f) << "10 beats 15";
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(1190), range), 1200.0f) << "MaxValue itself is offered";
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(2400), range), 1200.0f);
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(20), range), 50.0f);
}

TEST_F(NegotiationTest, TakesTheOneValueOffered) {
    auto one = [](TW_UINT16* conType) {
        *conType = TWON_ONEVALUE;
        return fake::OneValueFix32(200);
    };
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(600), one), 200.0f);
}

TEST_F(NegotiationTest, FallsBackToTheRequestWhenNothingCanBeChosen) {
    const LONG dpm = DpiToDpm(300);
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_ENUMERATION;
                  return fake::EnumerationUint16({75, 150});
              }),
              300.0f)
        << "items that are not TW_FIX32";
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_ENUMERATION;
                  return fake::EnumerationFix32({});
              }),
              300.0f)
        << "an empty enumeration";
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_RANGE;
                  return fake::RangeFix32(600, 100, 25);
              }),
              300.0f)
        << "MinValue above MaxValue";
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_RANGE;
                  return fake::RangeFix32(75, 600, 75, TWTY_UINT16);
              }),
              300.0f)
        << "a range that is not TW_FIX32";
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_ARRAY;
                  return fake::OneValueFix32(75);
              }),
              300.0f)
        << "a container kind of no use";
}

TEST_F(NegotiationTest, BoundsTheWalkOfRangesThatCannotBeWalkedToTheirEnd) {
    const LONG dpm = DpiToDpm(300);
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_RANGE;
                  return fake::RangeFix32(100, 1200, 0);
              }),
              100.0f)
        << "a zero step offers MinValue alone";
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_RANGE;
                  return fake::RangeFix32(100, 1200, -25);
              }),
              100.0f);
    // The smallest step there is: 300 would be nearly twenty million steps
    // away. The walk is cut short and the session still answers at once.
    const DWORD start = GetTickCount();
    const float fine = ResolutionSetFor(dpm, [](TW_UINT16* conType) {
        *conType = TWON_RANGE;
        return fake::RangeFix32(0, 32000, 1.0f / 65536);
    });
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_GT(fine, 0.0f);
    EXPECT_LT(fine, 300.0f);
    // A step that vanishes next to a large value ends the walk too.
    EXPECT_EQ(ResolutionSetFor(dpm, [](TW_UINT16* conType) {
                  *conType = TWON_RANGE;
                  return fake::RangeFix32(-32000, 32000, 1.0f / 65536);
              }),
              -32000.0f);
}

TEST_F(NegotiationTest, SetsTheSnappedValueOnBothAxesAsOneValues) {
    manager.container = [](TW_UINT16 cap, TW_UINT16* conType) -> HGLOBAL {
        if (cap != ICAP_XRESOLUTION && cap != ICAP_YRESOLUTION) return nullptr;
        *conType = TWON_ENUMERATION;
        return fake::EnumerationFix32({150, 300});
    };
    EXPECT_TRUE(session.SetResolution(DpiToDpm(280), DpiToDpm(160)));
    std::vector<std::string> expected{"CONTROL/CAPABILITY/GETCURRENT UNITS",
                                      "CONTROL/CAPABILITY/GET XRESOLUTION",
                                      "CONTROL/CAPABILITY/GETCURRENT UNITS",
                                      "CONTROL/CAPABILITY/GETCURRENT UNITS",
                                      "CONTROL/CAPABILITY/SET XRESOLUTION",
                                      "CONTROL/CAPABILITY/GETCURRENT UNITS",
                                      "CONTROL/CAPABILITY/GET YRESOLUTION",
                                      "CONTROL/CAPABILITY/GETCURRENT UNITS",
                                      "CONTROL/CAPABILITY/GETCURRENT UNITS",
                                      "CONTROL/CAPABILITY/SET YRESOLUTION"};
    EXPECT_EQ(manager.Names(), expected);
    const auto sets = manager.Find(DAT_CAPABILITY, MSG_SET);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0]->SetFix32(), 300.0f);
    EXPECT_EQ(sets[1]->SetFix32(), 150.0f);
    for (const fake::Call* set : sets) {
        EXPECT_EQ(set->conType, TWON_ONEVALUE);
        EXPECT_EQ(set->container[0], TWTY_FIX32);
        EXPECT_GE(set->containerSize, 6u);
    }
    const auto gets = manager.Find(DAT_CAPABILITY, MSG_GET);
    EXPECT_TRUE(gets[0]->containerNull);
    EXPECT_EQ(gets[0]->conType, TWON_DONTCARE16);

    manager.Force(DAT_CAPABILITY, MSG_SET, TWRC_FAILURE);
    EXPECT_FALSE(session.SetResolution(DpiToDpm(280), DpiToDpm(160)));
}

TEST_F(NegotiationTest, ACentimetreSourceGetsItsResolutionUnrounded) {
    manager.unit = TWUN_CENTIMETERS;
    const float set = ResolutionSetFor(23622, [](TW_UINT16* conType) {
        *conType = TWON_RANGE;
        return fake::RangeFix32(10, 500, 0.01f);
    });
    EXPECT_NEAR(set, 236.22f, 0.01f);
    EXPECT_NE(set, 236.0f);
    // 59.06 is stored a hair below in fixed point; the offered value itself is
    // set, not 59.05, which the source would refuse.
    const float snapped = ResolutionSetFor(7874, [](TW_UINT16* conType) {
        *conType = TWON_ENUMERATION;
        return fake::EnumerationFix32({29.53f, 59.06f, 118.11f});
    });
    EXPECT_NEAR(snapped, 59.06f, 1e-4);
}

TEST_F(NegotiationTest, SkipsAnAxisWhoseOffersCannotBeRead) {
    manager.failingCaps = {ICAP_XRESOLUTION};
    EXPECT_FALSE(session.SetResolution(11811, 11811));
    const auto sets = manager.Find(DAT_CAPABILITY, MSG_SET);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]->cap, ICAP_YRESOLUTION) << "the other axis is still set";

    manager.failingCaps.clear();
    manager.unitReadable = false;
    manager.Clear();
    EXPECT_FALSE(session.SetResolution(11811, 11811));
    EXPECT_EQ(manager.Count(DAT_CAPABILITY, MSG_GET), 0) << "no unit, no request";
}

// --- Frame, bed, pixel type ---------------------------------------------------------

TEST_F(NegotiationTest, SendsTheFrameInTheSourcesUnit) {
    manager.unit = TWUN_CENTIMETERS;
    ASSERT_TRUE(session.SetFrame(0, 0, 576, 792));
    const auto sets = manager.Find(DAT_CAPABILITY, MSG_SET);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]->cap, ICAP_FRAMES);
    EXPECT_EQ(sets[0]->conType, TWON_ONEVALUE);
    EXPECT_EQ(sets[0]->container[0], TWTY_FRAME);
    EXPECT_GE(sets[0]->containerSize, 2 + sizeof(TW_FRAME));
    const TW_FRAME frame = sets[0]->SetFrame();
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Left), 0.0f);
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Top), 0.0f);
    EXPECT_NEAR(CTwainSession::Fix32ToFloat(frame.Right), 20.32f, 1e-4);
    EXPECT_NEAR(CTwainSession::Fix32ToFloat(frame.Bottom), 27.94f, 1e-4);

    manager.unitReadable = false;
    manager.Clear();
    EXPECT_FALSE(session.SetFrame(0, 0, 576, 792));
    EXPECT_EQ(manager.Count(DAT_CAPABILITY, MSG_SET), 0) << "nothing sent half converted";
}

TEST_F(NegotiationTest, ReadsTheBedSizeInPoints) {
    manager.unit = TWUN_CENTIMETERS;
    manager.bedWidth = 21.59f;
    manager.bedHeight = 29.7f;
    LONG width = -1, height = -1;
    ASSERT_TRUE(session.GetPhysicalSize(&width, &height));
    EXPECT_EQ(width, 611) << "21.59 cm is 611.99 points, truncated";
    EXPECT_EQ(height, 841);

    manager.Force(DAT_CAPABILITY, MSG_GET, TWRC_FAILURE);
    width = height = -1;
    EXPECT_FALSE(session.GetPhysicalSize(&width, &height));
    EXPECT_EQ(width, -1) << "left untouched";
    EXPECT_EQ(height, -1);
}

TEST_F(NegotiationTest, AsksWhetherThePixelTypeIsOfferedBeforeSettingIt) {
    manager.pixelTypes = {TWPT_BW, TWPT_RGB};
    EXPECT_TRUE(session.IsPixelTypeSupported(ScanModeColor));
    EXPECT_FALSE(session.IsPixelTypeSupported(ScanModeGray));
    EXPECT_TRUE(session.IsPixelTypeSupported(ScanModeText));
    manager.Clear();
    EXPECT_FALSE(session.IsPixelTypeSupported(3));
    EXPECT_FALSE(session.IsPixelTypeSupported(-1));
    EXPECT_TRUE(manager.calls.empty()) << "an unknown mode is answered at once";

    manager.container = [](TW_UINT16 cap, TW_UINT16* conType) -> HGLOBAL {
        if (cap != ICAP_PIXELTYPE) return nullptr;
        *conType = TWON_ONEVALUE;
        return fake::OneValueUint16(TWPT_GRAY);
    };
    EXPECT_TRUE(session.IsPixelTypeSupported(ScanModeGray));
    EXPECT_FALSE(session.IsPixelTypeSupported(ScanModeColor));

    manager.Clear();
    ASSERT_TRUE(session.SetPixelType(ScanModeText));
    ASSERT_EQ(manager.Count(DAT_CAPABILITY, MSG_SET), 1);
    EXPECT_EQ(manager.calls.back().SetUint16(), TWPT_BW);
    EXPECT_EQ(manager.calls.back().container[0], TWTY_UINT16);
    EXPECT_FALSE(session.SetPixelType(7));
}

TEST_F(NegotiationTest, ReadsTheImageResolutionInDotsPerMetre) {
    manager.imageXRes = 600;
    manager.imageYRes = 0;
    LONG x = -1, y = -1;
    EXPECT_TRUE(session.ReadImageResolution(&x, &y));
    EXPECT_EQ(x, 23622);
    EXPECT_EQ(y, 0);
    manager.Force(DAT_IMAGEINFO, MSG_GET, TWRC_FAILURE);
    EXPECT_FALSE(session.ReadImageResolution(&x, &y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST_F(NegotiationTest, CapabilityCallsNeedAnOpenSource) {
    ASSERT_TRUE(session.CloseSource());
    manager.Clear();
    LONG w = 0, h = 0;
    EXPECT_FALSE(session.GetPhysicalSize(&w, &h));
    EXPECT_FALSE(session.SetFrame(0, 0, 100, 100));
    EXPECT_FALSE(session.SetResolution(11811, 11811));
    EXPECT_FALSE(session.IsPixelTypeSupported(ScanModeColor));
    EXPECT_FALSE(session.SetPixelType(ScanModeColor));
    EXPECT_TRUE(manager.calls.empty());
}

TEST_F(NegotiationTest, ReadsContainersOnlyWithinTheirSize) {
    // An enumeration claiming a million items in a block with room for two.
    manager.container = [](TW_UINT16 cap, TW_UINT16* conType) -> HGLOBAL {
        if (cap != ICAP_PIXELTYPE) return nullptr;
        *conType = TWON_ENUMERATION;
        HGLOBAL block = fake::EnumerationUint16({TWPT_BW});
        BYTE* data = static_cast<BYTE*>(GlobalLock(block));
        const TW_UINT32 lie = 1000000;
        memcpy(data + 2, &lie, 4);
        GlobalUnlock(block);
        return block;
    };
    EXPECT_FALSE(session.IsPixelTypeSupported(ScanModeColor));
    EXPECT_EQ(ResolutionSetFor(DpiToDpm(140), [](TW_UINT16* conType) {
                  *conType = TWON_ENUMERATION;
                  HGLOBAL block = fake::EnumerationFix32({75, 150});
                  BYTE* data = static_cast<BYTE*>(GlobalLock(block));
                  const TW_UINT32 lie = 1000000;
                  memcpy(data + 2, &lie, 4);
                  GlobalUnlock(block);
                  return block;
              }),
              150.0f);
}

// --- Sizing a scan to the printer ---------------------------------------------------

const PrinterMetrics kPrinter600{600, 600, 4800, 6600};

int RequestedDpi(const ScanRequest& r) {
    return static_cast<int>(std::floor(0.5 + r.resolutionDpm * 0.025400000000000002));
}

TEST(ScanPlan, DividesTheResolutionByModeAndSpeed) {
    struct Case {
        int mode, speed, dpi;
    } cases[] = {
        {ScanModeColor, 0, 100}, {ScanModeColor, 1, 200}, {ScanModeColor, 2, 300},
        {ScanModeGray, 0, 150},  {ScanModeGray, 1, 300},  {ScanModeGray, 2, 600},
        {ScanModeText, 0, 200},  {ScanModeText, 1, 300},  {ScanModeText, 2, 600},
    };
    for (const Case& c : cases) {
        const ScanRequest r = ComputeScanRequest(kPrinter600, 100, c.mode, c.speed);
        EXPECT_EQ(RequestedDpi(r), c.dpi) << "mode " << c.mode << " speed " << c.speed;
    }
    EXPECT_EQ(ComputeScanRequest(kPrinter600, 100, ScanModeColor, 0).resolutionDpm, 3937);
    EXPECT_EQ(ComputeScanRequest(kPrinter600, 100, ScanModeGray, 2).resolutionDpm, 23622);
    // Any other speed is normal; any other mode takes R undivided.
    EXPECT_EQ(ComputeScanRequest(kPrinter600, 100, ScanModeColor, 7).resolutionDpm, 11811);
    EXPECT_EQ(ComputeScanRequest(kPrinter600, 100, ScanModeColor, -1).resolutionDpm, 11811);
    EXPECT_EQ(ComputeScanRequest(kPrinter600, 100, 3, 0).resolutionDpm, 23622);
    // 254 dpi is 10,000 dots per metre in double precision, not 9,999.
    const PrinterMetrics printer254{254, 254, 2032, 2794};
    EXPECT_EQ(ComputeScanRequest(printer254, 100, ScanModeGray, 2).resolutionDpm, 10000);
    EXPECT_EQ(ComputeScanRequest(printer254, 100, ScanModeColor, 2).resolutionDpm, 5000);
}

TEST(ScanPlan, BoundsTheFrameByThePrintableAreaAtTheScale) {
    ScanRequest r = ComputeScanRequest(kPrinter600, 100, ScanModeColor, 2);
    EXPECT_EQ(r.maxWidthPt, 576);
    EXPECT_EQ(r.maxHeightPt, 792);
    r = ComputeScanRequest(kPrinter600, 50, ScanModeColor, 2);
    EXPECT_EQ(r.maxWidthPt, 1152);
    EXPECT_EQ(r.maxHeightPt, 1584);
    // The finer axis gives the resolution.
    r = ComputeScanRequest(PrinterMetrics{300, 600, 2400, 6600}, 100, ScanModeGray, 2);
    EXPECT_EQ(r.resolutionDpm, 23622);
    EXPECT_EQ(r.maxWidthPt, 576);
}

TEST(ScanPlan, FourHundredPercentOnA4At600Dpi) {
    const PrinterMetrics a4{600, 600, 4960, 7016};
    const ScanRequest r = ComputeScanRequest(a4, 400, ScanModeColor, 2);
    // trunc(595.2) = 595 and trunc(841.92) = 841 points, a quarter of each.
    EXPECT_EQ(r.maxWidthPt, 148);
    EXPECT_EQ(r.maxHeightPt, 210);
    EXPECT_EQ(r.resolutionDpm, 94488 / 2) << "four times R, then the divisor";
    EXPECT_EQ(RequestedDpi(r), 1200);
}

TEST(ScanPlan, AnswersNothingForAPrinterOrScaleOfNoSize) {
    const ScanRequest r = ComputeScanRequest(PrinterMetrics{0, 0, 4800, 6600}, 100, 0, 2);
    EXPECT_EQ(r.maxWidthPt, 0);
    EXPECT_EQ(r.resolutionDpm, 0);
    const ScanRequest z = ComputeScanRequest(kPrinter600, 0, 0, 2);
    EXPECT_EQ(z.maxWidthPt, 0);
}

class PrepareScanTest : public NegotiationTest {};

TEST_F(PrepareScanTest, AsksForTheSmallerOfBedAndPageThenResolutionThenPixelType) {
    manager.bedWidth = 8.5f;
    manager.bedHeight = 14.0f;
    PrepareScan(session, kPrinter600, 100, ScanModeGray, ScanSpeedFast);
    std::vector<std::string> capabilityCalls;
    for (const fake::Call& c : manager.calls)
        if (c.msg != MSG_GETCURRENT) capabilityCalls.push_back(c.Name());
    EXPECT_EQ(capabilityCalls,
              (std::vector<std::string>{"CONTROL/CAPABILITY/GET PHYSICALWIDTH",
                                        "CONTROL/CAPABILITY/GET PHYSICALHEIGHT",
                                        "CONTROL/CAPABILITY/SET FRAMES",
                                        "CONTROL/CAPABILITY/GET XRESOLUTION",
                                        "CONTROL/CAPABILITY/SET XRESOLUTION",
                                        "CONTROL/CAPABILITY/GET YRESOLUTION",
                                        "CONTROL/CAPABILITY/SET YRESOLUTION",
                                        "CONTROL/CAPABILITY/GET PIXELTYPE",
                                        "CONTROL/CAPABILITY/SET PIXELTYPE"}));
    const auto sets = manager.Find(DAT_CAPABILITY, MSG_SET);
    const TW_FRAME frame = sets[0]->SetFrame();
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Right), 8.0f) << "the page is narrower";
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Bottom), 11.0f) << "the page is shorter";
    EXPECT_EQ(sets[1]->SetFix32(), 300.0f);
    EXPECT_EQ(sets[2]->SetFix32(), 300.0f);
    EXPECT_EQ(sets[3]->SetUint16(), TWPT_GRAY);
}

TEST_F(PrepareScanTest, TheBedLimitsTheFrameWhenItIsSmaller) {
    manager.bedWidth = 5.0f;
    manager.bedHeight = 7.0f;
    PrepareScan(session, kPrinter600, 50, ScanModeColor, ScanSpeedNormal);
    const TW_FRAME frame = manager.Find(DAT_CAPABILITY, MSG_SET)[0]->SetFrame();
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Right), 5.0f);
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Bottom), 7.0f);
}

TEST_F(PrepareScanTest, AnUnreadableBedLeavesThePageBoundAlone) {
    // A bed whose height cannot be read, or of no size, or of a negative
    // one, is not used at all.
    struct Case {
        float width, height;
        bool heightReadable;
    } cases[] = {{1.0f, 11.0f, false}, {0.0f, 11.0f, true}, {8.5f, 0.001f, true}, {-8.5f, 11.0f, true},
                 {8.5f, -0.5f, true}};
    for (const Case& c : cases) {
        manager.bedWidth = c.width;
        manager.bedHeight = c.height;
        manager.failingCaps.clear();
        if (!c.heightReadable) manager.failingCaps = {ICAP_PHYSICALHEIGHT};
        manager.Clear();
        PrepareScan(session, kPrinter600, 100, ScanModeColor, ScanSpeedNormal);
        const auto sets = manager.Find(DAT_CAPABILITY, MSG_SET);
        ASSERT_FALSE(sets.empty());
        const TW_FRAME frame = sets[0]->SetFrame();
        EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Right), 8.0f) << c.width << " x " << c.height;
        EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Bottom), 11.0f) << c.width << " x " << c.height;
    }
}

TEST_F(PrepareScanTest, KeepsTheSourcesPixelTypeWhenTheWantedOneIsNotOffered) {
    manager.pixelTypes = {TWPT_BW, TWPT_RGB};
    PrepareScan(session, kPrinter600, 100, ScanModeGray, ScanSpeedNormal);
    EXPECT_EQ(manager.Count(DAT_CAPABILITY, MSG_GET), 5) << "the pixel types were asked for";
    for (const fake::Call* set : manager.Find(DAT_CAPABILITY, MSG_SET))
        EXPECT_NE(set->cap, ICAP_PIXELTYPE);
}

TEST_F(PrepareScanTest, AnUnknownModeRequestsNoPixelType) {
    PrepareScan(session, kPrinter600, 100, 3, ScanSpeedNormal);
    for (const fake::Call& c : manager.calls) EXPECT_NE(c.cap, ICAP_PIXELTYPE) << c.Name();
    EXPECT_EQ(manager.Find(DAT_CAPABILITY, MSG_SET)[1]->SetFix32(), 600.0f) << "R undivided";
}

TEST_F(PrepareScanTest, APixelSourceGetsAnEmptyFrameAndZeroResolution) {
    manager.unit = TWUN_PIXELS;
    PrepareScan(session, kPrinter600, 100, ScanModeColor, ScanSpeedNormal);
    const auto sets = manager.Find(DAT_CAPABILITY, MSG_SET);
    ASSERT_EQ(sets.size(), 4u);
    const TW_FRAME frame = sets[0]->SetFrame();
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Right), 0.0f);
    EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Bottom), 0.0f);
    EXPECT_EQ(sets[1]->SetFix32(), 0.0f);
    EXPECT_EQ(sets[2]->SetFix32(), 0.0f);
}

// --- Hostile containers --------------------------------------------------------

std::vector<BYTE> BlockBytes(HGLOBAL block) {
    std::vector<BYTE> bytes(GlobalSize(block));
    std::memcpy(bytes.data(), GlobalLock(block), bytes.size());
    GlobalUnlock(block);
    GlobalFree(block);
    return bytes;
}

HGLOBAL BlockOf(const std::vector<BYTE>& bytes) {
    HGLOBAL block = GlobalAlloc(GHND, bytes.empty() ? 1 : bytes.size());
    if (!bytes.empty()) std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

// Every container handed out is also copied into a guard-page block, and the
// session's GlobalLock of it answers that copy until it is freed (the handle
// may then come back for a block of the session's own): a read past its end
// faults.
std::map<HGLOBAL, const BYTE*> g_guarded;
LPVOID(WINAPI* g_globalLock)(HGLOBAL);
BOOL(WINAPI* g_globalUnlock)(HGLOBAL);
HGLOBAL(WINAPI* g_globalFree)(HGLOBAL);
LPVOID WINAPI GuardedLock(HGLOBAL block) {
    const auto found = g_guarded.find(block);
    return found != g_guarded.end() ? const_cast<BYTE*>(found->second) : g_globalLock(block);
}
BOOL WINAPI GuardedUnlock(HGLOBAL block) { return g_guarded.count(block) ? FALSE : g_globalUnlock(block); }
HGLOBAL WINAPI GuardedFree(HGLOBAL block) {
    g_guarded.erase(block);
    return g_globalFree(block);
}

// Whether a pixel-type container offers `wanted`, from its bytes alone:
// TW_UINT16 items, a one value that is it or an enumeration listing it
// before the container ends.
bool Offers(const std::vector<BYTE>& bytes, TW_UINT16 conType, TW_UINT16 wanted) {
    auto word = [&](size_t at) { return at + 2 <= bytes.size() ? bytes[at] | bytes[at + 1] << 8 : -1; };
    if (word(0) != TWTY_UINT16) return false;
    if (conType == TWON_ONEVALUE) return word(2) == wanted;
    if (conType != TWON_ENUMERATION || bytes.size() < 6) return false;
    const DWORD count = static_cast<DWORD>(word(2)) | static_cast<DWORD>(word(4)) << 16;
    for (DWORD i = 0; i < count && 16 + 2 * static_cast<size_t>(i) <= bytes.size(); ++i)
        if (word(14 + 2 * static_cast<size_t>(i)) == wanted) return true;
    return false;
}

// Containers a source might answer, mutated from well-formed ones of every
// kind the negotiation reads, with their container type sometimes wrong too,
// each read from guard-page memory. Each case must end its negotiation with
// the source's containers freed, ask for a frame that starts at the origin
// and does not end before it (empty only where the unit is one the copier
// does not convert), ask for the mode's pixel type exactly when the source's
// container offers it, and stay within its memory.
TEST_F(NegotiationTest, HostileContainersAreReadWithinThemselvesAndFreed) {
    struct Seed {
        TW_UINT16 cap, conType;
        std::vector<BYTE> bytes;
    };
    const std::vector<Seed> seeds = {
        {ICAP_UNITS, TWON_ONEVALUE, BlockBytes(fake::OneValueUint16(TWUN_CENTIMETERS))},
        {ICAP_PHYSICALWIDTH, TWON_ONEVALUE, BlockBytes(fake::OneValueFix32(8.5f))},
        {ICAP_PHYSICALHEIGHT, TWON_ONEVALUE, BlockBytes(fake::OneValueFix32(11.69f))},
        {ICAP_XRESOLUTION, TWON_ENUMERATION, BlockBytes(fake::EnumerationFix32({75, 150, 300, 600}))},
        {ICAP_YRESOLUTION, TWON_RANGE, BlockBytes(fake::RangeFix32(50, 1200, 25))},
        {ICAP_XRESOLUTION, TWON_ONEVALUE, BlockBytes(fake::OneValueFix32(300))},
        {ICAP_PIXELTYPE, TWON_ENUMERATION, BlockBytes(fake::EnumerationUint16({TWPT_BW, TWPT_GRAY, TWPT_RGB}))},
        {ICAP_PIXELTYPE, TWON_ONEVALUE, BlockBytes(fake::OneValueUint16(TWPT_GRAY))},
    };
    const std::vector<std::string> words = {std::string("\x07\0", 2), std::string("\x04\0", 2),
                                            std::string("\xFF\xFF\xFF\xFF", 4), std::string("\0\0\0\x80", 4),
                                            std::string("\x01\0\0\0", 4)};
    hostile::Campaign campaign("capability containers", 0xCA9AB1E, 10000, 16u << 20);
    mutation::Random random(campaign.Seed());
    std::vector<HGLOBAL> handedOut;
    std::vector<std::string> shown;
    std::vector<BYTE> pixelTypes;
    TW_UINT16 pixelConType = 0;
    const SIZE_T kLargest = 16 * 1024;
    std::vector<std::unique_ptr<hostile::GuardedBlock>> guards;
    for (int n = 0; n < 16; ++n) guards.push_back(std::make_unique<hostile::GuardedBlock>(kLargest));
    for (const auto& guard : guards) ASSERT_TRUE(guard->Ok());
    wintest::ScopedImportRedirect lock("kernel32.dll", "GlobalLock", reinterpret_cast<void*>(GuardedLock));
    wintest::ScopedImportRedirect unlock("kernel32.dll", "GlobalUnlock", reinterpret_cast<void*>(GuardedUnlock));
    wintest::ScopedImportRedirect free("kernel32.dll", "GlobalFree", reinterpret_cast<void*>(GuardedFree));
    ASSERT_TRUE(lock.active() && unlock.active() && free.active());
    g_globalLock = reinterpret_cast<decltype(g_globalLock)>(lock.previous());
    g_globalUnlock = reinterpret_cast<decltype(g_globalUnlock)>(unlock.previous());
    g_globalFree = reinterpret_cast<decltype(g_globalFree)>(free.previous());
    manager.containerForUnits = true;
    manager.container = [&](TW_UINT16 cap, TW_UINT16* conType) -> HGLOBAL {
        // Mostly a mutation of a seed of this capability, sometimes of another.
        std::vector<const Seed*> own;
        for (const Seed& seed : seeds)
            if (seed.cap == cap) own.push_back(&seed);
        const Seed& seed = own.empty() || random.Below(8) == 0 ? seeds[random.Below(seeds.size())]
                                                                : *own[random.Below(own.size())];
        *conType = random.Below(10) == 0 ? static_cast<TW_UINT16>(random.Below(8)) : seed.conType;
        std::vector<BYTE> bytes =
            random.Below(6) == 0 ? seed.bytes : mutation::Mutate(seed.bytes, random, 3, words);
        if (bytes.size() > kLargest) bytes.resize(kLargest);
        if (cap == ICAP_PIXELTYPE) {
            pixelTypes = bytes;
            pixelConType = *conType;
        }
        shown.push_back(std::to_string(cap) + "/" + std::to_string(*conType) + ": " + hostile::Hex(bytes));
        handedOut.push_back(BlockOf(bytes));
        if (handedOut.size() <= guards.size())  // as GlobalSize has it: an empty one holds a zero byte
            g_guarded[handedOut.back()] = guards[handedOut.size() - 1]->Place(bytes.empty() ? std::vector<BYTE>(1) : bytes);
        return handedOut.back();
    };
    size_t pixelTypeSet = 0;
    for (size_t i = 0; campaign.Going(i); ++i) {
        handedOut.clear();
        g_guarded.clear();
        shown.clear();
        pixelTypes.clear();
        manager.Clear();
        const PrinterMetrics printer{300, 300, 2479, 3508};
        const int mode = static_cast<int>(random.Below(3));
        PrepareScan(session, printer, 25 + static_cast<int>(random.Below(376)), mode,
                    static_cast<int>(random.Below(3)));
        std::string context;
        for (const std::string& line : shown) context += line + "\n";
        for (HGLOBAL block : handedOut)
            EXPECT_EQ(GlobalFlags(block), static_cast<UINT>(GMEM_INVALID_HANDLE)) << "not freed\n" << context;
        for (const fake::Call* set : manager.Find(DAT_CAPABILITY, MSG_SET)) {
            if (set->cap != ICAP_FRAMES) continue;
            const TW_FRAME frame = set->SetFrame();
            EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Left), 0.0f) << context;
            EXPECT_EQ(CTwainSession::Fix32ToFloat(frame.Top), 0.0f) << context;
            EXPECT_GE(CTwainSession::Fix32ToFloat(frame.Right), 0.0f) << context;
            EXPECT_GE(CTwainSession::Fix32ToFloat(frame.Bottom), 0.0f) << context;
        }
        bool asked = false;
        for (const fake::Call* set : manager.Find(DAT_CAPABILITY, MSG_SET)) asked |= set->cap == ICAP_PIXELTYPE;
        const TW_UINT16 wanted[] = {TWPT_RGB, TWPT_GRAY, TWPT_BW};
        EXPECT_EQ(asked, Offers(pixelTypes, pixelConType, wanted[mode])) << "mode " << mode << "\n" << context;
        pixelTypeSet += asked;
        campaign.EndCase(i, context);
    }
    g_guarded.clear();
    manager.container = nullptr;
    campaign.Reach("pixel type asked for", pixelTypeSet, campaign.Cases(), 0.2);
}

}  // namespace
