// PhotoEdit's planes and painting: palette shifts, filled pictures, recombination as the OR
// of the plane colours, deep copies, fitting and painting onto a surface. The planes here
// are built by hand, so these tests stand on DibImage alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "enhance/photo_edit.h"
#include "support/test_support.h"

namespace {

// An 8-bit plane of one channel (0 red, 1 green, 2 blue), as splitting makes them.
DibImage makePlane(int w, int h, int channel, uint32_t seed) {
    DibImage plane(w, h, 8, 0);
    for (int i = 0; i < 256; ++i) {
        RgbQuad q{};
        (channel == 0 ? q.red : channel == 1 ? q.green : q.blue) = uint8_t(i);
        plane.setPaletteColor(uint32_t(i), q);
    }
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) plane.setPixelIndex(x, y, uint8_t(rng()));
    return plane;
}

PhotoEdit photoWithPlanes(int w, int h, uint32_t seed) {
    PhotoEdit p;
    p.image = DibImage(w, h, 24, PNG);
    p.redPlane = makePlane(w, h, 0, seed);
    p.greenPlane = makePlane(w, h, 1, seed + 1);
    p.bluePlane = makePlane(w, h, 2, seed + 2);
    return p;
}

uint8_t expectedShift(int v, int offset) {
    return uint8_t(std::clamp(v + 4 * offset, 0, 255));
}

}  // namespace

TEST(PhotoPlanes, OffsetPaletteMovesAChannelByFourTimesTheOffset) {
    for (int offset : {10, -10, 70, -70, 1, 300}) {
        DibImage plane = makePlane(3, 2, 0, 1);
        PhotoEdit::offsetPalette(plane, offset, 0, 0);
        for (int v = 0; v < 256; ++v) {
            const RgbQuad e = plane.getPaletteColor(uint32_t(v));
            EXPECT_EQ(e.red, expectedShift(v, offset)) << v << " " << offset;
            EXPECT_EQ(e.green, 0);
            EXPECT_EQ(e.blue, 0);
        }
    }
    // Every non-zero offset moves its own channel, whatever the plane.
    DibImage plane = makePlane(2, 2, 1, 2);
    PhotoEdit::offsetPalette(plane, 3, -2, 5);
    for (int v = 0; v < 256; ++v) {
        const RgbQuad e = plane.getPaletteColor(uint32_t(v));
        EXPECT_EQ(e.green, expectedShift(v, -2));
        EXPECT_EQ(e.red, 12);
        EXPECT_EQ(e.blue, 20);
    }
    // Zero offsets leave the palette alone; pixels never change.
    DibImage same = makePlane(4, 3, 2, 3);
    const DibImage before = same;
    PhotoEdit::offsetPalette(same, 0, 0, 0);
    EXPECT_TRUE(testing_support::sameImage(same, before));
    PhotoEdit::offsetPalette(same, 0, 0, 9);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(same.getPixelIndex(x, y), before.getPixelIndex(x, y));
}

TEST(PhotoPlanes, OffsetPaletteVisitsSmallPalettesOnce) {
    DibImage small(4, 4, 4, 0);
    for (uint32_t i = 0; i < 16; ++i) small.setPaletteColor(i, uint8_t(i * 10), 0, 0);
    PhotoEdit::offsetPalette(small, 5, 0, 0);
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(small.getPaletteColor(i).red, i * 10 + 5);
    DibImage full(2, 2, 24, 0);
    PhotoEdit::offsetPalette(full, 5, 5, 5);  // no palette: nothing to do, nothing breaks
    EXPECT_TRUE(full.isValid());
}

TEST(PhotoPlanes, CreateFilledTakesRedInTheLowByte) {
    PhotoEdit p;
    ASSERT_TRUE(p.createFilled(5, 3, 0x00332211, 16));  // 16 bits make a 24-bit picture
    EXPECT_EQ(p.image.bitCount(), 24);
    EXPECT_EQ(p.image.type(), 0u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(p.image.getPixelColor(x, y), (RgbQuad{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(p.getPixelRgb(4, 2), 0x00332211u);
    // A paletted picture takes the nearest entry of its (black) palette.
    ASSERT_TRUE(p.createFilled(3, 3, 0x00ffffff, 8));
    EXPECT_EQ(p.image.getPixelIndex(2, 2), 0);
    EXPECT_FALSE(p.createFilled(0, 3, 0, 16));
}

TEST(PhotoPlanes, RecombineIsTheOrOfThePlaneColours) {
    PhotoEdit p = photoWithPlanes(7, 5, 11);
    PhotoEdit::offsetPalette(p.redPlane, 9, 0, 0);
    PhotoEdit::offsetPalette(p.bluePlane, 0, 0, -20);
    p.image.setXDpi(300);  // picture values of the working image stay with it
    ASSERT_TRUE(p.recombine());
    EXPECT_EQ(p.image.bitCount(), 24);
    EXPECT_EQ(p.image.type(), 0u);
    EXPECT_EQ(p.image.info.xDpi, 300);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const RgbQuad r = p.redPlane.getPixelColor(x, y);
            const RgbQuad g = p.greenPlane.getPixelColor(x, y);
            const RgbQuad b = p.bluePlane.getPixelColor(x, y);
            const RgbQuad expected{uint8_t(r.blue | g.blue | b.blue),
                                   uint8_t(r.green | g.green | b.green),
                                   uint8_t(r.red | g.red | b.red), 0};
            ASSERT_EQ(p.image.getPixelColor(x, y), expected) << x << "," << y;
            ASSERT_EQ(p.image.getPixelColor(x, y).red,
                      expectedShift(p.redPlane.getPixelIndex(x, y), 9));
            ASSERT_EQ(p.image.getPixelColor(x, y).blue,
                      expectedShift(p.bluePlane.getPixelIndex(x, y), -20));
        }
}

TEST(PhotoPlanes, CombinePlanesOrsOntoWhatIsThere) {
    PhotoEdit p = photoWithPlanes(4, 3, 5);
    ASSERT_TRUE(p.createFilled(4, 3, 0x00000080, 16));  // red 128 everywhere
    ASSERT_TRUE(p.combinePlanes(3, nullptr, &p.greenPlane, nullptr));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const RgbQuad c = p.image.getPixelColor(x, y);
            EXPECT_EQ(c.red, 128);
            EXPECT_EQ(c.green, p.greenPlane.getPixelIndex(x, y));
            EXPECT_EQ(c.blue, 0);
        }
    PhotoEdit empty;
    EXPECT_FALSE(empty.combinePlanes(3, &p.redPlane, nullptr, nullptr));
}

TEST(PhotoPlanes, CombineFilledIsAFillAndThreeOrs) {
    PhotoEdit source = photoWithPlanes(6, 4, 21);
    PhotoEdit::offsetPalette(source.greenPlane, 0, 7, 0);
    PhotoEdit fused, stepwise;
    fused.image = testing_support::makeF();  // replaced, whatever it held
    ASSERT_TRUE(fused.combineFilled(source));
    ASSERT_TRUE(stepwise.createFilled(6, 4, 0, 16));
    ASSERT_TRUE(stepwise.combinePlanes(3, &source.redPlane, &source.greenPlane, &source.bluePlane));
    EXPECT_TRUE(testing_support::sameImage(fused.image, stepwise.image));
    EXPECT_EQ(fused.width(), 6);
}

TEST(PhotoPlanes, AssignIsADeepCopy) {
    PhotoEdit a = photoWithPlanes(3, 3, 1);
    a.image = testing_support::makeF();
    a.fileName = "/p/a.jpg";
    PhotoEdit b;
    b.assign(a);
    EXPECT_EQ(b.fileName, "/p/a.jpg");
    EXPECT_TRUE(testing_support::sameImage(a.image, b.image));
    EXPECT_TRUE(testing_support::sameImage(a.redPlane, b.redPlane));
    EXPECT_NE(a.image.pixels(), b.image.pixels());
    b.image.setPixelColor(0, 0, RgbQuad{1, 2, 3, 0});
    PhotoEdit::offsetPalette(b.greenPlane, 0, 5, 0);
    EXPECT_EQ(a.image.getPixelColor(0, 0), (RgbQuad{0, 0, 255, 0}));  // the F's red ink
    EXPECT_EQ(a.greenPlane.getPaletteColor(10).green, 10);
    PhotoEdit c(b);
    EXPECT_TRUE(testing_support::sameImage(c.greenPlane, b.greenPlane));
}

TEST(PhotoPlanes, FitRectWorkedExamples) {
    auto same = [](SurfaceRect r, SurfaceRect e) {
        return r.left == e.left && r.top == e.top && r.right == e.right && r.bottom == e.bottom;
    };
    EXPECT_TRUE(same(PhotoEdit::fitRect(400, 300, 800, 800, false), {0, 0, 800, 600}));
    EXPECT_TRUE(same(PhotoEdit::fitRect(400, 300, 800, 800, true), {0, 100, 800, 700}));
    EXPECT_TRUE(same(PhotoEdit::fitRect(300, 400, 800, 800, false), {0, 0, 600, 800}));
    EXPECT_TRUE(same(PhotoEdit::fitRect(300, 400, 800, 800, true), {100, 0, 700, 800}));
    EXPECT_TRUE(same(PhotoEdit::fitRect(1000, 10, 500, 500, false), {0, 0, 500, 5}));
    EXPECT_TRUE(same(PhotoEdit::fitRect(0, 0, 500, 500, true), {0, 0, 0, 0}));
    // A small picture is enlarged to fill the target in one direction.
    EXPECT_TRUE(same(PhotoEdit::fitRect(40, 30, 800, 800, false), {0, 0, 800, 600}));
    // The closer fit wins: 6000 x 4000 into 1280 x 1280 is 1280 wide.
    EXPECT_TRUE(same(PhotoEdit::fitRect(6000, 4000, 1280, 1280, false), {0, 0, 1280, 853}));
    // Odd halves are truncated separately.
    EXPECT_TRUE(same(PhotoEdit::fitRect(3, 1, 9, 7, true), {0, 2, 9, 5}));
    PhotoEdit p;
    EXPECT_TRUE(same(p.fitRect(100, 100, true), {0, 0, 0, 0}));
    p.image = DibImage(400, 300, 24, 0);
    EXPECT_TRUE(same(p.fitRect(800, 800, true), {0, 100, 800, 700}));
}

TEST(PhotoPlanes, PaintFittedFillsBlackAndStretches) {
    PhotoEdit p;
    p.image = DibImage(4, 2, 24, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) p.image.setPixelColor(x, y, RgbQuad{0, 0, uint8_t(10 + x), 0});
    Surface s(10, 10);
    s.fill({0, 0, 10, 10}, 255, 255, 255);
    p.paintFitted(&s, 8, 8);  // 8 x 4 at the origin
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const uint32_t v = s.pixelValue(x, y);
            if (x < 8 && y < 4)
                EXPECT_EQ(v, uint32_t(10 + x / 2) << 16) << x << "," << y;
            else
                EXPECT_EQ(v, 0xffffffu) << x << "," << y;
        }
    PhotoEdit empty;
    empty.paintFitted(&s, 8, 8);  // nothing to paint, nothing breaks
}

TEST(PhotoPlanes, PaintPlanesShowsTheirOr) {
    PhotoEdit p = photoWithPlanes(3, 2, 7);
    PhotoEdit::offsetPalette(p.redPlane, 5, 0, 0);
    PhotoEdit expected = p;
    expected.recombine();

    // Unscaled at the target's top-left corner, top row first.
    Surface s(8, 6);
    s.fill({0, 0, 8, 6}, 255, 255, 255);
    p.paintPlanes(&s, SurfaceRect{2, 1, 8, 6}, false, false);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            uint32_t want = 0xffffff;
            if (inside) {
                const RgbQuad c = expected.image.getPixelColor(x - 2, 2 - 1 - (y - 1));
                want = uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
            }
            EXPECT_EQ(s.pixelValue(x, y), want) << x << "," << y;
        }

    // Cut by the surface's edges on every side: only the part inside is painted.
    for (const SurfaceRect target : {SurfaceRect{-1, -1, 2, 1}, SurfaceRect{2, 1, 5, 3}}) {
        Surface c(3, 2);
        c.fill({0, 0, 3, 2}, 255, 255, 255);
        p.paintPlanes(&c, target, false, false);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const int px = x - target.left, py = y - target.top;
                uint32_t want = 0xffffff;
                if (px >= 0 && px < 3 && py >= 0 && py < 2) {
                    const RgbQuad q = expected.image.getPixelColor(px, 1 - py);
                    want = uint32_t(q.red) << 16 | uint32_t(q.green) << 8 | q.blue;
                }
                EXPECT_EQ(c.pixelValue(x, y), want) << target.left << ": " << x << "," << y;
            }
    }

    // Fitted and centred: 3 x 2 into 6 x 6 is 6 x 4 at (0, 1), each pixel doubled.
    Surface f(6, 6);
    f.fill({0, 0, 6, 6}, 255, 255, 255);
    p.paintPlanes(&f, SurfaceRect{0, 0, 6, 6}, true, true);
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(f.pixelValue(x, 0), 0xffffffu);
        EXPECT_EQ(f.pixelValue(x, 5), 0xffffffu);
        for (int y = 1; y < 5; ++y) {
            const RgbQuad c = expected.image.getPixelColor(x / 2, 1 - (y - 1) / 2);
            EXPECT_EQ(f.pixelValue(x, y), uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue)
                << x << "," << y;
        }
    }
    // Fitted without centring: at the target's top-left corner.
    Surface g(6, 6);
    p.paintPlanes(&g, SurfaceRect{0, 0, 6, 6}, true, false);
    const RgbQuad topLeft = expected.image.getPixelColor(0, 1);
    EXPECT_EQ(g.pixelValue(0, 0),
              uint32_t(topLeft.red) << 16 | uint32_t(topLeft.green) << 8 | topLeft.blue);
}
