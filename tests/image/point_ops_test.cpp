// Point and colour operations compared with their per-pixel references on every depth, and
// the worked values that are known without them.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "image/dib_image.h"
#include "image/ops_cases.h"
#include "support/reference_ops.h"
#include "support/test_support.h"

using ops_cases::identical;
using testing_support::randomImage;

namespace {

DibImage uniform(int32_t w, int32_t h, RgbQuad c) {
    DibImage img(w, h, 24, BMP);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) img.setPixelColor(x, y, c);
    return img;
}

// A 256-colour picture with the identity grey palette and random indices.
DibImage greyRamp(int32_t w, int32_t h, uint32_t seed) {
    DibImage img = randomImage(w, h, 8, seed);
    img.setGrayPalette();
    return img;
}

}  // namespace

TEST(PointOpsMatchReference, AdjustLight) {
    const int settings[][2] = {{0, 100},
                               {20, 100},
                               {-37, 100},
                               {0, 50},
                               {0, 0},
                               {13, 137},
                               {-5, 73},
                               {300, 100},
                               {0, 110},
                               {7, -60},
                               {INT_MAX, 100},
                               {INT_MIN, 100},
                               {0, 99},
                               {0, INT_MAX},
                               {-100, INT_MIN},
                               {1, 1},
                               // where the float rounding of k = 1.2, 1.07 decides a value
                               {0, 120},
                               {0, 107},
                               {-10, 132}};
    for (const auto& c : ops_cases::randomCases(41)) {
        SCOPED_TRACE(c.name);
        for (const auto& s : settings) {
            DibImage fast = c.image, ref = c.image;
            ASSERT_TRUE(fast.adjustLight(s[0], s[1]));
            ASSERT_TRUE(reference_ops::adjustLight(ref, s[0], s[1]));
            EXPECT_TRUE(identical(fast, ref)) << s[0] << ", " << s[1];
        }
    }
}

TEST(PointOpsMatchReference, Colorize) {
    const uint8_t settings[][2] = {{30, 50}, {27, 45}, {24, 40},   {20, 60}, {17, 68},
                                   {13, 82}, {0, 0},   {255, 255}, {128, 0}, {85, 200}};
    for (const auto& c : ops_cases::randomCases(42)) {
        SCOPED_TRACE(c.name);
        for (const auto& s : settings) {
            DibImage fast = c.image, ref = c.image;
            ASSERT_TRUE(fast.colorize(s[0], s[1]));
            ASSERT_TRUE(reference_ops::colorize(ref, s[0], s[1]));
            EXPECT_TRUE(identical(fast, ref)) << int(s[0]) << ", " << int(s[1]);
        }
    }
}

TEST(PointOpsMatchReference, ToneAndColorizeIsToneThenColorize) {
    const uint8_t settings[][2] = {{30, 50}, {13, 82}, {0, 0}, {255, 255}};
    for (const auto& c : ops_cases::randomCases(43)) {
        SCOPED_TRACE(c.name);
        for (const auto& s : settings) {
            DibImage fast = c.image, ref = c.image;
            ASSERT_TRUE(fast.toneAndColorize(s[0], s[1]));
            ASSERT_TRUE(reference_ops::tone(ref));
            ASSERT_TRUE(reference_ops::colorize(ref, s[0], s[1]));
            EXPECT_TRUE(identical(fast, ref)) << int(s[0]) << ", " << int(s[1]);
        }
    }
    EXPECT_FALSE(DibImage().toneAndColorize(30, 50));
}

TEST(PointOpsMatchReference, GrayScaleToneAndNegative) {
    auto cases = ops_cases::randomCases(43);
    cases.push_back({"grey ramp", greyRamp(37, 11, 44)});
    DibImage rampWithTransparency = greyRamp(9, 4, 45);
    rampWithTransparency.info.backgroundIndex = 200;
    cases.push_back({"grey ramp transparent", std::move(rampWithTransparency)});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DibImage fast = c.image, ref = c.image;
        ASSERT_TRUE(fast.grayScale());
        ASSERT_TRUE(reference_ops::grayScale(ref));
        EXPECT_TRUE(identical(fast, ref)) << "grayScale";
        // Tone after grey is how the sepia effects start.
        ASSERT_TRUE(fast.tone());
        ASSERT_TRUE(reference_ops::tone(ref));
        EXPECT_TRUE(identical(fast, ref)) << "tone after grayScale";

        fast = c.image;
        ref = c.image;
        ASSERT_TRUE(fast.tone());
        ASSERT_TRUE(reference_ops::tone(ref));
        EXPECT_TRUE(identical(fast, ref)) << "tone";

        fast = c.image;
        ref = c.image;
        ASSERT_TRUE(fast.negative());
        ASSERT_TRUE(reference_ops::negative(ref));
        EXPECT_TRUE(identical(fast, ref)) << "negative";
    }
}

TEST(PointOpsMatchReference, SplitChannels) {
    for (const auto& c : ops_cases::randomCases(46)) {
        SCOPED_TRACE(c.name);
        for (int which = 1; which < 8; ++which) {
            DibImage fr, fg, fb, rr, rg, rb;
            ASSERT_TRUE(c.image.splitChannels(which & 1 ? &fr : nullptr, which & 2 ? &fg : nullptr,
                                              which & 4 ? &fb : nullptr));
            ASSERT_TRUE(reference_ops::splitChannels(c.image, which & 1 ? &rr : nullptr,
                                                     which & 2 ? &rg : nullptr,
                                                     which & 4 ? &rb : nullptr));
            EXPECT_TRUE(identical(fr, rr)) << "red of " << which;
            EXPECT_TRUE(identical(fg, rg)) << "green of " << which;
            EXPECT_TRUE(identical(fb, rb)) << "blue of " << which;
        }
    }
}

TEST(PointOpsMatchReference, MixPlanesAndPictures) {
    const auto cases = ops_cases::randomCases(47);
    std::mt19937 rng(48);
    const int32_t offsets[][2] = {
        {0, 0}, {1, 2}, {-3, 1}, {2, -5}, {40, 0}, {-1000, 0}, {INT_MIN, INT_MAX}, {INT_MAX, 0}};
    for (const auto& dst : cases) {
        // Recombining: each plane of a split, OR-ed onto black.
        if (dst.image.bitCount() == 24) {
            SCOPED_TRACE(dst.name + " planes");
            DibImage r, g, b;
            ASSERT_TRUE(dst.image.splitChannels(&r, &g, &b));
            DibImage fast = uniform(dst.image.width(), dst.image.height(), RgbQuad{});
            DibImage ref = fast;
            for (const DibImage* plane : {&r, &g, &b}) {
                ASSERT_TRUE(fast.mix(*plane, 3, 0, 0));
                ASSERT_TRUE(reference_ops::mix(ref, *plane, 3, 0, 0));
            }
            EXPECT_TRUE(identical(fast, ref));
            // ... and gives the picture back.
            for (int32_t y = 0; y < fast.height(); ++y)
                ASSERT_EQ(std::memcmp(fast.row(y), dst.image.row(y), size_t(fast.width()) * 3), 0)
                    << "row " << y;
        }
        // Any picture into any other, at several offsets.
        for (int t = 0; t < 3; ++t) {
            const auto& src = cases[rng() % cases.size()];
            const auto& off = offsets[rng() % std::size(offsets)];
            SCOPED_TRACE(dst.name + " <- " + src.name + " at " + std::to_string(off[0]) + ", " +
                         std::to_string(off[1]));
            DibImage fast = dst.image, ref = dst.image;
            ASSERT_TRUE(fast.mix(src.image, 3, off[0], off[1]));
            ASSERT_TRUE(reference_ops::mix(ref, src.image, 3, off[0], off[1]));
            EXPECT_TRUE(identical(fast, ref));
        }
        // Into itself, shifted: the picture as it was is what gets merged.
        DibImage fast = dst.image, ref = dst.image;
        ASSERT_TRUE(fast.mix(fast, 3, 1, 0));
        ASSERT_TRUE(reference_ops::mix(ref, ref, 3, 1, 0));
        EXPECT_TRUE(identical(fast, ref)) << dst.name << " into itself";
    }
}

TEST(PointOpsEdges, AdjustLightWorkedNumbers) {
    DibImage img = uniform(3, 1, RgbQuad{});
    img.setPixelColor(0, 0, RgbQuad{250, 10, 128, 0});
    img.setPixelColor(1, 0, RgbQuad{0, 255, 1, 0});
    img.setPixelColor(2, 0, RgbQuad{77, 200, 254, 0});
    const DibImage before = img;
    ASSERT_TRUE(img.adjustLight(0, 100));
    EXPECT_TRUE(identical(img, before));

    ASSERT_TRUE(img.adjustLight(20, 100));
    EXPECT_EQ(img.getPixelColor(0, 0), (RgbQuad{255, 30, 148, 0}));

    img = before;
    ASSERT_TRUE(img.adjustLight(0, 50));
    EXPECT_EQ(img.getPixelColor(1, 0).blue, 64);
    EXPECT_EQ(img.getPixelColor(1, 0).green, 191);

    img = before;
    ASSERT_TRUE(img.adjustLight(0, 0));
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(img.getPixelColor(x, 0), (RgbQuad{128, 128, 128, 0}));

    // A paletted picture changes its palette, not its indices.
    DibImage pal = randomImage(5, 3, 4, 49);
    const DibImage palBefore = pal;
    ASSERT_TRUE(pal.adjustLight(0, 0));
    for (uint32_t i = 0; i < 16; ++i) {
        const RgbQuad e = pal.getPaletteColor(i);
        EXPECT_EQ(e.red, 128);
        EXPECT_EQ(e.reserved, palBefore.getPaletteColor(i).reserved);
    }
    for (int32_t x = 0; x < 5; ++x)
        EXPECT_EQ(pal.getPixelIndex(x, 1), palBefore.getPixelIndex(x, 1));
}

// Expected values worked out from the HSL definitions on a 0..255 scale, with the integer
// rounding and truncation of the conversions; they stay within 1 of standard HSL scaled to 255
// except the hue, whose six 42-unit sextants make 252 units a full turn.
namespace {

struct RgbHsl {
    uint8_t r, g, b;  // the colour
    uint8_t l, s, h;  // its HSL value
    const char* what;
};

const RgbHsl kRgbToHsl[] = {
    {255, 0, 0, 128, 255, 0, "red"},
    {0, 255, 0, 128, 255, 85, "green"},
    {0, 0, 255, 128, 255, 170, "blue"},
    {255, 255, 0, 128, 255, 42, "yellow"},
    {0, 255, 255, 128, 255, 127, "cyan"},
    {255, 0, 255, 128, 255, 214, "magenta: red is the maximum, -42 wraps"},
    {0, 0, 0, 0, 0, 170, "black"},
    {255, 255, 255, 255, 0, 170, "white"},
    {1, 1, 1, 1, 0, 170, "darkest grey"},
    {100, 100, 100, 100, 0, 170, "grey 100"},
    {128, 128, 128, 128, 0, 170, "grey 128"},
    {254, 254, 254, 254, 0, 170, "lightest grey"},
    {255, 128, 0, 128, 255, 21, "orange"},
    {255, 200, 0, 128, 255, 33, "amber"},
    {0, 128, 255, 128, 255, 149, "azure"},
    {200, 100, 50, 125, 153, 14, "brown"},
    {10, 20, 30, 20, 128, 149, "dark blue-grey"},
    {30, 200, 140, 115, 188, 112, "sea green"},
    {90, 60, 240, 150, 219, 177, "violet"},
    {250, 240, 230, 240, 170, 21, "linen"},
    {192, 64, 64, 128, 129, 0, "dull red"},
    {64, 0, 0, 32, 255, 0, "maroon"},
    {128, 0, 128, 64, 255, 214, "purple"},
    {254, 0, 0, 127, 255, 0, "lightness 127: d is max + min"},
    {200, 54, 54, 127, 147, 0, "lightness 127, d = 254 (510 - max - min would give 145)"},
    {200, 55, 55, 128, 145, 0, "lightness 128: d is 510 - max - min"},
    {127, 128, 128, 128, 1, 127, "one step off grey, towards cyan"},
    {128, 127, 127, 128, 1, 0, "one step off grey, towards red"},
    {255, 254, 254, 255, 255, 0, "near white: d = 1"},
    {1, 0, 0, 1, 255, 0, "near black, red"},
    {0, 0, 1, 1, 255, 170, "near black, blue"},
    {0, 1, 1, 1, 255, 127, "near black, cyan"},
    {255, 1, 0, 128, 255, 0, "a little green: rounds to hue 0"},
    {255, 0, 1, 128, 255, 0, "a little blue: the two deltas round to the same 42"},
    {255, 0, 5, 128, 255, 255, "more blue: -1 wraps to 255"},
    {255, 0, 100, 128, 255, 240, "rose: -16 wraps"},
    {255, 0, 254, 128, 255, 214, "red above blue by one: wraps"},
    {254, 0, 255, 128, 255, 212, "blue above red by one: no wrap"},
    {100, 0, 255, 128, 255, 186, "blue maximum, red above green"},
};

const RgbHsl kHslToRgb[] = {
    {255, 1, 1, 128, 255, 0, "hue 0: m1 = 1/255 truncates to 1"},
    {1, 255, 1, 128, 255, 85, "hue 85"},
    {1, 1, 255, 128, 255, 170, "hue 170"},
    {252, 255, 1, 128, 255, 43, "hue 43, past yellow"},
    {255, 252, 1, 128, 255, 42, "hue 42, before yellow"},
    {1, 252, 255, 128, 255, 128, "hue 128"},
    {255, 1, 252, 128, 255, 213, "hue 213"},
    {255, 1, 1, 128, 255, 255, "hue 255 is 360 degrees"},
    {255, 6, 1, 128, 255, 1, "hue 1"},
    {255, 1, 6, 128, 255, 254, "hue 254"},
    {0, 0, 0, 0, 0, 0, "black"},
    {255, 255, 255, 255, 0, 0, "white"},
    {100, 100, 100, 100, 0, 170, "grey"},
    {0, 0, 0, 0, 255, 0, "saturated, lightness 0"},
    {255, 255, 255, 255, 255, 99, "saturated, lightness 255"},
    {128, 0, 0, 64, 255, 0, "dark red"},
    {255, 129, 129, 192, 255, 0, "light red"},
    {190, 63, 63, 127, 128, 0, "lightness 127: m2 = l(1 + s)"},
    {191, 64, 64, 128, 128, 0, "lightness 128: m2 = s + l - sl"},
    {152, 138, 103, 128, 50, 30, "colorize (30, 50) of mid grey"},
    {217, 193, 182, 200, 82, 13, "colorize (13, 82) of a light grey"},
    {49, 39, 30, 40, 60, 20, "dark brown"},
    {31, 95, 96, 64, 128, 128, "dark teal"},
    {211, 140, 241, 191, 200, 200, "light violet"},
    {108, 150, 49, 100, 128, 60, "olive green"},
    {0, 254, 89, 127, 255, 100, "spring green"},
};

}  // namespace

TEST(PointOpsEdges, RgbToHslKnownValues) {
    // (lightness, saturation, hue) travel in the blue, green, red bytes.
    for (const auto& c : kRgbToHsl) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DibImage::rgbToHsl(RgbQuad{c.b, c.g, c.r, 0}), (RgbQuad{c.l, c.s, c.h, 0}));
        // The fourth byte does not take part and comes back 0.
        EXPECT_EQ(DibImage::rgbToHsl(RgbQuad{c.b, c.g, c.r, 77}), (RgbQuad{c.l, c.s, c.h, 0}));
    }
}

TEST(PointOpsEdges, HslToRgbKnownValues) {
    for (const auto& c : kHslToRgb) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DibImage::hslToRgb(RgbQuad{c.l, c.s, c.h, 0}), (RgbQuad{c.b, c.g, c.r, 0}));
        EXPECT_EQ(DibImage::hslToRgb(RgbQuad{c.l, c.s, c.h, 77}), (RgbQuad{c.b, c.g, c.r, 0}));
    }
}

TEST(PointOpsEdges, ColorizeKeepsLightness) {
    DibImage img(16, 1, 24, BMP);
    for (int32_t x = 0; x < 16; ++x) {
        const uint8_t v = uint8_t(x * 17);
        img.setPixelColor(x, 0, RgbQuad{v, v, v, 0});
    }
    const DibImage before = img;
    ASSERT_TRUE(img.colorize(30, 50));
    bool brownish = false;
    for (int32_t x = 0; x < 16; ++x) {
        const RgbQuad c = img.getPixelColor(x, 0);
        const RgbQuad was = DibImage::rgbToHsl(before.getPixelColor(x, 0));
        const RgbQuad hsl = DibImage::rgbToHsl(c);
        // Truncations on the way back may lose one step of lightness.
        EXPECT_NEAR(hsl.blue, was.blue, 1) << x;
        if (x > 0 && x < 15) {
            EXPECT_GE(c.red, c.green) << x;
            EXPECT_GE(c.green, c.blue) << x;
            brownish = brownish || c.red > c.blue;
        }
    }
    EXPECT_TRUE(brownish);
}

TEST(PointOpsEdges, GrayScaleMakesAnEightBitPicture) {
    DibImage img = uniform(3, 2, RgbQuad{0, 0, 255, 0});
    img.setPixelColor(1, 1, RgbQuad{255, 255, 255, 0});
    img.alphaCreate();
    img.alphaFill(99);
    img.setXDpi(300);
    img.info.jpegQuality = 90;
    ASSERT_TRUE(img.grayScale());
    EXPECT_EQ(img.bitCount(), 8);
    EXPECT_EQ(img.header.colorsUsed, 256u);
    EXPECT_TRUE(img.isGrayScale());
    EXPECT_EQ(img.getPixelIndex(0, 0), 76);
    EXPECT_EQ(img.getPixelIndex(1, 1), 255);
    EXPECT_EQ(img.alphaGet(2, 1), 99);
    // The per-format values survive the rebuild.
    EXPECT_EQ(img.info.xDpi, 300);
    EXPECT_EQ(img.header.xPelsPerMeter, 11811);
    EXPECT_EQ(img.info.jpegQuality, 90);
    EXPECT_EQ(img.type(), uint32_t(BMP));

    // A transparent colour of a 24-bit picture becomes the index of its grey; the pixels of
    // that colour stay transparent.
    DibImage keyed = uniform(2, 1, RgbQuad{0, 0, 255, 0});
    keyed.setPixelColor(1, 0, RgbQuad{0, 255, 0, 0});
    keyed.info.backgroundColour = RgbQuad{0, 255, 0, 0};
    keyed.info.backgroundIndex = 0;
    ASSERT_TRUE(keyed.grayScale());
    EXPECT_EQ(keyed.info.backgroundIndex, 150);
    EXPECT_EQ(keyed.getPixelIndex(1, 0), 150);
    EXPECT_EQ(keyed.transparentColor(), (RgbQuad{150, 150, 150, 0}));

    // 4 bits: rebuilt as 8 bits, the transparent index moves to its grey value.
    DibImage pal(3, 1, 4, GIF);
    pal.setPaletteColor(0, 255, 0, 0);
    pal.setPaletteColor(5, 10, 20, 30);
    pal.setPixelIndex(0, 0, 5);
    pal.setPixelIndex(1, 0, 0);
    pal.info.backgroundIndex = 5;
    ASSERT_TRUE(pal.grayScale());
    EXPECT_EQ(pal.bitCount(), 8);
    const int g5 = (30 * 10 + 59 * 20 + 11 * 30) / 100;
    EXPECT_EQ(pal.getPixelIndex(0, 0), g5);
    EXPECT_EQ(pal.getPixelIndex(1, 0), 76);
    EXPECT_EQ(pal.info.backgroundIndex, g5);
    EXPECT_EQ(pal.type(), uint32_t(GIF));
}

TEST(PointOpsEdges, ToneOfAGreyPicture) {
    DibImage img = greyRamp(4, 4, 50);
    ASSERT_TRUE(img.tone());
    EXPECT_EQ(img.getPaletteColor(201), (RgbQuad{150, 170, 201, 0}));
    EXPECT_EQ(img.getPaletteColor(0), (RgbQuad{0, 0, 0, 0}));
    EXPECT_EQ(img.getPaletteColor(255), (RgbQuad{191, 216, 255, 0}));
    // 24 bits: the grey goes into all three channels.
    DibImage rgb = uniform(2, 2, RgbQuad{0, 0, 255, 0});
    ASSERT_TRUE(rgb.tone());
    EXPECT_EQ(rgb.bitCount(), 24);
    EXPECT_EQ(rgb.getPixelColor(1, 1), (RgbQuad{76, 76, 76, 0}));
}

TEST(PointOpsEdges, NegativeTwiceRestores) {
    DibImage img = randomImage(7, 5, 24, 51);
    img.info.backgroundColour = RgbQuad{1, 2, 3, 4};
    const DibImage before = img;
    ASSERT_TRUE(img.negative());
    EXPECT_EQ(img.getPixelColor(3, 3).red, 255 - before.getPixelColor(3, 3).red);
    EXPECT_EQ(img.info.backgroundColour, (RgbQuad{254, 253, 252, 4}));
    ASSERT_TRUE(img.negative());
    EXPECT_TRUE(identical(img, before));

    // The identity ramp inverts indices; other palettes invert their colours.
    for (uint32_t bits : {1u, 4u, 8u}) {
        SCOPED_TRACE(bits);
        DibImage ramp = randomImage(13, 3, bits, 52);
        for (uint32_t i = 0; i < ramp.header.colorsUsed; ++i) ramp.setPaletteColor(i, i, i, i);
        ramp.info.backgroundIndex = 1;
        const DibImage rampBefore = ramp;
        ASSERT_TRUE(ramp.negative());
        const int mask = (1 << bits) - 1;
        EXPECT_EQ(ramp.getPixelIndex(4, 2), mask - rampBefore.getPixelIndex(4, 2));
        EXPECT_EQ(ramp.getPaletteColor(1), rampBefore.getPaletteColor(1));
        // The transparent pixels stay the same pixels.
        EXPECT_EQ(ramp.info.backgroundIndex, mask - 1);
        ASSERT_TRUE(ramp.negative());
        EXPECT_TRUE(identical(ramp, rampBefore));
    }
    DibImage pal = randomImage(13, 3, 4, 53);
    const DibImage palBefore = pal;
    ASSERT_TRUE(pal.negative());
    EXPECT_EQ(pal.getPixelIndex(5, 1), palBefore.getPixelIndex(5, 1));
    EXPECT_EQ(pal.getPaletteColor(3).green, 255 - palBefore.getPaletteColor(3).green);
}

TEST(PointOpsEdges, SplitAndRecombine) {
    DibImage img = uniform(3, 2, RgbQuad{30, 20, 10, 0});
    DibImage r, g, b;
    ASSERT_TRUE(img.splitChannels(&r, &g, &b));
    EXPECT_EQ(r.getPixelIndex(2, 1), 10);
    EXPECT_EQ(g.getPixelIndex(2, 1), 20);
    EXPECT_EQ(b.getPixelIndex(2, 1), 30);
    EXPECT_EQ(r.getPaletteColor(10), (RgbQuad{0, 0, 10, 0}));
    EXPECT_EQ(g.getPaletteColor(20), (RgbQuad{0, 20, 0, 0}));
    EXPECT_EQ(b.getPaletteColor(30), (RgbQuad{30, 0, 0, 0}));
    DibImage black = uniform(3, 2, RgbQuad{});
    for (const DibImage* plane : {&r, &g, &b}) ASSERT_TRUE(black.mix(*plane, 3, 0, 0));
    EXPECT_EQ(black.getPixelColor(1, 0), (RgbQuad{30, 20, 10, 0}));

    EXPECT_FALSE(img.splitChannels(nullptr, nullptr, nullptr));
    DibImage empty;
    EXPECT_FALSE(empty.splitChannels(&r, nullptr, nullptr));
    EXPECT_TRUE(r.isValid());
}

TEST(PointOpsEdges, MixOverlapAndUnknownOperations) {
    DibImage dst = uniform(4, 3, RgbQuad{1, 0, 0, 0});
    const DibImage src = uniform(3, 3, RgbQuad{0, 2, 0, 0});
    // Offset (1, 1): only a 2 x 2 corner overlaps.
    ASSERT_TRUE(dst.mix(src, 3, 1, 1));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            const bool inside = x < 2 && y < 2;
            EXPECT_EQ(dst.getPixelColor(x, y).green, inside ? 2 : 0) << x << "," << y;
            EXPECT_EQ(dst.getPixelColor(x, y).blue, 1);
        }
    const DibImage before = dst;
    EXPECT_FALSE(dst.mix(src, 0, 0, 0));
    EXPECT_FALSE(dst.mix(src, 4, 0, 0));
    EXPECT_TRUE(dst.mix(src, 3, 3, 0));  // empty overlap
    EXPECT_TRUE(identical(dst, before));
}

TEST(PointOpsEdges, EmptyImagesGiveFalse) {
    DibImage empty, other = uniform(2, 2, RgbQuad{});
    EXPECT_FALSE(empty.adjustLight(1, 100));
    EXPECT_FALSE(empty.colorize(1, 1));
    EXPECT_FALSE(empty.grayScale());
    EXPECT_FALSE(empty.tone());
    EXPECT_FALSE(empty.negative());
    EXPECT_FALSE(empty.mix(other, 3, 0, 0));
    EXPECT_FALSE(empty.isValid());
}
