// DibImage: creation and its refusals, pixel and palette access, ownership, the alpha plane.
#include "image/dib_image.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using testing_support::makeF;
using testing_support::sameImage;

TEST(DibImageCreate, SizesAndStrides) {
    DibImage a(3, 2, 24, BMP);
    EXPECT_EQ(a.stride(), 12u);
    EXPECT_EQ(a.header.imageSize, 24u);
    EXPECT_EQ(a.header.colorsUsed, 0u);
    EXPECT_EQ(a.totalSize(), 64u);

    DibImage b(5, 1, 1, BMP);
    EXPECT_EQ(b.stride(), 4u);
    EXPECT_EQ(b.header.colorsUsed, 2u);
    EXPECT_EQ(b.totalSize(), 52u);

    for (uint32_t bits : {16u, 32u}) {
        DibImage c(2, 2, bits, PNG);
        EXPECT_EQ(c.bitCount(), 24) << bits;
        EXPECT_EQ(c.info.colorType, 2);
    }
    DibImage d(7, 3, 3, BMP);
    EXPECT_EQ(d.bitCount(), 4);
    EXPECT_EQ(d.header.colorsUsed, 16u);
    EXPECT_EQ(d.stride(), 4u);
}

TEST(DibImageCreate, RefusesBadSizesWithoutAllocating) {
    DibImage img;
    EXPECT_EQ(img.create(0, 5, 24, BMP), nullptr);
    EXPECT_FALSE(img.isValid());
    EXPECT_EQ(img.create(5, -1, 8, BMP), nullptr);
    EXPECT_EQ(img.create(INT32_MIN, 1, 8, BMP), nullptr);
    // Too many pixels for the cap, and a stride * height that does not fit 32 bits.
    EXPECT_EQ(img.create(1 << 15, 1 << 15, 8, BMP), nullptr);
    EXPECT_EQ(img.create(INT32_MAX, 1, 24, BMP), nullptr);
    EXPECT_FALSE(img.isValid());
    EXPECT_EQ(img.width(), 0);
    // A refused create empties an image that held a picture.
    ASSERT_NE(img.create(4, 4, 24, BMP), nullptr);
    img.alphaCreate();
    EXPECT_EQ(img.create(-4, 4, 24, BMP), nullptr);
    EXPECT_FALSE(img.isValid());
    EXPECT_FALSE(img.hasAlpha());
}

TEST(DibImagePixels, OutOfRangeReadsAndWrites) {
    DibImage rgb = makeF();
    rgb.info.backgroundColour = RgbQuad{1, 2, 3, 4};
    EXPECT_EQ(rgb.getPixelColor(-1, 0), (RgbQuad{1, 2, 3, 4}));
    EXPECT_EQ(rgb.getPixelColor(6, 0), (RgbQuad{1, 2, 3, 4}));
    // The fourth byte of an inside pixel comes from the background colour.
    EXPECT_EQ(rgb.getPixelColor(0, 0), (RgbQuad{0, 0, 255, 4}));
    DibImage before = rgb;
    rgb.setPixelColor(-1, 0, RgbQuad{9, 9, 9, 0});
    rgb.setPixelColor(0, 5, RgbQuad{9, 9, 9, 0});
    EXPECT_TRUE(sameImage(before, rgb));

    DibImage pal(4, 4, 8, BMP);
    for (int i = 0; i < 256; ++i) pal.setPaletteColor(i, uint8_t(i), 0, 0);
    EXPECT_EQ(pal.getPixelIndex(-1, 0), 0);
    pal.info.backgroundIndex = 3;
    EXPECT_EQ(pal.getPixelIndex(-1, 0), 3);
    EXPECT_EQ(pal.getPixelColor(-1, 0), pal.getPaletteColor(3));
    EXPECT_EQ(pal.getPaletteColor(256 + 5), pal.getPaletteColor(5));

    DibImage empty;
    EXPECT_EQ(empty.getPixelIndex(0, 0), 0);
    EXPECT_EQ(empty.getPaletteColor(0), RgbQuad{});
    empty.setPixelIndex(0, 0, 1);
    EXPECT_EQ(empty.alphaGet(0, 0), 0);
}

TEST(DibImagePixels, PackedIndicesKeepTheirNeighbours) {
    for (uint32_t bits : {1u, 4u, 8u}) {
        DibImage img(13, 3, bits, BMP);
        const uint8_t maxIndex = uint8_t((1u << bits) - 1);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 13; ++x) img.setPixelIndex(x, y, uint8_t((x + y) & maxIndex));
        img.setPixelIndex(5, 1, 0xFF);  // only the low bits are stored
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 13; ++x) {
                const uint8_t expected =
                    (x == 5 && y == 1) ? maxIndex : uint8_t((x + y) & maxIndex);
                EXPECT_EQ(img.getPixelIndex(x, y), expected)
                    << bits << " bits at " << x << "," << y;
            }
    }
}

TEST(DibImagePalette, GreyRampsAndNearest) {
    DibImage img16(2, 2, 4, BMP);
    img16.setGrayPalette();
    EXPECT_EQ(img16.getPaletteColor(1), (RgbQuad{17, 17, 17, 0}));
    EXPECT_EQ(img16.getPaletteColor(15), (RgbQuad{255, 255, 255, 0}));
    EXPECT_FALSE(img16.isGrayScale());

    DibImage img256(2, 2, 8, BMP);
    img256.setGrayPalette();
    EXPECT_TRUE(img256.isGrayScale());
    DibImage rgb(2, 2, 24, BMP);
    EXPECT_FALSE(rgb.isGrayScale());

    DibImage ties(1, 1, 4, BMP);
    ties.setPaletteColor(2, 100, 0, 0);
    ties.setPaletteColor(5, 100, 0, 0);
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        ties.setPaletteColor(i, 0, 0, 255);
    EXPECT_EQ(ties.nearestIndex(RgbQuad{0, 0, 90, 0}), 2);
    EXPECT_EQ(ties.nearestIndex(RgbQuad{0, 0, 100, 0}), 2);
    // Far from everything: nothing beats the starting distance, so index 0.
    DibImage far(1, 1, 1, BMP);
    far.setPaletteColor(0, 0, 0, 0);
    far.setPaletteColor(1, 0, 0, 0);
    EXPECT_EQ(far.nearestIndex(RgbQuad{255, 255, 255, 0}), 0);
    EXPECT_EQ(rgb.nearestIndex(RgbQuad{1, 1, 1, 0}), 0);
}

TEST(DibImagePalette, SwapIndexAndRedBlue) {
    DibImage img(5, 2, 4, BMP);
    img.setPaletteColor(1, 10, 0, 0);
    img.setPaletteColor(7, 70, 0, 0);
    for (int x = 0; x < 5; ++x) img.setPixelIndex(x, 0, x % 2 ? 1 : 7), img.setPixelIndex(x, 1, 3);
    img.swapIndex(1, 7);
    EXPECT_EQ(img.getPaletteColor(1).red, 70);
    EXPECT_EQ(img.getPaletteColor(7).red, 10);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(img.getPixelIndex(x, 0), x % 2 ? 7 : 1);
        EXPECT_EQ(img.getPixelIndex(x, 1), 3);
    }
    DibImage rgb(2, 1, 24, BMP);
    uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    rgb.swapRedBlue(buffer, 100);  // limited to the stride (8 bytes: two whole pixels)
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(buffer[2], 1);
    EXPECT_EQ(buffer[3], 6);
    EXPECT_EQ(buffer[5], 4);
    EXPECT_EQ(buffer[6], 7);
}

TEST(DibImageOwnership, CopyTransferBorrow) {
    DibImage f = makeF();
    f.alphaCreate();
    f.alphaSet(1, 1, 77);
    DibImage copy(f, true, true);
    EXPECT_TRUE(sameImage(f, copy));
    EXPECT_NE(copy.block(), f.block());
    EXPECT_NE(copy.alphaPlane(), f.alphaPlane());

    DibImage view;
    view.borrow(f);
    EXPECT_EQ(view.block(), f.block());
    EXPECT_EQ(view.info.owner, &f);
    // A copy of a borrowed view owns its buffers: destroying the original must not hurt it.
    auto* fromView = new DibImage(view, true, true);
    EXPECT_EQ(fromView->info.owner, nullptr);
    view.destroy();  // frees nothing
    EXPECT_TRUE(f.isValid());

    DibImage target(2, 2, 8, BMP);
    target.transfer(*fromView);
    EXPECT_FALSE(fromView->isValid());
    delete fromView;  // frees nothing: the buffers now belong to target
    EXPECT_TRUE(sameImage(f, target));
    EXPECT_EQ(target.alphaGet(1, 1), 77);

    DibImage noPixels(f, false, false);
    EXPECT_EQ(noPixels.width(), 6);
    EXPECT_FALSE(noPixels.hasAlpha());
    EXPECT_EQ(noPixels.info.colorType, 2);

    DibImage pal = testing_support::randomImage(5, 5, 8, 3);
    DibImage palCopy(pal, false, false);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(palCopy.getPaletteColor(i), pal.getPaletteColor(i));
}

TEST(DibImageAlpha, PlaneOperations) {
    DibImage img(3, 2, 24, BMP);
    ASSERT_NE(img.alphaCreate(), nullptr);
    EXPECT_EQ(img.info.colorType, 4);
    EXPECT_EQ(img.alphaGet(2, 1), 0);
    img.alphaFill(9);
    EXPECT_EQ(img.alphaGet(2, 1), 9);
    img.alphaSet(0, 0, 1);
    img.alphaSet(2, 0, 3);
    img.alphaSet(5, 0, 200);  // ignored
    ASSERT_TRUE(img.alphaMirror());
    EXPECT_EQ(img.alphaGet(2, 0), 1);
    EXPECT_EQ(img.alphaGet(0, 0), 3);
    ASSERT_TRUE(img.alphaFlip());
    EXPECT_EQ(img.alphaGet(2, 1), 1);
    EXPECT_EQ(img.alphaGet(2, 0), 9);

    DibImage other(3, 5, 24, BMP);
    EXPECT_FALSE(other.alphaCopyFrom(img));  // other height: its plane would be over-read
    DibImage same(3, 2, 8, BMP);
    img.info.alphaMax = 100;
    EXPECT_TRUE(same.alphaCopyFrom(img));
    EXPECT_EQ(same.alphaGet(2, 1), 1);
    EXPECT_EQ(same.info.alphaMax, 100);

    img.alphaDelete();
    EXPECT_EQ(img.info.colorType, 2);
    EXPECT_FALSE(img.alphaFlip());
    EXPECT_FALSE(img.alphaMirror());
}

TEST(DibImageDpi, PelsPerMeter) {
    DibImage img;
    EXPECT_EQ(img.header.xPelsPerMeter, 2835);
    img.setYDpi(300);
    EXPECT_EQ(img.header.yPelsPerMeter, 11811);
    EXPECT_EQ(img.info.jpegQuality, 75);
    EXPECT_EQ(img.info.backgroundIndex, -1);
}
