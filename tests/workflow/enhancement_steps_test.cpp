// The full-resolution steps: their order and arithmetic against plain per-pixel code, the
// status texts, and that the fused saving path gives exactly the literal steps' picture.
#include "workflow/enhancement_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/test_support.h"
#include "tests/workflow/fake_view.h"

using testing_support::randomImage;
using testing_support::sameImage;

namespace {

using Strings = std::vector<std::string>;

int clamp255(int v) {
    return std::clamp(v, 0, 255);
}

PhotoEdit split(const DibImage& image) {
    PhotoEdit p;
    p.image = image;
    p.splitChannels();
    return p;
}

// The literal road of a save: split, applySettings, recombine.
PhotoEdit literal(const DibImage& image, const EnhancementSettings& s, Strings* statuses) {
    PhotoEdit p = split(image);
    RecordingSink sink;
    applySettings(p, s, &sink);
    p.recombine();
    *statuses = sink.texts;
    return p;
}

void expectSameOutput(const DibImage& base, const EnhancementSettings& s, const std::string& what) {
    Strings literalStatuses;
    const PhotoEdit a = literal(base, s, &literalStatuses);
    PhotoEdit b;
    b.image = base;
    RecordingSink sink;
    ASSERT_TRUE(renderForSaving(b, s, &sink)) << what;
    std::string why;
    EXPECT_TRUE(sameImage(a.image, b.image, &why)) << what << ": " << why;
    EXPECT_EQ(sink.texts, literalStatuses) << what;
    // The picture values the encoders read must match too.
    EXPECT_EQ(a.image.type(), b.image.type()) << what;
    EXPECT_EQ(a.image.info.colorType, b.image.info.colorType) << what;
    EXPECT_EQ(a.image.hasAlpha(), b.image.hasAlpha()) << what;
    EXPECT_EQ(a.image.info.xDpi, b.image.info.xDpi) << what;
    EXPECT_EQ(a.image.header.yPelsPerMeter, b.image.header.yPelsPerMeter) << what;
    EXPECT_EQ(a.image.info.jpegQuality, b.image.info.jpegQuality) << what;
    EXPECT_EQ(a.image.info.backgroundColour, b.image.info.backgroundColour) << what;
    EXPECT_EQ(a.image.info.backgroundIndex, b.image.info.backgroundIndex) << what;
    EXPECT_FALSE(b.redPlane.isValid()) << what;
}

}  // namespace

TEST(EnhancementSteps, OrderAndArithmeticOfTheColourSteps) {
    // contrast +50 (k = 1.5 exactly), then white balance, then brightness, then the channel
    // shift: each clamped to 0..255 before the next.
    const DibImage base = randomImage(17, 11, 24, 21);
    EnhancementSettings s;
    s.contrast = 50;
    s.whiteBalance = "00030a05";  // red 5, green 10, blue 3
    s.brightness = -20;
    s.yellowOffset = 6;  // (6, 6, 0)
    s.blueOffset = -9;   // (0, 0, -9)
    Strings statuses;
    const PhotoEdit out = literal(base, s, &statuses);
    EXPECT_EQ(statuses, (Strings{"Contrast...", "White Balance...", "Darkening...",
                                 "Enhancing Colors...", ""}));
    const auto step = [](int c, int wb, int shift) {
        int v = clamp255(int((c - 128) * 1.5f + 128));
        v = clamp255(v + 4 * wb);
        v = clamp255(v - 20);
        return clamp255(v + 4 * shift);
    };
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 17; ++x) {
            const RgbQuad in = base.getPixelColor(x, y), o = out.image.getPixelColor(x, y);
            ASSERT_EQ(o.red, step(in.red, 5, 6)) << x << "," << y;
            ASSERT_EQ(o.green, step(in.green, 10, 6)) << x << "," << y;
            ASSERT_EQ(o.blue, step(in.blue, 3, -9)) << x << "," << y;
        }
}

TEST(EnhancementSteps, WhiteBalanceAndRotationAtFullResolution) {
    const DibImage base = randomImage(9, 6, 24, 4);
    EnhancementSettings s;
    s.whiteBalance = "000c0c0c";
    Strings statuses;
    const PhotoEdit wb = literal(base, s, &statuses);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) {
            const RgbQuad in = base.getPixelColor(x, y), o = wb.image.getPixelColor(x, y);
            EXPECT_EQ(o.red, std::min(255, in.red + 48));
            EXPECT_EQ(o.green, std::min(255, in.green + 48));
            EXPECT_EQ(o.blue, std::min(255, in.blue + 48));
        }
    // rotation -1 turns the saved picture a quarter left.
    EnhancementSettings r;
    r.rotation = -1;
    const PhotoEdit left = literal(base, r, &statuses);
    DibImage expected = base;
    expected.rotateLeft();
    EXPECT_TRUE(sameImage(left.image, expected));
    EXPECT_EQ(statuses, Strings{""});  // turning says nothing at full resolution
}

TEST(EnhancementSteps, SharpenTwoPassesPerStepBlurOnePass) {
    const DibImage base = randomImage(12, 10, 24, 5);
    const int32_t sharpenKernel[9] = {-1, -1, -1, -1, 15, -1, -1, -1, -1};
    const int32_t blurKernel[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    EnhancementSettings s;
    s.sharpen = 2;
    Strings statuses;
    PhotoEdit sharp = literal(base, s, &statuses);
    DibImage expected = base;
    for (int i = 0; i < 4; ++i) expected.applyKernel(sharpenKernel, 3, 7, 0);
    EXPECT_TRUE(sameImage(sharp.image, expected));
    EXPECT_EQ(statuses.front(), "Sharpening...");
    s.sharpen = -3;
    PhotoEdit blur = literal(base, s, &statuses);
    expected = base;
    for (int i = 0; i < 3; ++i) expected.applyKernel(blurKernel, 3, 9, 0);
    EXPECT_TRUE(sameImage(blur.image, expected));
    EXPECT_EQ(statuses.front(), "Blurring...");
}

TEST(EnhancementSteps, EffectsWithAndWithoutAColourShift) {
    const DibImage base = randomImage(10, 7, 24, 6);
    for (int effect = 1; effect <= 8; ++effect)
        for (int red : {0, 5}) {
            EnhancementSettings s;
            s.effect = effect;
            s.redOffset = red;
            Strings statuses;
            const PhotoEdit out = literal(base, s, &statuses);
            // The effect sees the shifted picture (red + 20).
            DibImage expected = base;
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 10; ++x) {
                    RgbQuad c = expected.getPixelColor(x, y);
                    c.red = uint8_t(std::min(255, c.red + 4 * red));
                    expected.setPixelColor(x, y, c);
                }
            if (effect == 1) expected.grayScale();
            if (effect >= 2 && effect <= 7) {
                expected.tone();
                expected.colorize(kSepiaTones[effect - 2].hue, kSepiaTones[effect - 2].saturation);
            }
            if (effect == 8) expected.negative();
            ASSERT_EQ(out.image.bitCount(), 24);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 10; ++x)
                    ASSERT_EQ(out.image.getPixelColor(x, y), expected.getPixelColor(x, y))
                        << "effect " << effect << " red " << red << " at " << x << "," << y;
        }
}

TEST(EnhancementSteps, SavingPathEqualsTheLiteralSteps) {
    DibImage withInfo = randomImage(23, 17, 24, 31);
    withInfo.info.type = PNG;
    withInfo.setXDpi(300);
    withInfo.info.backgroundColour = RgbQuad{40, 80, 120, 0};  // read by the kernels' borders
    withInfo.info.jpegQuality = 90;
    DibImage withAlpha = randomImage(15, 8, 24, 32, true);
    withAlpha.info.type = PNG;
    DibImage grey(19, 5, 8, GIF);
    grey.setGrayPalette();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 19; ++x) grey.setPixelIndex(x, y, uint8_t(x * 13 + y * 7));
    DibImage transparentGif = randomImage(14, 9, 8, 35);
    transparentGif.info.type = GIF;
    transparentGif.info.backgroundIndex = 3;
    const struct {
        const char* name;
        DibImage image;
    } pictures[] = {
        {"24-bit", withInfo},
        {"24-bit alpha", withAlpha},
        {"8-bit", randomImage(13, 11, 8, 33)},
        {"grey ramp", grey},
        {"4-bit", randomImage(9, 9, 4, 34)},
        {"1-bit", randomImage(21, 3, 1, 36)},
        {"transparent GIF", transparentGif},
        {"1 x 1", randomImage(1, 1, 24, 37)},
    };
    std::vector<std::pair<std::string, std::function<void(EnhancementSettings&)>>> settings = {
        {"neutral", [](auto&) {}},
        {"sharpen", [](auto& s) { s.sharpen = 1; }},
        {"blur", [](auto& s) { s.sharpen = -2; }},
        {"contrast", [](auto& s) { s.contrast = 10; }},
        {"contrast down", [](auto& s) { s.contrast = -130; }},
        {"white balance", [](auto& s) { s.whiteBalance = "000c0c0c"; }},
        {"white balance 0", [](auto& s) { s.whiteBalance = "00000000"; }},
        {"brightness", [](auto& s) { s.brightness = 5; }},
        {"darkness", [](auto& s) { s.brightness = -70; }},
        {"colours",
         [](auto& s) {
             s.redOffset = 3;
             s.skinOffset = -4;
             s.cyanOffset = 2;
         }},
        {"rotate right", [](auto& s) { s.rotation = 1; }},
        {"rotate left", [](auto& s) { s.rotation = -1; }},
        {"bench",
         [](auto& s) {
             s.sharpen = 1;
             s.contrast = 10;
             s.whiteBalance = "000c0c0c";
             s.brightness = 5;
             s.redOffset = 3;
         }},
    };
    for (int effect = 1; effect <= 8; ++effect) {
        settings.push_back(
            {"effect " + std::to_string(effect), [effect](auto& s) { s.effect = effect; }});
        settings.push_back({"effect shifted " + std::to_string(effect), [effect](auto& s) {
                                s.effect = effect;
                                s.magentaOffset = 2;
                            }});
        settings.push_back({"effect balanced " + std::to_string(effect), [effect](auto& s) {
                                s.effect = effect;
                                s.whiteBalance = "00050003";
                                s.contrast = 5;
                            }});
    }
    for (const auto& picture : pictures)
        for (const auto& [name, set] : settings) {
            EnhancementSettings s;
            set(s);
            expectSameOutput(picture.image, s, std::string(picture.name) + ", " + name);
        }
}

TEST(EnhancementSteps, EmptyPhotoRendersNothing) {
    PhotoEdit empty;
    EnhancementSettings s;
    s.sharpen = 1;
    s.redOffset = 2;
    s.effect = 3;
    EXPECT_FALSE(renderForSaving(empty, s));
    applySettings(empty, s);
    EXPECT_EQ(empty.width(), 0);
}
