// DibImage: creation and its refusals, pixel and palette access, ownership, the alpha plane.
#include "image/dib_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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

TEST(DibImageCreate, RefusesBadSizesWithoutAllocatingAndSaysWhy) {
    struct Case {
        int32_t width, height;
        uint32_t bits;
        const char* message;
    };
    // Too many pixels for the cap (including a stride * height beyond 32 bits), and sides that
    // hold no pixel at all.
    const Case cases[] = {
        {20000, 20000, 24, "Image too large: 20000 x 20000"},
        {1 << 15, 1 << 15, 8, "Image too large: 32768 x 32768"},
        {INT32_MAX, 1, 24, "Image too large: 2147483647 x 1"},
        {0, 5, 24, "Invalid image size: 0 x 5"},
        {5, -1, 8, "Invalid image size: 5 x -1"},
        {INT32_MIN, 1, 8, "Invalid image size: -2147483648 x 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        DibImage img;
        EXPECT_EQ(img.create(c.width, c.height, c.bits, BMP), nullptr);
        EXPECT_FALSE(img.isValid());
        EXPECT_EQ(img.width(), 0);
        EXPECT_STREQ(img.lastError(), c.message);
        // A refused create empties an image that held a picture.
        ASSERT_NE(img.create(4, 4, 24, BMP), nullptr);
        img.alphaCreate();
        EXPECT_EQ(img.create(c.width, c.height, c.bits, BMP), nullptr);
        EXPECT_FALSE(img.isValid());
        EXPECT_FALSE(img.hasAlpha());
    }
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

// A copy into an image that already has a block of the same layout reuses that block, and
// ends exactly as a copy into an empty image: pixels, palette, alpha, header and info.
TEST(DibImageOwnership, CopyIntoTheSameLayoutEqualsAFreshCopy) {
    struct Case {
        uint32_t bitCount;
        bool sourceAlpha, targetAlpha, copyAlpha;
    };
    const Case cases[] = {{24, false, false, true}, {8, false, false, true},
                          {1, false, false, true},  {24, true, false, false},
                          {24, false, true, true},  {24, true, true, true}};
    for (const Case& c : cases) {
        DibImage source = testing_support::randomImage(7, 5, c.bitCount, 1, c.sourceAlpha);
        source.setXDpi(300);
        DibImage fresh;
        ASSERT_TRUE(fresh.copyFrom(source, true, c.copyAlpha));
        DibImage target = testing_support::randomImage(7, 5, c.bitCount, 2, c.targetAlpha);
        const uint8_t* block = target.block();
        ASSERT_TRUE(target.copyFrom(source, true, c.copyAlpha));
        SCOPED_TRACE(testing::Message() << c.bitCount << " " << c.sourceAlpha << c.targetAlpha);
        EXPECT_EQ(target.block() == block, !(c.copyAlpha && c.sourceAlpha));
        EXPECT_TRUE(sameImage(target, fresh));
        EXPECT_EQ(std::memcmp(target.block(), fresh.block(), fresh.totalSize()), 0);
        EXPECT_EQ(std::memcmp(&target.header, &fresh.header, sizeof fresh.header), 0);
        EXPECT_EQ(target.info.colorType, fresh.info.colorType);
        EXPECT_EQ(target.info.stride, fresh.info.stride);
        EXPECT_EQ(target.info.xDpi, 300);
        EXPECT_EQ(target.pixels() - target.block(), fresh.pixels() - fresh.block());
        EXPECT_EQ(target.info.owner, nullptr);
    }
}

namespace {

// Where an image's buffers are and every byte in them.
struct Buffers {
    const uint8_t* block = nullptr;
    const uint8_t* alpha = nullptr;
    std::vector<uint8_t> blockBytes, alphaBytes;

    explicit Buffers(const DibImage& img) : block(img.block()), alpha(img.alphaPlane()) {
        if (block) blockBytes.assign(block, block + img.totalSize());
        if (alpha) alphaBytes.assign(alpha, alpha + size_t(img.width()) * img.height());
    }
    bool operator==(const Buffers&) const = default;
};

}  // namespace

// Everything a borrowed view can do to drop, replace or rebuild its buffers: the owner's block
// and alpha plane stay where they are, as they were, and are freed once, by the owner.
TEST(DibImageOwnership, ABorrowedViewNeverFreesOrReplacesTheOwnersBuffers) {
    using Op = std::function<void(DibImage&)>;
    const std::vector<std::pair<const char*, Op>> ops = {
        {"alphaCreate", [](DibImage& v) { ASSERT_NE(v.alphaCreate(), nullptr); }},
        {"alphaDelete", [](DibImage& v) { v.alphaDelete(); }},
        {"alphaFlip", [](DibImage& v) { ASSERT_TRUE(v.alphaFlip()); }},
        {"alphaMirror", [](DibImage& v) { ASSERT_TRUE(v.alphaMirror()); }},
        {"destroy", [](DibImage& v) { v.destroy(); }},
        {"create", [](DibImage& v) { ASSERT_NE(v.create(3, 2, 8, PNG), nullptr); }},
        {"refused create", [](DibImage& v) { EXPECT_EQ(v.create(0, 2, 8, PNG), nullptr); }},
        {"copyFrom", [](DibImage& v) { ASSERT_TRUE(v.copyFrom(makeF(), true, true)); }},
        {"copyFrom itself", [](DibImage& v) { ASSERT_TRUE(v.copyFrom(DibImage(v), true, true)); }},
        {"transfer in",
         [](DibImage& v) {
             DibImage other = makeF();
             v.transfer(other);
         }},
        {"transfer out",
         [](DibImage& v) {
             DibImage other;
             other.transfer(v);
         }},
        {"move out", [](DibImage& v) { DibImage other(std::move(v)); }},
        {"move in", [](DibImage& v) { v = DibImage(2, 2, 1, GIF); }},
        {"borrow another",
         [](DibImage& v) {
             static DibImage another = makeF();
             v.borrow(another);
         }},
        {"setXDpi", [](DibImage& v) { v.setXDpi(300); }},
        {"resample", [](DibImage& v) { ASSERT_TRUE(v.resample(4, 9, 1)); }},
        {"rotateLeft", [](DibImage& v) { ASSERT_TRUE(v.rotateLeft()); }},
        {"rotateRight", [](DibImage& v) { ASSERT_TRUE(v.rotateRight()); }},
        {"flip", [](DibImage& v) { ASSERT_TRUE(v.flip()); }},
        {"mirror", [](DibImage& v) { ASSERT_TRUE(v.mirror()); }},
        {"alphaCreate then flip",
         [](DibImage& v) {
             ASSERT_NE(v.alphaCreate(), nullptr);
             ASSERT_TRUE(v.alphaFlip());
             v.alphaDelete();
         }},
    };
    for (uint32_t bits : {1u, 8u, 24u}) {
        for (const auto& [name, op] : ops) {
            SCOPED_TRACE(std::string(name) + ", " + std::to_string(bits) + " bits");
            DibImage owner = testing_support::randomImage(7, 5, bits, 11 + bits, true);
            const Buffers before(owner);
            {
                DibImage view;
                view.borrow(owner);
                op(view);
            }
            EXPECT_TRUE(Buffers(owner) == before);
            EXPECT_TRUE(owner.hasAlpha());
        }
    }
}

TEST(DibImageOwnership, AViewsOwnAlphaPlaneIsItsOwn) {
    DibImage owner = testing_support::randomImage(6, 4, 24, 5, true);
    const Buffers before(owner);
    DibImage view;
    view.borrow(owner);
    ASSERT_NE(view.alphaCreate(), nullptr);
    EXPECT_NE(view.alphaPlane(), owner.alphaPlane());
    EXPECT_EQ(view.block(), owner.block());
    view.alphaFill(7);
    EXPECT_EQ(view.alphaGet(5, 3), 7);
    EXPECT_TRUE(Buffers(owner) == before);
    // Dropping the view's plane leaves the view without one and the owner with its own.
    view.alphaDelete();
    EXPECT_FALSE(view.hasAlpha());
    EXPECT_TRUE(Buffers(owner) == before);
}

TEST(DibImageOwnership, MovingTakesTheBuffersAlong) {
    DibImage a = testing_support::randomImage(5, 4, 8, 9, true);
    a.info.backgroundIndex = 3;
    const DibImage copy(a);
    const uint8_t* block = a.block();
    const uint8_t* alpha = a.alphaPlane();

    DibImage b(std::move(a));
    EXPECT_EQ(b.block(), block);
    EXPECT_EQ(b.alphaPlane(), alpha);
    EXPECT_EQ(b.info.backgroundIndex, 3);
    EXPECT_TRUE(sameImage(b, copy));
    EXPECT_FALSE(a.isValid());  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_FALSE(a.hasAlpha());

    DibImage c(2, 2, 24, BMP);
    c.alphaCreate();
    c = std::move(b);
    EXPECT_EQ(c.block(), block);
    EXPECT_EQ(c.alphaPlane(), alpha);
    EXPECT_TRUE(sameImage(c, copy));
    EXPECT_FALSE(b.isValid());  // NOLINT(bugprone-use-after-move)

    // Moving an image onto itself keeps it.
    DibImage& same = c;
    c = std::move(same);
    EXPECT_EQ(c.block(), block);
    EXPECT_TRUE(sameImage(c, copy));

    // Moving a view keeps it a view: the owner's buffers stay the owner's.
    DibImage view;
    view.borrow(c);
    const Buffers before(c);
    {
        DibImage moved(std::move(view));
        EXPECT_EQ(moved.block(), block);
    }
    EXPECT_TRUE(Buffers(c) == before);
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

TEST(DibImageColours, WrittenIntoA24BitPictureAsGetPixelColorGivesThem) {
    // Odd widths meet the partial bytes of 1- and 4-bit rows.
    for (const uint32_t bits : {1u, 4u, 8u, 24u}) {
        SCOPED_TRACE(bits);
        const DibImage source = testing_support::randomImage(13, 7, bits, bits);
        DibImage out(13, 7, 24, 0);
        ASSERT_TRUE(source.writeColoursInto(out));
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 13; ++x) {
                const RgbQuad want = source.getPixelColor(x, y), got = out.getPixelColor(x, y);
                ASSERT_TRUE(want.blue == got.blue && want.green == got.green && want.red == got.red)
                    << x << "," << y;
            }
        DibImage wrongSize(12, 7, 24, 0), paletted(13, 7, 8, 0);
        EXPECT_FALSE(source.writeColoursInto(wrongSize));
        EXPECT_FALSE(source.writeColoursInto(paletted));
    }
}
