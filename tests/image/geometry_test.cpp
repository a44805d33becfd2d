// Geometry: quarter turns, resampling, flip and mirror compared with their per-pixel
// references on every depth, and the cases whose results are known without them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "image/area_shrink.h"
#include "image/dib_image.h"
#include "image/ops_cases.h"
#include "support/reference_ops.h"
#include "support/test_support.h"

using ops_cases::identical;
using testing_support::makeF;
using testing_support::randomImage;

namespace {

DibImage withAlpha(DibImage img, uint32_t seed) {
    std::mt19937 rng(seed);
    img.alphaCreate();
    for (int32_t y = 0; y < img.height(); ++y)
        for (int32_t x = 0; x < img.width(); ++x) img.alphaSet(x, y, uint8_t(rng()));
    return img;
}

}  // namespace

TEST(GeometryMatchesReference, QuarterTurnsFlipAndMirror) {
    for (const auto& c : ops_cases::randomCases(11)) {
        SCOPED_TRACE(c.name);
        for (int op = 0; op < 4; ++op) {
            DibImage fast = c.image, ref = c.image;
            switch (op) {
                case 0:
                    ASSERT_TRUE(fast.rotateRight());
                    ASSERT_TRUE(reference_ops::rotateRight(ref));
                    break;
                case 1:
                    ASSERT_TRUE(fast.rotateLeft());
                    ASSERT_TRUE(reference_ops::rotateLeft(ref));
                    break;
                case 2:
                    ASSERT_TRUE(fast.flip());
                    ASSERT_TRUE(reference_ops::flip(ref));
                    break;
                case 3:
                    ASSERT_TRUE(fast.mirror());
                    ASSERT_TRUE(reference_ops::mirror(ref));
                    break;
            }
            EXPECT_TRUE(identical(fast, ref)) << "operation " << op;
        }
    }
}

TEST(GeometryMatchesReference, TurnIntoATargetLeavesTheSourceAlone) {
    for (const auto& c : ops_cases::randomCases(12)) {
        SCOPED_TRACE(c.name);
        DibImage source = c.image, fastOut, refOut;
        ASSERT_TRUE(source.rotateLeft(&fastOut));
        EXPECT_TRUE(identical(source, c.image));
        ASSERT_TRUE(reference_ops::rotateLeft(source, &refOut));
        EXPECT_TRUE(identical(fastOut, refOut));
        ASSERT_TRUE(source.rotateRight(&fastOut));
        ASSERT_TRUE(reference_ops::rotateRight(source, &refOut));
        EXPECT_TRUE(identical(fastOut, refOut));
    }
}

TEST(GeometryMatchesReference, ResampleInEveryModeAndDirection) {
    // (numerator, denominator) of each side: shrink, enlarge, keep, and mixed.
    const int scales[][4] = {{1, 2, 1, 2}, {2, 3, 3, 7}, {3, 1, 2, 1}, {1, 1, 1, 1},
                             {5, 2, 1, 3}, {1, 3, 4, 1}, {7, 9, 9, 7}};
    for (const auto& c : ops_cases::randomCases(13)) {
        for (const auto& s : scales) {
            const int32_t nw = std::max(1, c.image.width() * s[0] / s[1]);
            const int32_t nh = std::max(1, c.image.height() * s[2] / s[3]);
            if (int64_t(nw) * nh > 200000) continue;
            for (int mode : {0, 1}) {
                SCOPED_TRACE(c.name + " to " + std::to_string(nw) + "x" + std::to_string(nh) +
                             " mode " + std::to_string(mode));
                DibImage fast = c.image, ref = c.image;
                ASSERT_TRUE(fast.resample(nw, nh, mode));
                ASSERT_TRUE(reference_ops::resample(ref, nw, nh, mode));
                EXPECT_TRUE(identical(fast, ref));
            }
        }
    }
}

TEST(GeometryMatchesReference, AreaAveragingOverAwkwardFactors) {
    // Factors that are not exact in binary, factors close to 1 and to whole numbers.
    const int sizes[][4] = {{1000, 7, 999, 6},  {999, 31, 10, 3},     {640, 480, 639, 479},
                            {641, 17, 320, 8},  {123, 457, 122, 456}, {97, 89, 13, 11},
                            {4001, 3, 1280, 2}, {7, 1000, 3, 17}};
    std::mt19937 rng(14);
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]) + " to " +
                     std::to_string(s[2]) + "x" + std::to_string(s[3]));
        DibImage fast = randomImage(s[0], s[1], 24, rng(), true), ref = fast;
        ASSERT_TRUE(fast.resample(s[2], s[3], 0));
        ASSERT_TRUE(reference_ops::resample(ref, s[2], s[3], 0));
        EXPECT_TRUE(identical(fast, ref));
    }
}

// A decoder delivers rows from the top in bands of any size; the rows made from them must be
// the whole resample's, including where boundaries drift and the last row closes with the
// picture.
TEST(GeometryAreaShrink, RowsMadeFromTheTopInBandsMatchTheWholeResample) {
    const int sizes[][4] = {{1000, 750, 500, 375}, {97, 89, 13, 11}, {3, 10002, 2, 10000},
                            {641, 17, 320, 8},     {300, 2, 7, 1},   {5, 4000, 4, 3}};
    std::mt19937 rng(41);
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]) + " to " +
                     std::to_string(s[2]) + "x" + std::to_string(s[3]));
        const DibImage source = randomImage(s[0], s[1], 24, rng());
        DibImage whole;
        ASSERT_TRUE(whole.resampleFrom(source, s[2], s[3], 0));
        DibImage made(s[2], s[3], 24, BMP);
        // Rows not yet delivered hold garbage, as a decoder's buffer does.
        DibImage arriving(s[0], s[1], 24, BMP);
        std::memset(arriving.pixels(), 0xA5, size_t(arriving.stride()) * size_t(s[1]));
        AreaShrink shrink(arriving.pixels(), arriving.stride(), s[0], s[1], made);
        EXPECT_FALSE(shrink.advance(s[1])) << "nothing can be made without rows";
        int32_t lowest = s[1];
        while (lowest > 0) {
            const int32_t above = lowest;
            lowest = std::max<int32_t>(0, lowest - int32_t(1 + rng() % 37));
            for (int32_t y = lowest; y < above; ++y)
                std::memcpy(arriving.row(y), source.row(y), source.stride());
            if (shrink.advance(lowest)) break;
        }
        EXPECT_EQ(lowest, 0) << "the bottom output row needs the bottom source row";
        EXPECT_TRUE(shrink.advance(0));
        EXPECT_TRUE(testing_support::sameImage(made, whole));
        // Rows already made are taken as they are.
        DibImage taken;
        ASSERT_TRUE(taken.resampleFrom(source, s[2], s[3], 0, &made));
        EXPECT_TRUE(identical(taken, whole));
    }
}

TEST(GeometryEdges, QuarterTurnOfThreeByTwo) {
    DibImage img = randomImage(3, 2, 24, 21);
    const DibImage before = img;
    ASSERT_TRUE(img.rotateRight());
    ASSERT_EQ(img.width(), 2);
    ASSERT_EQ(img.height(), 3);
    // The new top-left pixel (row 2 counted from the bottom) is the old bottom-left one.
    EXPECT_EQ(img.getPixelColor(0, 2), before.getPixelColor(0, 0));
    // Clockwise: the old top-left corner goes to the top-right.
    EXPECT_EQ(img.getPixelColor(1, 2), before.getPixelColor(0, 1));
    EXPECT_EQ(img.getPixelColor(1, 0), before.getPixelColor(2, 1));
    ASSERT_TRUE(img.rotateLeft());
    EXPECT_TRUE(identical(img, before));
}

TEST(GeometryEdges, FourTurnsAndTwoFlipsRestoreWithAlpha) {
    for (uint32_t bits : {1u, 4u, 8u, 24u}) {
        SCOPED_TRACE(bits);
        DibImage img = withAlpha(randomImage(7, 5, bits, 22 + bits), 23);
        img.info.backgroundIndex = bits < 24 ? 1 : -1;
        img.setXDpi(300);
        const DibImage before = img;
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(img.rotateRight());
        EXPECT_TRUE(identical(img, before));
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(img.rotateLeft());
        EXPECT_TRUE(identical(img, before));
        ASSERT_TRUE(img.flip());
        EXPECT_FALSE(identical(img, before));
        ASSERT_TRUE(img.flip());
        EXPECT_TRUE(identical(img, before));
        ASSERT_TRUE(img.mirror());
        EXPECT_FALSE(identical(img, before));
        ASSERT_TRUE(img.mirror());
        EXPECT_TRUE(identical(img, before));
    }
}

TEST(GeometryEdges, TheFTurnsAndMirrorsAsDrawn) {
    // The F: ink in the left column, the top row and half of the middle row.
    DibImage f = makeF();
    const RgbQuad ink{0, 0, 255, 0}, paper{255, 0, 0, 0};
    DibImage m = f;
    ASSERT_TRUE(m.mirror());
    for (int32_t y = 0; y < 5; ++y) EXPECT_EQ(m.getPixelColor(5, y), ink);
    EXPECT_EQ(m.getPixelColor(0, 0), paper);
    DibImage fl = f;
    ASSERT_TRUE(fl.flip());
    EXPECT_EQ(fl.getPixelColor(4, 0), ink);  // the top bar is now at the bottom
    EXPECT_EQ(fl.getPixelColor(4, 4), paper);
    DibImage r = f;
    ASSERT_TRUE(r.rotateRight());
    ASSERT_EQ(r.width(), 5);
    ASSERT_EQ(r.height(), 6);
    // Clockwise, the left column becomes the top row and the top bar the right column.
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(r.getPixelColor(x, 5), ink);
    for (int32_t y = 1; y < 6; ++y) EXPECT_EQ(r.getPixelColor(4, y), ink);
    EXPECT_EQ(r.getPixelColor(0, 0), paper);
}

TEST(GeometryEdges, ResampleToTheSameSizeKeepsThePixels) {
    DibImage img = randomImage(31, 17, 24, 24);
    const DibImage before = img;
    ASSERT_TRUE(img.resample(31, 17, 0));
    EXPECT_TRUE(identical(img, before));
    ASSERT_TRUE(img.resample(31, 17, 1));
    EXPECT_TRUE(identical(img, before));
}

TEST(GeometryEdges, FourByFourToTwoByTwoAveragesBlocks) {
    DibImage img(4, 4, 24, BMP);
    std::mt19937 rng(25);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            img.setPixelColor(x, y, RgbQuad::fromValue(rng() & 0xFFFFFF));
    const DibImage before = img;
    ASSERT_TRUE(img.resample(2, 2, 0));
    ASSERT_EQ(img.width(), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 2; ++x) {
            int sum[3] = {0, 0, 0};
            for (int32_t j = 0; j < 2; ++j)
                for (int32_t i = 0; i < 2; ++i) {
                    const RgbQuad c = before.getPixelColor(2 * x + i, 2 * y + j);
                    sum[0] += c.blue;
                    sum[1] += c.green;
                    sum[2] += c.red;
                }
            const RgbQuad got = img.getPixelColor(x, y);
            EXPECT_EQ(got.blue, sum[0] / 4);
            EXPECT_EQ(got.green, sum[1] / 4);
            EXPECT_EQ(got.red, sum[2] / 4);
        }
}

TEST(GeometryEdges, NearestPixelPicksTruncatedPositions) {
    DibImage img = randomImage(10, 4, 8, 26);
    const DibImage before = img;
    ASSERT_TRUE(img.resample(4, 2, 1));  // fx = 2.5, fy = 2
    const int32_t xs[] = {0, 2, 5, 7};
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(img.getPixelColor(x, y), before.getPixelColor(xs[x], 2 * y));
}

TEST(GeometryEdges, RefusedSizesKeepTheImage) {
    DibImage img = withAlpha(randomImage(9, 6, 24, 27), 28);
    const DibImage before = img;
    EXPECT_FALSE(img.resample(0, 5, 0));
    EXPECT_FALSE(img.resample(5, 0, 1));
    EXPECT_FALSE(img.resample(-3, 5, 0));
    EXPECT_FALSE(img.resample(5, -3, 1));
    // Too large for create: refused without losing the picture.
    EXPECT_FALSE(img.resample(1 << 20, 1 << 20, 1));
    EXPECT_TRUE(identical(img, before));
}

TEST(GeometryEdges, EmptyImagesGiveFalse) {
    DibImage empty, target;
    EXPECT_FALSE(empty.rotateLeft());
    EXPECT_FALSE(empty.rotateRight(&target));
    EXPECT_FALSE(empty.resample(3, 3, 0));
    EXPECT_FALSE(empty.flip());
    EXPECT_FALSE(empty.mirror());
    EXPECT_FALSE(empty.isValid());
    EXPECT_FALSE(target.isValid());
}

TEST(GeometryEdges, ResampledAlphaIsSampledByNearestPixel) {
    DibImage img = withAlpha(randomImage(12, 9, 24, 29), 30);
    const DibImage before = img;
    ASSERT_TRUE(img.resample(5, 4, 0));  // area path for the colours
    ASSERT_TRUE(img.hasAlpha());
    EXPECT_EQ(img.info.colorType, 4);
    const float fx = 12.0f / 5, fy = 9.0f / 4;
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(img.alphaGet(x, y), before.alphaGet(int32_t(x * fx), int32_t(y * fy)));
}

// A large reduction puts more than 2^31 into a 32-bit accumulator: 12000 x 100 source pixels
// of 255 x 1000 each land in one output pixel.
TEST(GeometryAreaOverflow, LargeReductionMatchesTheWideReference) {
    // A bright picture (every byte 128 or more), so the sums pass 2^31.
    DibImage fast = randomImage(12000, 100, 24, 31);
    for (int32_t y = 0; y < 100; ++y)
        for (uint32_t i = 0; i < 36000; ++i) fast.row(y)[i] |= 0x80;
    DibImage ref = fast, narrow = fast;
    ASSERT_TRUE(fast.resample(100, 1, 0));
    ASSERT_TRUE(reference_ops::resample(ref, 100, 1, 0));
    EXPECT_TRUE(identical(fast, ref));
    // The same walk with 32-bit accumulators wraps and gives other colours.
    ASSERT_TRUE(
        reference_ops::resample(narrow, 100, 1, 0, reference_ops::AreaAccumulator::Narrow32));
    std::string why;
    EXPECT_FALSE(testing_support::sameImage(ref, narrow, &why));

    // Whole-number factors cover every source pixel exactly once: a flat picture keeps its
    // colour, which the wrapped sums cannot.
    DibImage flat(12000, 100, 24, BMP);
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 12000; ++x) flat.setPixelColor(x, y, RgbQuad{250, 128, 3, 0});
    ASSERT_TRUE(flat.resample(100, 1, 0));
    for (int32_t x = 0; x < 100; ++x)
        ASSERT_EQ(flat.getPixelColor(x, 0), (RgbQuad{250, 128, 3, 0})) << x;
}

// The column and row boundaries are float sums and drift: shrinking 10002 to 10000 passes
// one boundary more than there are output columns. That one must not be written.
TEST(GeometryAreaOverflow, DriftingBoundariesStayInsideThePicture) {
    const float fx = 10002.0f / 10000.0f;
    float bx = fx - 1;
    int boundaries = 0;
    for (int32_t x = 0; x < 10002; ++x)
        if (x >= bx) {
            ++boundaries;
            bx += fx;
        }
    ASSERT_GT(boundaries, 10000);

    DibImage wide = randomImage(10002, 3, 24, 32), ref = wide;
    ASSERT_TRUE(wide.resample(10000, 2, 0));
    ASSERT_TRUE(reference_ops::resample(ref, 10000, 2, 0));
    EXPECT_TRUE(identical(wide, ref));

    DibImage tall = randomImage(3, 10002, 24, 33);
    ref = tall;
    ASSERT_TRUE(tall.resample(2, 10000, 0));
    ASSERT_TRUE(reference_ops::resample(ref, 2, 10000, 0));
    EXPECT_TRUE(identical(tall, ref));
}

TEST(GeometryEdges, ABorrowedViewLeavesItsOwnerAlone) {
    for (uint32_t bits : {1u, 8u, 24u}) {
        SCOPED_TRACE(bits);
        DibImage owner = withAlpha(randomImage(9, 7, bits, 34 + bits), 35);
        const DibImage before = owner;
        for (int op = 0; op < 5; ++op) {
            DibImage view, ref(owner);
            view.borrow(owner);
            switch (op) {
                case 0:
                    ASSERT_TRUE(view.flip());
                    ASSERT_TRUE(reference_ops::flip(ref));
                    break;
                case 1:
                    ASSERT_TRUE(view.mirror());
                    ASSERT_TRUE(reference_ops::mirror(ref));
                    break;
                case 2:
                    ASSERT_TRUE(view.rotateLeft());
                    ASSERT_TRUE(reference_ops::rotateLeft(ref));
                    break;
                case 3:
                    ASSERT_TRUE(view.resample(4, 3, 0));
                    ASSERT_TRUE(reference_ops::resample(ref, 4, 3, 0));
                    break;
                case 4:
                    ASSERT_TRUE(view.resample(13, 2, 1));
                    ASSERT_TRUE(reference_ops::resample(ref, 13, 2, 1));
                    break;
            }
            EXPECT_TRUE(identical(owner, before)) << "operation " << op;
            EXPECT_TRUE(identical(view, ref)) << "operation " << op;
        }
    }
}
