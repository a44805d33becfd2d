// copyArea at every bit depth against a pixel-by-pixel reading of the source.
#include <gtest/gtest.h>

#include "image/dib_image.h"
#include "support/test_support.h"

using testing_support::randomImage;

namespace {

struct AreaCase {
    uint32_t bits;
    bool alpha;
    int32_t x, y, w, h;
};

TEST(AreaCopy, CopiesPixelsPaletteAlphaAndPictureValues) {
    const AreaCase cases[] = {
        {24, false, 0, 0, 17, 9}, {24, true, 3, 2, 5, 4}, {8, false, 16, 8, 1, 1},
        {4, false, 1, 0, 9, 9},   {4, true, 3, 5, 6, 2},  {1, false, 1, 1, 15, 7},
        {1, false, 7, 3, 9, 1},   {8, true, 0, 8, 17, 1},
    };
    for (const AreaCase& c : cases) {
        DibImage source = randomImage(17, 9, c.bits, c.bits + c.x, c.alpha);
        source.info.xDpi = 300;
        source.info.backgroundColour = RgbQuad{1, 2, 3, 0};
        DibImage area;
        ASSERT_TRUE(area.copyArea(source, c.x, c.y, c.w, c.h)) << c.bits;
        ASSERT_EQ(area.width(), c.w);
        ASSERT_EQ(area.height(), c.h);
        EXPECT_EQ(area.bitCount(), c.bits);
        EXPECT_EQ(area.hasAlpha(), c.alpha);
        EXPECT_EQ(area.info.xDpi, 300);
        EXPECT_EQ(area.info.backgroundColour, (RgbQuad{1, 2, 3, 0}));
        for (int32_t y = 0; y < c.h; ++y)
            for (int32_t x = 0; x < c.w; ++x) {
                ASSERT_EQ(area.getPixelColor(x, y), source.getPixelColor(c.x + x, c.y + y))
                    << c.bits << " bits at " << x << ", " << y;
                if (c.bits < 24) {
                    ASSERT_EQ(area.getPixelIndex(x, y), source.getPixelIndex(c.x + x, c.y + y));
                }
                if (c.alpha) {
                    ASSERT_EQ(area.alphaGet(x, y), source.alphaGet(c.x + x, c.y + y));
                }
            }
    }
}

TEST(AreaCopy, AnImageCutsItselfDown) {
    DibImage image = randomImage(8, 6, 24, 9);
    const DibImage before = image;
    ASSERT_TRUE(image.copyArea(image, 2, 1, 3, 4));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(image.getPixelColor(x, y), before.getPixelColor(2 + x, 1 + y));
}

TEST(AreaCopy, RefusesAreasNotInsideAndLeavesTheImage) {
    const DibImage source = randomImage(8, 6, 24, 10);
    const int32_t refused[][4] = {{-1, 0, 2, 2}, {0, -1, 2, 2}, {7, 0, 2, 1},
                                  {0, 5, 1, 2},  {0, 0, 0, 3},  {0, 0, 3, -1}};
    for (const auto& r : refused) {
        DibImage kept = randomImage(3, 3, 24, 11);
        EXPECT_FALSE(kept.copyArea(source, r[0], r[1], r[2], r[3]));
        EXPECT_EQ(kept.width(), 3);
    }
    DibImage none;
    EXPECT_FALSE(none.copyArea(DibImage(), 0, 0, 1, 1));
}

}  // namespace
