// The streamed blur and sharpen passes give exactly what applyKernel gives: every size down
// to one pixel, any border colour, one pass or many (more than one sweep), extreme values.
#include "enhance/kernel_rows.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_support.h"

using testing_support::randomImage;
using testing_support::sameImage;

namespace {

const int32_t kBlur[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
const int32_t kSharpen[9] = {-1, -1, -1, -1, 15, -1, -1, -1, -1};

DibImage pattern(int w, int h, int kind) {
    DibImage img = randomImage(w, h, 24, uint32_t(w * 31 + h + kind));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (kind == 1) img.setPixelColor(x, y, RgbQuad{255, 255, 255, 0});
            if (kind == 2) img.setPixelColor(x, y, RgbQuad{0, 0, 0, 0});
            if (kind == 3) {
                const uint8_t v = (x + y) % 2 ? 255 : 0;
                img.setPixelColor(x, y, RgbQuad{v, uint8_t(255 - v), v, 0});
            }
        }
    return img;
}

}  // namespace

TEST(KernelRows, SameAsApplyKernel) {
    const int sizes[][2] = {{1, 1}, {1, 5}, {5, 1}, {2, 2}, {3, 3}, {17, 13}, {64, 3}, {7, 40}};
    const RgbQuad borders[] = {RgbQuad{0, 0, 0, 0}, RgbQuad{200, 10, 255, 7}};
    for (const auto& size : sizes)
        for (int kind = 0; kind < 4; ++kind)
            for (const RgbQuad& border : borders)
                for (int passes : {1, 2, 3, 8, 9, 17}) {
                    DibImage fast = pattern(size[0], size[1], kind);
                    fast.info.backgroundColour = border;
                    DibImage blurred = fast, sharpened = fast;
                    DibImage expectBlur = fast, expectSharpen = fast;
                    for (int i = 0; i < passes; ++i) {
                        expectBlur.applyKernel(kBlur, 3, 9, 0);
                        expectSharpen.applyKernel(kSharpen, 3, 7, 0);
                    }
                    ASSERT_TRUE(kernel_rows::run(blurred, kernel_rows::Kind::kBlur, passes));
                    ASSERT_TRUE(kernel_rows::run(sharpened, kernel_rows::Kind::kSharpen, passes));
                    std::string why;
                    EXPECT_TRUE(sameImage(blurred, expectBlur, &why))
                        << size[0] << "x" << size[1] << " kind " << kind << " passes " << passes
                        << ": blur " << why;
                    EXPECT_TRUE(sameImage(sharpened, expectSharpen, &why))
                        << size[0] << "x" << size[1] << " kind " << kind << " passes " << passes
                        << ": sharpen " << why;
                }
}

TEST(KernelRows, KeepsTheAlphaPlaneAndRefusesOtherPictures) {
    DibImage withAlpha = randomImage(9, 6, 24, 3, true);
    const DibImage before = withAlpha;
    ASSERT_TRUE(kernel_rows::run(withAlpha, kernel_rows::Kind::kSharpen, 2));
    ASSERT_TRUE(withAlpha.hasAlpha());
    EXPECT_EQ(std::memcmp(withAlpha.alphaPlane(), before.alphaPlane(), 9 * 6), 0);

    DibImage paletted = randomImage(9, 6, 8, 4);
    const DibImage same = paletted;
    EXPECT_FALSE(kernel_rows::run(paletted, kernel_rows::Kind::kBlur, 1));
    EXPECT_TRUE(sameImage(paletted, same));
    DibImage empty;
    EXPECT_FALSE(kernel_rows::run(empty, kernel_rows::Kind::kBlur, 1));
    DibImage untouched = randomImage(4, 4, 24, 5);
    const DibImage original = untouched;
    EXPECT_TRUE(kernel_rows::run(untouched, kernel_rows::Kind::kBlur, 0));
    EXPECT_TRUE(sameImage(untouched, original));
}
