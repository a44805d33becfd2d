// Region rendering: every region of every picture under every setting and turn equals the
// same part of the whole corrected photo, computed the literal way (applySettings, recombine).
#include "workflow/region_render.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

using testing_support::randomImage;

namespace {

struct Setting {
    const char* name;
    EnhancementSettings settings;
};

EnhancementSettings with(void (*change)(EnhancementSettings&)) {
    EnhancementSettings s;
    change(s);
    return s;
}

// Every value the corrections read, alone, and a few together.
std::vector<Setting> settingsTable() {
    std::vector<Setting> t = {
        {"none", {}},
        {"red +3", with([](EnhancementSettings& s) { s.redOffset = 3; })},
        {"skin -2", with([](EnhancementSettings& s) { s.skinOffset = -2; })},
        {"brown +4", with([](EnhancementSettings& s) { s.brownOffset = 4; })},
        {"sharpen 1", with([](EnhancementSettings& s) { s.sharpen = 1; })},
        {"sharpen 3", with([](EnhancementSettings& s) { s.sharpen = 3; })},
        {"blur 1", with([](EnhancementSettings& s) { s.sharpen = -1; })},
        {"blur 4", with([](EnhancementSettings& s) { s.sharpen = -4; })},
        {"brightness +20", with([](EnhancementSettings& s) { s.brightness = 20; })},
        {"brightness -35", with([](EnhancementSettings& s) { s.brightness = -35; })},
        {"contrast +30", with([](EnhancementSettings& s) { s.contrast = 30; })},
        {"contrast -40", with([](EnhancementSettings& s) { s.contrast = -40; })},
        {"white balance", with([](EnhancementSettings& s) { s.whiteBalance = "00030c05"; })},
        {"sharpen 2, contrast, white balance, brightness, colours, sepia 3",
         with([](EnhancementSettings& s) {
             s.sharpen = 2;
             s.contrast = 15;
             s.whiteBalance = "00010203";
             s.brightness = -10;
             s.redOffset = 2;
             s.cyanOffset = -1;
             s.effect = kEffectSepia1 + 2;
         })},
        {"blur 2, negative with a colour shift", with([](EnhancementSettings& s) {
             s.sharpen = -2;
             s.greenOffset = 5;
             s.effect = kEffectNegative;
         })},
    };
    for (int e = kEffectBlackAndWhite; e <= kEffectNegative; ++e) {
        EnhancementSettings s;
        s.effect = e;
        t.push_back({kEffectNames[e], s});
    }
    return t;
}

struct Picture {
    const char* name;
    DibImage image;
};

std::vector<Picture> pictures() {
    std::vector<Picture> p;
    p.push_back({"24-bit 23 x 17", randomImage(23, 17, 24, 1)});
    p.push_back({"24-bit 9 x 14 with alpha", randomImage(9, 14, 24, 2, true)});
    p.push_back({"8-bit 13 x 11", randomImage(13, 11, 8, 3)});
    p.push_back({"4-bit 15 x 7", randomImage(15, 7, 4, 4)});
    p.push_back({"1-bit 19 x 6", randomImage(19, 6, 1, 5)});
    // The filters read the background colour beyond the edges: a region there must too.
    DibImage lit = randomImage(12, 10, 24, 6);
    lit.info.backgroundColour = RgbQuad{200, 90, 30, 0};
    p.push_back({"24-bit 12 x 10 on an orange background", std::move(lit)});
    return p;
}

// Corners, edges, 1-pixel strips and a single pixel, the whole, and seeded random rectangles.
std::vector<CropRect> regionsOf(int32_t w, int32_t h, uint32_t seed) {
    std::vector<CropRect> r = {
        {0, 0, 3, 2},         {w - 3, 0, 3, 2}, {0, h - 2, 3, 2},     {w - 3, h - 2, 3, 2},
        {0, 0, w, 1},         {0, h - 1, w, 1}, {0, 0, 1, h},         {w - 1, 0, 1, h},
        {w / 2, 0, 1, h},     {0, h / 2, w, 1}, {w / 2, h / 2, 1, 1}, {0, 0, w, h},
        {1, 1, w - 2, h - 2},
    };
    std::mt19937 rng(seed);
    for (int i = 0; i < 8; ++i) {
        const int32_t x = int32_t(rng() % uint32_t(w)), y = int32_t(rng() % uint32_t(h));
        r.push_back(
            {x, y, 1 + int32_t(rng() % uint32_t(w - x)), 1 + int32_t(rng() % uint32_t(h - y))});
    }
    return r;
}

// The whole result the literal way: split, applySettings, recombine.
DibImage wholeResultOf(const DibImage& image, const EnhancementSettings& s) {
    PhotoEdit p;
    p.image = image;
    p.splitChannels();
    applySettings(p, s);
    p.recombine();
    return p.image;
}

// First difference between region (top-left origin) of whole and part, or "".
std::string differenceIn(const DibImage& whole, const CropRect& region, const DibImage& part) {
    if (part.width() != region.width || part.height() != region.height)
        return "size " + std::to_string(part.width()) + " x " + std::to_string(part.height());
    if (part.bitCount() != whole.bitCount()) return "depth " + std::to_string(part.bitCount());
    for (int32_t y = 0; y < region.height; ++y)
        for (int32_t x = 0; x < region.width; ++x) {
            const RgbQuad a =
                whole.getPixelColor(region.x + x, whole.height() - 1 - (region.y + y));
            const RgbQuad b = part.getPixelColor(x, part.height() - 1 - y);
            if (!(a == b)) return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    return "";
}

std::string describe(const CropRect& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

TEST(RegionRender, EveryRegionEqualsThatPartOfTheWholeResult) {
    const std::vector<Setting> table = settingsTable();
    const int rotations[] = {0, 1, 2, 3, -1, -3, 5};
    for (const Picture& picture : pictures()) {
        for (const Setting& row : table) {
            for (const int rotation : rotations) {
                EnhancementSettings s = row.settings;
                s.rotation = rotation;
                const DibImage whole = wholeResultOf(picture.image, s);
                ASSERT_TRUE(whole.isValid());
                const CropRect size = wholeResult(picture.image.width(), picture.image.height(), s);
                ASSERT_EQ(size.width, whole.width()) << picture.name << ", turn " << rotation;
                ASSERT_EQ(size.height, whole.height()) << picture.name << ", turn " << rotation;
                for (const CropRect& region :
                     regionsOf(size.width, size.height, uint32_t(rotation + 10))) {
                    PhotoEdit out;
                    ASSERT_TRUE(renderRegion(picture.image, s, region, out))
                        << picture.name << ", " << row.name << ", turn " << rotation << ", "
                        << describe(region);
                    EXPECT_EQ(differenceIn(whole, region, out.image), "")
                        << picture.name << ", " << row.name << ", turn " << rotation << ", region "
                        << describe(region);
                }
            }
        }
    }
}

TEST(RegionRender, InPlaceGivesTheSamePixelsAndKeepsTheFileName) {
    const DibImage source = randomImage(21, 16, 24, 7);
    EnhancementSettings s;
    s.sharpen = 2;
    s.rotation = 1;
    s.redOffset = 3;
    const DibImage whole = wholeResultOf(source, s);
    for (const CropRect& region : {CropRect{0, 0, 16, 21}, CropRect{3, 5, 7, 2}}) {
        PhotoEdit photo;
        photo.image = source;
        photo.fileName = "kept.png";
        ASSERT_TRUE(renderRegion(photo, s, region)) << describe(region);
        EXPECT_EQ(differenceIn(whole, region, photo.image), "") << describe(region);
        EXPECT_EQ(photo.fileName, "kept.png");
        EXPECT_FALSE(photo.redPlane.isValid());
    }
}

struct AreaCase {
    const char* name;
    int32_t width, height;
    int rotation, sharpen;
    CropRect region, area;
};

TEST(RegionRender, SourceAreaIsTheTurnedBackRegionWithTheFiltersMargin) {
    const AreaCase cases[] = {
        {"no filter", 10, 6, 0, 0, {4, 2, 3, 1}, {4, 2, 3, 1}},
        {"sharpen 1 reaches two pixels", 10, 6, 0, 1, {4, 2, 1, 1}, {2, 0, 5, 5}},
        {"blur 3 reaches three, clipped", 10, 6, 0, -3, {8, 4, 2, 2}, {5, 1, 5, 5}},
        {"turned right: the result's top-left is the photo's bottom-left",
         10,
         6,
         1,
         0,
         {0, 0, 1, 1},
         {0, 5, 1, 1}},
        {"turned left: the result's top-left is the photo's top-right",
         10,
         6,
         -1,
         0,
         {0, 0, 2, 1},
         {9, 0, 1, 2}},
        {"half a turn", 10, 6, 2, 0, {0, 0, 3, 2}, {7, 4, 3, 2}},
        {"turned right with a margin", 10, 6, 1, 1, {0, 0, 1, 1}, {0, 3, 3, 3}},
        {"a huge sharpen covers the photo", 10, 6, 0, 1000000, {5, 5, 1, 1}, {0, 0, 10, 6}},
    };
    for (const AreaCase& c : cases) {
        EnhancementSettings s;
        s.rotation = c.rotation;
        s.sharpen = c.sharpen;
        EXPECT_EQ(describe(sourceAreaFor(c.width, c.height, s, c.region)), describe(c.area))
            << c.name;
    }
}

TEST(RegionRender, RefusesRegionsOutsideTheResultAndEmptyPhotos) {
    const DibImage source = randomImage(10, 6, 24, 8);
    EnhancementSettings turned;
    turned.rotation = 1;  // the result is 6 x 10
    struct Refusal {
        const char* name;
        EnhancementSettings settings;
        CropRect region;
    };
    const Refusal refusals[] = {
        {"past the right edge", {}, {5, 0, 6, 1}},
        {"past the bottom", {}, {0, 5, 1, 2}},
        {"negative corner", {}, {-1, 0, 2, 2}},
        {"empty", {}, {2, 2, 0, 3}},
        {"fits the photo but not the turned result", turned, {0, 0, 10, 6}},
    };
    for (const Refusal& r : refusals) {
        PhotoEdit out;
        EXPECT_FALSE(renderRegion(source, r.settings, r.region, out)) << r.name;
        EXPECT_FALSE(out.image.isValid()) << r.name;
    }
    PhotoEdit out;
    EXPECT_FALSE(renderRegion(DibImage(), EnhancementSettings{}, CropRect{0, 0, 1, 1}, out));
    PhotoEdit empty;
    EXPECT_FALSE(renderRegion(empty, EnhancementSettings{}, CropRect{0, 0, 1, 1}));
}

struct VisibleCase {
    const char* name;
    CropRect whole;
    int32_t cx, cy, vw, vh;
    CropRect shown;
};

TEST(RegionRender, TheVisibleRegionStaysOnThePhoto) {
    const VisibleCase cases[] = {
        {"centred", {0, 0, 100, 80}, 50, 40, 20, 10, {40, 35, 20, 10}},
        {"near the top-left corner", {0, 0, 100, 80}, 3, 2, 20, 10, {0, 0, 20, 10}},
        {"near the bottom-right corner", {0, 0, 100, 80}, 99, 79, 20, 10, {80, 70, 20, 10}},
        {"a view wider than the photo", {0, 0, 100, 80}, 10, 40, 300, 10, {0, 35, 100, 10}},
        {"a view larger than the photo", {0, 0, 100, 80}, 90, 5, 300, 200, {0, 0, 100, 80}},
        {"an empty view", {0, 0, 100, 80}, 50, 40, 0, 10, {}},
        {"no photo", {}, 0, 0, 20, 10, {}},
    };
    for (const VisibleCase& c : cases)
        EXPECT_EQ(describe(visibleRegion(c.whole, c.cx, c.cy, c.vw, c.vh)), describe(c.shown))
            << c.name;
}

}  // namespace
