// Painting a DibImage onto a Surface: every composition rule of draw, and paint.
#include <gtest/gtest.h>

#include <cmath>

#include "image/dib_image.h"
#include "image/surface.h"
#include "support/test_support.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGrey = 0x404040;

// Device value of picture pixel (x, row-from-top r) of an image.
uint32_t pictureValue(const DibImage& img, int x, int r) {
    const RgbQuad c = img.getPixelColor(x, img.height() - 1 - r);
    return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}

Surface greySurface(int w, int h, bool topDown = true) {
    Surface s(w, h, topDown);
    s.fill(SurfaceRect{0, 0, w, h}, 0x40, 0x40, 0x40);
    return s;
}

}  // namespace

TEST(DrawSimple, CopiesAtPositionTopRowFirst) {
    for (bool topDown : {true, false}) {
        DibImage f = testing_support::makeF();
        Surface s = greySurface(10, 8, topDown);
        ASSERT_TRUE(f.draw(&s, 2, 1));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x) {
                const bool inside = x >= 2 && x < 8 && y >= 1 && y < 6;
                const uint32_t expected = inside ? pictureValue(f, x - 2, y - 1) : kGrey;
                EXPECT_EQ(s.pixelValue(x, y), expected) << x << "," << y << " topDown " << topDown;
            }
        // The F's top row is its long bar: red at the left, blue at the right end.
        EXPECT_EQ(s.pixelValue(2, 1), kRed);
        EXPECT_EQ(s.pixelValue(7, 1), kBlue);
    }
}

TEST(DrawSimple, RefusesEmptyAndZeroSizes) {
    DibImage f = testing_support::makeF();
    Surface s(4, 4);
    EXPECT_FALSE(DibImage().draw(&s, 0, 0));
    EXPECT_FALSE(f.draw(nullptr, 0, 0));
    EXPECT_FALSE(f.draw(&s, 0, 0, 0, 3));
    EXPECT_FALSE(f.draw(&s, 0, 0, 3, 0));
}

TEST(DrawScaled, SamplesColumnsByFloorAndRowsByCeil) {
    // 4 x 3 picture with a distinct colour per pixel, drawn into 7 x 5.
    DibImage img(4, 3, 24, BMP);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            img.setPixelColor(x, y, RgbQuad{uint8_t(x * 50), 0, uint8_t(y * 80), 0});
    Surface s = greySurface(7, 5);
    ASSERT_TRUE(img.draw(&s, 0, 0, 7, 5));
    const float fx = 4.0f / 7.0f, fy = 3.0f / 5.0f;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c) {
            const int sx = int(std::floor(float(c) * fx));
            int sr = int(std::ceil(float(r + 1) * fy)) - 1;
            if (sr > 2) sr = 2;
            EXPECT_EQ(s.pixelValue(c, r), pictureValue(img, sx, sr)) << c << "," << r;
        }
    // Hand-checked corners: device row 0 is picture row ceil(0.6) - 1 = 0; row 4 is row 2.
    EXPECT_EQ(s.pixelValue(0, 0), pictureValue(img, 0, 0));
    EXPECT_EQ(s.pixelValue(6, 4), pictureValue(img, 3, 2));
}

TEST(DrawAlpha, BlendsWithAlphaMaxAndSkipsTransparent) {
    DibImage img(2, 1, 24, BMP);
    img.setPixelColor(0, 0, RgbQuad{0, 0, 200, 0});
    img.setPixelColor(1, 0, RgbQuad{0, 0, 200, 0});
    img.alphaCreate();  // all zero: nothing is painted
    Surface s = greySurface(2, 1);
    ASSERT_TRUE(img.draw(&s, 0, 0));
    EXPECT_EQ(s.pixelValue(0, 0), kGrey);
    EXPECT_EQ(s.pixelValue(1, 0), kGrey);

    img.alphaSet(0, 0, 255);
    img.alphaSet(1, 0, 128);
    ASSERT_TRUE(img.draw(&s, 0, 0));
    EXPECT_EQ(s.pixelValue(0, 0), 0xC80000u);
    // a = 128: red (200*128 + 64*127) / 256 = 131, others (0*128 + 64*127) / 256 = 31.
    EXPECT_EQ(s.pixelValue(1, 0), (131u << 16) | (31u << 8) | 31u);

    Surface t = greySurface(2, 1);
    img.info.alphaMax = 127;  // a = 255 * 128 / 256 = 127
    ASSERT_TRUE(img.draw(&t, 0, 0));
    EXPECT_EQ(t.pixelValue(0, 0),
              ((200u * 127 + 64 * 128) / 256 << 16) | (64u * 128 / 256 << 8) | (64u * 128 / 256));
}

TEST(DrawPalette, PaletteAlphaAndTransparentIndex) {
    DibImage img(3, 1, 8, GIF);
    img.setPaletteColor(0, 255, 0, 0, 255);
    img.setPaletteColor(1, 0, 0, 255, 0);
    img.setPaletteColor(2, 0, 255, 0, 127);
    for (int x = 0; x < 3; ++x) img.setPixelIndex(x, 0, uint8_t(x));

    img.info.alphaPaletteEnabled = true;
    Surface s = greySurface(3, 1);
    ASSERT_TRUE(img.draw(&s, 0, 0));
    EXPECT_EQ(s.pixelValue(0, 0), kRed);   // a = 255 * 256 / 256
    EXPECT_EQ(s.pixelValue(1, 0), kGrey);  // a = 255 * 1 / 256 = 0
    EXPECT_EQ(s.pixelValue(2, 0),
              ((64u * 128 / 256) << 16) | ((255u * 127 + 64 * 128) / 256 << 8) | (64u * 128 / 256));

    img.info.alphaPaletteEnabled = false;
    img.info.backgroundIndex = 0;  // red is the transparent colour
    Surface t = greySurface(3, 1);
    ASSERT_TRUE(img.draw(&t, 0, 0));
    EXPECT_EQ(t.pixelValue(0, 0), kGrey);
    EXPECT_EQ(t.pixelValue(1, 0), kBlue);
    EXPECT_EQ(t.pixelValue(2, 0), 0x00FF00u);
}

TEST(DrawClip, PaintsOnlyInsideTheClipBox) {
    DibImage f = testing_support::makeF();
    for (bool transparent : {false, true}) {
        Surface s = greySurface(8, 8);
        s.setClip(SurfaceRect{3, 2, 5, 4});
        if (transparent) {
            f.alphaCreate();
            f.alphaFill(255);
        }
        ASSERT_TRUE(f.draw(&s, 1, 1, 12, 10));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool inClip = x >= 3 && x < 5 && y >= 2 && y < 4;
                if (!inClip) {
                    EXPECT_EQ(s.pixelValue(x, y), kGrey) << x << "," << y;
                }
            }
        // Scale 2: device (3,2) is image column 1, picture row ceil(2 * 0.5) - 1 = 0.
        EXPECT_EQ(s.pixelValue(3, 2), pictureValue(f, 1, 0));
        // Drawing off the surface entirely succeeds and touches nothing.
        Surface u = greySurface(4, 4);
        EXPECT_TRUE(f.draw(&u, 10, 10));
        EXPECT_EQ(u.pixelValue(0, 0), kGrey);
    }
}

TEST(Paint, CopiesTheBottomRowsUnscaledToTheOrigin) {
    DibImage f = testing_support::makeF();
    Surface s = greySurface(8, 8);
    f.paint(&s);
    for (int r = 0; r < 5; ++r)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(s.pixelValue(x, r), pictureValue(f, x, r));
    EXPECT_EQ(s.pixelValue(6, 0), kGrey);
    EXPECT_EQ(s.pixelValue(0, 5), kGrey);

    // Asking for 3 rows shows the picture's bottom three rows, the lowest at device row 2.
    Surface t = greySurface(8, 8);
    f.paint(&t, 4, 3);
    for (int d = 0; d < 3; ++d)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(t.pixelValue(x, d), pictureValue(f, x, 2 + d));
    EXPECT_EQ(t.pixelValue(4, 0), kGrey);
    EXPECT_EQ(t.pixelValue(0, 3), kGrey);

    DibImage pal(2, 1, 1, BMP);
    pal.setPaletteColor(1, 255, 0, 0);
    pal.setPixelIndex(1, 0, 1);
    Surface u = greySurface(2, 1);
    pal.paint(&u);
    EXPECT_EQ(u.pixelValue(0, 0), 0u);
    EXPECT_EQ(u.pixelValue(1, 0), kRed);
}
