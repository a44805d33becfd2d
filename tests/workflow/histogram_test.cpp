// The histogram on pictures whose counts are known: single colours, a ramp, clipped pixels,
// the planes as the view shows them (palettes shifted), and the chain's recomputation.
#include "workflow/histogram.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tests/workflow/fake_view.h"
#include "workflow/preview_chain.h"

using testing_support::randomImage;
using testing_support::TempDir;

namespace {

DibImage filled(int w, int h, RgbQuad colour) {
    DibImage image(w, h, 24, BMP);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setPixelColor(x, y, colour);
    return image;
}

TEST(Histogram, CountsSingleColours) {
    struct Case {
        RgbQuad colour;  // blue, green, red
        int luma;
        bool shadow, highlight;
    } cases[] = {
        {{0, 0, 0, 0}, 0, true, false},          {{255, 255, 255, 0}, 255, false, true},
        {{0, 0, 255, 0}, 76, true, true},         // red: 0.299 x 255 = 76.2
        {{0, 255, 0, 0}, 150, true, true},        // green: 149.7
        {{255, 0, 0, 0}, 29, true, true},         // blue: 29.07
        {{100, 150, 200, 0}, 159, false, false},  // 59.8 + 88.05 + 11.4 = 159.25 (159.75 fixed)
    };
    for (const Case& c : cases) {
        PhotoEdit photo;
        photo.image = filled(6, 5, c.colour);
        ASSERT_TRUE(photo.splitChannels());
        const Histogram h = planesHistogram(photo);
        EXPECT_EQ(h.pixels, 30u);
        EXPECT_EQ(h.red[c.colour.red], 30u);
        EXPECT_EQ(h.green[c.colour.green], 30u);
        EXPECT_EQ(h.blue[c.colour.blue], 30u);
        EXPECT_EQ(h.luminance[size_t(c.luma)], 30u) << int(c.colour.red);
        EXPECT_EQ(h.clippedShadows, c.shadow ? 30u : 0u);
        EXPECT_EQ(h.clippedHighlights, c.highlight ? 30u : 0u);
        EXPECT_EQ(h.peak(), 30u);
        EXPECT_EQ(h, pictureHistogram(photo.image));
    }
}

TEST(Histogram, RampFillsEveryBinOnce) {
    DibImage ramp(256, 1, 24, BMP);
    for (int i = 0; i < 256; ++i)
        ramp.setPixelColor(i, 0, RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0});
    const Histogram h = pictureHistogram(ramp);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(h.red[size_t(i)], 1u);
        EXPECT_EQ(h.luminance[size_t(i)], 1u) << "grey's luma is itself";
    }
    EXPECT_EQ(h.clippedShadows, 1u);
    EXPECT_EQ(h.clippedHighlights, 1u);
    EXPECT_DOUBLE_EQ(h.shadowShare(), 1.0 / 256);
    EXPECT_EQ(clippedText(h), "shadows clipped 0.4 %   highlights clipped 0.4 %");
    EXPECT_EQ(clippedText(Histogram{}), "shadows clipped 0.0 %   highlights clipped 0.0 %");
}

TEST(Histogram, PlanesCountWhatTheViewShows) {
    // Shifted palettes, as the colour rows leave them: the counts follow the shown colours.
    PhotoEdit photo;
    photo.image = randomImage(37, 23, 24, 5);
    ASSERT_TRUE(photo.splitChannels());
    PhotoEdit::offsetPalette(photo.redPlane, 10, 0, 0);
    PhotoEdit::offsetPalette(photo.bluePlane, 0, 0, -20);
    PhotoEdit shown = photo;
    ASSERT_TRUE(shown.recombine());
    EXPECT_EQ(planesHistogram(photo), pictureHistogram(shown.image));
    EXPECT_EQ(planesHistogram(PhotoEdit{}).pixels, 0u);
}

TEST(Histogram, TheChainRecountsWithEveryRecomputation) {
    TempDir dir;
    const std::string path = dir.file("grey.png");
    ASSERT_TRUE(filled(40, 30, RgbQuad{100, 100, 100, 0}).saveToFile(path.c_str(), PNG));
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain(settings, view);
    ASSERT_TRUE(chain.loadPhoto(path));
    const uint64_t all = chain.histogram().pixels;
    EXPECT_EQ(all, uint64_t(chain.stage(kStageFinal).width()) * chain.stage(kStageFinal).height());
    EXPECT_EQ(chain.histogram().red[100], all);
    settings.redOffset = 2;  // + 8
    chain.restartAtColours();
    EXPECT_EQ(chain.histogram().red[108], all);
    EXPECT_EQ(chain.histogram().green[100], all);
    settings.brightness = 200;
    chain.restartAtBrightness();
    EXPECT_EQ(chain.histogram().clippedHighlights, all);
    ASSERT_TRUE(chain.setCrop(CropRect{0, 0, 10, 10}));
    EXPECT_EQ(chain.histogram().pixels,
              uint64_t(chain.stage(kStageFinal).width()) * chain.stage(kStageFinal).height());
    EXPECT_NE(chain.histogram().pixels, all) << "a square part of a 4:3 photo";
}

}  // namespace
