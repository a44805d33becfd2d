// The preview chain with a fake view: which stages each entry recomputes, the status texts,
// the 10 % rule, fitting, white-point picks, turns, titles, and that the preview and the
// full-resolution correction agree.
#include "workflow/preview_chain.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/test_support.h"
#include "tests/workflow/fake_view.h"
#include "tests/workflow/photo_files.h"

using testing_support::randomImage;
using testing_support::sameImage;
using testing_support::TempDir;

namespace {

using Strings = std::vector<std::string>;

// The picture the enhanced view shows: the stage's planes OR-ed together.
DibImage shownPicture(const PhotoEdit& stage) {
    PhotoEdit copy = stage;
    copy.recombine();
    return copy.image;
}

// Fill counts of stages first..last (inclusive) are 1, all others 0.
void expectRefilled(const PreviewChain& chain, int first, int last, const char* what) {
    for (int i = 0; i < kStageCount; ++i)
        EXPECT_EQ(chain.fillCount(i), (i >= first && i <= last) ? 1 : 0) << what << ": stage " << i;
}

struct ChainFixture {
    TempDir dir;
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain{settings, view};
    std::string path;

    ChainFixture(int w, int h, uint32_t seed = 1) {
        path = writePhoto(dir, "photo", randomImage(w, h, 24, seed));
    }
};

}  // namespace

TEST(PreviewChain, LoadWithNeutralSettingsShowsOnlyLoadingAndResizing) {
    ChainFixture f(1000, 750);
    ASSERT_TRUE(f.chain.loadPhoto(f.path));
    EXPECT_EQ(f.view.shownStatuses(), (Strings{"Loading...", "Resizing..."}));
    // The file name alone, not the folders of the path.
    EXPECT_EQ(f.view.currentTitle, "Vantifex - photo.png");
    EXPECT_EQ(f.chain.currentPath(), f.path);
    EXPECT_EQ(f.view.waitDepth, 0);
    EXPECT_GE(f.view.maxWaitDepth, 2);  // load, and the sharpen step inside it
    EXPECT_GE(f.view.enhancedRepaints, 1);
    EXPECT_GE(f.view.originalRepaints, 1);
    expectRefilled(f.chain, 0, 9, "load");

    DibImage original;
    ASSERT_TRUE(original.loadFromFile(f.path.c_str(), photoType()));
    EXPECT_TRUE(sameImage(f.chain.stage(kStageOriginal).image, original));
    // Stage 1 is reduced to the fitted width of 500, stage 6 resampled to exactly 500 x 375.
    DibImage fitted = original;
    fitted.resample(500, 375, 0);
    EXPECT_TRUE(sameImage(f.chain.stage(kStageFitted).image, fitted));
    EXPECT_EQ(f.chain.stage(kStageResized).width(), 500);
    EXPECT_EQ(f.chain.stage(kStageResized).height(), 375);
    // Nothing else changes the picture: stage 8 shows stage 6.
    EXPECT_TRUE(
        sameImage(shownPicture(f.chain.stage(kStageFinal)), f.chain.stage(kStageResized).image));
    // Stage 9 fits the original view (300 x 300).
    EXPECT_EQ(f.chain.stage(kStageOriginalView).width(), 300);
    EXPECT_EQ(f.chain.stage(kStageOriginalView).height(), 225);
    EXPECT_EQ(f.chain.stage(kStageOriginalView).redPlane.width(), 300);
}

TEST(PreviewChain, EachEntryRecomputesFromItsOwnStep) {
    ChainFixture f(640, 480);
    f.chain.loadPhoto(f.path);
    const struct {
        const char* name;
        std::function<void()> run;
        int first, last;
    } entries[] = {
        {"sharpen", [&] { f.chain.restartAtSharpen(); }, 2, 8},
        {"contrast", [&] { f.chain.restartAtContrast(); }, 3, 8},
        {"white balance", [&] { f.chain.restartAtWhiteBalance(); }, 4, 8},
        {"brightness", [&] { f.chain.restartAtBrightness(); }, 5, 8},
        {"colours", [&] { f.chain.restartAtColours(); }, 7, 8},
        {"fitted (full)", [&] { f.chain.rebuildFitted(true); }, 1, 8},
        {"fitted (same size)", [&] { f.chain.rebuildFitted(false); }, 6, 8},
        {"start over", [&] { f.chain.startOver(); }, 2, 8},
        {"white point", [&] { f.chain.pickWhitePoint(1, 1); }, 4, 8},
        {"original view", [&] { f.chain.refreshOriginalView(); }, 9, 9},
    };
    for (const auto& e : entries) {
        f.chain.resetFillCounts();
        f.view.clear();
        e.run();
        expectRefilled(f.chain, e.first, e.last, e.name);
        EXPECT_EQ(f.view.waitDepth, 0) << e.name;
    }
    // "0" of brightness when it is already 0 still recomputes from the brightness step.
    f.chain.resetFillCounts();
    f.chain.settings().brightness = 0;
    f.chain.restartAtBrightness();
    expectRefilled(f.chain, 5, 8, "brightness 0");
    // A turn refills stage 1 to 9 (stage 0 is turned in place).
    f.chain.resetFillCounts();
    f.chain.onRotateLeft();
    expectRefilled(f.chain, 1, 9, "rotate");
}

TEST(PreviewChain, StatusTextsForEachSetting) {
    ChainFixture f(320, 240);
    f.view.enhanced = {320, 240};
    f.chain.loadPhoto(f.path);
    const struct {
        const char* name;
        std::function<void(EnhancementSettings&)> set;
        Strings expected;
    } cases[] = {
        {"sharpen +", [](auto& s) { s.sharpen = 1; }, {"Sharpening...", "Resizing..."}},
        {"sharpen -", [](auto& s) { s.sharpen = -2; }, {"Blurring...", "Resizing..."}},
        {"contrast", [](auto& s) { s.contrast = -5; }, {"Contrast...", "Resizing..."}},
        {"white balance",
         [](auto& s) { s.whiteBalance = "000c0c0c"; },
         {"White Balance...", "Resizing..."}},
        {"white balance zero",
         [](auto& s) { s.whiteBalance = "00000000"; },
         {"White Balance...", "Resizing..."}},
        {"brighter", [](auto& s) { s.brightness = 4; }, {"Brightening...", "Resizing..."}},
        {"darker", [](auto& s) { s.brightness = -4; }, {"Darkening...", "Resizing..."}},
        {"colour row", [](auto& s) { s.skinOffset = 1; }, {"Resizing...", "Enhancing Colors..."}},
        {"effect", [](auto& s) { s.effect = 3; }, {"Resizing..."}},
        {"all",
         [](auto& s) {
             s.sharpen = 1;
             s.contrast = 3;
             s.whiteBalance = "00010101";
             s.brightness = -1;
             s.greenOffset = 2;
             s.effect = 8;
         },
         {"Sharpening...", "Contrast...", "White Balance...", "Darkening...", "Resizing...",
          "Enhancing Colors..."}},
    };
    for (const auto& c : cases) {
        f.chain.settings().startOver();
        c.set(f.chain.settings());
        f.view.clear();
        f.chain.restartAtSharpen();
        EXPECT_EQ(f.view.shownStatuses(), c.expected) << c.name;
        ASSERT_FALSE(f.view.statuses.empty());
        EXPECT_EQ(f.view.statuses.back(), "") << c.name;  // the colour step clears it
    }
    // A colour-row click runs only the colour and effect steps.
    f.chain.settings().startOver();
    f.chain.settings().redOffset = 1;
    f.view.clear();
    f.chain.restartAtColours();
    EXPECT_EQ(f.view.shownStatuses(), Strings{"Enhancing Colors..."});
    // Turning says so, then refits.
    f.view.clear();
    f.chain.onRotateRight();
    EXPECT_EQ(f.view.shownStatuses(),
              (Strings{"Rotating...", "Resizing...", "Enhancing Colors..."}));
}

TEST(PreviewChain, TenPercentRuleOnResizingTheEnhancedView) {
    ChainFixture f(1000, 750);
    f.chain.loadPhoto(f.path);
    ASSERT_EQ(f.chain.stage(kStageFitted).width(), 500);
    const struct {
        int viewWidth;
        bool onlyResize;
    } cases[] = {
        {540, true},   // 8 %: 486 < 500 < 594
        {600, false},  // 20 %
        {555, true},   // 0.9 x 555 = 499.5 < 500
        {556, false},  // 0.9 x 556 = 500.4: not below any more
        {455, true},   // 1.1 x 455 = 500.5 > 500
        {454, false},  // 1.1 x 454 = 499.4
    };
    for (const auto& c : cases) {
        // Back to a 500-wide stage 1 first.
        f.view.enhanced = {500, 500};
        f.chain.rebuildFitted(true);
        f.view.enhanced = {c.viewWidth, c.viewWidth};
        f.chain.resetFillCounts();
        f.view.clear();
        f.chain.rebuildFitted(false);
        if (c.onlyResize) {
            expectRefilled(f.chain, 6, 8, "small change");
            EXPECT_EQ(f.chain.stage(kStageFitted).width(), 500);
        } else {
            expectRefilled(f.chain, 1, 8, "large change");
            EXPECT_EQ(f.chain.stage(kStageFitted).width(), c.viewWidth);
        }
        EXPECT_EQ(f.view.shownStatuses(), Strings{"Resizing..."}) << c.viewWidth;
        EXPECT_EQ(f.chain.stage(kStageResized).width(), c.viewWidth);
        EXPECT_EQ(f.chain.stage(kStageFinal).redPlane.width(), c.viewWidth);
    }
}

TEST(PreviewChain, SmallPhotoIsEnlargedOnlyAtTheResizeStep) {
    ChainFixture f(200, 150);
    f.chain.loadPhoto(f.path);
    EXPECT_EQ(f.chain.stage(kStageFitted).width(), 200);
    EXPECT_EQ(f.chain.stage(kStageBrightened).width(), 200);
    EXPECT_EQ(f.chain.stage(kStageResized).width(), 500);
    EXPECT_EQ(f.chain.stage(kStageResized).height(), 375);
    DibImage enlarged = f.chain.stage(kStageOriginal).image;
    enlarged.resample(500, 375, 0);
    EXPECT_TRUE(sameImage(f.chain.stage(kStageResized).image, enlarged));
}

TEST(PreviewChain, PreviewAndFullResolutionAgreeOnEveryStep) {
    // The view is the photo's size, so no stage is resampled and the preview must equal the
    // full-resolution result pixel for pixel.
    for (int effect = 0; effect <= 8; ++effect) {
        for (bool shifted : {false, true}) {
            ChainFixture f(96, 64, uint32_t(effect + 10));
            f.view.enhanced = {96, 64};
            EnhancementSettings& s = f.chain.settings();
            s.sharpen = 1;
            s.contrast = 10;
            s.whiteBalance = "000c0c0c";
            s.brightness = 5;
            if (shifted) {
                s.redOffset = 3;
                s.skinOffset = 2;
                s.brownOffset = -4;
            }
            s.effect = effect;
            f.chain.loadPhoto(f.path);
            ASSERT_EQ(f.chain.stage(kStageResized).width(), 96);

            PhotoEdit full;
            full.load(f.path);
            full.splitChannels();
            applySettings(full, s);
            full.recombine();
            std::string why;
            EXPECT_TRUE(sameImage(shownPicture(f.chain.stage(kStageFinal)), full.image, &why))
                << "effect " << effect << (shifted ? " shifted: " : ": ") << why;
        }
    }
}

TEST(PreviewChain, EffectSeesTheColourShift) {
    ChainFixture f(120, 90);
    f.view.enhanced = {120, 90};
    EnhancementSettings& s = f.chain.settings();
    s.effect = kEffectNegative;
    s.redOffset = 5;
    f.chain.loadPhoto(f.path);
    const DibImage coloured = shownPicture(f.chain.stage(kStageColoured));
    DibImage expected = coloured;
    expected.negative();
    EXPECT_TRUE(sameImage(f.chain.stage(kStageFinal).image, expected));
    // Without a shift the planes are not merged first: the effect works on stage 7's image.
    s.redOffset = 0;
    f.chain.restartAtColours();
    DibImage plain = f.chain.stage(kStageColoured).image;
    plain.negative();
    EXPECT_TRUE(sameImage(f.chain.stage(kStageFinal).image, plain));
}

TEST(PreviewChain, WhitePointPickAndPointerTracking) {
    TempDir dir;
    DibImage photo = randomImage(40, 30, 24, 3);
    photo.setPixelColor(0, 29, RgbQuad{0, 0, 0, 0});            // top-left corner: black
    photo.setPixelColor(5, 29 - 7, RgbQuad{255, 255, 255, 0});  // (5, 7) from the top: white
    photo.setPixelColor(2, 29 - 1, RgbQuad{30, 55, 235, 0});    // red 235, green 55, blue 30
    const std::string path = writePhoto(dir, "pick", photo);
    EnhancementSettings settings;
    FakeView view;
    view.enhanced = {40, 30};
    PreviewChain chain(settings, view);
    chain.loadPhoto(path);

    EXPECT_EQ(chain.trackPointer(5, 7), colourRef(255, 255, 255));
    chain.pickWhitePoint(5, 7);
    EXPECT_EQ(settings.whiteBalance, "00000000");
    EXPECT_EQ(chain.trackPointer(0, 0), colourRef(0, 0, 0));
    EXPECT_EQ(settings.pointColour, colourRef(0, 0, 0));
    view.clear();
    chain.resetFillCounts();
    chain.pickWhitePoint(0, 0);
    EXPECT_EQ(settings.whiteBalance, "000c0c0c");
    expectRefilled(chain, 4, 8, "pick");
    EXPECT_EQ(view.shownStatuses(), (Strings{"White Balance...", "Resizing..."}));
    // Stage 7 holds the white balance already: the black pixel now reads 48, which adds
    // trunc(207 x 0.05) = 10 more; (235, 55, 30) reads (255, 143, 118) and adds 0, 5, 6.
    chain.pickWhitePoint(0, 0);
    EXPECT_EQ(settings.whiteBalance, "00161616");
    chain.pickWhitePoint(2, 1);
    EXPECT_EQ(settings.whiteBalance, "001c1b16");
    // White balance 000c0c0c raises every value by 48 (4 x 12).
    settings.whiteBalance = "000c0c0c";
    chain.restartAtWhiteBalance();
    const DibImage& before = chain.stage(kStageContrasted).image;
    const DibImage& after = chain.stage(kStageBalanced).image;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const RgbQuad a = before.getPixelColor(x, y), b = after.getPixelColor(x, y);
            ASSERT_EQ(b.red, std::min(255, a.red + 48));
            ASSERT_EQ(b.green, std::min(255, a.green + 48));
            ASSERT_EQ(b.blue, std::min(255, a.blue + 48));
        }
}

TEST(PreviewChain, TurnsAndStartOver) {
    ChainFixture f(400, 300);
    f.chain.settings().rotation = 1;  // a kept rotation does not turn a new photo's preview
    f.chain.loadPhoto(f.path);
    EXPECT_EQ(f.chain.stage(kStageFinal).redPlane.width(), 500);
    EXPECT_EQ(f.chain.stage(kStageFinal).redPlane.height(), 375);

    DibImage original = f.chain.stage(kStageOriginal).image;
    f.chain.settings().rotateRight();
    f.chain.onRotateRight();
    EXPECT_EQ(f.chain.settings().rotation, 2);
    DibImage turned = original;
    turned.rotateRight();
    EXPECT_TRUE(sameImage(f.chain.stage(kStageOriginal).image, turned));
    EXPECT_EQ(f.chain.stage(kStageResized).width(), 375);  // 300 x 400 fitted into 500 x 500
    EXPECT_EQ(f.chain.stage(kStageResized).height(), 500);
    EXPECT_EQ(f.chain.stage(kStageOriginalView).width(), 225);

    // "start over" keeps the rotation and the turned preview.
    f.chain.settings().contrast = 7;
    f.chain.startOver();
    EXPECT_EQ(f.chain.settings().contrast, 0);
    EXPECT_EQ(f.chain.settings().rotation, 2);
    EXPECT_EQ(f.chain.stage(kStageFinal).redPlane.width(), 375);

    f.chain.onRotateLeft();
    EXPECT_TRUE(sameImage(f.chain.stage(kStageOriginal).image, original));
    EXPECT_EQ(f.chain.stage(kStageResized).width(), 500);
}

TEST(PreviewChain, TitlesDuringWorkAndBatches) {
    ChainFixture f(100, 80);
    f.chain.showStatus("");
    EXPECT_EQ(f.view.currentTitle, "Vantifex");  // nothing loaded yet
    f.chain.loadPhoto(f.path);
    const std::string base = "Vantifex - photo.png";
    EXPECT_EQ(f.view.currentTitle, base);
    EXPECT_NE(std::find(f.view.titles.begin(), f.view.titles.end(), base + " - Loading..."),
              f.view.titles.end());
    f.chain.settings().contrast = 4;
    f.view.clear();
    f.chain.restartAtContrast();
    EXPECT_EQ(f.view.titles.front(), base + " - Contrast...");
    EXPECT_EQ(f.view.currentTitle, base);

    f.chain.beginProgressTitle("Vantifex - Processing 2 of 5");
    f.chain.showStatus("Saving...");
    EXPECT_EQ(f.view.currentTitle, "Vantifex - Processing 2 of 5 - Saving...");
    f.chain.showStatus("Sharpening...");
    EXPECT_EQ(f.view.currentTitle, "Vantifex - Processing 2 of 5 - Sharpening...");
    f.chain.showStatus("");
    EXPECT_EQ(f.view.currentTitle, "Vantifex - Processing 2 of 5");
    f.chain.endProgressTitle();
    EXPECT_EQ(f.view.currentTitle, base);
}

TEST(PreviewChain, AFileNameWithOfDoesNotPileUpStatuses) {
    TempDir dir;
    const std::string path = writePhoto(dir, "best of 2020", randomImage(60, 40, 24, 2));
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain(settings, view);
    chain.loadPhoto(path);
    settings.contrast = 3;
    chain.restartAtContrast();
    chain.restartAtContrast();
    EXPECT_EQ(view.currentTitle, "Vantifex - best of 2020.png");
    EXPECT_EQ(view.titles[view.titles.size() - 3], "Vantifex - best of 2020.png - Contrast...");
}

TEST(PreviewChain, UnreadablePhotoLeavesEmptyStages) {
    TempDir dir;
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain(settings, view);
    ASSERT_TRUE(chain.loadPhoto(writePhoto(dir, "good", randomImage(50, 40, 24, 1))));
    testing_support::writeBytes(dir.file("bad.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    EXPECT_FALSE(chain.loadPhoto(dir.file("bad.png")));
    for (int i = 0; i < kStageCount; ++i) EXPECT_EQ(chain.stage(i).width(), 0) << i;
    EXPECT_EQ(view.currentTitle, "Vantifex");
    EXPECT_EQ(view.waitDepth, 0);
    chain.onRotateLeft();  // nothing to turn, nothing breaks
    chain.rebuildFitted(false);
    EXPECT_EQ(chain.stage(kStageFinal).width(), 0);
    EXPECT_EQ(view.waitDepth, 0);
}

// A photo that cannot be read says so in the enhanced view, by its name and the loader's
// reason, as the last status (it stays until the next repaint); the title names no photo.
TEST(PreviewChain, UnreadablePhotoShowsWhyInTheEnhancedView) {
    TempDir dir;
    std::vector<uint8_t> noise(4096);
    uint32_t x = 12345;
    for (uint8_t& b : noise) b = uint8_t((x = x * 1103515245 + 12345) >> 16);
    noise[0] = 0x42;  // no signature of any format: the name decides, as a JPEG
    testing_support::writeBytes(dir.file("noise.jpg"), noise);
    testing_support::writeBytes(dir.file("cut.png"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
    const struct {
        std::string path;
        const char* name;
    } cases[] = {
        {dir.file("noise.jpg"), "noise.jpg"},
        {dir.file("cut.png"), "cut.png"},
        {dir.file("missing.bmp"), "missing.bmp"},
    };
    for (const auto& c : cases) {
        EnhancementSettings settings;
        FakeView view;
        PreviewChain chain(settings, view);
        chain.showStatus("");
        EXPECT_FALSE(chain.loadPhoto(c.path)) << c.name;
        // The loader's own message, as a load of the file by itself leaves it.
        PhotoEdit alone;
        alone.load(c.path);
        const std::string reason = alone.image.lastError();
        EXPECT_FALSE(reason.empty()) << c.name;
        ASSERT_FALSE(view.statuses.empty()) << c.name;
        EXPECT_EQ(view.statuses.back(), "Cannot read " + std::string(c.name) + ": " + reason);
        EXPECT_EQ(view.currentTitle, "Vantifex") << c.name;
        EXPECT_EQ(view.titles.back(), "Vantifex") << c.name;
        EXPECT_EQ(view.waitDepth, 0) << c.name;
    }

    // A photo that loads afterwards names itself again and shows no failure.
    EnhancementSettings settings;
    FakeView view;
    PreviewChain chain(settings, view);
    EXPECT_FALSE(chain.loadPhoto(dir.file("noise.jpg")));
    const std::string good = writePhoto(dir, "good", randomImage(50, 40, 24, 1));
    view.clear();
    ASSERT_TRUE(chain.loadPhoto(good));
    EXPECT_EQ(view.currentTitle, "Vantifex - good.png");
    for (const std::string& s : view.statuses) EXPECT_EQ(s.find("Cannot read"), std::string::npos);
}
