// The convolution compared with its per-pixel reference on every depth and kernel shape,
// and the border and interior values the three kernels of the application must give.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "image/dib_image.h"
#include "image/ops_cases.h"
#include "support/reference_ops.h"
#include "support/test_support.h"

using ops_cases::identical;
using testing_support::randomImage;

namespace {

struct Kernel {
    std::string name;
    std::vector<int32_t> cells;
    int32_t size, divisor, offset;
};

Kernel threeByThree(const char* name, int32_t cell, int32_t centre, int32_t divisor) {
    std::vector<int32_t> cells(9, cell);
    cells[4] = centre;
    return Kernel{name, cells, 3, divisor, 0};
}

std::vector<Kernel> kernels() {
    std::vector<Kernel> k = {threeByThree("blur", 1, 1, 9), threeByThree("soften", 1, 8, 16),
                             threeByThree("sharpen", -1, 15, 7)};
    // Not symmetric, so a kernel read upside down or sideways shows.
    k.push_back(Kernel{"skew", {1, 2, 0, -3, 5, 0, 0, 0, 7}, 3, 5, 10});
    k.push_back(Kernel{"raw sum", {0, 1, 0, 1, -4, 1, 0, 1, 0}, 3, 0, 128});
    k.push_back(Kernel{"negative divisor", {1, 1, 1, 1, 1, 1, 1, 1, 1}, 3, -3, 300});
    k.push_back(Kernel{"even 2x2", {1, 2, 3, 4}, 2, 10, 0});
    k.push_back(Kernel{"1x1", {3}, 1, 2, -20});
    std::vector<int32_t> five(25);
    for (int i = 0; i < 25; ++i) five[size_t(i)] = (i * 7) % 11 - 5;
    k.push_back(Kernel{"5x5", five, 5, 3, 64});
    // Large coefficients leave the 16-bit lanes and the float-exact range.
    k.push_back(Kernel{"huge", {40000, -1, 2, 70000, 1, -90000, 3, 4, 5}, 3, 997, 0});
    // 16-bit coefficients whose sums pass 2^24, where a float quotient could round.
    k.push_back(Kernel{"wide sums",
                       {32767, 32767, 32767, -32768, 32767, 32767, 32767, 32767, 32767},
                       3,
                       262144,
                       3});
    k.push_back(Kernel{"huge offset", {1, 0, 0, 0, 1, 0, 0, 0, 1}, 3, 1, INT_MAX});
    k.push_back(Kernel{"huge negative offset", {1, 0, 0, 0, 1, 0, 0, 0, 1}, 3, 1, INT_MIN});
    k.push_back(Kernel{"size 0", {}, 0, 0, 77});
    return k;
}

}  // namespace

TEST(FilterMatchesReference, EveryKernelOnEveryDepth) {
    const auto ks = kernels();
    for (const auto& c : ops_cases::randomCases(61)) {
        SCOPED_TRACE(c.name);
        // The paletted references search the palette per pixel: the small ones suffice.
        if (c.image.bitCount() < 24 && c.image.width() * c.image.height() > 12000) continue;
        for (const auto& k : ks) {
            DibImage fast = c.image, ref = c.image;
            ASSERT_TRUE(fast.applyKernel(k.cells.data(), k.size, k.divisor, k.offset));
            ASSERT_TRUE(
                reference_ops::applyKernel(ref, k.cells.data(), k.size, k.divisor, k.offset));
            EXPECT_TRUE(identical(fast, ref)) << k.name;
        }
    }
}

TEST(FilterEdges, BlurOfUniformGreyDarkensTheBorder) {
    DibImage img(6, 5, 24, BMP);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) img.setPixelColor(x, y, RgbQuad{100, 100, 100, 0});
    const Kernel blur = threeByThree("blur", 1, 1, 9);
    ASSERT_TRUE(img.applyKernel(blur.cells.data(), 3, 9, 0));
    EXPECT_EQ(img.getPixelColor(2, 2), (RgbQuad{100, 100, 100, 0}));
    EXPECT_EQ(img.getPixelColor(3, 0).green, 66);  // six real neighbours, three black
    EXPECT_EQ(img.getPixelColor(0, 2).red, 66);
    EXPECT_EQ(img.getPixelColor(0, 0).blue, 44);  // a corner: four real, five black
    EXPECT_EQ(img.getPixelColor(5, 4).blue, 44);
}

TEST(FilterEdges, BorderReadsTheBackgroundColour) {
    DibImage img(4, 4, 24, BMP);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) img.setPixelColor(x, y, RgbQuad{100, 100, 100, 0});
    img.info.backgroundColour = RgbQuad{100, 100, 100, 0};
    const Kernel blur = threeByThree("blur", 1, 1, 9);
    const DibImage before = img;
    ASSERT_TRUE(img.applyKernel(blur.cells.data(), 3, 9, 0));
    EXPECT_TRUE(identical(img, before));
}

TEST(FilterEdges, SharpenKeepsTheInteriorAndBrightensTheBorder) {
    DibImage img(5, 5, 24, BMP);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 5; ++x) img.setPixelColor(x, y, RgbQuad{20, 20, 20, 0});
    const Kernel sharpen = threeByThree("sharpen", -1, 15, 7);
    ASSERT_TRUE(img.applyKernel(sharpen.cells.data(), 3, 7, 0));
    EXPECT_EQ(img.getPixelColor(2, 2).red, 20);
    EXPECT_EQ(img.getPixelColor(2, 0).red, (15 - 5) * 20 / 7);  // 28
    EXPECT_EQ(img.getPixelColor(0, 0).red, (15 - 3) * 20 / 7);  // 34
}

TEST(FilterEdges, KernelRowsFollowTheBottomUpRows) {
    // Only the cell below the centre in storage order (kernel row 0 = row y - 1) is set.
    const int32_t cells[9] = {0, 1, 0, 0, 0, 0, 0, 0, 0};
    DibImage img(1, 3, 24, BMP);
    img.setPixelColor(0, 0, RgbQuad{10, 10, 10, 0});
    img.setPixelColor(0, 1, RgbQuad{20, 20, 20, 0});
    img.setPixelColor(0, 2, RgbQuad{30, 30, 30, 0});
    ASSERT_TRUE(img.applyKernel(cells, 3, 1, 0));
    EXPECT_EQ(img.getPixelColor(0, 0).red, 0);
    EXPECT_EQ(img.getPixelColor(0, 1).red, 10);
    EXPECT_EQ(img.getPixelColor(0, 2).red, 20);
}

TEST(FilterEdges, ZeroDivisorAddsTheRawSum) {
    DibImage img(3, 3, 24, BMP);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) img.setPixelColor(x, y, RgbQuad{10, 10, 10, 0});
    const int32_t cells[9] = {0, 0, 0, 0, 2, 0, 0, 0, 0};
    ASSERT_TRUE(img.applyKernel(cells, 3, 0, 5));
    EXPECT_EQ(img.getPixelColor(1, 1).red, 25);
}

TEST(FilterEdges, GreyPictureMapsBackToThePalette) {
    // An 8-bit picture whose palette holds only black, 50 and white.
    DibImage img(5, 5, 8, BMP);
    img.setPaletteColor(1, 50, 50, 50);
    img.setPaletteColor(2, 255, 255, 255);
    for (uint32_t i = 3; i < 256; ++i) img.setPaletteColor(i, 255, 255, 255);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 5; ++x) img.setPixelIndex(x, y, 2);
    const Kernel blur = threeByThree("blur", 1, 1, 9);
    ASSERT_TRUE(img.applyKernel(blur.cells.data(), 3, 9, 0));
    EXPECT_EQ(img.getPixelIndex(2, 2), 2);  // 255 stays white
    EXPECT_EQ(img.getPixelIndex(0, 0), 1);  // 113 is nearest to 50
    EXPECT_EQ(img.getPixelIndex(2, 0), 2);  // 170 is nearest to white
}

TEST(FilterEdges, QuotientsOfLargeSumsAreExact) {
    // A white picture on a white background: every tap reads 255, the sum is 255 x 294896 =
    // 75198480 and the divisor one more, so the quotient is just below 1 and truncates to 0.
    // (In single precision both round to the same number and the quotient would be 1.)
    const int32_t cells[9] = {32767, 32767, 32767, 32767, 32760, 32767, 32767, 32767, 32767};
    DibImage img(3, 2, 24, BMP);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) img.setPixelColor(x, y, RgbQuad{255, 255, 255, 0});
    img.info.backgroundColour = RgbQuad{255, 255, 255, 0};
    ASSERT_TRUE(img.applyKernel(cells, 3, 75198481, 100));
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(img.getPixelColor(x, y).green, 100);
}

TEST(FilterEdges, EmptyImageAndMissingKernel) {
    DibImage empty;
    const int32_t cells[9] = {};
    EXPECT_FALSE(empty.applyKernel(cells, 3, 1, 0));
    DibImage img = randomImage(3, 3, 24, 62);
    const DibImage before = img;
    EXPECT_FALSE(img.applyKernel(nullptr, 3, 1, 0));
    EXPECT_TRUE(identical(img, before));
}
