// Crops: the rectangle arithmetic, and that saving with a crop writes exactly the bytes of
// the same photo cut beforehand by other means, for settings and turns; the preview chain
// keeps, turns and drops its crop.
#include "workflow/photo_crop.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tests/workflow/fake_view.h"
#include "workflow/batch_job.h"
#include "workflow/preview_chain.h"

using testing_support::readBytes;
using testing_support::TempDir;

namespace {

// A noisy colour picture's pixel at (x, y), y from the top: no two neighbours alike, so a
// crop off by one pixel or a sharpen seeing past an edge shows.
RgbQuad sample(int x, int y) {
    uint32_t v = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
    v ^= v >> 13;
    return RgbQuad{uint8_t(v), uint8_t(v >> 8 ^ x), uint8_t(v >> 16 ^ y), 0};
}

// The W x H sample picture after turns quarter turns clockwise, made pixel by pixel (no
// library geometry), cut to crop (all of it when empty).
DibImage madeByHand(int W, int H, int turns, const CropRect& crop) {
    turns = ((turns % 4) + 4) % 4;
    const int tw = turns % 2 ? H : W, th = turns % 2 ? W : H;
    const CropRect c = crop.isEmpty() ? CropRect{0, 0, tw, th} : crop;
    DibImage image(c.width, c.height, 24, BMP);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            int u = c.x + x, v = c.y + y;  // in the turned picture, from the top
            for (int k = turns; k > 0; --k) {
                // One clockwise turn back: (u, v) came from (v, h - 1 - u) of the picture
                // before it, h its height.
                const int before = (k - 1) % 2 ? W : H;
                const int nu = v, nv = before - 1 - u;
                u = nu;
                v = nv;
            }
            image.setPixelColor(x, c.height - 1 - y, sample(u, v));
        }
    return image;
}

TEST(CropArithmetic, ParsesOnlyFourWholeNumbers) {
    struct Case {
        const char* text;
        bool ok;
        CropRect crop;
    } cases[] = {
        {"10,20,30,40", true, {10, 20, 30, 40}},
        {"0,0,1,1", true, {0, 0, 1, 1}},
        {"10,20,30", false, {}},
        {"10,20,30,40,5", false, {}},
        {"-1,0,5,5", false, {}},
        {"0,0,0,5", false, {}},
        {"0,0,5,-5", false, {}},
        {"a,0,5,5", false, {}},
        {"1, 2,3,4", false, {}},
        {"", false, {}},
        {"99999999999,0,1,1", false, {}},
    };
    for (const Case& c : cases) {
        CropRect crop{7, 7, 7, 7};
        EXPECT_EQ(parseCrop(c.text, &crop), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(crop, c.crop) << c.text;
            EXPECT_EQ(cropText(crop), c.text);
        }
    }
}

TEST(CropArithmetic, ScalesEdgesAndKeepsAPixel) {
    struct Case {
        CropRect crop;
        int fw, fh, w, h;
        CropRect expected;
    } cases[] = {
        {{100, 50, 200, 100}, 1000, 500, 100, 50, {10, 5, 20, 10}},
        {{0, 0, 1000, 500}, 1000, 500, 125, 63, {0, 0, 125, 63}},
        {{999, 499, 1, 1}, 1000, 500, 100, 50, {99, 49, 1, 1}},
        {{3, 3, 2, 2}, 1000, 1000, 10, 10, {0, 0, 1, 1}},
        {{10, 10, 10, 10}, 100, 100, 100, 100, {10, 10, 10, 10}},
        {{10, 10, 10, 10}, 0, 100, 100, 100, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scaleCrop(c.crop, c.fw, c.fh, c.w, c.h), c.expected) << cropText(c.crop);
}

TEST(CropArithmetic, TurnsWithThePhoto) {
    // A 6 x 4 photo; the crop at the top-left corner.
    const CropRect corner{0, 0, 2, 1};
    EXPECT_EQ(turnCrop(corner, 6, 4, 0), (CropRect{3, 0, 1, 2}));  // to the top-right
    EXPECT_EQ(turnCrop(corner, 6, 4, 1), (CropRect{0, 4, 1, 2}));  // to the bottom-left
    // A turn and its opposite give the crop back.
    const CropRect c{1, 2, 3, 1};
    EXPECT_EQ(turnCrop(turnCrop(c, 6, 4, 0), 4, 6, 1), c);
    EXPECT_EQ(turnCrop(turnCrop(c, 6, 4, 1), 4, 6, 0), c);
    EXPECT_TRUE(turnCrop(CropRect{}, 6, 4, 0).isEmpty());
}

TEST(CropArithmetic, DragsToTheRatioInsideThePhoto) {
    struct Case {
        int ax, ay, bx, by, wide, high;
        CropRect expected;
    } cases[] = {
        {10, 10, 50, 30, 0, 0, {10, 10, 40, 20}},    // free
        {50, 30, 10, 10, 0, 0, {10, 10, 40, 20}},    // dragged up and left
        {10, 10, 50, 30, 1, 1, {10, 10, 20, 20}},    // the longer side shortened
        {10, 10, 50, 90, 3, 2, {10, 10, 40, 26}},    //
        {50, 50, 10, 100, 16, 9, {10, 50, 40, 22}},  // below the photo: clamped to 80
        {90, 70, 200, 200, 0, 0, {90, 70, 10, 10}},  // clamped at the far corner
        {10, 10, 10, 40, 0, 0, {}},                  // no width
    };
    for (const Case& c : cases)
        EXPECT_EQ(dragCrop(c.ax, c.ay, c.bx, c.by, c.wide, c.high, 100, 80), c.expected)
            << c.ax << "," << c.ay << " to " << c.bx << "," << c.by;
}

TEST(CropArithmetic, RatiosFollowThePhoto) {
    int32_t w = 0, h = 0;
    EXPECT_FALSE(cropRatio(0, 600, 400, w, h));  // free
    ASSERT_TRUE(cropRatio(1, 600, 400, w, h));   // as shot
    EXPECT_EQ(w * 400, h * 600);
    ASSERT_TRUE(cropRatio(3, 600, 400, w, h));  // 3:2 on a landscape photo
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(3, 2));
    ASSERT_TRUE(cropRatio(3, 400, 600, w, h));  // turned on a portrait one
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(2, 3));
    EXPECT_STREQ(kCropAspects[5].name, "16:9");
}

TEST(CropPicture, CutsEveryDepthWithPaletteAndAlpha) {
    for (const uint32_t bits : {1u, 4u, 8u, 24u}) {
        DibImage image(13, 9, bits, BMP);
        const uint32_t colours = bits >= 24 ? 0 : 1u << bits;
        for (uint32_t i = 0; i < colours; ++i)
            image.setPaletteColor(i, uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3));
        image.alphaCreate();
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x) {
                if (colours)
                    image.setPixelIndex(x, y, uint8_t((x * 3 + y * 5) % colours));
                else
                    image.setPixelColor(x, y, sample(x, y));
                image.alphaSet(x, y, uint8_t(x * 10 + y));
            }
        image.setXDpi(300);
        DibImage cut = image;
        const CropRect crop{3, 2, 7, 4};  // rows 2..5 from the top: 6..3 from the bottom
        ASSERT_TRUE(cropPicture(cut, crop)) << bits;
        ASSERT_EQ(cut.width(), 7);
        ASSERT_EQ(cut.height(), 4);
        EXPECT_EQ(cut.bitCount(), bits);
        EXPECT_EQ(cut.info.xDpi, 300);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 7; ++x) {
                const int sy = 9 - 2 - 4 + y;
                EXPECT_EQ(cut.getPixelColor(x, y), image.getPixelColor(3 + x, sy)) << bits;
                EXPECT_EQ(cut.alphaGet(x, y), image.alphaGet(3 + x, sy)) << bits;
            }
        DibImage untouched = image;
        EXPECT_FALSE(cropPicture(untouched, CropRect{7, 0, 7, 4})) << "past the right edge";
        EXPECT_EQ(untouched.width(), 13);
    }
}

// The photo saved with a crop against the same part cut beforehand and saved whole: the
// same bytes, for corrections that see the edges (sharpen, blur), point operations, effects
// and every turn.
TEST(CropSaving, EqualsTheCorrectionOfThePhotoCutBeforehand) {
    struct Setting {
        const char* name;
        void (*apply)(EnhancementSettings&);
    } settings[] = {
        {"none", [](EnhancementSettings&) {}},
        {"sharpen", [](EnhancementSettings& s) { s.sharpen = 2; }},
        {"blur", [](EnhancementSettings& s) { s.sharpen = -1; }},
        {"contrast and balance",
         [](EnhancementSettings& s) {
             s.contrast = 15;
             s.whiteBalance = "000c0c0c";
             s.brightness = -4;
         }},
        {"colours and sepia",
         [](EnhancementSettings& s) {
             s.redOffset = 3;
             s.skinOffset = -2;
             s.effect = kEffectSepia1 + 2;
         }},
        {"negative", [](EnhancementSettings& s) { s.effect = kEffectNegative; }},
    };
    TempDir dir;
    const int W = 41, H = 27;
    const std::string whole = dir.file("whole.png");
    ASSERT_TRUE(madeByHand(W, H, 0, CropRect{}).saveToFile(whole.c_str(), PNG));
    for (const int turns : {0, 1, 2, -1}) {
        const bool sideways = turns % 2 != 0;
        // Touching the right edge, so that the sharpen's edge rule matters on one side.
        const CropRect crop = sideways ? CropRect{5, 9, H - 5, 17} : CropRect{9, 5, W - 9, 17};
        const std::string cut = dir.file("cut" + std::to_string(turns) + ".png");
        ASSERT_TRUE(madeByHand(W, H, turns, crop).saveToFile(cut.c_str(), PNG));
        for (const Setting& setting : settings) {
            EnhancementSettings s;
            setting.apply(s);
            const std::string tag = std::string(setting.name) + " turns " + std::to_string(turns);
            const std::string a = dir.file("a.png"), b = dir.file("b.png");
            // The copies record their settings, and those differ by the turns: turned ones
            // are compared without the record.
            s.rotation = turns;
            BatchJob cropped({BatchSource{whole, OutputRule::exactly(a), crop}}, s);
            cropped.setStripMetadata(turns != 0);
            ASSERT_EQ(cropped.run()[0].outcome, PhotoOutcome::kWritten) << tag;
            s.rotation = 0;
            BatchJob beforehand({BatchSource{cut, OutputRule::exactly(b)}}, s);
            beforehand.setStripMetadata(turns != 0);
            ASSERT_EQ(beforehand.run()[0].outcome, PhotoOutcome::kWritten) << tag;
            EXPECT_EQ(readBytes(a), readBytes(b)) << tag;
        }
    }
}

TEST(CropSaving, ACropOutsideThePhotoWritesNothing) {
    TempDir dir;
    const std::string whole = dir.file("whole.png");
    ASSERT_TRUE(madeByHand(20, 10, 0, CropRect{}).saveToFile(whole.c_str(), PNG));
    EnhancementSettings s;
    s.rotation = 1;  // 10 x 20 upright: 15 columns do not fit
    BatchJob job({BatchSource{whole, OutputRule::exactly(dir.file("out.png")), {0, 0, 15, 5}}}, s);
    const PhotoResult r = job.run()[0];
    EXPECT_EQ(r.outcome, PhotoOutcome::kUnwritable);
    EXPECT_EQ(r.reason, "The crop 0,0,15,5 lies outside the photo (10 x 20)");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.png")));
}

TEST(CropPreview, CutsTheStagesTurnsAndClears) {
    TempDir dir;
    const std::string path = dir.file("photo.png");
    ASSERT_TRUE(madeByHand(200, 100, 0, CropRect{}).saveToFile(path.c_str(), PNG));
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain(settings, view);
    ASSERT_TRUE(chain.loadPhoto(path));
    EXPECT_EQ(chain.fullWidth(), 200);
    EXPECT_EQ(chain.stage(kStageFitted).width(), 200);

    EXPECT_FALSE(chain.setCrop(CropRect{150, 0, 60, 10})) << "past the right edge";
    EXPECT_TRUE(chain.crop().isEmpty());
    ASSERT_TRUE(chain.setCrop(CropRect{20, 10, 50, 80}));
    EXPECT_EQ(chain.stage(kStageFitted).width(), 50);
    EXPECT_EQ(chain.stage(kStageFitted).height(), 80);
    EXPECT_EQ(chain.stage(kStageOriginalView).width(), 300) << "the original view keeps it all";
    // Stage 1 is the cut part of the photo.
    const DibImage expected = madeByHand(200, 100, 0, CropRect{20, 10, 50, 80});
    EXPECT_EQ(chain.stage(kStageFitted).image.getPixelColor(0, 0), expected.getPixelColor(0, 0));
    EXPECT_EQ(chain.stage(kStageFitted).image.getPixelColor(49, 79),
              expected.getPixelColor(49, 79));

    settings.rotateRight();
    chain.onRotateRight();
    EXPECT_EQ(chain.crop(), (CropRect{10, 20, 80, 50}));
    EXPECT_EQ(chain.fullWidth(), 100);
    EXPECT_EQ(chain.stage(kStageFitted).width(), 80);

    chain.startOver();
    EXPECT_TRUE(chain.crop().isEmpty());
    EXPECT_EQ(chain.stage(kStageFitted).width(), 100);

    ASSERT_TRUE(chain.setCrop(CropRect{0, 0, 10, 10}));
    ASSERT_TRUE(chain.loadPhoto(path));
    EXPECT_TRUE(chain.crop().isEmpty()) << "another photo, no crop";
    ASSERT_TRUE(chain.setCrop(CropRect{0, 0, 10, 10}));
    EXPECT_TRUE(chain.setCrop(CropRect{}));
    EXPECT_EQ(chain.stage(kStageFitted).width(), 200) << "cleared";
}

}  // namespace
