// PhotoEdit's corrections as calls on its picture: contrast and brightness, sharpen and blur
// passes, quarter turns, resizing with the aspect kept, and a colour shift through the
// planes. Each is checked against the image operation it stands for, or against plain
// arithmetic where the numbers are known.
#include <gtest/gtest.h>

#include <algorithm>

#include "enhance/photo_edit.h"
#include "support/test_support.h"

using testing_support::makeF;
using testing_support::randomImage;
using testing_support::sameImage;

namespace {

const int32_t kBlur[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
const int32_t kSoften[9] = {1, 1, 1, 1, 8, 1, 1, 1, 1};
const int32_t kSharpen[9] = {-1, -1, -1, -1, 15, -1, -1, -1, -1};

PhotoEdit photoOf(const DibImage& image) {
    PhotoEdit p;
    p.image = image;
    return p;
}

}  // namespace

TEST(PhotoOps, PixelReadsGiveRedInTheLowByte) {
    PhotoEdit p = photoOf(makeF());
    EXPECT_EQ(p.getPixelRgb(0, 4), 0x000000ffu);  // the F's ink, red
    EXPECT_EQ(p.getPixelRgb(5, 0), 0x00ff0000u);  // background, blue
    p.image.info.backgroundColour = RgbQuad{3, 2, 1, 0};
    EXPECT_EQ(p.getPixelRgb(-1, 0), 0x00030201u);  // outside: the background colour
}

TEST(PhotoOps, ContrastAndBrightnessAreAdjustLight) {
    const DibImage base = randomImage(9, 7, 24, 3);
    PhotoEdit p = photoOf(base);
    EXPECT_TRUE(p.setContrast(100.0));
    EXPECT_TRUE(sameImage(p.image, base));  // exactly 100: untouched

    for (double percent : {110.0, 109.9, 50.0, 0.0, -20.0, 250.0}) {
        PhotoEdit q = photoOf(base);
        q.setContrast(percent);
        DibImage expected = base;
        expected.adjustLight(0, int(percent));  // truncated to an integer
        EXPECT_TRUE(sameImage(q.image, expected)) << percent;
    }
    for (int amount : {20, -35, 0, 300}) {
        PhotoEdit q = photoOf(base);
        q.brighten(amount);
        DibImage expected = base;
        expected.adjustLight(amount, 100);
        EXPECT_TRUE(sameImage(q.image, expected)) << amount;
    }
    // Known values: +20 turns 250 into 255 and 10 into 30; 110 % scales the distance
    // from 128 by 1.1.
    DibImage grey(2, 1, 24, 0);
    grey.setPixelColor(0, 0, RgbQuad{250, 250, 250, 0});
    grey.setPixelColor(1, 0, RgbQuad{10, 10, 10, 0});
    PhotoEdit g = photoOf(grey);
    g.brighten(20);
    EXPECT_EQ(g.image.getPixelColor(0, 0).red, 255);
    EXPECT_EQ(g.image.getPixelColor(1, 0).red, 30);
    PhotoEdit c = photoOf(grey);
    c.setContrast(110.0);
    EXPECT_EQ(c.image.getPixelColor(0, 0).green, 255);  // 128 + 122 * 1.1 = 262.2
    EXPECT_EQ(c.image.getPixelColor(1, 0).green, 0);    // 128 - 118 * 1.1 = -1.8
}

TEST(PhotoOps, ExtremeCorrectionsSaturate) {
    const DibImage base = randomImage(5, 4, 24, 8);
    PhotoEdit up = photoOf(base);
    up.brighten(2147483647);
    PhotoEdit down = photoOf(base);
    down.brighten(-2147483647 - 1);
    PhotoEdit steep = photoOf(base);
    steep.setContrast(1e300);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(up.image.getPixelColor(x, y), (RgbQuad{255, 255, 255, 0}));
            EXPECT_EQ(down.image.getPixelColor(x, y), (RgbQuad{0, 0, 0, 0}));
            const RgbQuad in = base.getPixelColor(x, y), out = steep.image.getPixelColor(x, y);
            EXPECT_EQ(out.red, in.red > 128 ? 255 : in.red < 128 ? 0 : 128);
        }
}

TEST(PhotoOps, SharpenAndBlurPasses) {
    const DibImage base = randomImage(8, 6, 24, 5);
    PhotoEdit zero = photoOf(base);
    EXPECT_TRUE(zero.sharpen(0));
    EXPECT_TRUE(sameImage(zero.image, base));

    PhotoEdit blur = photoOf(base);
    blur.sharpen(-2);
    DibImage blurred = base;
    blurred.applyKernel(kBlur, 3, 9, 0);
    blurred.applyKernel(kBlur, 3, 9, 0);
    EXPECT_TRUE(sameImage(blur.image, blurred));

    PhotoEdit sharp = photoOf(base);
    sharp.sharpen(3);
    DibImage sharpened = base;
    for (int i = 0; i < 3; ++i) sharpened.applyKernel(kSharpen, 3, 7, 0);
    EXPECT_TRUE(sameImage(sharp.image, sharpened));

    PhotoEdit soft = photoOf(base);
    EXPECT_TRUE(soft.applyFilter(PhotoEdit::kSoften));
    DibImage softened = base;
    softened.applyKernel(kSoften, 3, 16, 0);
    EXPECT_TRUE(sameImage(soft.image, softened));
    EXPECT_FALSE(soft.applyFilter(3));
    EXPECT_TRUE(sameImage(soft.image, softened));

    // A uniform grey interior stays; the blur darkens the border against black.
    DibImage grey(5, 5, 24, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) grey.setPixelColor(x, y, RgbQuad{100, 100, 100, 0});
    PhotoEdit g = photoOf(grey);
    g.sharpen(-1);
    EXPECT_EQ(g.image.getPixelColor(2, 2).red, 100);
    EXPECT_EQ(g.image.getPixelColor(2, 0).red, 66);
    EXPECT_EQ(g.image.getPixelColor(0, 0).red, 44);
}

TEST(PhotoOps, QuarterTurns) {
    const DibImage f = makeF();
    PhotoEdit left = photoOf(f);
    left.setQuarterTurns(-1);
    DibImage turnedLeft = f;
    turnedLeft.rotateLeft();
    EXPECT_TRUE(sameImage(left.image, turnedLeft));

    PhotoEdit right = photoOf(f);
    right.rotateQuarter(0);
    DibImage turnedRight = f;
    turnedRight.rotateRight();
    EXPECT_TRUE(sameImage(right.image, turnedRight));
    EXPECT_FALSE(right.rotateQuarter(2));

    PhotoEdit four = photoOf(f);
    four.setQuarterTurns(4);
    EXPECT_TRUE(sameImage(four.image, f));
    PhotoEdit five = photoOf(f);
    five.setQuarterTurns(5);
    EXPECT_TRUE(sameImage(five.image, turnedRight));
    PhotoEdit back = photoOf(f);
    back.setQuarterTurns(-6);
    DibImage half = f;
    half.rotateLeft();
    half.rotateLeft();
    EXPECT_TRUE(sameImage(back.image, half));
    EXPECT_EQ(back.width(), 6);
    PhotoEdit huge = photoOf(f);
    huge.setQuarterTurns(-2147483647 - 1);  // a multiple of four
    EXPECT_TRUE(sameImage(huge.image, f));
}

TEST(PhotoOps, ResizeKeepsTheAspectWhenOneSideIsZero) {
    PhotoEdit p = photoOf(randomImage(1600, 1200, 24, 1));
    ASSERT_TRUE(p.resize(800, 0, 0));
    EXPECT_EQ(p.width(), 800);
    EXPECT_EQ(p.height(), 600);
    ASSERT_TRUE(p.resize(0, 333, 1));
    EXPECT_EQ(p.width(), 444);
    EXPECT_EQ(p.height(), 333);
    EXPECT_FALSE(p.resize(0, 0, 0));
    EXPECT_EQ(p.width(), 444);
    // The derived side is truncated: 7 x 3 to width 5 is 5 x 2.
    PhotoEdit q = photoOf(randomImage(7, 3, 24, 2));
    q.resize(5, 0, 0);
    EXPECT_EQ(q.height(), 2);
    DibImage expected = randomImage(7, 3, 24, 2);
    expected.resample(5, 2, 0);
    EXPECT_TRUE(sameImage(q.image, expected));
    PhotoEdit empty;
    EXPECT_FALSE(empty.resize(10, 0, 0));
}

// assignResized is assign followed by resize: the same picture, planes, name and result,
// whether the resample shrinks, enlarges, goes nearest, or fails and keeps the copy.
TEST(PhotoOps, AssignResizedIsAssignThenResize) {
    struct Case {
        int32_t width, height;
        uint32_t bitCount;
        int32_t newWidth, newHeight;
        int mode;
    };
    const Case cases[] = {{300, 200, 24, 128, 0, 0}, {300, 200, 24, 128, 90, 0},
                          {30, 20, 24, 61, 0, 0},    {30, 20, 8, 13, 0, 0},
                          {30, 20, 24, 0, 17, 1},    {30, 20, 24, 0, 0, 0}};
    for (const Case& c : cases) {
        const bool colour = c.bitCount == 24;
        PhotoEdit source = photoOf(randomImage(c.width, c.height, c.bitCount, 7, colour));
        source.fileName = "source.jpg";
        if (colour) {
            ASSERT_TRUE(source.splitChannels());
        }
        PhotoEdit expected;
        expected.assign(source);
        const bool ok = expected.resize(c.newWidth, c.newHeight, c.mode);
        PhotoEdit target = photoOf(randomImage(5, 4, 24, 1));
        EXPECT_EQ(target.assignResized(source, c.newWidth, c.newHeight, c.mode), ok);
        EXPECT_TRUE(sameImage(target.image, expected.image)) << c.newWidth << "x" << c.newHeight;
        EXPECT_TRUE(sameImage(target.redPlane, expected.redPlane));
        EXPECT_TRUE(sameImage(target.bluePlane, expected.bluePlane));
        EXPECT_EQ(target.fileName, "source.jpg");
    }
}

TEST(PhotoOps, SplitAndRecombineCarryAColourShift) {
    const DibImage base = randomImage(11, 9, 24, 4);
    PhotoEdit p = photoOf(base);
    ASSERT_TRUE(p.splitChannels());
    EXPECT_EQ(p.redPlane.bitCount(), 8);
    PhotoEdit unchanged = p;
    unchanged.recombine();
    EXPECT_TRUE(sameImage(unchanged.image, base));  // the OR of the planes is the picture

    // A red channel shift of +10 moves every red value v to min(255, v + 40).
    PhotoEdit::offsetPalette(p.redPlane, 10, 0, 0);
    p.recombine();
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 11; ++x) {
            const RgbQuad in = base.getPixelColor(x, y), out = p.image.getPixelColor(x, y);
            EXPECT_EQ(out.red, std::min(255, in.red + 40));
            EXPECT_EQ(out.green, in.green);
            EXPECT_EQ(out.blue, in.blue);
        }
}

TEST(PhotoOps, CombinePlanesOfAnotherSizeMixes) {
    PhotoEdit small = photoOf(randomImage(3, 2, 24, 6));
    small.splitChannels();
    PhotoEdit p;
    p.createFilled(5, 4, 0, 16);
    ASSERT_TRUE(p.combinePlanes(3, &small.redPlane, &small.greenPlane, &small.bluePlane));
    DibImage expected(5, 4, 24, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) expected.setPixelColor(x, y, RgbQuad{});
    expected.mix(small.redPlane, 3, 0, 0);
    expected.mix(small.greenPlane, 3, 0, 0);
    expected.mix(small.bluePlane, 3, 0, 0);
    EXPECT_TRUE(sameImage(p.image, expected));
    EXPECT_EQ(p.image.getPixelColor(2, 1), small.image.getPixelColor(2, 1));
    EXPECT_EQ(p.image.getPixelColor(4, 3), (RgbQuad{}));
}

TEST(PhotoOps, EffectsAreTheImageOperations) {
    const DibImage base = randomImage(6, 5, 24, 9);
    PhotoEdit g = photoOf(base);
    g.grayScale();
    DibImage grey = base;
    grey.grayScale();
    EXPECT_TRUE(sameImage(g.image, grey));
    PhotoEdit t = photoOf(base);
    t.tone();
    t.colorize(30, 50);
    DibImage sepia = base;
    sepia.tone();
    sepia.colorize(30, 50);
    EXPECT_TRUE(sameImage(t.image, sepia));
    PhotoEdit n = photoOf(base);
    n.negative();
    n.negative();
    EXPECT_TRUE(sameImage(n.image, base));
}
