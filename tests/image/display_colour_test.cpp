// Display colour: wide-gamut colours reach sRGB as lcms2 converts them, sRGB and unusable
// profiles give no transform, one transform per profile, and pictures and surfaces are
// converted only where asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "image/dib_image.h"
#include "image/display_colour.h"
#include "support/icc_profiles.h"

using icc_profiles::Bgr;

namespace {

struct Gamut {
    const char* name;
    std::vector<uint8_t> icc;
    bool matrix;  // matrix and curves, rather than a colour table
};

std::vector<Gamut> wideGamuts() {
    return {{"Display P3", icc_profiles::displayP3(), true},
            {"Adobe RGB", icc_profiles::adobeRgb(), true},
            {"Adobe RGB from EXIF", DisplayColour::adobeRgbProfile(), true},
            {"Display P3 as a table", icc_profiles::displayP3Table(), false}};
}

}  // namespace

TEST(DisplayColour, ARowIsWhatLcms2MakesOfIt) {
    // Every fifth value on each channel (primaries, black, white, greys among them): 140 608
    // colours in one row.
    std::vector<uint8_t> row;
    for (int b = 0; b <= 255; b += 5)
        for (int g = 0; g <= 255; g += 5)
            for (int r = 0; r <= 255; r += 5)
                row.insert(row.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
    for (const Gamut& g : wideGamuts()) {
        SCOPED_TRACE(g.name);
        cmsHPROFILE source = cmsOpenProfileFromMem(g.icc.data(), cmsUInt32Number(g.icc.size()));
        cmsHPROFILE screen = cmsCreate_sRGBProfile();
        cmsHTRANSFORM t =
            cmsCreateTransform(source, TYPE_BGR_8, screen, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
        ASSERT_TRUE(t);
        std::vector<uint8_t> want(row.size());
        cmsDoTransform(t, row.data(), want.data(), cmsUInt32Number(row.size() / 3));
        cmsDeleteTransform(t);
        cmsCloseProfile(source);
        cmsCloseProfile(screen);

        const auto colour = DisplayColour::forProfile(g.icc);
        ASSERT_TRUE(colour);
        // A matrix profile goes through per-channel tables, a table profile through a grid.
        EXPECT_EQ(colour->separable(), g.matrix);
        EXPECT_EQ(colour->gridded(), !g.matrix);
        std::vector<uint8_t> got = row;
        colour->convertRow(got.data(), got.size() / 3);
        EXPECT_NE(got, row);
        int worst = 0;
        for (size_t i = 0; i < got.size(); ++i)
            worst = std::max(worst, std::abs(int(got[i]) - int(want[i])));
        EXPECT_LE(worst, 1);
    }
}

TEST(DisplayColour, ShortRowsAndBigSurfacesGiveWhatOneLongRowGives) {
    // Rows of every length up to 19 meet each tail of the eight-pixel steps; a surface of
    // 640 x 480 is converted in halves on two threads.
    std::mt19937 random(7);
    std::vector<uint8_t> pixels(size_t(640) * 480 * 3);
    for (uint8_t& v : pixels) v = uint8_t(random());
    for (const Gamut& g : wideGamuts()) {
        SCOPED_TRACE(g.name);
        const auto colour = DisplayColour::forProfile(g.icc);
        ASSERT_TRUE(colour);
        std::vector<uint8_t> whole = pixels;
        colour->convertRow(whole.data(), whole.size() / 3);
        std::vector<uint8_t> pieces = pixels;
        for (size_t at = 0, length = 1; at < pieces.size() / 3;
             at += length, length = length % 19 + 1)
            colour->convertRow(pieces.data() + at * 3, std::min(length, pieces.size() / 3 - at));
        EXPECT_EQ(pieces, whole);
        std::vector<uint8_t> surfaceBytes = pixels;
        Surface surface(surfaceBytes.data(), 640, 480, 640 * 3, true);
        colour->convertSurface(surface, SurfaceRect{0, 0, 640, 480});
        EXPECT_EQ(surfaceBytes, whole);
    }
}

TEST(DisplayColour, NoTransformWhereColoursStayAsTheyAre) {
    // A grey-only profile cannot take three channels; the header of an RGB profile alone
    // has no colorants.
    std::vector<uint8_t> headerOnly = icc_profiles::displayP3();
    headerOnly.resize(128);
    const std::vector<uint8_t> grey =
        icc_profiles::profileBytes(cmsCreateGrayProfile(cmsD50_xyY(), nullptr));
    const struct {
        const char* name;
        std::vector<uint8_t> icc;
    } cases[] = {{"no profile", {}},
                 {"sRGB", icc_profiles::srgb()},
                 {"not a profile", std::vector<uint8_t>(600, 0x5A)},
                 {"only a header", headerOnly},
                 {"grey", grey}};
    for (const auto& c : cases) EXPECT_EQ(DisplayColour::forProfile(c.icc), nullptr) << c.name;
}

TEST(DisplayColour, DamagedProfilesGiveATransformOrNone) {
    // Profiles come from untrusted files: cut short or with bytes changed, each gives no
    // transform or one that converts (the sanitizer build watches the reads), and the same
    // answer when asked again.
    const std::vector<uint8_t> p3 = icc_profiles::displayP3();
    std::mt19937 random(11);
    int made = 0, refused = 0;
    for (int i = 0; i < 150; ++i) {
        std::vector<uint8_t> damaged = p3;
        if (i % 3 == 0) damaged.resize(random() % p3.size());
        for (int k = 0; k < 1 + i % 4; ++k)
            if (!damaged.empty()) damaged[random() % damaged.size()] = uint8_t(random());
        const auto colour = DisplayColour::forProfile(damaged);
        EXPECT_EQ(DisplayColour::forProfile(damaged), colour) << i;
        if (!colour) {
            ++refused;
            continue;
        }
        ++made;
        uint8_t row[] = {0, 0, 0, 128, 128, 128, 255, 255, 255, 20, 200, 90};
        colour->convertRow(row, 4);
    }
    // Both outcomes were met.
    EXPECT_GT(made, 0);
    EXPECT_GT(refused, 0);
}

TEST(DisplayColour, OneTransformPerProfile) {
    const std::vector<uint8_t> p3 = icc_profiles::displayP3();
    const std::vector<uint8_t> copy = p3;
    const auto first = DisplayColour::forProfile(p3);
    EXPECT_EQ(DisplayColour::forProfile(copy), first);
    EXPECT_NE(DisplayColour::forProfile(icc_profiles::adobeRgb()), first);
    // Many other profiles later the first is made again, and converts the same.
    std::vector<uint8_t> other = p3;
    for (int i = 0; i < 20; ++i) {
        other[44] = uint8_t(i + 1);  // another device maker: another profile to the cache
        ASSERT_TRUE(DisplayColour::forProfile(other));
    }
    const auto again = DisplayColour::forProfile(p3);
    Bgr a{10, 200, 30}, b = a;
    first->convertRow(&a.blue, 1);
    again->convertRow(&b.blue, 1);
    EXPECT_EQ(a, b);
}

TEST(DisplayColour, PicturesAndSurfacesWhereAsked) {
    const std::vector<uint8_t> p3 = icc_profiles::displayP3();
    const auto colour = DisplayColour::forProfile(p3);
    ASSERT_TRUE(colour);
    const Bgr own{30, 90, 210};
    const Bgr shown = icc_profiles::toSrgb(p3, own);

    // 24 bits: every pixel.
    DibImage full(5, 3, 24, BMP);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x)
            full.setPixelColor(x, y, RgbQuad{own.blue, own.green, own.red, 0});
    ASSERT_TRUE(colour->convertImage(full));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            const RgbQuad q = full.getPixelColor(x, y);
            EXPECT_TRUE(icc_profiles::withinOne(Bgr{q.blue, q.green, q.red}, shown));
        }

    // Paletted: the colour table, its fourth bytes and the indices stay.
    DibImage indexed(4, 2, 8, PNG);
    indexed.setPaletteColor(7, RgbQuad{own.blue, own.green, own.red, 99});
    indexed.setPixelIndex(2, 1, 7);
    ASSERT_TRUE(colour->convertImage(indexed));
    const RgbQuad entry = indexed.getPaletteColor(7);
    EXPECT_TRUE(icc_profiles::withinOne(Bgr{entry.blue, entry.green, entry.red}, shown));
    EXPECT_EQ(entry.reserved, 99);
    EXPECT_EQ(indexed.getPixelIndex(2, 1), 7);
    EXPECT_EQ(indexed.getPaletteColor(0), RgbQuad{});  // black stays black
    DibImage empty;
    EXPECT_FALSE(colour->convertImage(empty));

    // A surface: only the rectangle (clipped to the surface) changes.
    Surface s(6, 4);
    s.fill(SurfaceRect{0, 0, 6, 4}, own.blue, own.green, own.red);
    colour->convertSurface(s, SurfaceRect{2, 1, 10, 3});
    const uint32_t ownValue = uint32_t(own.red) << 16 | uint32_t(own.green) << 8 | own.blue;
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const uint32_t v = s.pixelValue(x, y);
            if (x >= 2 && y >= 1 && y < 3)
                EXPECT_TRUE(icc_profiles::withinOne(
                    Bgr{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)}, shown))
                    << x << "," << y;
            else
                EXPECT_EQ(v, ownValue) << x << "," << y;
        }
}

namespace {

// A profile made here from published primaries with the sRGB curve (the reference for what the
// nclx codes must give).
std::vector<uint8_t> srgbCurveProfile(cmsCIExyYTRIPLE primaries, cmsCIExyY white) {
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return icc_profiles::profileBytes(profile);
}

}  // namespace

TEST(DisplayColour, NclxCodesShowAsTheirPrimariesAndTransferSay) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const std::vector<uint8_t> bt2020 =
        srgbCurveProfile({{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}}, d65);
    const struct {
        const char* name;
        int primaries, transfer;
        std::vector<uint8_t> reference;  // empty: no transform
    } cases[] = {
        {"Display P3", 12, 13, icc_profiles::displayP3()},
        {"BT.2020 primaries, sRGB curve", 9, 13, bt2020},
        {"sRGB", 1, 13, {}},
        {"unspecified both", 2, 2, {}},
        {"BT.709 primaries, unspecified curve", 1, 2, {}},
        {"PQ", 9, 16, {}},
        {"HLG", 9, 18, {}},
        {"unknown primaries", 3, 13, {}},
        {"CIE XYZ primaries", 10, 13, {}},
    };
    const Bgr own{30, 200, 90};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto colour = DisplayColour::forCicp(c.primaries, c.transfer);
        ASSERT_EQ(colour != nullptr, !c.reference.empty());
        EXPECT_EQ(DisplayColour::forCicp(c.primaries, c.transfer), colour);  // made once
        if (!colour) continue;
        Bgr shown = own;
        colour->convertRow(&shown.blue, 1);
        EXPECT_TRUE(icc_profiles::withinOne(shown, icc_profiles::toSrgb(c.reference, own)));
        EXPECT_FALSE(icc_profiles::withinOne(shown, own));
    }

    // The transfers against their own formulas on a grey (grey stays grey: BT.709 primaries).
    const auto srgbByte = [](double linear) {
        const double v =
            linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
        return int(std::lround(v * 255));
    };
    const double x = 100 / 255.0;
    const struct {
        int transfer;
        double linear;
    } curves[] = {
        {8, x},
        {4, std::pow(x, 2.2)},
        {1, std::pow((x + 0.099) / 1.099, 1 / 0.45)},
        {7, std::pow((x + 0.1115) / 1.1115, 1 / 0.45)},
    };
    for (const auto& c : curves) {
        const auto colour = DisplayColour::forCicp(1, c.transfer);
        ASSERT_TRUE(colour) << c.transfer;
        Bgr grey{100, 100, 100};
        colour->convertRow(&grey.blue, 1);
        const uint8_t want = uint8_t(srgbByte(c.linear));
        EXPECT_TRUE(icc_profiles::withinOne(grey, Bgr{want, want, want}))
            << c.transfer << ": " << int(grey.red) << " for " << int(want);
    }
}
